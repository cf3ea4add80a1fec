#pragma once
// Los pasos de FIRMA que no son de la búsqueda del certificado.

#include "plataforma/criptografia.h"

#include <string>
#include <string_view>

namespace morvelin {

/// El SHA-1 de `contenido` en 40 cifras hexadecimales mayúsculas. Lanza NoSeFirma (107) si no
/// se puede calcular.
std::string resumenHex(std::string_view contenido);

/// La firma PKCS #7 desprendida (DER) de los 40 bytes del texto del resumen, con `certificado`.
/// Lanza NoSeFirma (107) si no se puede firmar.
std::string firmarResumen(const std::string& resumen, const plataforma::Certificado& certificado);

} // namespace morvelin
