#pragma once
// «morvelin certificados»: lo que hay en cada almacén y, para un identificador, qué certificado
// usaría FIRMA y por qué no los demás.

#include "plataforma/criptografia.h"

#include <optional>
#include <string>
#include <vector>

namespace morvelin {

struct Listado {
    std::string texto; ///< en español, líneas terminadas en "\n"
    /// Con identificador: si FIRMA encontraría un certificado (aunque luego no pudiera firmar).
    bool encontrado = false;
};

/// Lista `almacenes` (en el orden en que se buscan). Con `identificador`, explica la elección
/// con la misma regla que FIRMA: el primer almacén que tiene alguno cuyo sujeto lo contiene (sin
/// distinguir mayúsculas), y en él el primero, o en las tarjetas el primero con uso de no
/// repudio si lo hay. `ahora` (segundos desde 1970 UTC) decide qué está caducado.
Listado listarCertificados(const std::vector<plataforma::ListadoAlmacen>& almacenes,
                           const std::optional<std::string>& identificador, long long ahora);

} // namespace morvelin
