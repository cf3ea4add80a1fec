// Base64 del componente: la factura y la firma del fichero de firma.
//
// Propiedades:
//   - decodificar lo codificado devuelve los mismos bytes, sea cual sea la entrada;
//   - codificar da la longitud anunciada, solo con caracteres del alfabeto y "=" al final;
//   - codificar o decodificar por trozos (múltiplos de 3 o de 4) da lo mismo que de una vez;
//   - decodificar cualquier texto (que no es base64) nunca da más de 3 bytes por cada 4
//     caracteres; un texto del alfabeto da justo los bytes que le corresponden y se vuelve a
//     codificar igual.

#include "propiedad.h"

#include "infraestructura/codificacion.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace morvelin;

namespace {

bool EsAlfabeto(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    const std::string_view bytes(reinterpret_cast<const char*>(datos), n);

    // Ida y vuelta de cualquier secuencia de bytes.
    const std::string texto = codificarBase64(bytes);
    EXIGIR(texto.size() == longitudBase64(n));
    const std::size_t relleno = n % 3 == 0 ? 0 : 3 - n % 3;
    for (std::size_t i = 0; i < texto.size(); ++i)
        EXIGIR(i >= texto.size() - relleno ? texto[i] == '=' : EsAlfabeto(texto[i]));
    EXIGIR(decodificarBase64(texto) == bytes);

    // Por trozos: la longitud del trozo sale del primer byte.
    const std::size_t pieza = n == 0 ? 3 : PiezaBase64 * (1 + datos[0] % 7);
    std::string porTrozos;
    for (std::size_t desde = 0; desde < n; desde += pieza)
        anadirBase64(bytes.substr(desde, pieza), porTrozos);
    EXIGIR(porTrozos == texto);
    const std::size_t piezaTexto = 4 * (1 + (n == 0 ? 0 : datos[n - 1] % 5));
    std::string decodificadoPorTrozos;
    for (std::size_t desde = 0; desde < texto.size(); desde += piezaTexto)
        anadirDecodificado(std::string_view(texto).substr(desde, piezaTexto),
                           decodificadoPorTrozos);
    EXIGIR(decodificadoPorTrozos == bytes);

    // La entrada tomada como texto (base64 o no): nunca falla, ni sale más de lo que cabe, y
    // decodificar por trozos coincide con decodificar de una vez.
    const std::string decodificado = decodificarBase64(bytes);
    EXIGIR(decodificado.size() <= n / 4 * 3);
    std::string trozos;
    for (std::size_t desde = 0; desde < n; desde += piezaTexto)
        anadirDecodificado(bytes.substr(desde, piezaTexto), trozos);
    EXIGIR(trozos == decodificado);
    // Un texto del alfabeto (con "=" de relleno al final, a lo sumo dos) en grupos de cuatro
    // da 3 bytes por grupo menos uno por cada "=", y codificarlos de nuevo devuelve el texto,
    // salvo los bits sobrantes del último carácter antes del relleno.
    if (n > 0 && n % 4 == 0) {
        const std::size_t iguales =
            bytes[n - 1] != '=' ? 0 : (n >= 2 && bytes[n - 2] == '=' ? 2 : 1);
        bool alfabeto = true;
        for (std::size_t i = 0; i + iguales < n && alfabeto; ++i)
            alfabeto = EsAlfabeto(bytes[i]);
        if (alfabeto) {
            EXIGIR(decodificado.size() == n / 4 * 3 - iguales);
            const std::string otraVez = codificarBase64(decodificado);
            EXIGIR(otraVez.size() == n);
            const std::size_t distintos = iguales == 0 ? n : n - iguales - 1;
            EXIGIR(otraVez.compare(0, distintos, bytes.substr(0, distintos)) == 0);
        }
    }
    return 0;
}
