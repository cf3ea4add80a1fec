// La firma XAdES-EPES envuelta: libxmlsec1 pone la estructura (SignedInfo con sus dos
// referencias, KeyInfo, Object) y calcula los resúmenes de las referencias y la forma canónica de
// SignedInfo; el firmante firma esa forma canónica con su clave.
#include "infraestructura/codificacion.h"
#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/x509.h"
#include "xades/documento.h"
#include "xades/xades.h"

#include <libxml/xmlsave.h>
#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <xmlsec/crypto.h>
#include <xmlsec/membuf.h>
#include <xmlsec/nodeset.h>
#include <xmlsec/templates.h>
#include <xmlsec/transforms.h>
#include <xmlsec/xmldsig.h>

#include <ctime>

namespace morvelin::xades {

namespace {

using namespace detalle;
namespace ossl = plataforma::openssl;

// Los identificadores de los elementos de una firma, distintos en cada firma.
struct Identificadores {
    std::string firma, referencia, propiedades, valor;
};

Identificadores nuevosIdentificadores() {
    unsigned char azar[16];
    if (RAND_bytes(azar, sizeof azar) != 1)
        throw ErrorFirmaXml("no se pueden generar los identificadores de la firma");
    azar[6] = static_cast<unsigned char>((azar[6] & 0x0F) | 0x40);
    azar[8] = static_cast<unsigned char>((azar[8] & 0x3F) | 0x80);
    static constexpr char cifras[] = "0123456789abcdef";
    std::string id = "xmldsig-";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            id += '-';
        id += cifras[azar[i] >> 4];
        id += cifras[azar[i] & 0xF];
    }
    return {id, id + "-ref0", id + "-signedprops", id + "-sigvalue"};
}

// SigningTime: la hora en UTC.
std::string horaXsd(std::int64_t hora) {
    const std::time_t t = static_cast<std::time_t>(hora);
    std::tm u{};
    if (gmtime_r(&t, &u) == nullptr)
        throw ErrorFirmaXml("la hora de la firma no se puede representar");
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%SZ", &u);
    return b;
}

std::string nombreRfc2253(const X509_NAME* nombre) {
    ossl::BioPropio b(BIO_new(BIO_s_mem()));
    if (!b || X509_NAME_print_ex(b.get(), nombre, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
        throw ErrorFirmaXml("no se puede escribir el emisor del certificado");
    BUF_MEM* m = nullptr;
    BIO_get_mem_ptr(b.get(), &m);
    return std::string(m->data, m->length);
}

// Un hijo con texto (escapado) en el espacio `ns`.
xmlNode* anadir(xmlNode* padre, xmlNs* ns, const char* nombre, const std::string& valor = {}) {
    xmlNode* n = xmlNewTextChild(padre, ns, X(nombre), valor.empty() ? nullptr : X(valor.c_str()));
    if (!n)
        throw std::bad_alloc();
    return n;
}

void resumenCon(xmlNode* padre, xmlNs* ds, const char* algoritmo, const std::string& valor) {
    xmlSetProp(anadir(padre, ds, "DigestMethod"), X("Algorithm"), X(algoritmo));
    anadir(padre, ds, "DigestValue", valor);
}

// QualifyingProperties con las propiedades firmadas.
xmlNode* propiedades(xmlNode* objeto, xmlNs* ds, const Identificadores& ids, X509* certificado,
                     const std::string& der, const Politica& politica, std::int64_t hora) {
    xmlNode* qp = xmlNewChild(objeto, nullptr, X("QualifyingProperties"), nullptr);
    xmlNs* xa = xmlNewNs(qp, X(EspacioXades), X("xades"));
    xmlSetNs(qp, xa);
    xmlSetProp(qp, X("Target"), X(("#" + ids.firma).c_str()));
    xmlNode* sp = anadir(qp, xa, "SignedProperties");
    xmlAttr* id = xmlSetProp(sp, X("Id"), X(ids.propiedades.c_str()));
    xmlAddID(nullptr, sp->doc, X(ids.propiedades.c_str()), id);

    xmlNode* ssp = anadir(sp, xa, "SignedSignatureProperties");
    anadir(ssp, xa, "SigningTime", horaXsd(hora));
    xmlNode* cert = anadir(anadir(ssp, xa, "SigningCertificate"), xa, "Cert");
    const auto resumenCertificado = resumen(AlgoritmoSha256, der);
    if (!resumenCertificado)
        throw ErrorFirmaXml("no se puede calcular el resumen del certificado");
    resumenCon(anadir(cert, xa, "CertDigest"), ds, AlgoritmoSha256,
               codificarBase64(*resumenCertificado));
    xmlNode* serie = anadir(cert, xa, "IssuerSerial");
    anadir(serie, ds, "X509IssuerName", nombreRfc2253(X509_get_issuer_name(certificado)));
    anadir(serie, ds, "X509SerialNumber", serieDecimal(certificado));

    xmlNode* pid = anadir(anadir(ssp, xa, "SignaturePolicyIdentifier"), xa, "SignaturePolicyId");
    anadir(anadir(pid, xa, "SigPolicyId"), xa, "Identifier", politica.identificador);
    resumenCon(anadir(pid, xa, "SigPolicyHash"), ds, politica.algoritmoResumen.c_str(),
               politica.resumen);
    if (!politica.url.empty())
        anadir(anadir(anadir(pid, xa, "SigPolicyQualifiers"), xa, "SigPolicyQualifier"), xa,
               "SPURI", politica.url);

    xmlNode* formato = anadir(anadir(sp, xa, "SignedDataObjectProperties"), xa, "DataObjectFormat");
    xmlSetProp(formato, X("ObjectReference"), X(("#" + ids.referencia).c_str()));
    anadir(formato, xa, "MimeType", "text/xml");
    anadir(formato, xa, "Encoding", "UTF-8");
    return qp;
}

// Calcula el resumen de cada referencia de SignedInfo y lo escribe en su DigestValue.
void resumirReferencias(xmlNode* signedInfo) {
    std::unique_ptr<xmlSecDSigCtx, decltype(&xmlSecDSigCtxDestroy)> ctx(
        xmlSecDSigCtxCreate(nullptr), xmlSecDSigCtxDestroy);
    if (!ctx)
        throw std::bad_alloc();
    ctx->operation = xmlSecTransformOperationSign;
    ctx->enabledReferenceUris = xmlSecTransformUriTypeEmpty | xmlSecTransformUriTypeSameDocument;
    for (xmlNode* r = primerElemento(signedInfo); r; r = siguienteElemento(r)) {
        if (!es(r, "Reference", EspacioDs))
            continue;
        std::unique_ptr<xmlSecDSigReferenceCtx, decltype(&xmlSecDSigReferenceCtxDestroy)> ref(
            xmlSecDSigReferenceCtxCreate(ctx.get(), xmlSecDSigReferenceOriginSignedInfo),
            xmlSecDSigReferenceCtxDestroy);
        if (!ref || xmlSecDSigReferenceCtxProcessNode(ref.get(), r) < 0 ||
            ref->status != xmlSecDSigStatusSucceeded)
            throw ErrorFirmaXml("no se puede calcular el resumen de lo que se firma");
    }
}

// La forma canónica (C14N 1.0 inclusiva) de SignedInfo: lo que se firma.
std::string canonica(xmlNode* signedInfo) {
    xmlSecTransformCtx ctx;
    if (xmlSecTransformCtxInitialize(&ctx) < 0)
        throw std::bad_alloc();
    std::string r;
    xmlSecNodeSetPtr nodos = nullptr;
    bool bien = xmlSecTransformCtxCreateAndAppend(&ctx, xmlSecTransformInclC14NId) != nullptr;
    xmlSecTransformPtr memoria = xmlSecTransformCtxCreateAndAppend(&ctx, xmlSecTransformMemBufId);
    if (bien && memoria)
        nodos = xmlSecNodeSetGetChildren(signedInfo->doc, signedInfo, 1, 0);
    if (nodos && xmlSecTransformCtxXmlExecute(&ctx, nodos) >= 0) {
        xmlSecBufferPtr b = xmlSecTransformMemBufGetBuffer(memoria);
        r.assign(reinterpret_cast<const char*>(xmlSecBufferGetData(b)), xmlSecBufferGetSize(b));
    } else {
        bien = false;
    }
    if (nodos)
        xmlSecNodeSetDestroy(nodos);
    xmlSecTransformCtxFinalize(&ctx);
    if (!bien)
        throw ErrorFirmaXml("no se puede canonicalizar lo que se firma");
    return r;
}

// Si `firma` es la de `datos` con la clave del certificado (RSA PKCS #1 v1.5, SHA-256).
bool verificaCon(X509* certificado, std::string_view datos, const std::string& firma) {
    EVP_PKEY* clave = X509_get0_pubkey(certificado);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return clave && md &&
           EVP_DigestVerifyInit_ex(md.get(), nullptr, "SHA2-256", ossl::contextoPrivado(), nullptr,
                                   clave, nullptr) == 1 &&
           EVP_DigestVerify(md.get(), reinterpret_cast<const unsigned char*>(firma.data()),
                            firma.size(), reinterpret_cast<const unsigned char*>(datos.data()),
                            datos.size()) == 1;
}

std::string serializar(xmlDoc* doc) {
    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> b(xmlBufferCreate(), xmlBufferFree);
    xmlSaveCtxtPtr s = b ? xmlSaveToBuffer(b.get(), "UTF-8", XML_SAVE_NO_DECL) : nullptr;
    if (!s)
        throw std::bad_alloc();
    const long escrito = xmlSaveTree(s, xmlDocGetRootElement(doc));
    if (xmlSaveClose(s) < 0 || escrito < 0)
        throw ErrorFirmaXml("no se puede escribir el XML firmado");
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(b.get())),
                       static_cast<std::size_t>(xmlBufferLength(b.get())));
}

} // namespace

