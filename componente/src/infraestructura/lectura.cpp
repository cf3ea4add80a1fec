#include "infraestructura/lectura.h"

#include "infraestructura/trampa.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace morvelin {

std::string leerFichero(const std::string& ruta) {
    if (ruta.empty())
        lanzar(NoSeLeeFactura);
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta.c_str(), "rb"),
                                                         &std::fclose);
    if (!f)
        lanzar(NoSeLeeFactura);
    // Se lee de una vez en su sitio definitivo: una factura grande no se copia ni ocupa el
    // doble mientras crece. Si el fichero no es normal o crece entretanto, se sigue por trozos.
    std::string contenido;
    struct stat st {};
    if (::fstat(::fileno(f.get()), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        contenido.resize(static_cast<std::size_t>(st.st_size));
        contenido.resize(std::fread(contenido.data(), 1, contenido.size(), f.get()));
    }
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

Lectura leerFicheroPequeno(const std::string& ruta, std::size_t maximo, std::string& bytes) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta.c_str(), "rb"),
                                                         &std::fclose);
    struct stat st {};
    if (!f || ::fstat(::fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode))
        return Lectura::NoSeLee;
    if (static_cast<std::uint64_t>(st.st_size) > maximo)
        return Lectura::Grande;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f.get()));
    return std::ferror(f.get()) ? Lectura::NoSeLee : Lectura::Leido;
}

} // namespace morvelin
