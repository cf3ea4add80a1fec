#pragma once
// Lo que comparten la firma XAdES y su comprobación: libxmlsec1 iniciado una vez por proceso
// (con el contexto de OpenSSL del componente y sin escribir sus errores), el documento de
// libxml2 propio, el paseo por los elementos y los nombres de XML-DSig y XAdES.

#include <libxml/tree.h>
#include <openssl/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvelin::xades::detalle {

inline constexpr const char* EspacioDs = "http://www.w3.org/2000/09/xmldsig#";
inline constexpr const char* EspacioXades = "http://uri.etsi.org/01903/v1.3.2#";
inline constexpr const char* TipoPropiedadesFirmadas = "http://uri.etsi.org/01903#SignedProperties";
inline constexpr const char* AlgoritmoEnveloped =
    "http://www.w3.org/2000/09/xmldsig#enveloped-signature";
inline constexpr const char* AlgoritmoSha256 = "http://www.w3.org/2001/04/xmlenc#sha256";

inline const xmlChar* X(const char* s) {
    return reinterpret_cast<const xmlChar*>(s);
}

/// Inicia libxmlsec1 la primera vez; lanza ErrorFirmaXml si no se puede.
void iniciarXmlsec();

struct LiberarDocumento {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using Documento = std::unique_ptr<xmlDoc, LiberarDocumento>;

/// El documento de `xml`, sin red, sin entidades externas ni mensajes; nullptr si no es XML
/// bien formado.
Documento leerDocumento(std::string_view xml);

/// Si `n` es el elemento `nombre` del espacio `espacio`.
bool es(const xmlNode* n, const char* nombre, const char* espacio);

/// El primer hijo elemento de `n`, o el siguiente hermano elemento de `n`; nullptr si no hay.
xmlNode* primerElemento(const xmlNode* n);
xmlNode* siguienteElemento(const xmlNode* n);

/// El primer hijo elemento de `padre` que es `nombre` de `espacio`; nullptr si no hay.
xmlNode* hijo(const xmlNode* padre, const char* nombre, const char* espacio = EspacioDs);

/// El texto de un nodo (vacío si es nullptr) y el de un atributo (sin valor si no está).
std::string texto(const xmlNode* n);
std::optional<std::string> atributo(const xmlNode* n, const char* nombre);

/// El elemento que contiene la firma: el que se alcanza desde el raíz por `ruta` (nombres
/// locales, el primer hijo con cada uno); nullptr si falta alguno.
template <class Ruta> xmlNode* contenedor(xmlDoc* doc, const Ruta& ruta) {
    xmlNode* n = xmlDocGetRootElement(doc);
    for (const auto& nombre : ruta) {
        xmlNode* h = n ? primerElemento(n) : nullptr;
        while (h && std::string_view(reinterpret_cast<const char*>(h->name)) != nombre)
            h = siguienteElemento(h);
        n = h;
    }
    return n;
}

/// El resumen de `datos` con el algoritmo de XML-DSig `algoritmo` (SHA-1, SHA-256, SHA-384 o
/// SHA-512); sin valor si no es uno de ellos.
std::optional<std::string> resumen(const std::string& algoritmo, std::string_view datos);

/// El número de serie de un certificado en decimal.
std::string serieDecimal(X509* certificado);

} // namespace morvelin::xades::detalle
