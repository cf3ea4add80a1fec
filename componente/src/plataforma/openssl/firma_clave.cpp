#include "plataforma/openssl/firma_clave.h"

#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/x509.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>

namespace morvelin::plataforma::openssl {

namespace {

using Esquema = AlgoritmoFirma::Esquema;

} // namespace

const char* nombreResumen(ResumenFirma resumen) {
    switch (resumen) {
    case ResumenFirma::Sha1:
        return "SHA1";
    case ResumenFirma::Sha256:
        return "SHA256";
    case ResumenFirma::Sha384:
        return "SHA384";
    case ResumenFirma::Sha512:
        return "SHA512";
    }
    return "";
}

std::size_t largoResumen(ResumenFirma resumen) {
    switch (resumen) {
    case ResumenFirma::Sha1:
        return 20;
    case ResumenFirma::Sha256:
        return 32;
    case ResumenFirma::Sha384:
        return 48;
    case ResumenFirma::Sha512:
        return 64;
    }
    return 0;
}

std::optional<std::string> resumenAFirmar(const AlgoritmoFirma& algoritmo, std::string_view datos) {
    if (algoritmo.resumido) {
        if (datos.size() != largoResumen(algoritmo.resumen))
            return std::nullopt;
        return std::string(datos);
    }
    EnContextoPrivado en;
    const Propio<EVP_MD, EVP_MD_free> md(
        EVP_MD_fetch(contextoPrivado(), nombreResumen(algoritmo.resumen), nullptr));
    std::string resumen(largoResumen(algoritmo.resumen), '\0');
    unsigned int n = 0;
    if (!en.valido() || !md ||
        EVP_Digest(datos.data(), datos.size(), reinterpret_cast<unsigned char*>(resumen.data()), &n,
                   md.get(), nullptr) != 1 ||
        n != resumen.size())
        return std::nullopt;
    return resumen;
}

Esquema esquemaDe(EVP_PKEY* clave) {
    return clave != nullptr && EVP_PKEY_is_a(clave, "EC") ? Esquema::Ecdsa : Esquema::Pkcs1;
}

std::optional<std::string> firmarResumen(EVP_PKEY* clave, const AlgoritmoFirma& algoritmo,
                                         std::string_view resumen) {
    EnContextoPrivado en;
    if (!en.valido() || clave == nullptr || resumen.size() != largoResumen(algoritmo.resumen))
        return std::nullopt;
    const bool ec = algoritmo.esquema == Esquema::Ecdsa;
    if (!EVP_PKEY_is_a(clave, ec ? "EC" : "RSA"))
        return std::nullopt;
    const Propio<EVP_PKEY_CTX, EVP_PKEY_CTX_free> ctx(
        EVP_PKEY_CTX_new_from_pkey(contextoPrivado(), clave, nullptr));
    const Propio<EVP_MD, EVP_MD_free> md(
        EVP_MD_fetch(contextoPrivado(), nombreResumen(algoritmo.resumen), nullptr));
    if (!ctx || !md || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), md.get()) <= 0)
        return std::nullopt;
    if (algoritmo.esquema == Esquema::Pkcs1 &&
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
        return std::nullopt;
    if (algoritmo.esquema == Esquema::Pss &&
        (EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PSS_PADDING) <= 0 ||
         EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx.get(), RSA_PSS_SALTLEN_DIGEST) <= 0))
        return std::nullopt;
    const auto* r = reinterpret_cast<const unsigned char*>(resumen.data());
    std::size_t n = 0;
    if (EVP_PKEY_sign(ctx.get(), nullptr, &n, r, resumen.size()) <= 0)
        return std::nullopt;
    std::string firma(n, '\0');
    if (EVP_PKEY_sign(ctx.get(), reinterpret_cast<unsigned char*>(firma.data()), &n, r,
                      resumen.size()) <= 0)
        return std::nullopt;
    firma.resize(n);
    return firma;
}

} // namespace morvelin::plataforma::openssl
