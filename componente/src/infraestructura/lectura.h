#pragma once
// Lectura de ficheros del componente.

#include <cstddef>
#include <string>

namespace morvelin {

/// Lee el fichero entero, en binario. Una ruta vacía o un fichero que no se puede abrir o leer
/// lanza NoSeLeeFactura (103). Un fichero vacío es válido.
std::string leerFichero(const std::string& ruta);

/// Cómo acaba la lectura de un fichero pequeño (una entrada del almacén, un certificado).
enum class Lectura {
    Leido,
    NoSeLee, ///< no existe, no es un fichero normal o falla la lectura
    Grande,  ///< pasa del tamaño máximo: no se lee
};

/// Lee entero un fichero normal de a lo sumo `maximo` bytes. Con otro resultado que Leido,
/// `bytes` no tiene valor útil. Nunca lanza salvo por falta de memoria.
Lectura leerFicheroPequeno(const std::string& ruta, std::size_t maximo, std::string& bytes);

} // namespace morvelin
