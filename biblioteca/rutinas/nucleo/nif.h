#pragma once
// Letra de control del NIF.

#include <QString>

namespace rutinas {

/// Si Texto acaba en "?" (y no en "(?"), cambia el "?" por la letra de control del número
/// que lo precede (su lectura numérica): "12345678?" → "12345678Z". Con un número 0 o
/// negativo solo quita el "?"; si el número no tiene letra (un decimal) el "?" se queda.
void LetraNif(QString& Texto);

} // namespace rutinas
