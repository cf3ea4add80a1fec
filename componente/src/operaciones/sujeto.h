#pragma once
// El sujeto del certificado del firmante: sus atributos, leídos del texto del sujeto, y el
// nombre del firmante compuesto con ellos, el que FIRMA devuelve tras "00 ".

#include "plataforma/criptografia.h"

#include <string>
#include <string_view>

namespace morvelin {

/// Claves de los atributos del sujeto que se leen (cada una con su "=" final).
inline constexpr std::string_view ClaveNombreComun = "2.5.4.3=";
inline constexpr std::string_view ClaveApellidos = "2.5.4.4=";
inline constexpr std::string_view ClaveNombre = "2.5.4.42=";
inline constexpr std::string_view ClaveNumeroSerie = "2.5.4.5=";
/// Atributo privado de los certificados de entidad: el NIF de su representante.
inline constexpr std::string_view ClaveRepresentante = "1.3.6.1.4.1.18838.1.1=";

/// Lee valores del texto de un sujeto (Certificado::textoSujeto()).
class LectorSujeto {
public:
    explicit LectorSujeto(std::string sujeto) : sujeto_(std::move(sujeto)) {}
    virtual ~LectorSujeto() = default;

    /// El texto que sigue a la primera aparición de `clave` en cualquier parte del sujeto, hasta
    /// el siguiente CR LF o el final. Vacío si la clave no aparece. Nunca falla.
    std::string valor(std::string_view clave) const;

private:
    std::string sujeto_;
};

/// El nombre del firmante: el nombre común si ya es de la forma "NOMBRE ... - NIF ..." o
/// "ENTIDAD ... - CIF ..."; si no, "NOMBRE <apellidos> <nombre> - NIF <número de serie>", o
/// para una entidad (con NIF de representante) "ENTIDAD <nombre común> - CIF <número de serie>
/// - NOMBRE <apellidos> <nombre> - NIF <representante>". Los atributos que faltan quedan
/// vacíos. Nunca falla.
std::string nombreFirmante(const plataforma::Certificado& certificado);
std::string nombreFirmante(const LectorSujeto& sujeto);

} // namespace morvelin
