// La respuesta del servicio de verificación: sus líneas, su código y la cadena de resultado
// ordenada.
//
// Propiedades, para cualquier cuerpo de respuesta:
//   - sus líneas son el cuerpo con cada CR LF como LF y un LF tras la última;
// y para esas líneas y para el cuerpo tal cual:
//   - el código no desborda y es el número del principio (comparado con una lectura aparte);
//   - el resultado es el mensaje de un código conocido o, con el código 0 y "00" delante, la
//     misma respuesta con solo blancos de menos: ninguno al final, ninguno delante del
//     " - NIF ", y los demás caracteres, todos y en su orden;
//   - ordenar la respuesta ya ordenada no la cambia.

#include "propiedad.h"

#include "infraestructura/mensajes.h"
#include "operaciones/verificacion_en_linea.h"

#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

using namespace morvelin;

namespace {

bool EsBlanco(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Lectura de referencia del número, con precisión sobrada (el valor absoluto).
__int128 NumeroDeReferencia(const std::string& r, bool& negativo) {
    std::size_t i = 0;
    while (i < r.size() && EsBlanco(r[i]))
        ++i;
    negativo = false;
    if (i < r.size() && (r[i] == '+' || r[i] == '-'))
        negativo = r[i++] == '-';
    __int128 valor = 0;
    for (; i < r.size() && r[i] >= '0' && r[i] <= '9'; ++i)
        if (valor <= LONG_MAX)
            valor = valor * 10 + (r[i] - '0');
    return valor;
}

std::string SinBlancos(const std::string& t) {
    std::string r;
    for (char c : t)
        if (!EsBlanco(c))
            r += c;
    return r;
}

void Comprobar(const std::string& respuesta) {
    const long codigo = codigoRespuesta(respuesta);
    bool negativo = false;
    const __int128 numero = NumeroDeReferencia(respuesta, negativo);
    // Hasta 18 cifras, el número exacto; más allá, o el exacto o el tope (nunca una vuelta que
    // lo convierta en un código conocido).
    const __int128 exacto = negativo ? -numero : numero;
    if (numero < 1'000'000'000'000'000'000)
        EXIGIR(codigo == exacto);
    else
        EXIGIR(codigo == exacto || codigo == (negativo ? -LONG_MAX : LONG_MAX));

    const std::string resultado = resultadoRespuesta(respuesta);
    const bool aceptada = codigo == 0 && respuesta.compare(0, 2, "00") == 0;
    if (!aceptada) {
        bool esMensaje = false;
        for (int id : {FirmaNoValida, CertificadoCaducado, CertificadoRevocado, CertificadoNoValido,
                       FormatoInvalido, ErrorTecnico, ErrorDesconocido})
            esMensaje = esMensaje || resultado == cargarMensaje(id);
        EXIGIR(esMensaje);
        return;
    }
    EXIGIR(resultado.compare(0, 2, "00") == 0);
    EXIGIR(resultado.size() <= respuesta.size());
    EXIGIR(!EsBlanco(resultado.back()));
    EXIGIR(SinBlancos(resultado) == SinBlancos(respuesta));
    // Con un solo " - NIF " (lo normal: la respuesta lleva uno), no queda blanco delante y
    // ordenar otra vez no cambia nada. Con varios, quitar los blancos puede formar otro antes.
    const std::size_t nif = resultado.find(" - NIF ");
    if (nif == std::string::npos || resultado.find(" - NIF ", nif + 1) == std::string::npos) {
        EXIGIR(nif == std::string::npos || !EsBlanco(resultado[nif - 1]));
        EXIGIR(resultadoRespuesta(resultado) == resultado);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    const std::string cuerpo(reinterpret_cast<const char*>(datos), n);
    // Las líneas del cuerpo: cada CR LF pasa a LF y la última línea acaba en LF.
    std::string respuesta = "previo\n";
    anadirLineas(cuerpo, respuesta);
    std::string esperada = "previo\n";
    for (std::size_t i = 0; i < n; ++i)
        if (!(cuerpo[i] == '\r' && i + 1 < n && cuerpo[i + 1] == '\n'))
            esperada += cuerpo[i];
    if (n > 0 && cuerpo.back() != '\n')
        esperada += '\n';
    EXIGIR(respuesta == esperada);

    Comprobar(respuesta.substr(7));
    Comprobar(cuerpo);
    return 0;
}
