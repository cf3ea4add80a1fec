#include "infraestructura/lectura.h"

#include "infraestructura/trampa.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

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

namespace {

// Lo que se sabe del fichero abierto `fd` antes de leerlo: Leido (y `bytes` ya con su tamaño) si
// es un fichero normal que no pasa de `maximo` bytes.
Lectura antesDeLeer(int fd, std::size_t maximo, std::string& bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Lectura::NoSeLee;
    if (!S_ISREG(st.st_mode))
        return Lectura::NoEsFichero;
    if (static_cast<std::uint64_t>(st.st_size) > maximo)
        return Lectura::Grande;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    return Lectura::Leido;
}

} // namespace

#if defined(_WIN32)
Lectura leerFicheroPequeno(const std::string& ruta, std::size_t maximo, std::string& bytes) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta.c_str(), "rb"),
                                                         &std::fclose);
    if (!f)
        return errno == ENOENT ? Lectura::NoExiste : Lectura::NoSeLee;
    if (const Lectura l = antesDeLeer(::fileno(f.get()), maximo, bytes); l != Lectura::Leido)
        return l;
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f.get()));
    return std::ferror(f.get()) ? Lectura::NoSeLee : Lectura::Leido;
}
#else
Lectura leerFicheroPequeno(const std::string& ruta, std::size_t maximo, std::string& bytes) {
    // Sin esperar al abrir (una tubería sin escritor), sin tomar un terminal como el de control.
    const int fd = ::open(ruta.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Lectura::NoExiste : Lectura::NoSeLee;
    struct Cerrar {
        int fd;
        ~Cerrar() { ::close(fd); }
    } cerrar{fd};
    if (const Lectura l = antesDeLeer(fd, maximo, bytes); l != Lectura::Leido)
        return l;
    std::size_t leidos = 0;
    while (leidos < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + leidos, bytes.size() - leidos);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Lectura::NoSeLee;
        if (n == 0)
            break; // ha menguado entretanto
        leidos += static_cast<std::size_t>(n);
    }
    bytes.resize(leidos);
    return Lectura::Leido;
}
#endif

} // namespace morvelin
