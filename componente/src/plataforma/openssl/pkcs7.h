#pragma once
// La firma PKCS #7 desprendida con OpenSSL: el ensamblado de la firma que hace FIRMA, esté donde
// esté la clave (un fichero de la carpeta, una base de datos NSS, una tarjeta), y su comprobación
// (plataforma::comprobarFirmaDesprendida, en pkcs7.cpp).

#include <openssl/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace morvelin::plataforma::openssl {

/// Firma con una clave que no sale de donde está: recibe los bytes que se firman y devuelve la
/// firma con SHA-1 en el esquema de la clave (PKCS #1 v1.5 o ECDSA en DER); sin valor si no se
/// puede.
using FirmaExterna = std::function<std::optional<std::string>(std::string_view datos)>;

/// La firma PKCS #7 de Certificado::firmarDesprendida() de `contenido`, hecha con `firmar`: el
/// mismo ensamblado para toda clave, esté donde esté. Sin valor si algo falla.
std::optional<std::string> ensamblarPkcs7(X509* certificado, std::string_view contenido,
                                          const FirmaExterna& firmar);

} // namespace morvelin::plataforma::openssl
