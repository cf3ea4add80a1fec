// morvelin: los métodos del componente desde la línea de órdenes.
//
//   morvelin firma RUTA_ORIGEN CERTIFICADO RUTA_DESTINO
//   morvelin verifica [--servicio URL] RUTA_ORIGEN RUTA_DESTINO
//   morvelin importa FICHERO
//   morvelin comprueba FICHERO_DE_FIRMA [--autoridades FICHERO_O_CARPETA]
//   morvelin certificados [NIF]
//   morvelin verifactu ORDEN ...      (véase verifactu.cpp)
//
// Escribe la cadena de resultado y un fin de línea en la salida estándar. Sale con 0 cuando el
// código es "00", 1 con cualquier otro código, 2 ante un error de uso y 3 ante un fallo que no
// es ninguno de los de la tabla de mensajes (memoria agotada, error interno). Lo que escribe que
// viene de fuera (nombres de certificados, de tarjetas y de ficheros) lleva sus caracteres de
// control visibles (textoVisible): nunca gobierna el terminal ni rompe una línea.
#include "importa.h"
#include "orden.h"
#include "verifactu.h"

#include "almacenes/almacen.h"
#include "infraestructura/codificacion.h"
#include "metodos.h"
#include "operaciones/comprobacion_sin_red.h"
#include "operaciones/listado_certificados.h"
#include "operaciones/verificacion_en_linea.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* Uso =
    "Uso:\n"
    "  morvelin firma RUTA_ORIGEN CERTIFICADO RUTA_DESTINO\n"
    "      Firma la factura RUTA_ORIGEN con el certificado del titular cuyo NIF es CERTIFICADO\n"
    "      y graba el fichero de firma en RUTA_DESTINO. Busca el certificado en la carpeta\n"
    "      del almacén, las bases NSS y las tarjetas; el PIN de una tarjeta (o la contraseña\n"
    "      de una base) lo pide pinentry, o el programa que nombre MORVELIN_PINENTRY.\n"
    "  morvelin verifica [--servicio URL] RUTA_ORIGEN RUTA_DESTINO\n"
    "      Envía el fichero de firma RUTA_ORIGEN al servicio de verificación y graba la\n"
    "      factura en RUTA_DESTINO. Con --servicio, a ese servicio en lugar del configurado\n"
    "      (https://servidor[:puerto]/sincertificados).\n"
    "  morvelin importa FICHERO\n"
    "      Guarda en el almacén de certificados el certificado y la clave de FICHERO\n"
    "      (.p12, .pfx o PEM); pide su contraseña si la tiene.\n"
    "  morvelin comprueba FICHERO_DE_FIRMA [--autoridades FICHERO_O_CARPETA]\n"
    "      Comprueba sin red el fichero de firma: que la firma es de la factura que lleva y\n"
    "      que el certificado era válido al firmar; con --autoridades, además que lleva a\n"
    "      esas autoridades (PEM o DER). Sale con 0 si la firma es buena y 1 si no.\n"
    "  morvelin certificados [NIF]\n"
    "      Lista los certificados de todos los almacenes, en el orden en que FIRMA los mira;\n"
    "      con NIF, dice cuál usaría FIRMA y por qué no los demás. Nunca pide un PIN.\n"
    "  morvelin verifactu ORDEN ...\n"
    "      Registros de facturación VERI*FACTU: alta, anula, qr, exporta y comprueba\n"
    "      (morvelin verifactu --ayuda).\n"
    "  morvelin -h | --ayuda\n"
    "      Muestra esta ayuda.\n"
    "\n"
    "Escribe el resultado, que empieza por un código de dos cifras (\"00\" es éxito).\n"
    "Estado de salida: 0 con el código 00, 1 con otro código, 2 ante un error de uso,\n"
    "3 ante un fallo inesperado.\n";

// Solo HTTPS: por HTTP la factura y la firma viajarían a la vista y la respuesta no vendría de
// un servidor comprobado.
bool esHttps(const std::string& url) {
    constexpr std::string_view esquema = "https://";
    if (url.size() <= esquema.size())
        return false;
    for (std::size_t i = 0; i < esquema.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != esquema[i])
            return false;
    return true;
}

// El resultado, con lo que viene de fuera (el nombre del firmante, la respuesta del servicio)
// sin caracteres de control que gobiernen el terminal.
int informar(const std::string& resultado) {
    std::cout << morvelin::textoVisible(resultado) << '\n' << std::flush;
    return resultado.compare(0, 2, "00") == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "verifactu")
        return ordenVerifactu(argc - 1, argv + 1);
    CLI::App app("Firma de facturas electrónicas y verificación de la firma.", "morvelin");
    app.set_help_flag("-h,--ayuda");
    app.require_subcommand(1, 1);
    app.allow_windows_style_options(false);

    std::string origen, certificado, destino;
    morvelin::ServicioVerificacion servicio;
    auto* firma = app.add_subcommand("firma");
    firma->add_option("RUTA_ORIGEN", origen)->required();
    firma->add_option("CERTIFICADO", certificado)->required();
    firma->add_option("RUTA_DESTINO", destino)->required();
    auto* verifica = app.add_subcommand("verifica");
    verifica->add_option("--servicio", servicio.url);
    verifica->add_option("RUTA_ORIGEN", origen)->required();
    verifica->add_option("RUTA_DESTINO", destino)->required();
    auto* importa = app.add_subcommand("importa");
    importa->add_option("FICHERO", origen)->required();
    std::string autoridades;
    auto* comprueba = app.add_subcommand("comprueba");
    comprueba->add_option("FICHERO_DE_FIRMA", origen)->required();
    comprueba->add_option("--autoridades", autoridades);
    std::optional<std::string> nif;
    auto* certificados = app.add_subcommand("certificados");
    certificados->add_option("NIF", nif);

    if (const auto fin = leerArgumentos(app, argc, argv, Uso, "argumentos incorrectos."))
        return *fin;
    if (comprueba->parsed() && comprueba->count("--autoridades") > 0 && autoridades.empty())
        return usoIncorrecto("--autoridades necesita un fichero o una carpeta.", Uso);
    if (verifica->parsed() && !esHttps(servicio.url))
        return usoIncorrecto("el servicio de verificación ha de ser una dirección https:// («" +
                                 morvelin::textoVisible(servicio.url) + "» no lo es).",
                             Uso);

    return atenderOrden([&] {
        if (firma->parsed())
            return informar(morvelin::FIRMA(origen, certificado, destino));
        if (importa->parsed())
            return importarAlAlmacen(origen);
        if (certificados->parsed()) {
            const auto l = morvelin::listarCertificados(morvelin::almacenes::listarAlmacenes(), nif,
                                                        std::time(nullptr));
            std::cout << l.texto << std::flush;
            return !nif || l.elegido ? 0 : 1;
        }
        if (comprueba->parsed()) {
            const auto c = morvelin::comprobarFicheroFirma(origen, autoridades);
            std::cout << c.texto() << std::flush;
            return c.buena() ? 0 : 1;
        }
        return informar(morvelin::verificar(origen, destino, servicio));
    });
}
