// La comprobación de una firma XAdES-EPES envuelta. libxmlsec1 comprueba la firma y los
// resúmenes de las referencias con el certificado que trae la firma; aquí, lo que no mira: que
// hay una sola firma y en su sitio, que sus referencias son el documento entero y las
// propiedades firmadas de esa misma firma (no otro elemento con el mismo Id), el certificado de
// SigningCertificate, la política y la hora de la firma.
#include "infraestructura/codificacion.h"
#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/x509.h"
#include "xades/documento.h"
#include "xades/xades.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <xmlsec/crypto.h>
#include <xmlsec/keys.h>
#include <xmlsec/xmldsig.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace morvelin::xades {

namespace {

using namespace detalle;
namespace ossl = plataforma::openssl;

bool algoritmoEs(const xmlNode* n, std::initializer_list<const char*> admitidos) {
    const auto a = atributo(n, "Algorithm");
    return a &&
           std::any_of(admitidos.begin(), admitidos.end(), [&](const char* x) { return *a == x; });
}

const std::initializer_list<const char*> Canonicalizaciones = {
    "http://www.w3.org/TR/2001/REC-xml-c14n-20010315",
    "http://www.w3.org/TR/2001/REC-xml-c14n-20010315#WithComments",
    "http://www.w3.org/2001/10/xml-exc-c14n#",
    "http://www.w3.org/2001/10/xml-exc-c14n#WithComments",
};

// Las firmas del documento (ds:Signature en cualquier lugar).
void firmasEn(xmlNode* n, std::vector<xmlNode*>& firmas) {
    for (xmlNode* h = primerElemento(n); h; h = siguienteElemento(h)) {
        if (es(h, "Signature", EspacioDs))
            firmas.push_back(h);
        firmasEn(h, firmas);
    }
}

// Texto sin blancos (los base64 y los resúmenes vienen a veces partidos en líneas).
std::string sinBlancos(std::string s) {
    s.erase(std::remove_if(
                s.begin(), s.end(),
                [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }),
            s.end());
    return s;
}

std::optional<std::string> base64De(const xmlNode* n) {
    std::string r;
    if (!decodificarBase64Estricto(sinBlancos(texto(n)), r))
        return std::nullopt;
    return r;
}

// Las dos referencias de una firma XAdES envuelta.
struct Referencias {
    xmlNode* documento = nullptr;
    xmlNode* propiedades = nullptr;
};

// Vacío si las referencias son exactamente el documento entero (enveloped-signature, y como
// mucho una canonicalización) y las propiedades firmadas `idPropiedades`; si no, el motivo.
std::string leerReferencias(xmlNode* signedInfo, const std::string& idPropiedades, Referencias& r) {
    int cuantas = 0;
    for (xmlNode* ref = primerElemento(signedInfo); ref; ref = siguienteElemento(ref)) {
        if (!es(ref, "Reference", EspacioDs))
            continue;
        ++cuantas;
        const auto uri = atributo(ref, "URI");
        if (uri && uri->empty()) {
            xmlNode* t = primerElemento(hijo(ref, "Transforms"));
            if (!es(t, "Transform", EspacioDs) || !algoritmoEs(t, {AlgoritmoEnveloped}))
                return "la referencia al documento no quita la firma (enveloped-signature).";
            t = siguienteElemento(t);
            if (t && (!algoritmoEs(t, Canonicalizaciones) || siguienteElemento(t)))
                return "la referencia al documento lleva transformaciones de más.";
            r.documento = ref;
        } else if (atributo(ref, "Type") == std::optional<std::string>(TipoPropiedadesFirmadas) &&
                   uri == "#" + idPropiedades) {
            r.propiedades = ref;
        }
    }
    if (cuantas != 2 || !r.documento || !r.propiedades)
        return "sus referencias no son el documento entero y sus propiedades firmadas.";
    return {};
}

// La comprobación de libxmlsec1: la firma y los resúmenes. Vacío si es correcta; si no, el
// motivo.
std::string comprobarConXmlsec(xmlNode* firma, const std::string& der) {
    std::unique_ptr<xmlSecDSigCtx, decltype(&xmlSecDSigCtxDestroy)> ctx(
        xmlSecDSigCtxCreate(nullptr), xmlSecDSigCtxDestroy);
    if (!ctx)
        throw std::bad_alloc();
    ctx->signKey = xmlSecCryptoAppKeyLoadMemory(
        reinterpret_cast<const xmlSecByte*>(der.data()), static_cast<xmlSecSize>(der.size()),
        xmlSecKeyDataFormatCertDer, nullptr, nullptr, nullptr);
    if (!ctx->signKey)
        return "la clave de su certificado no se puede leer.";
    // Solo referencias dentro del documento y las transformaciones de XAdES: nada de red, XSLT
    // ni XPath.
    ctx->enabledReferenceUris = xmlSecTransformUriTypeEmpty | xmlSecTransformUriTypeSameDocument;
    ctx->flags |= XMLSEC_DSIG_FLAGS_IGNORE_MANIFESTS;
    for (auto id : {xmlSecTransformInclC14NId, xmlSecTransformInclC14NWithCommentsId,
                    xmlSecTransformExclC14NId, xmlSecTransformExclC14NWithCommentsId}) {
        xmlSecDSigCtxEnableReferenceTransform(ctx.get(), id);
        xmlSecDSigCtxEnableSignatureTransform(ctx.get(), id);
    }
    xmlSecDSigCtxEnableReferenceTransform(ctx.get(), xmlSecTransformEnvelopedId);
    for (auto id : {xmlSecTransformSha1Id, xmlSecTransformSha256Id, xmlSecTransformSha384Id,
                    xmlSecTransformSha512Id})
        xmlSecDSigCtxEnableReferenceTransform(ctx.get(), id);
    for (auto id :
         {xmlSecTransformRsaSha256Id, xmlSecTransformRsaSha384Id, xmlSecTransformRsaSha512Id})
        xmlSecDSigCtxEnableSignatureTransform(ctx.get(), id);
    if (xmlSecDSigCtxVerify(ctx.get(), firma) < 0)
        return "la firma no se puede comprobar (un algoritmo no admitido o su estructura).";
    if (ctx->status == xmlSecDSigStatusSucceeded)
        return {};
    const xmlSecSize n = xmlSecPtrListGetSize(&ctx->signedInfoReferences);
    for (xmlSecSize i = 0; i < n; ++i) {
        auto* ref = static_cast<xmlSecDSigReferenceCtxPtr>(
            xmlSecPtrListGetItem(&ctx->signedInfoReferences, i));
        if (ref && ref->status != xmlSecDSigStatusSucceeded) {
            const bool documento = ref->uri && ref->uri[0] == '\0';
            return documento ? "lo firmado ha cambiado después de firmarse (su resumen no es el "
                               "firmado)."
                             : "las propiedades firmadas (hora, certificado, política) han "
                               "cambiado después de firmarse.";
        }
    }
    return "el valor de la firma no corresponde a lo firmado con la clave de su certificado.";
}

// Vacío si `der` es el certificado de SigningCertificate (resumen y número de serie); si no, el
// motivo.
std::string comprobarCertificadoFirmado(xmlNode* ssp, const std::string& der, X509* certificado) {
    xmlNode* sc = hijo(ssp, "SigningCertificate", EspacioXades);
    if (!sc)
        return "no lleva el certificado del firmante entre las propiedades firmadas "
               "(SigningCertificate).";
    const std::string serie = serieDecimal(certificado);
    for (xmlNode* c = hijo(sc, "Cert", EspacioXades); c; c = siguienteElemento(c)) {
        xmlNode* cd = hijo(c, "CertDigest", EspacioXades);
        const auto algoritmo = atributo(hijo(cd, "DigestMethod"), "Algorithm");
        const auto valor = base64De(hijo(cd, "DigestValue"));
        const auto calculado = algoritmo ? resumen(*algoritmo, der) : std::nullopt;
        if (!valor || !calculado || *valor != *calculado)
            continue;
        const std::string leida =
            sinBlancos(texto(hijo(hijo(c, "IssuerSerial", EspacioXades), "X509SerialNumber")));
        BIGNUM *a = nullptr, *b = nullptr;
        const bool igual = BN_dec2bn(&a, leida.c_str()) > 0 && BN_dec2bn(&b, serie.c_str()) > 0 &&
                           BN_cmp(a, b) == 0;
        BN_free(a);
        BN_free(b);
        if (!igual)
            return "el número de serie del certificado no es el de SigningCertificate.";
        return {};
    }
    return "el certificado de la firma no es el de SigningCertificate (otro resumen).";
}

std::string comprobarPolitica(xmlNode* ssp, const Politica& p) {
    xmlNode* pid = hijo(hijo(ssp, "SignaturePolicyIdentifier", EspacioXades), "SignaturePolicyId",
                        EspacioXades);
    if (!pid)
        return "no lleva política de firma (SignaturePolicyIdentifier).";
    const std::string id =
        sinBlancos(texto(hijo(hijo(pid, "SigPolicyId", EspacioXades), "Identifier", EspacioXades)));
    if (id != p.identificador)
        return "su política de firma es «" + id + "», no «" + p.identificador + "».";
    xmlNode* h = hijo(pid, "SigPolicyHash", EspacioXades);
    if (atributo(hijo(h, "DigestMethod"), "Algorithm") !=
            std::optional<std::string>(p.algoritmoResumen) ||
        sinBlancos(texto(hijo(h, "DigestValue"))) != p.resumen)
        return "el resumen de su política de firma no es el de la política " + p.identificador +
               ".";
    return {};
}

} // namespace

