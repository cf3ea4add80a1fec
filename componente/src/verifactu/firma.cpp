#include "verifactu/firma.h"

#include "almacenes/almacen.h"
#include "plataforma/openssl/x509.h"
#include "verifactu/xml.h"

namespace morvelin::verifactu {

namespace {

const xades::RutaFirma EnElRegistro{};
const xades::RutaFirma EnElEvento{"Evento"};

std::string razon(std::string_view xml, const xades::RutaFirma& ruta, const char* espacio,
                  const char* nombre, const std::string& firmante, std::int64_t ahora) {
    const auto c = xades::comprobarEnvuelta(xml, ruta, politicaAge(), ahora);
    if (!c.valida)
        return "firma no válida: " + c.motivo;
    if (c.espacioRaiz != espacio || c.nombreRaiz != nombre)
        return "lo firmado no es un " + std::string(nombre) + ".";
    const auto certificado = plataforma::openssl::certificadoDeDer(c.certificadoDer);
    const auto e = almacenes::elegirCertificado(
        {almacenes::AlmacenCandidatos{false, {almacenes::candidatoDe(certificado.get())}}},
        firmante);
    if (!e.elegido)
        return "firmado con un certificado que no es de " + firmante +
               " (el firmante de la "
               "cadena).";
    return {};
}

} // namespace

const xades::Politica& politicaAge() {
    static const xades::Politica p{
        "urn:oid:2.16.724.1.3.1.1.2.1.9",
        "https://sede.administracion.gob.es/politica_de_firma_anexo_1.pdf",
        "http://www.w3.org/2000/09/xmldsig#sha1", "G7roucf600+f03r/o0bAOQ6WAs0="};
    return p;
}

std::string firmarRegistro(std::string_view xml, const xades::Firmante& firmante,
                           std::int64_t hora) {
    return xades::firmarEnvuelta(xml, EnElRegistro, firmante, politicaAge(), hora);
}

std::string firmarEvento(std::string_view xml, const xades::Firmante& firmante, std::int64_t hora) {
    return xades::firmarEnvuelta(xml, EnElEvento, firmante, politicaAge(), hora);
}

std::string razonFirmaRegistro(std::string_view xml, bool alta, const std::string& firmante,
                               std::int64_t ahora) {
    return razon(xml, EnElRegistro, EspacioSuministroInformacion,
                 alta ? "RegistroAlta" : "RegistroAnulacion", firmante, ahora);
}

std::string razonFirmaEvento(std::string_view xml, const std::string& firmante,
                             std::int64_t ahora) {
    return razon(xml, EnElEvento, EspacioEventos, "RegistroEvento", firmante, ahora);
}

} // namespace morvelin::verifactu
