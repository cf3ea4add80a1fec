#pragma once
// El sujeto del certificado del firmante: sus atributos, leídos uno a uno del certificado, y el
// nombre del firmante compuesto con ellos, el que FIRMA devuelve tras "00 ".

#include "plataforma/criptografia.h"

#include <string>
#include <string_view>

namespace morvelin {

/// Identificadores de los atributos del sujeto que se leen.
inline constexpr std::string_view ClaveNombreComun = "2.5.4.3";
inline constexpr std::string_view ClaveApellidos = "2.5.4.4";
inline constexpr std::string_view ClaveNombre = "2.5.4.42";
inline constexpr std::string_view ClaveNumeroSerie = "2.5.4.5";
/// Atributo privado de los certificados de entidad: el NIF de su representante.
inline constexpr std::string_view ClaveRepresentante = "1.3.6.1.4.1.18838.1.1";

/// Lee valores de los atributos de un sujeto (Certificado::atributosSujeto()).
class LectorSujeto {
public:
    explicit LectorSujeto(plataforma::AtributosSujeto atributos)
        : atributos_(std::move(atributos)) {}
    virtual ~LectorSujeto() = default;

    /// El valor del primer atributo cuyo identificador es exactamente `clave`, tal como se
    /// presenta (entre comillas si hace falta). Vacío si no hay ninguno. Nunca falla. El valor de
    /// otro atributo nunca cuenta, lleve el texto que lleve.
    std::string valor(std::string_view clave) const;

private:
    plataforma::AtributosSujeto atributos_;
};

/// El nombre del firmante: el nombre común si ya es de la forma "NOMBRE ... - NIF ..." o
/// "ENTIDAD ... - CIF ..."; si no, "NOMBRE <apellidos> <nombre> - NIF <número de serie>", o
/// para una entidad (con NIF de representante) "ENTIDAD <nombre común> - CIF <número de serie>
/// - NOMBRE <apellidos> <nombre> - NIF <representante>". Los atributos que faltan quedan
/// vacíos. Nunca falla.
std::string nombreFirmante(const plataforma::Certificado& certificado);
std::string nombreFirmante(const LectorSujeto& sujeto);

} // namespace morvelin
