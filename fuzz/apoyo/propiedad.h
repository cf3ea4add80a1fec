#pragma once
// Apoyo común de los objetivos de fuzzing: la comprobación de una propiedad. Una propiedad que
// no se cumple es un fallo igual que una caída: se explica en stderr y se aborta, y libFuzzer
// guarda la entrada que lo provocó.

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace zoq_fuzz {

[[noreturn]] inline void Violada(const char* condicion, const char* fichero, int linea,
                                 std::string_view detalle = {}) {
    std::fprintf(stderr, "\nPropiedad violada: %s\n  en %s:%d\n", condicion, fichero, linea);
    if (!detalle.empty())
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(detalle.size()), detalle.data());
    std::abort();
}

} // namespace zoq_fuzz

/// Comprueba una propiedad; si no se cumple, aborta explicando cuál.
#define EXIGIR(condicion)                                                                          \
    ((condicion) ? (void)0 : ::zoq_fuzz::Violada(#condicion, __FILE__, __LINE__))

/// Igual, con un texto de detalle (los valores en juego) que se añade a la explicación.
#define EXIGIR_DETALLE(condicion, detalle)                                                         \
    ((condicion) ? (void)0 : ::zoq_fuzz::Violada(#condicion, __FILE__, __LINE__, (detalle)))
