#pragma once
// Claves, certificados y firmas de prueba, hechos con OpenSSL al vuelo: la autoridad y el
// certificado del servicio local, y los certificados de firmantes que usan las pruebas.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace servicio_local {

struct BorrarClave {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct BorrarCertificado {
    void operator()(X509* c) const { X509_free(c); }
};
using Clave = std::unique_ptr<EVP_PKEY, BorrarClave>;
using Certificado = std::unique_ptr<X509, BorrarCertificado>;

/// Fallo de OpenSSL al preparar material de prueba.
struct FalloOpenSsl : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Clave claveRsa(int bits = 2048);
Clave claveEc(); // P-256: rápida de generar, para el servidor TLS

/// Lo que lleva un certificado nuevo.
struct DatosCertificado {
    /// Atributos del sujeto, en orden: nombre corto de OpenSSL ("CN", "SN", "GN",
    /// "serialNumber"...) o identificador de objeto en forma de puntos, y valor en UTF-8.
    std::vector<std::pair<std::string, std::string>> sujeto;
    /// Validez, en segundos desde ahora (negativos: en el pasado).
    long desde = -3600;
    long hasta = 365L * 24 * 3600;
    bool autoridad = false;
    bool servidor = false;
    std::vector<std::string> nombresDns;
    std::vector<std::string> ips;
};

/// Emite el certificado de `clave` con `datos`. Sin emisor, autofirmado.
Certificado emitir(const DatosCertificado& datos, EVP_PKEY* clave, X509* emisor = nullptr,
                   EVP_PKEY* claveEmisor = nullptr);

std::string pem(X509* certificado);
std::string pem(EVP_PKEY* clave); // clave privada sin cifrar

/// Firma PKCS #7 separada (DER) de `contenido`, con SHA-1, el certificado del firmante dentro y
/// los atributos firmados de costumbre.
std::string firmaSeparada(const std::string& contenido, X509* certificado, EVP_PKEY* clave);

/// Resumen SHA-1 de los datos en 40 cifras hexadecimales mayúsculas.
std::string resumenSha1Hex(const std::string& datos);

/// Base64 estándar en una línea.
std::string base64(const std::string& bytes);

} // namespace servicio_local
