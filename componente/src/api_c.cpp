// Interfaz C del componente: cadenas UTF-8 de entrada, una cadena nueva de resultado, y ninguna
// excepción a través de la frontera.
#include "morvelin/identidad.h"
#include "morvelin/morvelin.h"

#include "infraestructura/frontera_c.h"
#include "metodos.h"

#include <cstdlib>

using morvelin::frontera::entregar;
using morvelin::frontera::texto;

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
