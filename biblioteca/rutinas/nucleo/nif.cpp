#include "rutinas/nucleo/nif.h"

#include "rutinas/nucleo/formato.h"

#include <cmath>

namespace rutinas {

namespace {

// Código de dos cifras (la parte entera de 100 × resto / 23), letra y un blanco.
constexpr char16_t kTablaLetras[] = u"00T 04R 08W 13A 17G 21M 26Y 30F 34P 39D 43X 47B "
                                    u"52N 56J 60Z 65S 69Q 73V 78H 82L 86C 91K 95E";

} // namespace

void LetraNif(QString& Texto) {
    if (!Texto.endsWith(u'?') || Texto.endsWith(QLatin1String("(?")))
        return;
    const double x = ValorNumerico(Texto);
    const double q = x / 23;
    const double f = std::floor((q - std::floor(q)) * 100) + 100;
    const QString codigo = QString::number(static_cast<long long>(f)).right(2);
    const QStringView tabla(kTablaLetras);
    const qsizetype p = tabla.indexOf(codigo);
    const QChar letra = p >= 0 && p + 2 < tabla.size() ? tabla[p + 2] : QChar(u'?');
    Texto.chop(1);
    if (ValorNumerico(Texto) > 0)
        Texto += letra;
}

} // namespace rutinas
