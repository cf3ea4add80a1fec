#include "plataforma/openssl/x509.h"

#include "infraestructura/codificacion.h"

#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <ctime>

namespace morvelin::plataforma::openssl {

namespace {

const unsigned char* bytesDe(std::string_view datos) {
    return reinterpret_cast<const unsigned char*>(datos.data());
}

} // namespace

BioPropio bioDe(std::string_view bytes) {
    return BioPropio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

std::string valorUtf8(const ASN1_STRING* dato) {
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, dato);
    if (n < 0)
        return {};
    std::string valor(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
    OPENSSL_free(utf8);
    return valor;
}

std::vector<std::string> valoresNombre(const X509_NAME* nombre) {
    std::vector<std::string> valores;
    for (int i = 0; i < X509_NAME_entry_count(nombre); ++i)
        valores.push_back(valorUtf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(nombre, i))));
    return valores;
}

AtributosSujeto atributosSujeto(X509* certificado) {
    const X509_NAME* nombre = X509_get_subject_name(certificado);
    AtributosSujeto atributos;
    for (int i = 0; i < X509_NAME_entry_count(nombre); ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(nombre, i);
        char oid[256];
        const int n = OBJ_obj2txt(oid, sizeof oid, X509_NAME_ENTRY_get_object(e), 1);
        atributos.push_back({n > 0 && static_cast<std::size_t>(n) < sizeof oid ? oid : "",
                             valorEntrecomillado(valorUtf8(X509_NAME_ENTRY_get_data(e)))});
    }
    return atributos;
}

std::string nombreEnUnaLinea(const X509_NAME* nombre) {
    BioPropio b(BIO_new(BIO_s_mem()));
    constexpr unsigned long formato =
        XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    if (!b || X509_NAME_print_ex(b.get(), nombre, 0, formato) < 0)
        return {};
    char* datos = nullptr;
    const long n = BIO_get_mem_data(b.get(), &datos);
    return n > 0 ? std::string(datos, static_cast<std::size_t>(n)) : std::string();
}

std::string nombreComun(X509* certificado) {
    const X509_NAME* n = X509_get_subject_name(certificado);
    const int i = X509_NAME_get_index_by_NID(n, NID_commonName, -1);
    return i < 0 ? std::string() : valorUtf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(n, i)));
}

std::optional<long long> segundos(const ASN1_TIME* hora) {
    std::tm tm{};
    if (hora == nullptr || ASN1_TIME_to_tm(hora, &tm) != 1)
        return std::nullopt;
    return static_cast<long long>(::timegm(&tm));
}

std::optional<unsigned> usosClave(X509* certificado) {
    const std::uint32_t usos = X509_get_key_usage(certificado);
    if (usos == UINT32_MAX)
        return std::nullopt;
    return usos & 0xFF;
}

std::string derDe(X509* certificado) {
    std::string der;
    unsigned char* bytes = nullptr;
    if (const int n = i2d_X509(certificado, &bytes); n > 0)
        der.assign(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(n));
    OPENSSL_free(bytes);
    return der;
}

X509Propio certificadoDeDer(std::string_view der) {
    const unsigned char* p = bytesDe(der);
    return X509Propio(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

std::string derDeCertificado(const std::string& bytes) {
    BioPropio b = bioDe(bytes);
    char* nombre = nullptr;
    char* cabeceras = nullptr;
    unsigned char* datos = nullptr;
    long n = 0;
    while (PEM_read_bio(b.get(), &nombre, &cabeceras, &datos, &n) == 1) {
        const bool esCertificado = std::string_view(nombre) == PEM_STRING_X509 ||
                                   std::string_view(nombre) == PEM_STRING_X509_OLD ||
                                   std::string_view(nombre) == PEM_STRING_X509_TRUSTED;
        std::string der(reinterpret_cast<char*>(datos), static_cast<std::size_t>(n));
        OPENSSL_free(nombre);
        OPENSSL_free(cabeceras);
        OPENSSL_free(datos);
        if (esCertificado)
            return der;
    }
    return bytes.find("-----BEGIN ") == std::string::npos ? bytes : std::string();
}

} // namespace morvelin::plataforma::openssl
