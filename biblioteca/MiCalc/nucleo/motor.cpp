#include "MiCalc/nucleo/motor.h"

#include "rutinas/nucleo/formato.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace MiCalc {

namespace {
using rutinas::ValorNumerico;
} // namespace

namespace {

const QString Blancos2 = QStringLiteral("  ");
const QString OrigenInicial = QStringLiteral("0.00  ");
const QString TextoError = QStringLiteral("Error");

bool EsOperador(QChar k) {
    switch (k.unicode()) {
    case '+':
    case '-':
    case '*':
    case '/':
    case '%':
    case '=':
    case 'N':
    case 'I':
    case 'E':
    case 'P':
        return true;
    default:
        return false;
    }
}

QChar Ultimo(const QString& t) {
    return t.isEmpty() ? QChar() : t.back();
}

// El valor de un operando ("12 +", " 15 =") sin su operador.
double ValorOperando(const QString& t) {
    return ValorNumerico(t.size() >= 2 ? QuitarOperador(t) : t);
}

} // namespace

bool EsTecla(QChar k) {
    for (const Tecla& t : Teclas)
        if (k == QLatin1Char(t.rotulo))
            return true;
    return false;
}

QString EscribirNumero(double valor) {
    if (valor == 0)
        valor = 0; // sin cero negativo
    char buf[64];
    auto [fin, error] = std::to_chars(buf, buf + sizeof buf, valor, std::chars_format::general, 15);
    if (error != std::errc())
        return QStringLiteral(" 0");
    QString t = QString::fromLatin1(buf, fin - buf);
    // Forma exponencial con "E" mayúscula y exponente de al menos dos cifras (to_chars ya las da).
    t.replace(QLatin1Char('e'), QLatin1Char('E'));
    if (!t.startsWith(QLatin1Char('-')))
        t.prepend(QLatin1Char(' '));
    return t;
}

QString QuitarOperador(const QString& t) {
    if (t.size() >= 2 && t.at(t.size() - 2) == QLatin1Char(' '))
        return t.left(t.size() - 2);
    return t;
}

Motor::Motor(Pantalla& pantalla, Papel& papel, AjusteDecimales& decimales,
             Portapapeles& portapapeles)
    : pantalla_(pantalla), papel_(papel), decimales_(decimales), portapapeles_(portapapeles) {}

QString Motor::Representar(const QString& t) const {
    const double valor = ValorOperando(t);
    if (!std::isfinite(valor))
        return TextoError;
    return rutinas::FormatearNumero(valor, rutinas::PatronNumero::Importe(decimales_.Decimales())) +
           QLatin1Char(' ') + Ultimo(t);
}

void Motor::MostrarPantalla(const QString& t) {
    if (!t.isEmpty())
        origen_ = t;
    textoPantalla_ = Representar(origen_);
    pantalla_.Mostrar(textoPantalla_, origen_);
}

void Motor::AnotarPapel(const QString& t) {
    rollo_.append(t.isEmpty() ? textoPantalla_ : Representar(t));
    papel_.Anotar(rollo_.constLast());
}

void Motor::CambiarDecimales() {
    const int d = decimales_.Decimales() + 1;
    decimales_.FijarDecimales(d > 5 || d < 2 ? 2 : d);
    MostrarPantalla(QString());
}

void Motor::Pulsar(QChar k) {
    if (!EsTecla(k))
        return;
    if (k == QLatin1Char('.') && entrada_.contains(QLatin1Char('.')))
        return;
    if (k == QLatin1Char('<')) {
        if (!entrada_.isEmpty()) {
            entrada_.chop(1);
            MostrarPantalla(entrada_ + Blancos2);
        }
        return;
    }
    if (k == QLatin1Char('C')) {
        entrada_.clear();
        pendiente_.clear();
        segundo_.clear();
        ultimoResultado_.clear();
        MostrarPantalla(OrigenInicial);
        rollo_.clear();
        papel_.Borrar();
        return;
    }
    if (k == QLatin1Char('S')) {
        if (entrada_.startsWith(QLatin1Char('-')))
            entrada_.remove(0, 1);
        else
            entrada_.prepend(QLatin1Char('-'));
        MostrarPantalla(entrada_ + Blancos2);
        return;
    }
    if (k.isDigit() || k == QLatin1Char('.')) {
        if (k == QLatin1Char('0') && entrada_ == QLatin1String("0"))
            return;
        entrada_ += k;
        MostrarPantalla(entrada_ + Blancos2);
        return;
    }
    if (EsOperador(k))
        Operar(k);
}

