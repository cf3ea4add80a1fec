#include "credenciales.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace servicio_local {

namespace {

void exigir(bool bien, const char* que) {
    if (!bien)
        throw FalloOpenSsl(std::string("OpenSSL: ") + que);
}

struct BorrarBio {
    void operator()(BIO* b) const { BIO_free(b); }
};
using Bio = std::unique_ptr<BIO, BorrarBio>;

std::string contenido(BIO* b) {
    char* datos = nullptr;
    const long n = BIO_get_mem_data(b, &datos);
    return std::string(datos, static_cast<std::size_t>(n));
}

void extension(X509* c, X509* emisor, int nid, const std::string& valor) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, emisor, c, nullptr, nullptr, 0);
    X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, &ctx, nid, valor.c_str());
    exigir(e != nullptr, "extensión");
    const int r = X509_add_ext(c, e, -1);
    X509_EXTENSION_free(e);
    exigir(r == 1, "añadir extensión");
}

} // namespace

Clave claveRsa(int bits) {
    Clave k(EVP_RSA_gen(static_cast<unsigned>(bits)));
    exigir(k != nullptr, "clave RSA");
    return k;
}

Clave claveEc() {
    Clave k(EVP_EC_gen("P-256"));
    exigir(k != nullptr, "clave EC");
    return k;
}

Certificado emitir(const DatosCertificado& datos, EVP_PKEY* clave, X509* emisor,
                   EVP_PKEY* claveEmisor) {
    Certificado c(X509_new());
    exigir(c != nullptr, "certificado");
    X509* x = c.get();
    exigir(X509_set_version(x, 2) == 1, "versión");
    unsigned char serie[16];
    exigir(RAND_bytes(serie, sizeof serie) == 1, "número de serie");
    serie[0] &= 0x7F;
    BIGNUM* bn = BN_bin2bn(serie, sizeof serie, nullptr);
    exigir(bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x)), "número de serie");
    BN_free(bn);
    exigir(X509_gmtime_adj(X509_getm_notBefore(x), datos.desde) != nullptr, "validez");
    exigir(X509_gmtime_adj(X509_getm_notAfter(x), datos.hasta) != nullptr, "validez");
    X509_NAME* nombre = X509_get_subject_name(x);
    for (const auto& [campo, valor] : datos.sujeto)
        exigir(X509_NAME_add_entry_by_txt(nombre, campo.c_str(), MBSTRING_UTF8,
                                          reinterpret_cast<const unsigned char*>(valor.c_str()),
                                          static_cast<int>(valor.size()), -1, 0) == 1,
               "atributo del sujeto");
    X509* quienEmite = emisor ? emisor : x;
    exigir(X509_set_issuer_name(x, X509_get_subject_name(quienEmite)) == 1, "emisor");
    exigir(X509_set_pubkey(x, clave) == 1, "clave pública");

    extension(x, quienEmite, NID_subject_key_identifier, "hash");
    if (datos.autoridad) {
        extension(x, quienEmite, NID_basic_constraints, "critical,CA:TRUE");
        extension(x, quienEmite, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        extension(x, quienEmite, NID_basic_constraints, "critical,CA:FALSE");
        extension(x, quienEmite, NID_key_usage,
                  datos.servidor ? "critical,digitalSignature,keyEncipherment"
                                 : "critical,digitalSignature,nonRepudiation");
    }
    if (datos.servidor)
        extension(x, quienEmite, NID_ext_key_usage, "serverAuth");
    std::string alternativos;
    for (const auto& n : datos.nombresDns)
        alternativos += (alternativos.empty() ? "DNS:" : ",DNS:") + n;
    for (const auto& ip : datos.ips)
        alternativos += (alternativos.empty() ? "IP:" : ",IP:") + ip;
    if (!alternativos.empty())
        extension(x, quienEmite, NID_subject_alt_name, alternativos);
    if (emisor)
        extension(x, quienEmite, NID_authority_key_identifier, "keyid:always");

    exigir(X509_sign(x, emisor ? claveEmisor : clave, EVP_sha256()) > 0, "firmar certificado");
    return c;
}

std::string pem(X509* certificado) {
    Bio b(BIO_new(BIO_s_mem()));
    exigir(b && PEM_write_bio_X509(b.get(), certificado) == 1, "PEM del certificado");
    return contenido(b.get());
}

std::string pem(EVP_PKEY* clave) {
    Bio b(BIO_new(BIO_s_mem()));
    exigir(b &&
               PEM_write_bio_PrivateKey(b.get(), clave, nullptr, nullptr, 0, nullptr, nullptr) == 1,
           "PEM de la clave");
    return contenido(b.get());
}

std::string firmaSeparada(const std::string& texto, X509* certificado, EVP_PKEY* clave) {
    Bio datos(BIO_new_mem_buf(texto.data(), static_cast<int>(texto.size())));
    exigir(datos != nullptr, "BIO");
    const int banderas = PKCS7_BINARY | PKCS7_DETACHED | PKCS7_PARTIAL;
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(
        PKCS7_sign(nullptr, nullptr, nullptr, nullptr, banderas), &PKCS7_free);
    exigir(p7 != nullptr, "PKCS7_sign");
    exigir(PKCS7_sign_add_signer(p7.get(), certificado, clave, EVP_sha1(), banderas) != nullptr,
           "firmante");
    exigir(PKCS7_final(p7.get(), datos.get(), banderas) == 1, "PKCS7_final");
    unsigned char* der = nullptr;
    const int n = i2d_PKCS7(p7.get(), &der);
    exigir(n > 0, "DER de la firma");
    std::string r(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
    OPENSSL_free(der);
    return r;
}

std::string resumenSha1Hex(const std::string& datos) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    exigir(EVP_Digest(datos.data(), datos.size(), md, &n, EVP_sha1(), nullptr) == 1, "SHA-1");
    std::string hex;
    char b[3];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", md[i]);
        hex += b;
    }
    return hex;
}

std::string base64(const std::string& bytes) {
    std::string r(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(r.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    r.resize(static_cast<std::size_t>(n));
    return r;
}

} // namespace servicio_local
