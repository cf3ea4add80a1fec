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
    /// En español, líneas terminadas en "\n". Lo que viene de fuera (nombres de ficheros,
    /// sujetos, etiquetas, apodos) va con sus caracteres de control visibles (textoVisible).
    std::string texto;
    /// Con identificador: el certificado que FIRMA usaría (aunque luego no pudiera firmar con
    /// él); sin valor si ninguno.
    std::optional<almacenes::Posicion> elegido;
    /// Con identificador: lo que FIRMA contestaría (si pide un PIN, dado el correcto).
    std::string contestaria;
};

/// Lista `almacenes` (en el orden en que se buscan). Con `identificador`, cuenta la elección de
/// almacenes::elegirCertificado() y lo que FIRMA contestaría, por las mismas reglas que sigue
/// FIRMA: sin ningún almacén que se abra, 02; sin certificado, 03; sin clave que valga, 05.
/// `ahora` (segundos desde 1970 UTC) decide qué está caducado.
Listado listarCertificados(const std::vector<almacenes::ListadoAlmacen>& almacenes,
                           const std::optional<std::string>& identificador, long long ahora);

} // namespace morvelin
