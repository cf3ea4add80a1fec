#pragma once
// Los esquemas de la agencia copiados en el proyecto, cargados con su catálogo local (sin red),
// para validar lo que se escribe.

#include <libxml/catalog.h>
#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>

#include <string>

namespace morvelin::pruebas {

inline const std::string EsquemasVerifactu =
    std::string(ZOQ_FUENTES) + "/componente/src/verifactu/esquemas";

/// Un esquema de la agencia (SuministroInformacion.xsd, EventosSIF.xsd...).
class Esquema {
public:
    explicit Esquema(const std::string& nombre) {
        static const bool catalogo = [] {
            xmlLoadCatalog((EsquemasVerifactu + "/catalog.xml").c_str());
            xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
            return true;
        }();
        (void)catalogo;
        auto* ctxt = xmlSchemaNewParserCtxt((EsquemasVerifactu + "/" + nombre).c_str());
        esquema_ = xmlSchemaParse(ctxt);
        xmlSchemaFreeParserCtxt(ctxt);
    }
    ~Esquema() { xmlSchemaFree(esquema_); }
    Esquema(const Esquema&) = delete;
    Esquema& operator=(const Esquema&) = delete;
    bool cargado() const { return esquema_ != nullptr; }

    /// Los errores de validación; vacío si el documento es válido.
    std::string validar(const std::string& xml) const {
        std::string errores;
        xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                      XML_PARSE_NONET);
        if (doc == nullptr)
            return "no es XML bien formado";
        auto* v = xmlSchemaNewValidCtxt(esquema_);
        xmlSchemaSetValidStructuredErrors(
            v, [](void* e, xmlErrorPtr err) { *static_cast<std::string*>(e) += err->message; },
            &errores);
        const int r = xmlSchemaValidateDoc(v, doc);
        xmlSchemaFreeValidCtxt(v);
        xmlFreeDoc(doc);
        return r == 0 ? std::string() : (errores.empty() ? "no válido" : errores);
    }

private:
    xmlSchemaPtr esquema_ = nullptr;
};

} // namespace morvelin::pruebas
