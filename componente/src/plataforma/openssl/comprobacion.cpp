// La comprobación de una firma PKCS #7 desprendida con OpenSSL.
#include "plataforma/criptografia.h"
#include "plataforma/openssl/almacen.h"
#include "plataforma/openssl/contexto.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace morvelin::plataforma {

namespace {

namespace fs = std::filesystem;

// Ningún fichero de autoridades es tan grande: uno mayor no se lee.
constexpr std::uintmax_t TamanoMaximoAutoridades = 16u << 20;

template <class T, void (*Liberar)(T*)> struct Liberador {
    void operator()(T* p) const { Liberar(p); }
};
using Pkcs7Propio = std::unique_ptr<PKCS7, Liberador<PKCS7, PKCS7_free>>;
using BioPropio = std::unique_ptr<BIO, Liberador<BIO, BIO_free_all>>;
using AlmacenX509 = std::unique_ptr<X509_STORE, Liberador<X509_STORE, X509_STORE_free>>;
using ContextoX509 =
    std::unique_ptr<X509_STORE_CTX, Liberador<X509_STORE_CTX, X509_STORE_CTX_free>>;

std::optional<long long> segundos(const ASN1_TIME* t) {
    std::tm tm{};
    if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1)
        return std::nullopt;
    return static_cast<long long>(::timegm(&tm));
}

// Añade a `almacen` los certificados de un fichero PEM (todos) o DER (uno). Cuántos añadió.
int anadirCertificados(X509_STORE* almacen, const fs::path& ruta) {
    std::error_code ec;
    if (!fs::is_regular_file(ruta, ec) || fs::file_size(ruta, ec) > TamanoMaximoAutoridades)
        return 0;
    std::ifstream f(ruta, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(f), {}};
    int n = 0;
    BioPropio b(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    while (X509* x = PEM_read_bio_X509(b.get(), nullptr, nullptr, nullptr)) {
        n += X509_STORE_add_cert(almacen, x) == 1;
        X509_free(x);
    }
    if (n == 0) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        if (X509* x = d2i_X509(nullptr, &p, static_cast<long>(bytes.size()))) {
            n += X509_STORE_add_cert(almacen, x) == 1;
            X509_free(x);
        }
    }
    return n;
}

std::string porQueNoEncadena(int error) {
    switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return "el certificado no lleva a ninguna de las autoridades indicadas";
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "un certificado de la cadena no era válido en la hora de la firma";
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return "la firma de un certificado de la cadena no es correcta";
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_INVALID_PURPOSE:
        return "un certificado de la cadena no puede emitir certificados";
    default:
        return "la cadena del certificado no se puede comprobar (" +
               std::string(X509_verify_cert_error_string(error)) + ")";
    }
}

// Vacío si `firmante` lleva a las autoridades de `ruta` en la hora `hora`; si no, por qué.
std::string comprobarCadena(X509* firmante, STACK_OF(X509) * intermedios, const std::string& ruta,
                            std::optional<long long> hora) {
    AlmacenX509 almacen(X509_STORE_new());
    ContextoX509 ctx(X509_STORE_CTX_new());
    if (!almacen || !ctx)
        return "no se ha podido comprobar la cadena del certificado";
    int n = 0;
    std::error_code ec;
    if (fs::is_directory(ruta, ec)) {
        std::vector<fs::path> ficheros;
        for (const auto& e : fs::directory_iterator(ruta, ec))
            ficheros.push_back(e.path());
        std::sort(ficheros.begin(), ficheros.end());
        for (const auto& f : ficheros)
            n += anadirCertificados(almacen.get(), f);
    } else {
        n = anadirCertificados(almacen.get(), ruta);
    }
    if (n == 0)
        return "no hay certificados de autoridad en «" + ruta + "»";
    if (X509_STORE_CTX_init(ctx.get(), almacen.get(), firmante, intermedios) != 1)
        return "no se ha podido comprobar la cadena del certificado";
    if (hora)
        X509_STORE_CTX_set_time(ctx.get(), 0, static_cast<std::time_t>(*hora));
    if (X509_verify_cert(ctx.get()) == 1)
        return {};
    return porQueNoEncadena(X509_STORE_CTX_get_error(ctx.get()));
}

} // namespace

FirmaComprobada comprobarFirmaDesprendida(std::string_view firmaDer, std::string_view contenido,
                                          const std::string& autoridades) {
    using Estado = FirmaComprobada::Estado;
    FirmaComprobada r;
    openssl::EnContextoPrivado en;
    if (!en.valido())
        return r;
    const auto* p = reinterpret_cast<const unsigned char*>(firmaDer.data());
    Pkcs7Propio p7(d2i_PKCS7(nullptr, &p, static_cast<long>(firmaDer.size())));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !PKCS7_get_detached(p7.get()))
        return r;
    STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7.get());
    if (infos == nullptr || sk_PKCS7_SIGNER_INFO_num(infos) != 1)
        return r;
    PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
    STACK_OF(X509)* firmantes = PKCS7_get0_signers(p7.get(), nullptr, 0);
    X509* certificado =
        firmantes && sk_X509_num(firmantes) == 1 ? sk_X509_value(firmantes, 0) : nullptr;
    sk_X509_free(firmantes);
    const auto desde = segundos(certificado ? X509_get0_notBefore(certificado) : nullptr);
    const auto hasta = segundos(certificado ? X509_get0_notAfter(certificado) : nullptr);
    if (!desde || !hasta)
        return r;
    r.textoSujeto = openssl::textoSujeto(certificado);
    unsigned char* der = nullptr;
    const int n = i2d_X509(certificado, &der);
    if (n > 0)
        r.certificadoDer.assign(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
    OPENSSL_free(der);
    r.validoDesde = *desde;
    r.validoHasta = *hasta;
    if (const ASN1_TYPE* t = PKCS7_get_signed_attribute(info, NID_pkcs9_signingTime);
        t && (t->type == V_ASN1_UTCTIME || t->type == V_ASN1_GENERALIZEDTIME))
        r.horaFirma = segundos(t->value.utctime);

    // El resumen firmado frente al del contenido: así se distingue otra factura de una firma
    // alterada.
    if (const ASN1_OCTET_STRING* firmado = PKCS7_digest_from_attributes(info->auth_attr)) {
        const EVP_MD* md = EVP_get_digestbyobj(info->digest_alg->algorithm);
        unsigned char resumen[EVP_MAX_MD_SIZE];
        unsigned int largo = 0;
        if (md == nullptr ||
            EVP_Digest(contenido.data(), contenido.size(), resumen, &largo, md, nullptr) != 1)
            return r;
        if (static_cast<int>(largo) != ASN1_STRING_length(firmado) ||
            !std::equal(resumen, resumen + largo, ASN1_STRING_get0_data(firmado))) {
            r.estado = Estado::OtroContenido;
            return r;
        }
    }
    BioPropio datos(BIO_new_mem_buf(contenido.data(), static_cast<int>(contenido.size())));
    if (!datos)
        return r;
    if (PKCS7_verify(p7.get(), nullptr, nullptr, datos.get(), nullptr,
                     PKCS7_NOVERIFY | PKCS7_BINARY) != 1) {
        r.estado = info->auth_attr && sk_X509_ATTRIBUTE_num(info->auth_attr) > 0
                       ? Estado::FirmaAlterada
                       : Estado::OtroContenido;
        return r;
    }
    r.estado = Estado::Valida;
    if (!autoridades.empty())
        r.fueraDeCadena = comprobarCadena(certificado, p7->d.sign->cert, autoridades, r.horaFirma);
    return r;
}

} // namespace morvelin::plataforma
