#pragma once
// Los pasos de FIRMA: el resumen de la factura, la búsqueda del certificado y la firma.

#include "plataforma/criptografia.h"

#include <memory>
#include <string>
#include <string_view>

namespace morvelin {

/// El certificado del almacén personal para el identificador `certificado`, el que elige la
/// regla de la plataforma. Lanza SinAlmacen (104) si el almacén no se puede abrir y
/// SinCertificado (105) si `certificado` no mide 9 caracteres o no hay ninguno para él (el
/// almacén se abre antes de mirar la longitud).
std::unique_ptr<plataforma::Certificado> buscarCertificado(const std::string& certificado);

/// El certificado para `identificador` por la misma búsqueda que FIRMA (los mismos almacenes y
/// la misma regla), para quien firma otra cosa: la identificación ante la agencia, los registros
/// de facturación. Con él se firma cuantas veces haga falta pidiendo el PIN una sola vez.
struct CertificadoElegido {
    enum class Estado {
        Elegido,
        SinAlmacen,     ///< no se puede abrir ningún almacén
        SinCertificado, ///< el identificador no mide 9 caracteres, o ninguno lo tiene
    };
    Estado estado = Estado::SinCertificado;
    std::unique_ptr<plataforma::Certificado> certificado; ///< con Elegido
};
CertificadoElegido elegirCertificadoPara(const std::string& identificador);

/// El SHA-1 de `contenido` en 40 cifras hexadecimales mayúsculas. Lanza NoSeFirma (107) si no
/// se puede calcular.
std::string resumenHex(std::string_view contenido);

/// La firma PKCS #7 desprendida (DER) de los 40 bytes del texto del resumen, con `certificado`.
/// Lanza NoSeFirma (107) si no se puede firmar.
std::string firmarResumen(const std::string& resumen, const plataforma::Certificado& certificado);

} // namespace morvelin
