#pragma once
// Lo que el componente lee de un certificado X.509 con OpenSSL, para los almacenes y para la
// comprobación de las firmas: los atributos del sujeto y sus valores, el nombre común, las
// fechas y los usos de la clave y el certificado de un fichero PEM o DER. Y los punteros propios
// de los objetos de OpenSSL, que se liberan solos.

#include "plataforma/criptografia.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::plataforma::openssl {

/// Libera un objeto de OpenSSL con su función de liberar.
template <auto Liberar> struct Liberador {
    template <class T> void operator()(T* p) const { Liberar(p); }
};
/// Un objeto de OpenSSL que se libera al soltarlo.
template <class T, auto Liberar> using Propio = std::unique_ptr<T, Liberador<Liberar>>;

using X509Propio = Propio<X509, X509_free>;
using ClavePropia = Propio<EVP_PKEY, EVP_PKEY_free>;
using BioPropio = Propio<BIO, BIO_free_all>;

/// Un BIO de solo lectura sobre `bytes`, que han de vivir más que él.
BioPropio bioDe(std::string_view bytes);

/// Un valor de un nombre en UTF-8; vacío si no se puede convertir.
std::string valorUtf8(const ASN1_STRING* dato);

/// Los valores de un nombre (UTF-8), uno por atributo, en el orden en que están codificados.
std::vector<std::string> valoresNombre(const X509_NAME* nombre);

/// Los atributos del sujeto de `certificado`, como Certificado::atributosSujeto().
AtributosSujeto atributosSujeto(X509* certificado);

/// Un nombre en una línea, para leerlo: "CN=EVA, serialNumber=12345678Z".
std::string nombreEnUnaLinea(const X509_NAME* nombre);

/// El valor (UTF-8) del primer nombre común del sujeto; vacío si no tiene.
std::string nombreComun(X509* certificado);

/// Una hora de un certificado o de una firma, en segundos desde 1970-01-01 UTC; sin valor si
/// no se puede leer.
std::optional<long long> segundos(const ASN1_TIME* hora);

/// Los bits del uso de la clave (0x80 firma digital, 0x40 no repudio, 0x20 cifrado de claves,
/// 0x10 cifrado de datos, 0x08 acuerdo de claves, 0x04 firma de certificados, 0x02 firma de
/// listas de revocación); sin valor si el certificado no lo restringe.
std::optional<unsigned> usosClave(X509* certificado);

/// El DER de un certificado; vacío si no se puede codificar.
std::string derDe(X509* certificado);

/// El certificado de un DER; nullptr si no lo es.
X509Propio certificadoDeDer(std::string_view der);

/// El DER del primer certificado de un fichero PEM, o el propio fichero si no es PEM (vacío si
/// es un PEM sin ningún certificado).
std::string derDeCertificado(const std::string& bytes);

} // namespace morvelin::plataforma::openssl
