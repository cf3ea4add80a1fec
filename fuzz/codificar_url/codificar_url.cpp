// Codificación de formularios del cuerpo de la petición al servicio de verificación.
//
// Propiedades, para cualquier secuencia de bytes:
//   - el resultado solo tiene letras ASCII, cifras, "+" y "%" seguido de dos cifras
//     hexadecimales mayúsculas, y mide a lo sumo el triple;
//   - deshacer la codificación (el "+" es un blanco, "%XX" el byte XX) devuelve los bytes.

#include "propiedad.h"

#include "infraestructura/codificacion.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace morvelin;

namespace {

int ValorHex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // las minúsculas tampoco valen: la codificación las escribe en mayúsculas
}

bool EsLiteral(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    const std::string original(reinterpret_cast<const char*>(datos), n);
    std::string texto = original;
    codificarUrl(texto);
    EXIGIR(texto.size() <= 3 * n);

    std::string deshecho;
    for (std::size_t i = 0; i < texto.size(); ++i) {
        const char c = texto[i];
        if (c == '+') {
            deshecho += ' ';
        } else if (c == '%') {
            EXIGIR(i + 2 < texto.size());
            const int alto = ValorHex(texto[i + 1]), bajo = ValorHex(texto[i + 2]);
            EXIGIR(alto >= 0 && bajo >= 0);
            const char byte = static_cast<char>(alto * 16 + bajo);
            // Lo que podía ir tal cual no se escribe en "%XX".
            EXIGIR(!EsLiteral(byte) && byte != ' ');
            deshecho += byte;
            i += 2;
        } else {
            EXIGIR(EsLiteral(c));
            deshecho += c;
        }
    }
    EXIGIR(deshecho == original);
    return 0;
}
