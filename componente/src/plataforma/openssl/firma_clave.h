#pragma once
// Lo que los almacenes comparten para firmar con cualquier algoritmo (AlgoritmoFirma): el
// resumen que se firma y, para las claves que OpenSSL tiene a mano (las de la carpeta), la firma
// de ese resumen.

#include "plataforma/criptografia.h"

#include <openssl/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace morvelin::plataforma::openssl {

/// El nombre del resumen para OpenSSL ("SHA256").
const char* nombreResumen(ResumenFirma resumen);

/// Los bytes del resumen (32 para SHA-256).
std::size_t largoResumen(ResumenFirma resumen);

/// El resumen que se firma por `algoritmo`: los propios datos si ya lo son (y tienen su largo), o
/// su resumen. Sin valor si no tienen el largo o no se puede calcular.
std::optional<std::string> resumenAFirmar(const AlgoritmoFirma& algoritmo, std::string_view datos);

/// El esquema de firma de una clave pública: ECDSA para EC, PKCS #1 para las demás.
AlgoritmoFirma::Esquema esquemaDe(EVP_PKEY* clave);

/// La firma de `resumen` (ya calculado) con una clave de OpenSSL por `algoritmo`; sin valor si el
/// esquema no es el de la clave o la firma falla.
std::optional<std::string> firmarResumen(EVP_PKEY* clave, const AlgoritmoFirma& algoritmo,
                                         std::string_view resumen);

} // namespace morvelin::plataforma::openssl
