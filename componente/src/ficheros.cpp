#include "ficheros.h"

#include "trampa.h"

#include <cstdio>
#include <memory>

namespace morvelin {

std::string leerFichero(const std::string& ruta) {
    if (ruta.empty())
        lanzar(NoSeLeeFactura);
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta.c_str(), "rb"),
                                                         &std::fclose);
    if (!f)
        lanzar(NoSeLeeFactura);
    std::string contenido;
    char trozo[10239];
    for (;;) {
        const std::size_t leidos = std::fread(trozo, 1, sizeof trozo, f.get());
        contenido.append(trozo, leidos);
        if (leidos < sizeof trozo)
            break;
    }
    // Una carpeta se abre pero no se lee: es un fichero que no se puede leer.
    if (std::ferror(f.get()))
        lanzar(NoSeLeeFactura);
    return contenido;
}

} // namespace morvelin