FirmaComprobada comprobarEnvuelta(std::string_view xml, const RutaFirma& ruta,
                                  const Politica& politica, std::int64_t ahora) {
    iniciarXmlsec();
    ossl::EnContextoPrivado contexto;
    FirmaComprobada r;
    const auto mal = [&](std::string motivo) {
        r.valida = false;
        r.motivo = std::move(motivo);
        return r;
    };
    Documento doc = leerDocumento(xml);
    xmlNode* raiz = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!raiz)
        return mal("no es XML bien formado.");
    r.nombreRaiz = reinterpret_cast<const char*>(raiz->name);
    r.espacioRaiz = raiz->ns ? reinterpret_cast<const char*>(raiz->ns->href) : "";

    // Una sola firma, como último elemento de su contenedor.
    std::vector<xmlNode*> firmas;
    if (es(raiz, "Signature", EspacioDs))
        firmas.push_back(raiz);
    firmasEn(raiz, firmas);
    if (firmas.empty())
        return mal("no está firmado.");
    if (firmas.size() > 1)
        return mal("lleva más de una firma.");
    xmlNode* firma = firmas.front();
    if (firma->parent != contenedor(doc.get(), ruta) || siguienteElemento(firma))
        return mal("la firma no está en su sitio.");

    // Las propiedades firmadas de esta firma, y solo ellas con su Id.
    const auto idFirma = atributo(firma, "Id");
    xmlNode* qp = nullptr;
    for (xmlNode* o = hijo(firma, "Object"); o && !qp; o = siguienteElemento(o))
        if (es(o, "Object", EspacioDs))
            qp = hijo(o, "QualifyingProperties", EspacioXades);
    xmlNode* sp = hijo(qp, "SignedProperties", EspacioXades);
    const auto idPropiedades = atributo(sp, "Id");
    if (!sp || !idFirma || !idPropiedades || idPropiedades->empty())
        return mal("no es una firma XAdES (faltan sus propiedades firmadas o sus Id).");
    if (atributo(qp, "Target") != "#" + *idFirma)
        return mal("sus propiedades XAdES son de otra firma (Target).");
    Referencias refs;
    if (auto m = leerReferencias(hijo(firma, "SignedInfo"), *idPropiedades, refs); !m.empty())
        return mal(m);
    // Otro elemento con el mismo Id (declarado en una DTD, xml:id) no ocupa su lugar.
    xmlAttr* id = xmlHasProp(sp, X("Id"));
    xmlAddID(nullptr, doc.get(), X(idPropiedades->c_str()), id);
    xmlAttr* registrado = xmlGetID(doc.get(), X(idPropiedades->c_str()));
    if (registrado != id)
        return mal("otro elemento usa el Id de sus propiedades firmadas.");

    // El certificado que trae, y la firma con su clave.
    const auto der = base64De(hijo(hijo(hijo(firma, "KeyInfo"), "X509Data"), "X509Certificate"));
    const ossl::X509Propio certificado = der ? ossl::certificadoDeDer(*der) : nullptr;
    if (!certificado)
        return mal("no trae un certificado legible (KeyInfo/X509Data).");
    r.certificadoDer = *der;
    EVP_PKEY* clave = X509_get0_pubkey(certificado.get());
    if (!clave || EVP_PKEY_get_base_id(clave) != EVP_PKEY_RSA || EVP_PKEY_get_bits(clave) < 1024)
        return mal("la clave de su certificado no es RSA de al menos 1024 bits.");
    if (auto m = comprobarConXmlsec(firma, *der); !m.empty())
        return mal(m);

    xmlNode* ssp = hijo(sp, "SignedSignatureProperties", EspacioXades);
    if (auto m = comprobarCertificadoFirmado(ssp, *der, certificado.get()); !m.empty())
        return mal(m);
    if (auto m = comprobarPolitica(ssp, politica); !m.empty())
        return mal(m);
    xmlNode* formato = hijo(hijo(sp, "SignedDataObjectProperties", EspacioXades),
                            "DataObjectFormat", EspacioXades);
    const auto idDocumento = atributo(refs.documento, "Id");
    if (formato && (!idDocumento || atributo(formato, "ObjectReference") != "#" + *idDocumento))
        return mal("el formato firmado (DataObjectFormat) es de otra referencia.");

    const std::string hora = texto(hijo(ssp, "SigningTime", EspacioXades));
    r.horaFirma = leerHoraXsd(sinBlancos(hora));
    if (!r.horaFirma)
        return mal("no lleva una hora de firma legible (SigningTime).");
    const auto desde = ossl::segundos(X509_get0_notBefore(certificado.get()));
    const auto hasta = ossl::segundos(X509_get0_notAfter(certificado.get()));
    if (!desde || !hasta || *r.horaFirma < *desde || *r.horaFirma > *hasta)
        return mal("su certificado no era válido en la hora de la firma (" + sinBlancos(hora) +
                   ").");
    if (*r.horaFirma > ahora + MargenFuturo)
        return mal("dice haberse firmado en el futuro (" + sinBlancos(hora) + ").");
    r.valida = true;
    return r;
}

} // namespace morvelin::xades
