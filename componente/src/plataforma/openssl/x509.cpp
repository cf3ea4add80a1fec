#include "plataforma/openssl/x509.h"

#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <ctime>

namespace morvelin::plataforma::openssl {

namespace {

// Entre comillas si lleva separadores o blancos en los extremos; las comillas se duplican.
std::string entrecomillar(const std::string& v) {
    const bool blancoEnExtremo = !v.empty() && (v.front() == ' ' || v.front() == '\t' ||
                                                v.back() == ' ' || v.back() == '\t');
    if (!blancoEnExtremo && v.find_first_of(",+=\"<>#;\r\n") == std::string::npos)
        return v;
    std::string q = "\"";
    for (char c : v) {
        q += c;
        if (c == '"')
            q += '"';
    }
    return q + '"';
}

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

std::string textoSujeto(X509* certificado) {
    const X509_NAME* nombre = X509_get_subject_name(certificado);
    std::string texto;
    int componenteAnterior = -1;
    for (int i = 0; i < X509_NAME_entry_count(nombre); ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(nombre, i);
        const int componente = X509_NAME_ENTRY_set(e);
        if (i > 0)
            texto += componente == componenteAnterior ? " + " : "\r\n";
        componenteAnterior = componente;
        char oid[256];
        const int n = OBJ_obj2txt(oid, sizeof oid, X509_NAME_ENTRY_get_object(e), 1);
        if (n > 0 && static_cast<std::size_t>(n) < sizeof oid)
            texto += oid;
        texto += '=';
        texto += entrecomillar(valorUtf8(X509_NAME_ENTRY_get_data(e)));
    }
    return texto;
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

NombrePropio sujetoDeDer(std::string_view der) {
    // Certificate ::= SEQUENCE { tbsCertificate SEQUENCE { [0] version OPTIONAL, serialNumber,
    // signature, issuer, validity, subject, ... }, ... }
    const unsigned char* p = bytesDe(der);
    const unsigned char* const fin = p + der.size();
    long largo = 0;
    int etiqueta = 0, clase = 0;
    const auto cabecera = [&] {
        if (p >= fin)
            return false;
        const int r = ASN1_get_object(&p, &largo, &etiqueta, &clase, fin - p);
        return (r & 0x80) == 0 && r != 0x21 && largo <= fin - p;
    };
    const auto saltar = [&] {
        if (!cabecera())
            return false;
        p += largo;
        return true;
    };
    // Entra en Certificate y en tbsCertificate.
    for (int i = 0; i < 2; ++i)
        if (!cabecera() || etiqueta != V_ASN1_SEQUENCE)
            return nullptr;
    // La versión es opcional ([0]).
    const unsigned char* const inicio = p;
    if (!cabecera())
        return nullptr;
    p = clase == V_ASN1_CONTEXT_SPECIFIC && etiqueta == 0 ? p + largo : inicio;
    // Serie, algoritmo de firma, emisor y validez.
    for (int i = 0; i < 4; ++i)
        if (!saltar())
            return nullptr;
    return NombrePropio(d2i_X509_NAME(nullptr, &p, fin - p));
}

} // namespace morvelin::plataforma::openssl
