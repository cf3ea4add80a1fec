#pragma once
// Lectura de ficheros del componente.

#include <string>

namespace morvelin {

/// Lee el fichero entero, en binario. Una ruta vacía o un fichero que no se puede abrir o leer
/// lanza NoSeLeeFactura (103). Un fichero vacío es válido.
std::string leerFichero(const std::string& ruta);

} // namespace morvelin
