#include "xades/documento.h"

#include "plataforma/openssl/contexto.h"
#include "xades/xades.h"

#include <libxml/parser.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <xmlsec/crypto.h>
#include <xmlsec/errors.h>
#include <xmlsec/xmlsec.h>

#include <cstdint>

namespace morvelin::xades {

namespace detalle {

namespace {

// libxmlsec1 escribe sus errores en la salida de errores del proceso: aquí no se escriben (quien
// comprueba dice el motivo con sus palabras).
void sinMensajes(const char*, int, const char*, const char*, const char*, int, const char*) {}

bool iniciar() {
    xmlInitParser();
    if (xmlSecInit() < 0)
        return false;
    xmlSecErrorsSetCallback(sinMensajes);
    if (xmlSecCheckVersion() != 1)
        return false;
    // Los algoritmos de OpenSSL, del contexto propio del componente: sin tocar el global.
    if (plataforma::openssl::contextoPrivado() == nullptr ||
        xmlSecOpenSSLSetLibCtx(plataforma::openssl::contextoPrivado()) < 0)
        return false;
    return xmlSecCryptoInit() >= 0;
}

std::int64_t diasDesde1970(std::int64_t a, unsigned m, unsigned d) {
    a -= m <= 2;
    const std::int64_t era = (a >= 0 ? a : a - 399) / 400;
    const auto ae = static_cast<unsigned>(a - era * 400);
    const unsigned dy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned de = ae * 365 + ae / 4 - ae / 100 + dy;
    return era * 146097 + static_cast<std::int64_t>(de) - 719468;
}

} // namespace

void iniciarXmlsec() {
    static const bool iniciado = iniciar();
    if (!iniciado)
        throw ErrorFirmaXml("no se puede iniciar la biblioteca de firmas XML (libxmlsec1)");
}

Documento leerDocumento(std::string_view xml) {
    if (xml.size() > static_cast<std::size_t>(INT32_MAX))
        return nullptr;
    return Documento(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

bool es(const xmlNode* n, const char* nombre, const char* espacio) {
    return n && n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, X(nombre)) && n->ns &&
           xmlStrEqual(n->ns->href, X(espacio));
}

xmlNode* siguienteElemento(const xmlNode* n) {
    for (xmlNode* s = n ? n->next : nullptr; s; s = s->next)
        if (s->type == XML_ELEMENT_NODE)
            return s;
    return nullptr;
}

xmlNode* primerElemento(const xmlNode* n) {
    for (xmlNode* h = n ? n->children : nullptr; h; h = h->next)
        if (h->type == XML_ELEMENT_NODE)
            return h;
    return nullptr;
}

xmlNode* hijo(const xmlNode* padre, const char* nombre, const char* espacio) {
    for (xmlNode* h = primerElemento(padre); h; h = siguienteElemento(h))
        if (es(h, nombre, espacio))
            return h;
    return nullptr;
}

std::string texto(const xmlNode* n) {
    if (!n)
        return {};
    xmlChar* t = xmlNodeGetContent(n);
    std::string r = t ? reinterpret_cast<const char*>(t) : "";
    xmlFree(t);
    return r;
}

std::optional<std::string> atributo(const xmlNode* n, const char* nombre) {
    if (!n || !xmlHasProp(n, X(nombre)))
        return std::nullopt;
    xmlChar* v = xmlGetProp(n, X(nombre));
    std::string r = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return r;
}

std::optional<std::string> resumen(const std::string& algoritmo, std::string_view datos) {
    static const struct {
        const char* uri;
        const char* nombre;
    } conocidos[] = {
        {"http://www.w3.org/2000/09/xmldsig#sha1", "SHA1"},
        {AlgoritmoSha256, "SHA2-256"},
        {"http://www.w3.org/2001/04/xmldsig-more#sha384", "SHA2-384"},
        {"http://www.w3.org/2001/04/xmlenc#sha512", "SHA2-512"},
    };
    for (const auto& c : conocidos) {
        if (algoritmo != c.uri)
            continue;
        EVP_MD* md = EVP_MD_fetch(plataforma::openssl::contextoPrivado(), c.nombre, nullptr);
        unsigned char r[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        const bool bien = md && EVP_Digest(datos.data(), datos.size(), r, &n, md, nullptr) == 1;
        EVP_MD_free(md);
        if (!bien)
            return std::nullopt;
        return std::string(reinterpret_cast<char*>(r), n);
    }
    return std::nullopt;
}

std::string serieDecimal(X509* certificado) {
    BIGNUM* bn = ASN1_INTEGER_to_BN(X509_get0_serialNumber(certificado), nullptr);
    char* d = bn ? BN_bn2dec(bn) : nullptr;
    std::string r = d ? d : "";
    OPENSSL_free(d);
    BN_free(bn);
    return r;
}

} // namespace detalle

std::optional<std::int64_t> leerHoraXsd(std::string_view t) {
    // AAAA-MM-DDThh:mm:ss[.fracción](Z|±hh:mm)
    const auto cifras = [&](std::size_t desde, std::size_t n) -> std::optional<int> {
        if (desde + n > t.size())
            return std::nullopt;
        int v = 0;
        for (std::size_t i = desde; i < desde + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return std::nullopt;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    if (t.size() < 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':')
        return std::nullopt;
    const auto a = cifras(0, 4), m = cifras(5, 2), d = cifras(8, 2), hh = cifras(11, 2),
               mm = cifras(14, 2), ss = cifras(17, 2);
    if (!a || !m || !d || !hh || !mm || !ss || *m < 1 || *m > 12 || *d < 1 || *d > 31 || *hh > 23 ||
        *mm > 59 || *ss > 60)
        return std::nullopt;
    std::size_t i = 19;
    if (i < t.size() && t[i] == '.') {
        ++i;
        const std::size_t inicio = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        if (i == inicio)
            return std::nullopt;
    }
    std::int64_t desfase = 0;
    if (i + 1 == t.size() && t[i] == 'Z') {
        desfase = 0;
    } else if (i + 6 == t.size() && (t[i] == '+' || t[i] == '-') && t[i + 3] == ':') {
        const auto oh = cifras(i + 1, 2), om = cifras(i + 4, 2);
        if (!oh || !om || *oh > 14 || *om > 59)
            return std::nullopt;
        desfase = (*oh * 3600 + *om * 60) * (t[i] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    return detalle::diasDesde1970(*a, static_cast<unsigned>(*m), static_cast<unsigned>(*d)) *
               86400 +
           *hh * 3600 + *mm * 60 + *ss - desfase;
}

} // namespace morvelin::xades
