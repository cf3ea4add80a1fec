#pragma once
// Lectura de ficheros del componente.

#include <cstddef>
#include <string>

namespace morvelin {

/// Lee el fichero entero, en binario. Una ruta vacía o un fichero que no se puede abrir o leer
/// lanza NoSeLeeFactura (103). Un fichero vacío es válido.
std::string leerFichero(const std::string& ruta);

/// Cómo acaba la lectura de un fichero pequeño (una entrada del almacén, un certificado, un
/// fichero de configuración).
enum class Lectura {
    Leido,
    NoExiste,    ///< no hay nada con ese nombre (o falta una carpeta de la ruta)
    NoSeLee,     ///< falla la apertura o la lectura
    NoEsFichero, ///< es una carpeta, una tubería, un dispositivo o un socket: no se lee
    Grande,      ///< pasa del tamaño máximo: no se lee
};

/// Lee entero un fichero normal de a lo sumo `maximo` bytes. Mira qué es antes de leer nada y lo
/// abre sin esperar: una tubería sin nadie al otro lado o un dispositivo no dejan la llamada
/// parada. Con otro resultado que Leido, `bytes` no tiene valor útil. Nunca lanza salvo por
/// falta de memoria.
Lectura leerFicheroPequeno(const std::string& ruta, std::size_t maximo, std::string& bytes);

} // namespace morvelin