void Motor::Operar(QChar k) {
    const bool porcentaje = k == QLatin1Char('%');
    const bool igual = k == QLatin1Char('=');
    if (porcentaje && pendiente_.isEmpty())
        return;

    bool anotarOperando = true;
    if (entrada_.isEmpty()) {
        if (porcentaje)
            return;
        if (igual) {
            // "=" sin nada tecleado: repetido tras un resultado, o sin operación pendiente, no
            // hace nada (el número que se teclee después no se pierde). Con una operación
            // pendiente la completa con un segundo operando vacío, que vale 0.
            if (ultimoResultado_.endsWith(QLatin1Char('=')) || pendiente_.isEmpty())
                return;
            entrada_ = QStringLiteral(" =");
            anotarOperando = false;
        } else {
            // Un operador sin teclear reutiliza el último valor: tras una cadena repite el
            // último operando; tras un resultado con otra tecla, empieza desde ese resultado.
            if (!ultimoResultado_.isEmpty() && !ultimoResultado_.endsWith(k)) {
                ultimoValor_ = ultimoResultado_.left(ultimoResultado_.size() - 2);
                ultimoResultado_ = ultimoValor_ + QLatin1Char(' ') + k;
                pendiente_.clear();
            }
            entrada_ = ultimoValor_;
            if (entrada_.isEmpty())
                return;
        }
    }

    if (anotarOperando) {
        ultimoValor_ = entrada_;
        entrada_ += QLatin1Char(' ');
        entrada_ += k;
        MostrarPantalla(entrada_);
        AnotarPapel(entrada_);
    }

    if (k == QLatin1Char('E') || k == QLatin1Char('P')) {
        // Cambio de moneda: cualquier operación pendiente se abandona.
        const double x = ValorNumerico(entrada_);
        const double r = k == QLatin1Char('E') ? x / PesetasPorEuro : x * PesetasPorEuro;
        if (!std::isfinite(r))
            return Anular();
        ultimoResultado_ = EscribirNumero(r) + QLatin1Char(' ') + k;
        return Terminar(k);
    }

    if (pendiente_.isEmpty()) {
        if (igual) {
            // Un número y "=" sin nada pendiente: el número es el resultado.
            if (!std::isfinite(ValorOperando(entrada_)))
                return Anular();
            ultimoResultado_ = entrada_;
            return Terminar(k);
        }
        pendiente_ = entrada_;
        entrada_.clear();
        return;
    }

    segundo_ = entrada_;
    entrada_.clear();
    const double a = ValorOperando(pendiente_);
    double b = ValorOperando(segundo_);
    const QChar p = Ultimo(pendiente_);

    if (porcentaje) {
        const bool sumaResta = p == QLatin1Char('+') || p == QLatin1Char('-');
        if (sumaResta || p == QLatin1Char('*')) {
            const double parte = b * a / 100;
            if (!std::isfinite(parte))
                return Anular();
            const QString texto = EscribirNumero(parte) + QStringLiteral(" =");
            if (!sumaResta) {
                ultimoResultado_ = texto;
                return Terminar(k);
            }
            segundo_ = texto;
            b = ValorOperando(segundo_);
        }
    }

    // El resultado se escribe como número salvo la división por cero, que da "0.00", y un
    // operador pendiente desconocido, que deja el último resultado como estaba.
    double r = 0;
    QString resultado;
    switch (p.unicode()) {
    case '+':
        r = a + b;
        break;
    case '-':
        r = a - b;
        break;
    case '*':
        r = a * b;
        break;
    case '/':
        if (b == 0)
            resultado = QStringLiteral("0.00");
        else
            r = a / b;
        break;
    case 'N':
        r = a * 100 / (b + 100);
        break;
    case 'I':
        r = a * b / (b + 100);
        break;
    default:
        resultado = QuitarOperador(ultimoResultado_);
        break;
    }
    if (resultado.isEmpty()) {
        if (!std::isfinite(r))
            return Anular();
        resultado = EscribirNumero(r);
    }
    resultado.replace(QLatin1Char(','), QLatin1Char('.'));
    ultimoResultado_ = resultado + QLatin1Char(' ') + Ultimo(segundo_);
    Terminar(k);
}

// Pasos finales de toda operación que da resultado: pantalla, portapapeles y, si el cálculo
// acaba, el último valor y la línea del resultado en el papel.
void Motor::Terminar(QChar k) {
    pendiente_.clear();
    MostrarPantalla(ultimoResultado_);
    portapapeles_.Copiar(textoPantalla_.left(textoPantalla_.size() - 2));
    if (k == QLatin1Char('+') || k == QLatin1Char('-') || k == QLatin1Char('/') ||
        k == QLatin1Char('*')) {
        pendiente_ = ultimoResultado_;
    } else {
        ultimoValor_ = ultimoResultado_.left(ultimoResultado_.size() - 2);
        AnotarPapel(QString());
    }
    entrada_.clear();
}

// Un resultado que no cabe en la coma flotante: se anula el cálculo como con "C", pero el papel
// se conserva, y la pantalla dice "Error".
void Motor::Anular() {
    entrada_.clear();
    pendiente_.clear();
    segundo_.clear();
    ultimoResultado_.clear();
    origen_ = OrigenInicial;
    textoPantalla_ = TextoError;
    pantalla_.Mostrar(textoPantalla_, origen_);
}

QStringList RolloAlineado(const QStringList& lineas) {
    qsizetype ancho = 0;
    for (const QString& l : lineas)
        ancho = std::max(ancho, l.size());
    QStringList alineadas;
    alineadas.reserve(lineas.size());
    for (const QString& l : lineas)
        alineadas.append(l.rightJustified(ancho, QLatin1Char(' ')));
    return alineadas;
}

QString TextoRollo(const QStringList& lineas) {
    QString texto;
    for (const QString& l : RolloAlineado(lineas))
        texto += l + QLatin1Char('\n');
    return texto;
}

} // namespace MiCalc
