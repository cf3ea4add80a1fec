// Interfaz C del componente: cadenas UTF-8 de entrada, una cadena nueva de resultado, y ninguna
// excepción a través de la frontera.
#include "morvelin/identidad.h"
#include "morvelin/morvelin.h"

#include "metodos.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

std::string texto(const char* p) {
    return p ? std::string(p) : std::string();
}

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

} // namespace

extern "C" {

morvelin_estado morvelin_firma(const char* rutaOrigen, const char* certificado,
                               const char* rutaDestino, char** resultado) {
    return entregar(resultado, [&] {
        return morvelin::FIRMA(texto(rutaOrigen), texto(certificado), texto(rutaDestino));
    });
}

morvelin_estado morvelin_verifica(const char* rutaOrigen, const char* rutaDestino,
                                  char** resultado) {
    return entregar(resultado,
                    [&] { return morvelin::VERIFICA(texto(rutaOrigen), texto(rutaDestino)); });
}

void morvelin_liberar(char* resultado) {
    std::free(resultado);
}

const char* morvelin_version_fichero(void) {
    return morvelin::identidad::VersionFichero;
}

const char* morvelin_version_producto(void) {
    return morvelin::identidad::VersionProducto;
}

} // extern "C"
