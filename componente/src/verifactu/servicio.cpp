#include "verifactu/servicio.h"

#include "plataforma/openssl/x509.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <cstring>

namespace morvelin::verifactu {

namespace {

namespace ossl = plataforma::openssl;

constexpr const char* RutaVerifactu = "/wlpl/TIKE-CONT/ws/SistemaFacturacion/VerifactuSOAP";
constexpr const char* OidQcStatements = "1.3.6.1.5.5.7.1.3";
constexpr const char* OidQcType = "0.4.0.1862.1.6";
constexpr const char* OidQcTypeSello = "0.4.0.1862.1.6.2";
constexpr const char* PoliticasPersonaJuridica[] = {"0.4.0.194112.1.1", "0.4.0.194112.1.3"};

void liberarSecuencia(ASN1_SEQUENCE_ANY* s) {
    sk_ASN1_TYPE_pop_free(s, ASN1_TYPE_free);
}

std::string textoOid(const ASN1_OBJECT* oid) {
    char b[80];
    const int n = OBJ_obj2txt(b, sizeof b, oid, 1);
    return n > 0 && static_cast<std::size_t>(n) < sizeof b
               ? std::string(b, static_cast<std::size_t>(n))
               : std::string();
}

// Los elementos de una SEQUENCE en DER, leídos por OpenSSL.
std::unique_ptr<ASN1_SEQUENCE_ANY, decltype(&liberarSecuencia)> elementos(const unsigned char* p,
                                                                          long largo) {
    return {d2i_ASN1_SEQUENCE_ANY(nullptr, &p, largo), liberarSecuencia};
}

std::unique_ptr<ASN1_SEQUENCE_ANY, decltype(&liberarSecuencia)> elementos(const ASN1_TYPE* t) {
    if (t == nullptr || t->type != V_ASN1_SEQUENCE)
        return {nullptr, liberarSecuencia};
    return elementos(ASN1_STRING_get0_data(t->value.sequence),
                     ASN1_STRING_length(t->value.sequence));
}

// QCStatements ::= SEQUENCE OF SEQUENCE { statementId OID, statementInfo ANY OPTIONAL }; el de
// QcType lleva una SEQUENCE OF OID.
bool declaraSello(X509* x) {
    const ossl::Propio<ASN1_OBJECT, ASN1_OBJECT_free> qc(OBJ_txt2obj(OidQcStatements, 1));
    const int i = qc ? X509_get_ext_by_OBJ(x, qc.get(), -1) : -1;
    if (i < 0)
        return false;
    const ASN1_OCTET_STRING* valor = X509_EXTENSION_get_data(X509_get_ext(x, i));
    const auto declaraciones = elementos(ASN1_STRING_get0_data(valor), ASN1_STRING_length(valor));
    for (int d = 0; declaraciones && d < sk_ASN1_TYPE_num(declaraciones.get()); ++d) {
        const auto declaracion = elementos(sk_ASN1_TYPE_value(declaraciones.get(), d));
        if (!declaracion || sk_ASN1_TYPE_num(declaracion.get()) < 2)
            continue;
        const ASN1_TYPE* id = sk_ASN1_TYPE_value(declaracion.get(), 0);
        if (id->type != V_ASN1_OBJECT || textoOid(id->value.object) != OidQcType)
            continue;
        const auto tipos = elementos(sk_ASN1_TYPE_value(declaracion.get(), 1));
        for (int t = 0; tipos && t < sk_ASN1_TYPE_num(tipos.get()); ++t) {
            const ASN1_TYPE* tipo = sk_ASN1_TYPE_value(tipos.get(), t);
            if (tipo->type == V_ASN1_OBJECT && textoOid(tipo->value.object) == OidQcTypeSello)
                return true;
        }
    }
    return false;
}

bool politicaDePersonaJuridica(X509* x) {
    auto* politicas = static_cast<CERTIFICATEPOLICIES*>(
        X509_get_ext_d2i(x, NID_certificate_policies, nullptr, nullptr));
    bool juridica = false;
    for (int i = 0; politicas && i < sk_POLICYINFO_num(politicas); ++i) {
        const std::string oid = textoOid(sk_POLICYINFO_value(politicas, i)->policyid);
        for (const char* p : PoliticasPersonaJuridica)
            juridica = juridica || oid == p;
    }
    CERTIFICATEPOLICIES_free(politicas);
    return juridica;
}

} // namespace

bool esCertificadoDeSello(std::string_view der) {
    const auto x = ossl::certificadoDeDer(der);
    return x && (declaraSello(x.get()) || politicaDePersonaJuridica(x.get()));
}

std::string direccionServicio(Entorno entorno, bool sello) {
    const char* servidor =
        entorno == Entorno::Pruebas
            ? (sello ? "prewww10.aeat.es" : "prewww1.aeat.es")
            : (sello ? "www10.agenciatributaria.gob.es" : "www1.agenciatributaria.gob.es");
    return std::string("https://") + servidor + RutaVerifactu;
}

} // namespace morvelin::verifactu
