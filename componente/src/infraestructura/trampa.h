#pragma once
// La trampa de fallos de los métodos del componente.
//
// Un paso que falla lanza el identificador de su mensaje (lanzar(id)); la trampa lo recoge y
// devuelve el mensaje de la tabla de cadenas. Cualquier otra excepción (memoria agotada, un
// error de programación) atraviesa la trampa: no es un resultado sino un fallo de la llamada.

#include "infraestructura/mensajes.h"

#include <string>
#include <utility>

namespace morvelin {

/// Lo que lanza un paso que falla: el identificador de su mensaje.
struct FalloPaso {
    int id;
};

[[noreturn]] inline void lanzar(int id) {
    throw FalloPaso{id};
}

/// Ejecuta los pasos y devuelve su resultado, o el mensaje del identificador que lanzaron.
template <class Pasos> std::string conTrampa(Pasos&& pasos) {
    try {
        return std::forward<Pasos>(pasos)();
    } catch (const FalloPaso& fallo) {
        return cargarMensaje(fallo.id);
    }
}

} // namespace morvelin
