#include "importa.h"

#include "almacenes/carpeta.h"
#include "infraestructura/codificacion.h"
#include "operaciones/importacion.h"
#include "operaciones/sujeto.h"
#include "plataforma/criptografia.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace {

// Una línea de la entrada estándar, sin el fin de línea. Si es un terminal, sin eco. Se lee byte
// a byte del descriptor, sin búferes de por medio: la contraseña solo queda en el Secreto, que
// se borra al soltarlo.
std::optional<morvelin::plataforma::Secreto> pedirContrasena(const std::string& fichero) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios antes{};
    if (terminal) {
        std::cerr << "Contraseña de «" << morvelin::textoVisible(fichero) << "»: " << std::flush;
        if (::tcgetattr(STDIN_FILENO, &antes) == 0) {
            termios sinEco = antes;
            sinEco.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            sinEco.c_lflag |= ECHONL;
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &sinEco);
        }
    }
    morvelin::plataforma::Secreto linea;
    bool leida = false, cabe = true;
    char c = '\0';
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        leida = true;
        if (c == '\n')
            break;
        cabe = linea.anadir(c) && cabe;
    }
    morvelin::plataforma::borrarMemoria(&c, sizeof c);
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &antes);
    if (!cabe) {
        std::cerr << "morvelin: la contraseña es demasiado larga (más de "
                  << morvelin::plataforma::Secreto::Capacidad << " caracteres).\n";
        return std::nullopt;
    }
    if (!leida)
        return std::nullopt;
    if (linea.back() == '\r')
        linea.quitarUltimo();
    return linea;
}

// El identificador por el que FIRMA encuentra el certificado: el número de serie del sujeto, sin
// prefijos como "IDCES-".
std::string identificador(const std::string& serie) {
    if (serie.size() > 9) {
        const auto guion = serie.rfind('-');
        if (guion != std::string::npos && serie.size() - guion - 1 == 9)
            return serie.substr(guion + 1);
    }
    return serie;
}

} // namespace

int importarAlAlmacen(const std::string& fichero) {
    try {
        const auto importado =
            morvelin::importarCertificado(fichero, morvelin::almacenes::carpetaAlmacenPersonal(),
                                          [&] { return pedirContrasena(fichero); });
        const morvelin::LectorSujeto sujeto(importado.atributosSujeto);
        const std::string serie = identificador(sujeto.valor(morvelin::ClaveNumeroSerie));
        std::cout << "Certificado importado en " << morvelin::textoVisible(importado.ruta) << ".\n";
        if (serie.empty())
            std::cout << "Su sujeto no trae número de serie: FIRMA lo encuentra por cualquier "
                         "texto de nueve caracteres de su sujeto.\n";
        else
            std::cout << "Responde al identificador " << morvelin::textoVisible(serie) << ".\n";
        std::cout << "Firmante: " << morvelin::textoVisible(morvelin::nombreFirmante(sujeto))
                  << "\n";
        return 0;
    } catch (const morvelin::ErrorImportacion& e) {
        std::cerr << "morvelin: " << morvelin::textoVisible(e.what())
                  << " No se ha importado nada.\n";
        return 1;
    }
}
