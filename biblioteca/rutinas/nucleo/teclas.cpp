#include "rutinas/nucleo/teclas.h"

#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/formato.h"
#include "rutinas/nucleo/nif.h"

#include <QRegularExpression>
#include <QStringList>

namespace rutinas {

namespace {

constexpr int kRetroceso = 8;
constexpr int kIntro = 13;
constexpr int kMas = 43;

bool Entre(QChar c, QStringView permitidos) {
    return permitidos.contains(c);
}

// Carácter resultante para un campo numérico o de cuenta; QChar() si se descarta.
QChar FiltrarNumero(QChar c, const QString& tipo, const EstadoCampo& campo,
                    const QString& decimales) {
    if (c == u',')
        c = u'.';
    if (c == u'-' && campo.selStart != 0)
        return {};
    if (c == u'-' && tipo != u"N")
        return {};
    if (c == u'.' && campo.texto.contains(u'.'))
        return {};
    if (!Entre(c, u"0123456789.-"))
        return {};
    const double d = ValorNumerico(decimales);
    if (d <= 0 && tipo != u"C")
        return c == u'.' ? QChar() : c;
    const qsizetype punto = campo.texto.indexOf(u'.');
    if (punto >= 0) {
        const qsizetype p = punto + 1; // desde 1
        const qsizetype trasPunto = campo.texto.size() - p;
        if (campo.selStart > p && static_cast<double>(trasPunto) == d)
            return {}; // los decimales ya están completos
    }
    return c;
}

} // namespace

DecisionTecla DecidirTecla(const EstadoCampo& campo, int KeyAscii) {
    DecisionTecla r;
    r.tecla = KeyAscii;
    if (KeyAscii == kRetroceso)
        return r;
    if (KeyAscii == kIntro)
        return {0, AccionTecla::EnviarTab};
    if (KeyAscii == kMas)
        return {0, AccionTecla::ValorOmision};

    const QString tipo = TipoCampo(campo.tag);
    QChar c(static_cast<char16_t>(KeyAscii));
    QString decimales = DecimalesCampo(campo.tag);
    const int longitud = LongitudCampo(campo.tag);
    if (tipo.toUpper() == u"N" && decimales.isEmpty())
        decimales = QStringLiteral("2");
    r.tecla = 0;

    if (tipo == u"N" || tipo == u"n" || tipo == u"C") {
        c = FiltrarNumero(c, tipo, campo, decimales);
    } else if (tipo == u"D") {
        if (!Entre(c, u"0123456789"))
            c = QChar();
    } else if (tipo == u"F") {
        if (c == u'-' || c == u'.')
            c = u'/';
        if (!Entre(c, u"0123456789/"))
            c = QChar();
        else if (c == u'/' && (campo.texto.count(u'/') >= 2 || campo.texto.endsWith(u'/') ||
                               campo.selStart == 0))
            c = QChar();
    } else if (tipo == u"H") {
        if (c == u'/' || c == u'.')
            c = u':';
        if (!Entre(c, u"0123456789:"))
            c = QChar();
        else if (c == u':' && campo.texto.contains(u':'))
            c = QChar();
    } else if (tipo == u"M" || tipo == u"X") {
        const QString mayuscula = QString(c).toUpper();
        if (mayuscula.size() == 1)
            c = mayuscula.at(0);
        if (tipo == u"X" && c == u'?') {
            QString conLetra = campo.texto + u'?';
            LetraNif(conLetra);
            // Solo entra lo que LetraNif ha puesto tras el número; si no pudo poner nada
            // (número 0 o con letra delante), la tecla no entra.
            c = conLetra.size() == campo.texto.size() + 1 ? conLetra.back() : QChar();
        }
    }

    if (c.isNull())
        return r;
    r.tecla = c.unicode();
    const qsizetype t = campo.texto.size();
    if (campo.selLength == 0 && t == longitud - 1) {
        r.accion = AccionTecla::PulsarTab;
    } else if (campo.selLength == 0 && t == longitud) {
        r.tecla = 0;
        r.accion = AccionTecla::PulsarTab;
    }
    return r;
}

namespace {

// Cómo se nombra en un aviso un carácter que no entra.
QString NombreCaracter(char32_t c) {
    switch (c) {
    case U' ':
        return QStringLiteral("un blanco");
    case U'\t':
        return QStringLiteral("un tabulador");
    case U'\r':
    case U'\n':
        return QStringLiteral("un salto de línea");
    default:
        break;
    }
    if (!QChar::isPrint(c))
        return QStringLiteral("un carácter de control");
    return QStringLiteral("«") + QString::fromUcs4(&c, 1) + QStringLiteral("»");
}

// Lo pegado, para un aviso: en una línea y sin pasar de 40 caracteres.
QString Citado(const QString& texto) {
    constexpr qsizetype kMaximo = 40;
    QString t = texto.simplified();
    if (t.size() > kMaximo)
        t = t.left(kMaximo - 1) + QStringLiteral("…");
    return QStringLiteral("«") + t + QStringLiteral("»");
}

// Un número escrito como lo enseña un campo numérico al salir: millares con "." y decimales
// tras ",". Sin "," no se sabe si el "." es de millares o decimal, y vale lo que se teclearía.
bool EsFormaDeVerNumero(const QString& texto) {
    static const QRegularExpression forma(QStringLiteral("^-?\\d{1,3}(\\.\\d{3})+,\\d+$"));
    return forma.match(texto).hasMatch();
}

} // namespace

DecisionPegado DecidirPegado(const EstadoCampo& campo, const QString& pegado) {
    QString entrada = pegado;
    while (entrada.endsWith(u'\n') || entrada.endsWith(u'\r'))
        entrada.chop(1);
    bool hallado = false;
    const QStringView tipo = VerDatoTag(campo.tag, u"T", hallado);
    if ((tipo == u"N" || tipo == u"n") && EsFormaDeVerNumero(entrada))
        entrada = entrada.remove(u'.').replace(u',', u'.');

    DecisionPegado r;
    EstadoCampo estado = campo;
    if (entrada.isEmpty()) { // nada que pegar: el campo sigue igual
        r.admitido = true;
        r.texto = campo.texto;
        r.cursor = campo.selStart + campo.selLength;
        return r;
    }
    QString insertado;
    const QString rechazo = QStringLiteral("No se puede pegar %1 en este campo: %2.");
    for (const char32_t cp : entrada.toUcs4()) {
        // Un carácter de fuera del plano básico va a la regla como su primera mitad (un
        // código que ningún tipo de caracteres fijos admite) y, si pasa tal cual, entra entero.
        const int clave =
            QChar::requiresSurrogates(cp) ? QChar::highSurrogate(cp) : static_cast<int>(cp);
        const DecisionTecla d = QChar::isPrint(cp) ? DecidirTecla(estado, clave) : DecisionTecla{};
        if (d.tecla == 0 || d.accion == AccionTecla::ValorOmision ||
            d.accion == AccionTecla::EnviarTab) {
            const bool lleno = d.accion == AccionTecla::PulsarTab;
            r.aviso = rechazo.arg(
                Citado(pegado),
                lleno
                    ? QStringLiteral("no cabe (admite %1 caracteres)").arg(LongitudCampo(campo.tag))
                    : NombreCaracter(cp) + QStringLiteral(" no vale aquí"));
            return r;
        }
        const QString caracter = d.tecla == clave ? QString::fromUcs4(&cp, 1)
                                                  : QString(QChar(static_cast<char16_t>(d.tecla)));
        estado.texto.replace(estado.selStart, estado.selLength, caracter);
        estado.selStart += static_cast<int>(caracter.size());
        estado.selLength = 0;
        insertado += caracter;
        r.lleno = d.accion == AccionTecla::PulsarTab;
    }
    r.admitido = true;
    r.insertado = insertado;
    r.texto = estado.texto;
    r.cursor = estado.selStart;
    return r;
}

int IndiceEnLista(const QStringList& entradas, const QString& valor) {
    const QString buscado = valor.trimmed();
    for (qsizetype i = 0; i < entradas.size(); ++i) {
        if (entradas[i].trimmed() == buscado)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace rutinas
