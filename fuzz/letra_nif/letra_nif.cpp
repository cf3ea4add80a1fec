// Letra de control del NIF.
//
// Propiedades, para cualquier texto:
//   - sin "?" final (o con "(?" final) el texto no cambia;
//   - con un número entero positivo delante (de hasta doce cifras) el "?" pasa a ser la letra
//     de ese número, la de la tabla oficial del resto de dividirlo entre 23;
//   - con un número 0 o negativo solo se quita el "?";
//   - en cualquier caso solo cambia el último carácter.

#include "propiedad.h"
#include "texto_qt.h"

#include "rutinas/nucleo/formato.h"
#include "rutinas/nucleo/nif.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace rutinas;
using zoq_fuzz::Citar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    const QString texto = zoq_fuzz::Texto(datos, n);
    QString r = texto;
    LetraNif(r);
    const auto detalle = Citar(texto) + " -> " + Citar(r);
    if (!texto.endsWith(u'?') || texto.endsWith(QLatin1String("(?"))) {
        EXIGIR_DETALLE(r == texto, detalle);
        return 0;
    }
    const QString numero = texto.chopped(1);
    EXIGIR_DETALLE(r.startsWith(numero) && r.size() <= texto.size(), detalle);
    const double x = ValorNumerico(numero);
    if (x <= 0) {
        EXIGIR_DETALLE(r == numero, detalle);
    } else if (x == std::floor(x) && x < 1e12) {
        static constexpr char16_t Letras[] = u"TRWAGMYFPDXBNJZSQVHLCKE";
        const auto resto = static_cast<long long>(x) % 23;
        EXIGIR_DETALLE(r == numero + QChar(Letras[resto]), detalle);
    } else {
        EXIGIR_DETALLE(r.size() == texto.size(), detalle);
    }
    return 0;
}
