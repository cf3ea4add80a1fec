#pragma once
// La frontera de la interfaz C: las cadenas de entrada, la cadena nueva del resultado y ninguna
// excepción que la cruce.

#include "morvelin/morvelin.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace morvelin::frontera {

/// La cadena de entrada; un puntero nulo es la cadena vacía.
inline std::string texto(const char* p) {
    return p ? std::string(p) : std::string();
}

/// Ejecuta el método y deja en *resultado una copia de lo que devuelve, reservada con malloc
/// (la suelta morvelin_liberar). Memoria agotada y cualquier otra excepción se vuelven el estado
/// de la llamada, con *resultado nulo.
template <class Metodo> morvelin_estado entregar(char** resultado, Metodo&& metodo) noexcept {
    if (resultado == nullptr)
        return MORVELIN_PUNTERO_INVALIDO;
    *resultado = nullptr;
    try {
        const std::string r = metodo();
        auto* copia = static_cast<char*>(std::malloc(r.size() + 1));
        if (copia == nullptr)
            return MORVELIN_SIN_MEMORIA;
        std::memcpy(copia, r.c_str(), r.size() + 1);
        *resultado = copia;
        return MORVELIN_OK;
    } catch (const std::bad_alloc&) {
        return MORVELIN_SIN_MEMORIA;
    } catch (...) {
        return MORVELIN_ERROR_INTERNO;
    }
}

} // namespace morvelin::frontera
