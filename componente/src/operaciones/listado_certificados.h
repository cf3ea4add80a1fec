#pragma once
// «morvelin certificados»: lo que hay en cada almacén y, para un identificador, qué certificado
// usaría FIRMA y por qué no los demás. Quien decide es la regla de almacenes/eleccion.h; el
// listado solo lo cuenta.

#include "almacenes/almacen.h"

#include <optional>
#include <string>
#include <vector>

namespace morvelin {

struct Listado {
    std::string texto; ///< en español, líneas terminadas en "\n"
    /// Con identificador: el certificado que FIRMA usaría (aunque luego no pudiera firmar con
    /// él); sin valor si ninguno.
    std::optional<almacenes::Posicion> elegido;
};

/// Lista `almacenes` (en el orden en que se buscan). Con `identificador`, cuenta la elección de
/// almacenes::elegirCertificado(). `ahora` (segundos desde 1970 UTC) decide qué está caducado.
Listado listarCertificados(const std::vector<almacenes::ListadoAlmacen>& almacenes,
                           const std::optional<std::string>& identificador, long long ahora);

} // namespace morvelin