std::string firmarEnvuelta(std::string_view xml, const RutaFirma& ruta, const Firmante& firmante,
                           const Politica& politica, std::int64_t hora) {
    iniciarXmlsec();
    ossl::EnContextoPrivado contexto;
    const ossl::X509Propio certificado = ossl::certificadoDeDer(firmante.certificadoDer);
    if (!certificado)
        throw ErrorFirmaXml("el certificado del firmante no se puede leer");
    Documento doc = leerDocumento(xml);
    if (!doc || !xmlDocGetRootElement(doc.get()))
        throw ErrorFirmaXml("lo que se firma no es XML bien formado");
    xmlNode* padre = contenedor(doc.get(), ruta);
    if (!padre)
        throw ErrorFirmaXml("lo que se firma no tiene el elemento donde va la firma");

    const Identificadores ids = nuevosIdentificadores();
    xmlNode* firma =
        xmlSecTmplSignatureCreateNsPref(doc.get(), xmlSecTransformInclC14NId,
                                        xmlSecTransformRsaSha256Id, X(ids.firma.c_str()), X("ds"));
    if (!firma)
        throw std::bad_alloc();
    xmlAddChild(padre, firma);
    xmlNode* datos = xmlSecTmplSignatureAddReference(firma, xmlSecTransformSha256Id,
                                                     X(ids.referencia.c_str()), X(""), nullptr);
    xmlNode* props = xmlSecTmplSignatureAddReference(firma, xmlSecTransformSha256Id, nullptr,
                                                     X(("#" + ids.propiedades).c_str()),
                                                     X(TipoPropiedadesFirmadas));
    xmlNode* clave = xmlSecTmplSignatureEnsureKeyInfo(firma, nullptr);
    xmlNode* x509 = clave ? xmlSecTmplKeyInfoAddX509Data(clave) : nullptr;
    xmlNode* objeto = xmlSecTmplSignatureAddObject(firma, nullptr, nullptr, nullptr);
    if (!datos || !props || !x509 || !objeto ||
        !xmlSecTmplReferenceAddTransform(datos, xmlSecTransformEnvelopedId) ||
        !xmlSecTmplReferenceAddTransform(props, xmlSecTransformInclC14NId))
        throw std::bad_alloc();
    xmlNs* ds = xmlSearchNsByHref(doc.get(), firma, X(EspacioDs));
    anadir(x509, ds, "X509Certificate", codificarBase64(firmante.certificadoDer));
    xmlNode* valor = hijo(firma, "SignatureValue");
    xmlSetProp(valor, X("Id"), X(ids.valor.c_str()));
    propiedades(objeto, ds, ids, certificado.get(), firmante.certificadoDer, politica, hora);

    xmlNode* signedInfo = hijo(firma, "SignedInfo");
    resumirReferencias(signedInfo);
    const std::string aFirmar = canonica(signedInfo);
    const auto bytes = firmante.firmar ? firmante.firmar(aFirmar) : std::nullopt;
    if (!bytes || bytes->empty())
        throw ErrorFirmaXml("el almacén del certificado no ha firmado");
    if (!verificaCon(certificado.get(), aFirmar, *bytes))
        throw ErrorFirmaXml("la firma hecha no verifica con el certificado (la clave del almacén "
                            "no es la de ese certificado, o no es RSA con SHA-256)");
    xmlNodeSetContent(valor, X(codificarBase64(*bytes).c_str()));
    return serializar(doc.get());
}

} // namespace morvelin::xades
