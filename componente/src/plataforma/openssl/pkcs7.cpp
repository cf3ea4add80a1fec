// La firma PKCS #7 desprendida con OpenSSL: su ensamblado y su comprobación.
#include "plataforma/openssl/pkcs7.h"

#include "plataforma/criptografia.h"
#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/x509.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
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

using openssl::BioPropio;
using openssl::Propio;
using openssl::segundos;
using Pkcs7Propio = Propio<PKCS7, PKCS7_free>;
using AlmacenX509 = Propio<X509_STORE, X509_STORE_free>;
using ContextoX509 = Propio<X509_STORE_CTX, X509_STORE_CTX_free>;

// Añade a `almacen` los certificados de un fichero PEM (todos) o DER (uno). Cuántos añadió.
int anadirCertificados(X509_STORE* almacen, const fs::path& ruta) {
    std::error_code ec;
    if (!fs::is_regular_file(ruta, ec) || fs::file_size(ruta, ec) > TamanoMaximoAutoridades)
        return 0;
    std::ifstream f(ruta, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(f), {}};
    int n = 0;
    BioPropio b = openssl::bioDe(bytes);
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

std::optional<std::string> openssl::ensamblarPkcs7(X509* certificado, std::string_view contenido,
                                                   const FirmaExterna& firmar) {
    EVP_PKEY* publica = X509_get0_pubkey(certificado);
    Pkcs7Propio p7(PKCS7_new());
    if (publica == nullptr || !p7 || !PKCS7_set_type(p7.get(), NID_pkcs7_signed) ||
        !PKCS7_content_new(p7.get(), NID_pkcs7_data))
        return std::nullopt;
    // Los algoritmos del firmante salen de su clave pública (rsaEncryption o ecdsa-with-SHA1).
    PKCS7_SIGNER_INFO* firmante = PKCS7_SIGNER_INFO_new();
    if (firmante == nullptr)
        return std::nullopt;
    if (!PKCS7_SIGNER_INFO_set(firmante, certificado, publica, EVP_sha1()) ||
        !PKCS7_add_signer(p7.get(), firmante)) {
        PKCS7_SIGNER_INFO_free(firmante);
        return std::nullopt;
    }
    if (!PKCS7_add_certificate(p7.get(), certificado))
        return std::nullopt;
    // Los cuatro atributos firmados: tipo de contenido, hora (la de ahora, UTC), capacidades
    // S/MIME con una sola entrada (RC2-CBC, 40) y resumen del contenido. En DER un SET OF va
    // ordenado: el orden en que se añaden no cambia la estructura.
    unsigned char resumen[EVP_MAX_MD_SIZE];
    unsigned int largo = 0;
    if (EVP_Digest(contenido.data(), contenido.size(), resumen, &largo, EVP_sha1(), nullptr) != 1)
        return std::nullopt;
    STACK_OF(X509_ALGOR)* capacidades = sk_X509_ALGOR_new_null();
    const bool conCapacidades = capacidades != nullptr &&
                                PKCS7_simple_smimecap(capacidades, NID_rc2_cbc, 40) &&
                                PKCS7_add_attrib_smimecap(firmante, capacidades);
    sk_X509_ALGOR_pop_free(capacidades, X509_ALGOR_free);
    if (!conCapacidades || !PKCS7_add_attrib_content_type(firmante, nullptr) ||
        !PKCS7_add0_attrib_signing_time(firmante, nullptr) ||
        !PKCS7_add1_attrib_digest(firmante, resumen, static_cast<int>(largo)) ||
        !PKCS7_set_detached(p7.get(), 1))
        return std::nullopt;
    // Lo que se firma es el DER de los atributos firmados.
    unsigned char* atributos = nullptr;
    const int n = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(firmante->auth_attr), &atributos,
                                ASN1_ITEM_rptr(PKCS7_ATTR_SIGN));
    if (n <= 0)
        return std::nullopt;
    const auto firma =
        firmar(std::string_view(reinterpret_cast<char*>(atributos), static_cast<std::size_t>(n)));
    OPENSSL_free(atributos);
    if (!firma ||
        !ASN1_STRING_set(firmante->enc_digest, firma->data(), static_cast<int>(firma->size())))
        return std::nullopt;
    unsigned char* der = nullptr;
    const int m = i2d_PKCS7(p7.get(), &der);
    if (m <= 0)
        return std::nullopt;
    std::string resultado(reinterpret_cast<char*>(der), static_cast<std::size_t>(m));
    OPENSSL_free(der);
    return resultado;
}

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
    r.atributosSujeto = openssl::atributosSujeto(certificado);
    r.certificadoDer = openssl::derDe(certificado);
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
    BioPropio datos = openssl::bioDe(contenido);
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
