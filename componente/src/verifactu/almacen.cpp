#include "verifactu/almacen.h"
#include "verifactu/almacen_comun.h"

#include <openssl/rand.h>

#include <cstdlib>
#include <utility>

namespace morvelin::verifactu {

namespace {

bool empiezaPor(const std::string& s, std::string_view p) {
    return s.compare(0, p.size(), p) == 0;
}

} // namespace

namespace {

constexpr std::pair<Veredicto, const char*> NombresVeredicto[] = {
    {Veredicto::Pendiente, "pendiente"},
    {Veredicto::Correcto, "correcto"},
    {Veredicto::AceptadoConErrores, "aceptado-con-errores"},
    {Veredicto::Incorrecto, "incorrecto"},
    {Veredicto::Duplicado, "duplicado"},
};

} // namespace

const char* nombreVeredicto(Veredicto v) {
    for (const auto& [veredicto, nombre] : NombresVeredicto)
        if (veredicto == v)
            return nombre;
    return "pendiente";
}

Veredicto veredictoDeNombre(std::string_view nombre) {
    for (const auto& [veredicto, n] : NombresVeredicto)
        if (nombre == n)
            return veredicto;
    return Veredicto::Pendiente;
}

const char* nombreResultado(ResultadoEnvio r) {
    switch (r) {
    case ResultadoEnvio::EnCurso:
        return "en-curso";
    case ResultadoEnvio::Respondido:
        return "respondido";
    case ResultadoEnvio::FalloServidor:
        return "fallo-servidor";
    case ResultadoEnvio::FalloCliente:
        return "fallo-cliente";
    case ResultadoEnvio::SinRespuesta:
        return "sin-respuesta";
    }
    return "sin-respuesta";
}

void contar(ResumenCola& r, Veredicto v, std::int64_t n) {
    switch (v) {
    case Veredicto::Pendiente:
        r.pendientes += n;
        break;
    case Veredicto::Correcto:
        r.correctos += n;
        break;
    case Veredicto::AceptadoConErrores:
        r.aceptadosConErrores += n;
        break;
    case Veredicto::Incorrecto:
        r.incorrectos += n;
        break;
    case Veredicto::Duplicado:
        r.duplicados += n;
        break;
    }
}

RegistroCadena copia(const VistaRegistro& v) {
    RegistroCadena r;
    r.numero = v.numero;
    r.alta = v.alta;
    r.idEmisor = v.idEmisor;
    r.numSerie = v.numSerie;
    r.fechaExpedicion = v.fechaExpedicion;
    r.huella = v.huella;
    r.huellaAnterior = v.huellaAnterior;
    r.fechaHoraHusoGenRegistro = v.fechaHoraHusoGenRegistro;
    r.xml = v.xml;
    return r;
}

std::unique_ptr<AlmacenCadena> abrirAlmacen(const std::string& destino) {
    if (empiezaPor(destino, "postgresql://") || empiezaPor(destino, "postgres://"))
        return abrirPostgresql(destino);
    if (destino.empty())
        throw ErrorAlmacen("No se ha dicho dónde está la cadena de registros.");
    return abrirSqlite(destino);
}

std::string destinoPorOmision() {
    if (const char* c = std::getenv("MORVELIN_CADENA"); c != nullptr && *c != '\0')
        return c;
    std::string datos;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x != nullptr && *x == '/')
        datos = x;
    else if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0')
        datos = std::string(h) + "/.local/share";
    else
        throw ErrorAlmacen("No se sabe dónde guardar la cadena: no hay XDG_DATA_HOME ni HOME; "
                           "indíquela con --cadena o MORVELIN_CADENA.");
    return datos + "/MORVELIN/verifactu.sqlite";
}

std::string nuevoNumeroInstalacion() {
    unsigned char azar[16];
    if (RAND_bytes(azar, sizeof azar) != 1)
        throw ErrorAlmacen("No se puede generar el número de instalación.");
    static constexpr char cifras[] = "0123456789ABCDEF";
    std::string n;
    for (unsigned char b : azar) {
        n += cifras[b >> 4];
        n += cifras[b & 0xF];
    }
    return n;
}

} // namespace morvelin::verifactu
