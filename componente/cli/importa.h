#pragma once
// morvelin importa FICHERO: lleva un certificado con su clave al almacén personal.

#include <string>

/// Importa `fichero`, pidiendo la contraseña en el terminal sin eco si hace falta (o leyéndola
/// de la entrada estándar si no es un terminal). Informa en la salida estándar y devuelve el
/// estado de salida: 0 si se ha importado, 1 si no.
int importarAlAlmacen(const std::string& fichero);
