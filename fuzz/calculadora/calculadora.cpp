// Motor de la calculadora, con pulsaciones al azar.
//
// Cada byte de la entrada (hasta 256) es una de las 24 teclas o un cambio de decimales.
// Propiedades, tras cada pulsación:
//   - la pantalla dice "Error" o un número en español con los decimales del ajuste ("-1.234,50")
//     seguido de un blanco y del operador o de otro blanco;
//   - ese número es el de su origen redondeado a esos decimales;
//   - cada línea del papel tiene la misma forma, y el portapapeles recibe el número de la
//     pantalla sin el operador;
//   - el ajuste de decimales siempre está entre 2 y 5.

#include "propiedad.h"
#include "texto_qt.h"

#include "MiCalc/nucleo/motor.h"
#include "rutinas/nucleo/formato.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace MiCalc;
using zoq_fuzz::Citar;

namespace {

struct PantallaFuzz : Pantalla {
    QString texto, origen;
    void Mostrar(const QString& t, const QString& o) override {
        texto = t;
        origen = o;
    }
};

struct PapelFuzz : Papel {
    QString ultima;
    int lineas = 0;
    void Anotar(const QString& linea) override {
        ultima = linea;
        ++lineas;
    }
    void Borrar() override { lineas = 0; }
};

struct DecimalesFuzz : AjusteDecimales {
    int decimales = 2;
    int Decimales() const override { return decimales; }
    void FijarDecimales(int d) override { decimales = d; }
};

struct PortapapelesFuzz : Portapapeles {
    QString texto;
    bool copiado = false;
    void Copiar(const QString& t) override {
        texto = t;
        copiado = true;
    }
};

// La parte numérica "-1.234,50" con `decimales` decimales, o nada si no tiene esa forma.
std::optional<double> NumeroEnPantalla(QStringView t, int decimales) {
    qsizetype i = t.startsWith(u'-') ? 1 : 0;
    int cifrasGrupo = 0;
    bool primerGrupo = true;
    const qsizetype desde = i;
    for (; i < t.size() && t[i] != u','; ++i) {
        if (t[i] == u'.') {
            if ((primerGrupo && (cifrasGrupo < 1 || cifrasGrupo > 3)) ||
                (!primerGrupo && cifrasGrupo != 3))
                return std::nullopt;
            primerGrupo = false;
            cifrasGrupo = 0;
        } else if (t[i] >= u'0' && t[i] <= u'9') {
            ++cifrasGrupo;
        } else {
            return std::nullopt;
        }
    }
    if (i == desde || cifrasGrupo == 0 || (!primerGrupo && cifrasGrupo != 3))
        return std::nullopt;
    if (i == t.size() || t.size() - i - 1 != decimales)
        return std::nullopt;
    for (qsizetype j = i + 1; j < t.size(); ++j)
        if (t[j] < u'0' || t[j] > u'9')
            return std::nullopt;
    return rutinas::LeerNumeroLocal(t);
}

bool FormaPantalla(const QString& t, int decimales) {
    if (t == u"Error")
        return true;
    if (t.size() < 3 || t[t.size() - 2] != u' ')
        return false;
    const QChar op = t.back();
    if (op != u' ' && !EsTecla(op))
        return false;
    return NumeroEnPantalla(QStringView(t).chopped(2), decimales).has_value();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zoq_fuzz::SilenciarQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    PantallaFuzz pantalla;
    PapelFuzz papel;
    DecimalesFuzz decimales;
    PortapapelesFuzz portapapeles;
    Motor motor(pantalla, papel, decimales, portapapeles);
    // Un par de cientos de teclas ya recorren todos los estados; más solo frenan al fuzzer.
    n = std::min<std::size_t>(n, 256);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned k = datos[i] % (Teclas.size() + 1);
        const int lineasAntes = papel.lineas;
        portapapeles.copiado = false;
        if (k == Teclas.size())
            motor.CambiarDecimales();
        else
            motor.Pulsar(QLatin1Char(Teclas[k].rotulo));
        const int d = decimales.Decimales();
        EXIGIR(d >= 2 && d <= 5);
        if (pantalla.texto.isEmpty())
            continue; // nada ha pasado todavía por la pantalla
        const QString& t = pantalla.texto;
        EXIGIR_DETALLE(FormaPantalla(t, d), Citar(t) + " de " + Citar(pantalla.origen));
        if (t != u"Error") {
            // El número es el del origen, redondeado a d decimales (sobre 15 cifras).
            const double mostrado = *NumeroEnPantalla(QStringView(t).chopped(2), d);
            const QString& o = pantalla.origen;
            const double valor = rutinas::ValorNumerico(o.size() >= 2 ? QuitarOperador(o) : o);
            const double tolerancia =
                0.5 * std::pow(10.0, -d) * (1 + 1e-9) + 1e-14 * std::fabs(valor);
            EXIGIR_DETALLE(std::fabs(mostrado - valor) <= tolerancia, Citar(t) + " de " + Citar(o));
        }
        if (papel.lineas > lineasAntes)
            EXIGIR_DETALLE(FormaPantalla(papel.ultima, d), Citar(papel.ultima));
        if (portapapeles.copiado)
            EXIGIR_DETALLE(portapapeles.texto == t.left(t.size() - 2),
                           Citar(portapapeles.texto) + " / " + Citar(t));
    }
    return 0;
}
