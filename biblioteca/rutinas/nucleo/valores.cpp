#include "rutinas/nucleo/valores.h"

#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/formato.h"
#include "rutinas/nucleo/nif.h"

#include <cmath>

namespace rutinas {

QDate FechaTrabajo;

namespace {

// Texto de un número como lo escribe la conversión a texto de la suite: sin decimales si es
// entero, con "," decimal si no.
QString TextoNumero(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<long long>(v));
    return QString::number(v, 'g', 15).replace(u'.', u',');
}

// Las dos últimas cifras de valor + 1000: 9 → "09". Son cifras de la parte entera: con
// decimales (9,5) no se escribiría la coma ("9,5" + 1000 acabaría en ",5").
QString DosCifras(double valor) {
    return TextoNumero(std::floor(valor + 1000)).right(2);
}

// Elemento obligatorio sin copiarlo; si falta, el aviso de siempre.
QStringView Obligatorio(const QString& Tag, QStringView clave) {
    bool hallado = false;
    const QStringView v = VerDatoTag(Tag, clave, hallado);
    if (!hallado)
        LeerDatoTag(Tag, clave.toString());
    return v;
}

int Decimales(const QString& Tag) {
    bool hallado = false;
    const QStringView d = VerDatoTag(Tag, u"D", hallado);
    if (d.isEmpty())
        return 2;
    return EnteroCorto(ValorNumerico(d));
}

QDate FechaDeTrabajo() {
    if (FechaTrabajo.isNull())
        FechaTrabajo = QDate::currentDate();
    return FechaTrabajo;
}

} // namespace

QString FechaHoy() {
    return FormatearFecha(QDate::currentDate(), u"dd/mm/yyyy");
}

QString CompletarFecha(const QString& Texto) {
    const QDate trabajo = FechaDeTrabajo();
    const QString mes = QString::number(trabajo.month());
    const QString anio = QString::number(trabajo.year());
    const qsizetype barras = Texto.count(u'/');
    QString r = Texto;
    if (barras == 0) {
        const qsizetype n = Texto.size();
        if (n == 1 || n == 2)
            r = Texto + u'/' + mes + u'/' + anio;
        else if (n == 3 || n == 4)
            r = Texto.left(2) + u'/' + Texto.mid(2) + u'/' + anio;
        else
            r = Texto.left(2) + u'/' + Texto.mid(2, 2) + u'/' + Texto.mid(4);
    } else if (barras == 1) {
        r = Texto.endsWith(u'/') ? Texto + mes + u'/' + anio : Texto + u'/' + anio;
    } else if (barras == 2) {
        if (Texto.endsWith(u'/'))
            r = Texto + anio;
    }
    if (!LeerFechaLocal(r, trabajo.year()))
        return QString();
    return r;
}

void ExpandirCuenta(QString& Texto) {
    const QString t = Texto.trimmed();
    if (t.isEmpty())
        return;
    const qsizetype p = t.indexOf(u'.') + 1; // posición desde 1, 0 si no hay
    if (p > 0) {
        const QString resto = QStringLiteral("00000000") + t.mid(p);
        Texto = t.left(p - 1) + resto.right(std::max<qsizetype>(0, 9 - p));
    } else if (t.size() >= 3) {
        const QString dos = t.left(2);
        const bool corto = dos == u"40" || dos == u"41" || dos == u"43" || dos == u"44";
        const QString prefijo = corto ? dos : t.left(3);
        Texto =
            prefijo + QString(std::max<qsizetype>(0, 8 - t.size()), u'0') + t.mid(prefijo.size());
    } else {
        Texto = (t + QStringLiteral("00000000")).left(8);
    }
}

int DecimalesNumero(const QString& Tag) {
    return Decimales(Tag);
}

bool FechaQueNoExiste(const QString& Texto, const QString& Tag) {
    bool hallado = false;
    const QStringView tipo = VerDatoTag(Tag, u"T", hallado);
    return (tipo == u"F" || tipo == u"f") && !Texto.trimmed().isEmpty() &&
           CompletarFecha(Texto).isEmpty();
}

QString FormatoVisual(const QString& Texto, const QString& Tag) {
    const QStringView tipo = Obligatorio(Tag, u"T");
    const int longitud = std::max<int>(0, EnteroCorto(ValorNumerico(Obligatorio(Tag, u"L"))));
    const QStringView ajuste = Obligatorio(Tag, u"A");

    if (tipo == u"N" || tipo == u"n") {
        const int decimales = Decimales(Tag);
        if (Texto.trimmed().isEmpty())
            return QString();
        return FormatearNumero(ValorNumerico(Texto), PatronNumero::Importe(decimales));
    }
    if (tipo == u"D") {
        if (Texto.trimmed().isEmpty())
            return QString();
        QString izquierda = Texto;
        qsizetype i = 0;
        while (i < izquierda.size() && izquierda[i] == u' ')
            ++i;
        izquierda.remove(0, i);
        if (ajuste == u"D")
            return (QString(longitud, u' ') + izquierda).right(longitud);
        if (ajuste == u"C")
            return (QString(longitud, u'0') + izquierda).right(longitud);
        if (ajuste == u"I")
            return (Texto.trimmed() + QString(longitud, u' ')).left(longitud);
        return QString();
    }
    if (tipo == u"F" || tipo == u"f") {
        const QString r = CompletarFecha(Texto);
        if (r.isEmpty())
            return QString();
        const auto fecha = LeerFechaLocal(r, FechaDeTrabajo().year());
        return FormatearFecha(fecha.value_or(QDate()), tipo == u"F" ? u"dd mmm yyyy" : u"dd mmmm");
    }
    if (tipo == u"X") {
        QString r = Texto;
        LetraNif(r);
        return r;
    }
    if (tipo == u"H") {
        const qsizetype p = Texto.indexOf(u':');
        const QStringView horas = p < 0 ? QStringView(Texto) : QStringView(Texto).left(p);
        const QStringView minutos = p < 0 ? QStringView() : QStringView(Texto).mid(p + 1);
        return DosCifras(ValorNumerico(horas)) + u':' + DosCifras(ValorNumerico(minutos));
    }
    if (tipo == u"C") {
        QString r = Texto;
        ExpandirCuenta(r);
        return r;
    }
    return Texto;
}

QString FormatoEdicion(const QString& Texto, const QString& Tag) {
    const QStringView tipo = Obligatorio(Tag, u"T");
    if (tipo == u"N" || tipo == u"n") {
        if (Texto.isEmpty())
            return QString();
        const int decimales = std::max(0, Decimales(Tag));
        QString r;
        const auto valor = LeerNumeroLocal(Texto);
        if (valor) {
            PatronNumero patron;
            patron.punto = true;
            patron.decimalesFijos = decimales;
            r = FormatearNumero(*valor, patron);
        } else {
            r = Texto;
        }
        const qsizetype coma = r.indexOf(u',');
        if (coma >= 0)
            r[coma] = u'.';
        if (r.endsWith(u'.'))
            r.chop(1);
        if (r.startsWith(u'.'))
            r.prepend(u'0');
        else if (r.startsWith(QLatin1String("-.")))
            r.insert(1, u'0');
        // Un número que se queda en cero sin decimales no desaparece: "0", no "".
        if (valor && r.isEmpty())
            r = QStringLiteral("0");
        return r;
    }
    if (tipo == u"F" || tipo == u"f") {
        if (const auto fecha = LeerFechaLocal(Texto, 0))
            return FormatearFecha(*fecha, u"dd/mm/yyyy");
        return Texto;
    }
    return Texto;
}

} // namespace rutinas
