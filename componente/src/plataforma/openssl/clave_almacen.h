#pragma once
// Las claves de los almacenes vistas por OpenSSL: una EVP_PKEY cuya operación privada (firmar)
// hace el certificado de su almacén, de modo que la clave no sale de la carpeta, la base NSS o
// la tarjeta. Es lo que lleva un cliente TLS que se identifica con el certificado del usuario.

#include "plataforma/criptografia.h"
#include "plataforma/openssl/x509.h"

#include <memory>
#include <string>

namespace morvelin::plataforma::openssl {

/// La clave de `certificado` como EVP_PKEY: sus datos públicos son los del certificado y firmar
/// lo hace el certificado (con `para` en la petición del PIN, si hace falta): RSA con PKCS #1
/// v1.5 sobre un resumen SHA-1, SHA-256, SHA-384 o SHA-512, o ECDSA. nullptr si la clave pública
/// no es RSA ni EC. Vale en cualquier contexto de OpenSSL (no busca nada en sus proveedores).
///
/// Con una clave RSA no se firma PSS, y por tanto TLS 1.3 no es posible: quien la use en TLS
/// se queda en TLS 1.2 y ofrece solo firmas PKCS #1 (rsa_pkcs1_sha256...).
ClavePropia claveDeAlmacen(std::shared_ptr<const Certificado> certificado, std::string para);

} // namespace morvelin::plataforma::openssl
