#include "verifactu/respuesta.h"

#include "verifactu/xml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <charconv>
#include <cstring>
#include <memory>

namespace morvelin::verifactu {

namespace {

// Si `n` es el elemento `nombre` (sin mirar el prefijo) del espacio `espacio` (cualquiera, si es
// nulo).
bool es(const xmlNode* n, const char* nombre, const char* espacio = nullptr) {
    if (n == nullptr || n->type != XML_ELEMENT_NODE ||
        std::strcmp(reinterpret_cast<const char*>(n->name), nombre) != 0)
        return false;
    return espacio == nullptr ||
           (n->ns != nullptr &&
            std::strcmp(reinterpret_cast<const char*>(n->ns->href), espacio) == 0);
}

// El primer hijo elemento llamado `nombre`.
const xmlNode* hijo(const xmlNode* n, const char* nombre, const char* espacio = nullptr) {
    for (const xmlNode* h = n ? n->children : nullptr; h != nullptr; h = h->next)
        if (es(h, nombre, espacio))
            return h;
    return nullptr;
}

// El texto de un elemento, sin los blancos de los extremos.
std::string texto(const xmlNode* n) {
    if (n == nullptr)
        return {};
    std::unique_ptr<xmlChar, decltype(xmlFree)> t(xmlNodeGetContent(n), xmlFree);
    std::string s = t ? reinterpret_cast<const char*>(t.get()) : "";
    const auto inicio = s.find_first_not_of(" \t\r\n");
    if (inicio == std::string::npos)
        return {};
    return s.substr(inicio, s.find_last_not_of(" \t\r\n") - inicio + 1);
}

std::string textoDe(const xmlNode* n, const char* nombre) {
    return texto(hijo(n, nombre));
}

LineaRespuesta linea(const xmlNode* l) {
    LineaRespuesta r;
    const xmlNode* id = hijo(l, "IDFactura");
    r.idEmisor = textoDe(id, "IDEmisorFactura");
    r.numSerie = textoDe(id, "NumSerieFactura");
    r.fechaExpedicion = textoDe(id, "FechaExpedicionFactura");
    r.alta = textoDe(hijo(l, "Operacion"), "TipoOperacion") != "Anulacion";
    r.estadoRegistro = textoDe(l, "EstadoRegistro");
    r.codigo = textoDe(l, "CodigoErrorRegistro");
    r.descripcion = textoDe(l, "DescripcionErrorRegistro");
    if (const xmlNode* d = hijo(l, "RegistroDuplicado"))
        r.duplicado = RegistroDuplicado{
            textoDe(d, "IdPeticionRegistroDuplicado"), textoDe(d, "EstadoRegistroDuplicado"),
            textoDe(d, "CodigoErrorRegistro"), textoDe(d, "DescripcionErrorRegistro")};
    return r;
}

RespuestaServicio fallo(const xmlNode* f) {
    RespuestaServicio r;
    r.falloCodigo = textoDe(f, "faultcode");
    r.falloTexto = textoDe(f, "faultstring");
    // «soapenv:Server», «env:Client.Autenticacion»...: la clase va tras el prefijo.
    std::string_view clase = r.falloCodigo;
    if (const auto p = clase.find(':'); p != std::string_view::npos)
        clase.remove_prefix(p + 1);
    r.clase = clase.starts_with("Client")   ? RespuestaServicio::Clase::FalloCliente
              : clase.starts_with("Server") ? RespuestaServicio::Clase::FalloServidor
                                            : RespuestaServicio::Clase::Ilegible;
    return r;
}

} // namespace

RespuestaServicio leerRespuesta(std::string_view cuerpo) {
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
        xmlReadMemory(cuerpo.data(), static_cast<int>(cuerpo.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    RespuestaServicio r;
    const xmlNode* sobre = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    const xmlNode* cuerpoSoap =
        es(sobre, "Envelope", EspacioSoap) ? hijo(sobre, "Body", EspacioSoap) : nullptr;
    if (const xmlNode* f = hijo(cuerpoSoap, "Fault", EspacioSoap))
        return fallo(f);
    const xmlNode* respuesta =
        hijo(cuerpoSoap, "RespuestaRegFactuSistemaFacturacion", EspacioRespuestaSuministro);
    if (respuesta == nullptr)
        return r;
    r.clase = RespuestaServicio::Clase::Respuesta;
    r.csv = textoDe(respuesta, "CSV");
    r.timestampPresentacion =
        textoDe(hijo(respuesta, "DatosPresentacion"), "TimestampPresentacion");
    r.estadoEnvio = textoDe(respuesta, "EstadoEnvio");
    const std::string espera = textoDe(respuesta, "TiempoEsperaEnvio");
    std::int64_t t = 0;
    if (!espera.empty() &&
        std::from_chars(espera.data(), espera.data() + espera.size(), t).ec == std::errc())
        r.tiempoEspera = t;
    for (const xmlNode* l = respuesta->children; l != nullptr; l = l->next)
        if (es(l, "RespuestaLinea"))
            r.lineas.push_back(linea(l));
    return r;
}

} // namespace morvelin::verifactu
