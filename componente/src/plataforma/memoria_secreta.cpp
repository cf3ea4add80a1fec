// La memoria de los secretos: una página propia por secreto, fuera de los volcados de memoria y
// bloqueada en la memoria física donde se puede.
#include "plataforma/criptografia.h"

#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace morvelin::plataforma {

namespace {

std::size_t tamanoPagina() {
    static const std::size_t pagina = [] {
        const long p = ::sysconf(_SC_PAGESIZE);
        return p > 0 ? static_cast<std::size_t>(p) : std::size_t{4096};
    }();
    // Un secreto cabe entero, sea cual sea la página.
    return (Secreto::Capacidad + 1 + pagina - 1) / pagina * pagina;
}

} // namespace

char* reservarMemoriaSecreta() {
    const std::size_t n = tamanoPagina();
    void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    // Fuera de los volcados, aunque el proceso que llama los deje hacer (no se toca su ajuste);
    // bloqueada si el límite de memoria bloqueada lo permite (si no, sigue valiendo).
    ::madvise(p, n, MADV_DONTDUMP);
    ::mlock(p, n);
    return static_cast<char*>(p);
}

void soltarMemoriaSecreta(char* memoria) {
    const std::size_t n = tamanoPagina();
    borrarMemoria(memoria, n);
    ::munlock(memoria, n);
    ::munmap(memoria, n);
}

} // namespace morvelin::plataforma
