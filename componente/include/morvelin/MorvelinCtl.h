#pragma once
// Clase MorvelinCtl para programas en C++.

#include "morvelin/morvelin.h"

#include <string>

namespace morvelin {

/// La clase del componente. Cada llamada es independiente; una instancia no guarda nada entre
/// llamadas. Las cadenas van en UTF-8.
///
/// Los métodos devuelven siempre la cadena de resultado: dos cifras, un espacio y un texto en
/// español ("00" es éxito). Lo único que escapa de ellos es un fallo que no es de la firma ni
/// de la verificación: std::bad_alloc si se agota la memoria.
class MORVELIN_API MorvelinCtl {
public:
    MorvelinCtl() = default;
    virtual ~MorvelinCtl() = default;

    /// Firma la factura `rutaOrigen` con el certificado del titular cuyo identificador fiscal
    /// es `certificado` y graba el fichero de firma en `rutaDestino`, como morvelin_firma().
    std::string FIRMA(const std::string& rutaOrigen, const std::string& certificado,
                      const std::string& rutaDestino);
    /// Envía el fichero de firma `rutaOrigen` al servicio de verificación y graba la factura en
    /// `rutaDestino`, como morvelin_verifica(); el resultado lleva el veredicto del servicio.
    std::string VERIFICA(const std::string& rutaOrigen, const std::string& rutaDestino);
};

} // namespace morvelin
