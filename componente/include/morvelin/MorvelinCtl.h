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

    /// @name Métodos del componente
    // @{
    /// FIRMA y VERIFICA, como en morvelin.h: devuelven la cadena de resultado ("00" es éxito).
    std::string FIRMA(const std::string& rutaOrigen, const std::string& certificado,
                      const std::string& rutaDestino);
    std::string VERIFICA(const std::string& rutaOrigen, const std::string& rutaDestino);
    // @}
};

} // namespace morvelin
