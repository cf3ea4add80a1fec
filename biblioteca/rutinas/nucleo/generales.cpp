#include "rutinas/nucleo/generales.h"

#include "rutinas/nucleo/formato.h"

#include <QSysInfo>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace rutinas {

bool SinConversionOem = false;

namespace {

// Conversión con iconv entre UTF-32 (orden de esta máquina) y un juego de un byte por
// carácter. Windows-1252 deja cinco bytes sin carácter (81, 8D, 8F, 90, 9D); como hace el
// sistema de origen, pasan a los caracteres de control del mismo número y vuelven a sus bytes.
const char* Utf32() {
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-32LE" : "UTF-32BE";
}

bool HuecoDeWindows(const char* juego, uint punto) {
    return qstrcmp(juego, "CP1252") == 0 &&
           (punto == 0x81 || punto == 0x8D || punto == 0x8F || punto == 0x90 || punto == 0x9D);
}

class Iconv {
public:
    Iconv(const char* a, const char* desde) : cd_(iconv_open(a, desde)) {}
    ~Iconv() {
        if (valido())
            iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valido() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd() const { return cd_; }

private:
    iconv_t cd_;
};

// Lo que el juego no tiene sale como "?".
QByteArray Codificar(const QString& texto, const char* juego) {
    const QList<uint> puntos = texto.toUcs4();
    QByteArray r(puntos.size(), '?');
    Iconv conv(juego, Utf32());
    if (!conv.valido())
        return r;
    char* entrada = reinterpret_cast<char*>(const_cast<uint*>(puntos.constData()));
    size_t quedan = static_cast<size_t>(puntos.size()) * sizeof(uint);
    char* salida = r.data();
    size_t hueco = static_cast<size_t>(r.size());
    while (quedan > 0) {
        if (iconv(conv.cd(), &entrada, &quedan, &salida, &hueco) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // Carácter sin byte en este juego: "?" (o su byte, si es un hueco de Windows).
        uint punto = 0;
        std::memcpy(&punto, entrada, sizeof punto);
        *salida++ = HuecoDeWindows(juego, punto) ? static_cast<char>(punto) : '?';
        --hueco;
        entrada += sizeof(uint);
        quedan -= sizeof(uint);
    }
    r.truncate(r.size() - static_cast<qsizetype>(hueco));
    return r;
}

QString Decodificar(QByteArrayView bytes, const char* juego) {
    QList<uint> puntos(bytes.size());
    Iconv conv(Utf32(), juego);
    if (!conv.valido())
        return QString();
    char* entrada = const_cast<char*>(bytes.data());
    size_t quedan = static_cast<size_t>(bytes.size());
    char* salida = reinterpret_cast<char*>(puntos.data());
    size_t hueco = static_cast<size_t>(puntos.size()) * sizeof(uint);
    while (quedan > 0) {
        if (iconv(conv.cd(), &entrada, &quedan, &salida, &hueco) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        const uint b = static_cast<unsigned char>(*entrada);
        const uint punto = HuecoDeWindows(juego, b) ? b : 0xFFFD;
        std::memcpy(salida, &punto, sizeof punto);
        salida += sizeof punto;
        hueco -= sizeof punto;
        ++entrada;
        --quedan;
    }
    const qsizetype n = puntos.size() - static_cast<qsizetype>(hueco / sizeof(uint));
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(puntos.constData()), n);
}

} // namespace

QString FormatoNumero(const QString& Valor, QString& Formato, bool VerCeros) {
    if (Formato.isEmpty())
        Formato = QStringLiteral("#,##0.00");
    const double valor = ValorNumerico(Valor);
    if (!VerCeros && valor == 0)
        return QString();
    return FormatearNumero(valor, Formato);
}

QString NumeroConPunto(const QString& Valor, short Ancho, QString& Formato) {
    if (Formato.isEmpty())
        Formato = QStringLiteral("0.00");
    const auto valor = LeerNumeroLocal(Valor);
    QString r = valor ? FormatearNumero(*valor, Formato) : Valor;
    if (Ancho >= 1)
        r = (QString(Ancho, u' ') + r).right(Ancho);
    const qsizetype coma = r.indexOf(u',');
    if (coma >= 0)
        r[coma] = u'.';
    return r;
}

QByteArray TextoAOem(const QString& texto) {
    return Codificar(texto, "CP850");
}

QString OemATexto(QByteArrayView bytes) {
    return Decodificar(bytes, "CP850");
}

QByteArray TextoAAnsi(const QString& texto) {
    return Codificar(texto, "CP1252");
}

QString AnsiATexto(QByteArrayView bytes) {
    return Decodificar(bytes, "CP1252");
}

QString ConvertirOem(const QString& Texto, const QString& Sentido) {
    QString r = Texto;
    r.replace(QChar(u'\0'), QChar(u' '));
    if (SinConversionOem)
        return r;
    const QString sentido = Sentido.toLower();
    if (sentido == u"win")
        return OemATexto(TextoAAnsi(r));
    if (sentido == u"dos")
        return AnsiATexto(TextoAOem(r));
    return r;
}

QStringList PartirLista(const QString& Lista) {
    QString separador;
    if (Lista.contains(u';'))
        separador = QStringLiteral(";");
    else if (Lista.contains(QLatin1String("<<")))
        separador = QStringLiteral("<<");
    QStringList entradas;
    if (separador.isEmpty()) {
        if (!Lista.isEmpty())
            entradas.append(Lista);
        return entradas;
    }
    QString resto = Lista;
    while (!resto.isEmpty()) {
        const qsizetype p = resto.indexOf(separador);
        if (p < 0) {
            entradas.append(resto);
            break;
        }
        entradas.append(resto.left(p));
        resto.remove(0, p + separador.size());
    }
    return entradas;
}

short IndiceEnImpresoras(const QStringList& nombres, const QString& actual) {
    for (qsizetype i = 0; i < nombres.size(); ++i) {
        if (nombres[i] == actual)
            return static_cast<short>(i);
    }
    return 0;
}

} // namespace rutinas
