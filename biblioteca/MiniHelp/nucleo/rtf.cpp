#include "MiniHelp/nucleo/rtf.h"

#include "basicos/nucleo/error.h"

#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <array>
#include <string_view>

namespace MiniHelp {

QString ParrafoRtf::Texto() const {
    QString t;
    for (const auto& tramo : tramos)
        t += tramo.texto;
    return t;
}

QString DocumentoRtf::Texto() const {
    QStringList lineas;
    for (const auto& p : parrafos)
        lineas << p.Texto();
    return lineas.join(u'\n');
}

bool EsRtf(const QByteArray& contenido) {
    return contenido.trimmed().startsWith("{\\rtf");
}

namespace {

enum class Destino { Texto, Fuentes, Colores, Saltar };

// Estado que cada grupo hereda de su padre y recupera al cerrarse.
struct Estado {
    bool negrita = false;
    bool cursiva = false;
    bool subrayado = false;
    int mediosPuntos = 24;
    int color = 0;
    int fuente = -1;
    int saltoUnicode = 1; // caracteres que siguen a \uN y que lo sustituyen (\ucN)
    Alineacion alineacion = Alineacion::Izquierda;
    Destino destino = Destino::Texto;
};

// Destinos cuyo contenido no es texto del documento.
constexpr std::array<std::string_view, 25> destinosIgnorados = {"stylesheet",
                                                                "info",
                                                                "pict",
                                                                "header",
                                                                "headerl",
                                                                "headerr",
                                                                "headerf",
                                                                "footer",
                                                                "footerl",
                                                                "footerr",
                                                                "footerf",
                                                                "object",
                                                                "fldinst",
                                                                "xe",
                                                                "tc",
                                                                "bkmkstart",
                                                                "bkmkend",
                                                                "listtable",
                                                                "listoverridetable",
                                                                "rsidtbl",
                                                                "themedata",
                                                                "colorschememapping",
                                                                "latentstyles",
                                                                "datastore",
                                                                "filetbl"};

class Lector {
public:
    explicit Lector(const QByteArray& c) : c_(c) {}

    DocumentoRtf Leer() {
        doc_.parrafos.emplace_back();
        while (pos_ < c_.size()) {
            const char ch = c_[pos_++];
            switch (ch) {
            case '{':
                pila_.push_back(estado_);
                pendienteAsterisco_ = false;
                break;
            case '}':
                if (estado_.destino == Destino::Fuentes)
                    TerminarFuente();
                if (pila_.empty())
                    break;
                estado_ = pila_.back();
                pila_.pop_back();
                saltar_ = 0;
                break;
            case '\\':
                PalabraDeControl();
                break;
            case '\r':
            case '\n':
                break;
            default:
                Caracter(static_cast<unsigned char>(ch));
                break;
            }
        }
        // El párrafo en curso cuenta si tiene texto; el vacío tras el último \par, no.
        if (doc_.parrafos.size() > 1 && doc_.parrafos.back().tramos.empty())
            doc_.parrafos.pop_back();
        return std::move(doc_);
    }

private:
    void PalabraDeControl() {
        if (pos_ >= c_.size())
            return;
        const char ch = c_[pos_];
        if (!EsLetra(ch)) {
            ++pos_;
            Simbolo(ch);
            return;
        }
        const auto inicio = pos_;
        while (pos_ < c_.size() && EsLetra(c_[pos_]))
            ++pos_;
        const std::string_view palabra(c_.constData() + inicio, pos_ - inicio);
        std::optional<int> parametro;
        bool negativo = false;
        if (pos_ < c_.size() && c_[pos_] == '-' && pos_ + 1 < c_.size() && EsDigito(c_[pos_ + 1])) {
            negativo = true;
            ++pos_;
        }
        if (pos_ < c_.size() && EsDigito(c_[pos_])) {
            long long valor = 0;
            while (pos_ < c_.size() && EsDigito(c_[pos_])) {
                if (valor < 100000000)
                    valor = valor * 10 + (c_[pos_] - '0');
                ++pos_;
            }
            parametro = static_cast<int>(negativo ? -valor : valor);
        }
        if (pos_ < c_.size() && c_[pos_] == ' ')
            ++pos_;
        Palabra(palabra, parametro);
    }

    void Simbolo(char ch) {
        switch (ch) {
        case '\'': {
            if (pos_ + 2 > c_.size())
                return;
            bool ok = false;
            const int byte = c_.mid(pos_, 2).toInt(&ok, 16);
            pos_ += 2;
            if (ok)
                Caracter(static_cast<unsigned char>(byte));
            return;
        }
        case '\\':
        case '{':
        case '}':
            Caracter(static_cast<unsigned char>(ch));
            return;
        case '~':
            Unicode(0x00A0);
            return;
        case '_':
            Unicode(0x2011);
            return;
        case '-':
            Unicode(0x00AD);
            return;
        case '*':
            pendienteAsterisco_ = true;
            return;
        case '\r':
        case '\n':
            Palabra("par", std::nullopt);
            return;
        default:
            return;
        }
    }

    void Palabra(std::string_view p, std::optional<int> n) {
        const bool activo = !n || *n != 0;
        if (pendienteAsterisco_) {
            pendienteAsterisco_ = false;
            // Un destino marcado con \* que el lector no conoce se salta entero.
            if (p != "fonttbl" && p != "colortbl") {
                estado_.destino = Destino::Saltar;
                return;
            }
        }
        if (p == "fonttbl") {
            estado_.destino = Destino::Fuentes;
        } else if (p == "colortbl") {
            estado_.destino = Destino::Colores;
            colorEnCurso_ = {};
            colores_.clear();
        } else if (std::find(destinosIgnorados.begin(), destinosIgnorados.end(), p) !=
                   destinosIgnorados.end()) {
            estado_.destino = Destino::Saltar;
        } else if (estado_.destino == Destino::Colores) {
            if (p == "red" || p == "green" || p == "blue") {
                (p == "red"     ? colorEnCurso_.rojo
                 : p == "green" ? colorEnCurso_.verde
                                : colorEnCurso_.azul) = n.value_or(0);
                colorEnCurso_.definido = true;
            }
        } else if (estado_.destino == Destino::Fuentes) {
            if (p == "f") {
                TerminarFuente();
                fuenteEnCurso_ = n.value_or(0);
            }
        } else if (estado_.destino == Destino::Saltar) {
            return;
        } else if (p == "ansicpg" && n) {
            QStringDecoder d(("windows-" + QByteArray::number(*n)).constData());
            if (d.isValid())
                decodificador_ = std::move(d);
        } else if (p == "deff") {
            fuenteOmision_ = n.value_or(0);
        } else if (p == "par") {
            TerminarParrafo();
        } else if (p == "line") {
            Unicode(0x2028);
        } else if (p == "tab") {
            Unicode('\t');
        } else if (p == "pard") {
            estado_.alineacion = Alineacion::Izquierda;
        } else if (p == "ql") {
            estado_.alineacion = Alineacion::Izquierda;
        } else if (p == "qc") {
            estado_.alineacion = Alineacion::Centro;
        } else if (p == "qr") {
            estado_.alineacion = Alineacion::Derecha;
        } else if (p == "qj") {
            estado_.alineacion = Alineacion::Justificada;
        } else if (p == "plain") {
            estado_.negrita = estado_.cursiva = estado_.subrayado = false;
            estado_.mediosPuntos = 24;
            estado_.color = 0;
            estado_.fuente = -1;
        } else if (p == "b") {
            estado_.negrita = activo;
        } else if (p == "i") {
            estado_.cursiva = activo;
        } else if (p == "ul" || p == "uld" || p == "uldb" || p == "ulw" || p == "uldash" ||
                   p == "ulth") {
            estado_.subrayado = activo;
        } else if (p == "ulnone") {
            estado_.subrayado = false;
        } else if (p == "fs") {
            estado_.mediosPuntos = n && *n > 0 ? *n : 24;
        } else if (p == "cf") {
            estado_.color = n.value_or(0);
        } else if (p == "f") {
            estado_.fuente = n.value_or(0);
        } else if (p == "uc") {
            estado_.saltoUnicode = std::max(0, n.value_or(1));
        } else if (p == "u" && n) {
            Unicode(static_cast<char32_t>(*n < 0 ? *n + 65536 : *n));
            saltar_ = estado_.saltoUnicode;
        } else if (p == "emdash") {
            Unicode(0x2014);
        } else if (p == "endash") {
            Unicode(0x2013);
        } else if (p == "lquote") {
            Unicode(0x2018);
        } else if (p == "rquote") {
            Unicode(0x2019);
        } else if (p == "ldblquote") {
            Unicode(0x201C);
        } else if (p == "rdblquote") {
            Unicode(0x201D);
        } else if (p == "bullet") {
            Unicode(0x2022);
        }
    }

    // Un byte de texto (literal o escrito como \'hh), en la página de códigos del documento.
    void Caracter(unsigned char byte) {
        if (saltar_ > 0) {
            --saltar_;
            return;
        }
        switch (estado_.destino) {
        case Destino::Saltar:
            return;
        case Destino::Colores:
            if (byte == ';') {
                colores_.push_back(colorEnCurso_.definido
                                       ? std::optional<std::uint32_t>(colorEnCurso_.Rgb())
                                       : std::nullopt);
                colorEnCurso_ = {};
            }
            return;
        case Destino::Fuentes:
            if (byte == ';')
                TerminarFuente();
            else
                nombreFuente_ += Decodificar(byte);
            return;
        case Destino::Texto:
            Anadir(Decodificar(byte));
            return;
        }
    }

    void Unicode(char32_t c) {
        if (estado_.destino == Destino::Texto)
            Anadir(QString::fromUcs4(&c, 1));
        else if (estado_.destino == Destino::Fuentes)
            nombreFuente_ += QString::fromUcs4(&c, 1);
    }

    QString Decodificar(unsigned char byte) {
        if (byte < 0x80)
            return QString(QChar(byte));
        const char b = static_cast<char>(byte);
        return decodificador_.decode(QByteArrayView(&b, 1));
    }

    void Anadir(const QString& texto) {
        doc_.parrafos.back().alineacion = estado_.alineacion;
        auto& tramos = doc_.parrafos.back().tramos;
        TramoRtf formato = FormatoActual();
        if (!tramos.empty() && MismoFormato(tramos.back(), formato)) {
            tramos.back().texto += texto;
            return;
        }
        formato.texto = texto;
        tramos.push_back(std::move(formato));
    }

    TramoRtf FormatoActual() const {
        TramoRtf t;
        t.negrita = estado_.negrita;
        t.cursiva = estado_.cursiva;
        t.subrayado = estado_.subrayado;
        t.puntos = estado_.mediosPuntos / 2.0;
        if (estado_.color > 0 && estado_.color < static_cast<int>(colores_.size()))
            t.color = colores_[estado_.color];
        const int f = estado_.fuente >= 0 ? estado_.fuente : fuenteOmision_;
        for (const auto& [numero, nombre] : fuentes_)
            if (numero == f)
                t.fuente = nombre;
        return t;
    }

    void TerminarParrafo() {
        doc_.parrafos.back().alineacion = estado_.alineacion;
        doc_.parrafos.emplace_back();
        doc_.parrafos.back().alineacion = estado_.alineacion;
    }

    void TerminarFuente() {
        const QString nombre = nombreFuente_.trimmed();
        if (fuenteEnCurso_ >= 0 && !nombre.isEmpty())
            fuentes_.emplace_back(fuenteEnCurso_, nombre);
        nombreFuente_.clear();
        fuenteEnCurso_ = -1;
    }

    static bool MismoFormato(const TramoRtf& a, const TramoRtf& b) {
        return a.negrita == b.negrita && a.cursiva == b.cursiva && a.subrayado == b.subrayado &&
               a.puntos == b.puntos && a.color == b.color && a.fuente == b.fuente;
    }

    static bool EsLetra(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool EsDigito(char c) { return c >= '0' && c <= '9'; }

    struct Color {
        int rojo = 0, verde = 0, azul = 0;
        bool definido = false;
        std::uint32_t Rgb() const {
            auto canal = [](int v) {
                return static_cast<std::uint32_t>(std::clamp(v, 0, 255));
            };
            return canal(rojo) << 16 | canal(verde) << 8 | canal(azul);
        }
    };

    const QByteArray& c_;
    qsizetype pos_ = 0;
    DocumentoRtf doc_;
    Estado estado_;
    std::vector<Estado> pila_;
    bool pendienteAsterisco_ = false;
    int saltar_ = 0;
    QStringDecoder decodificador_{"windows-1252"};
    std::vector<std::optional<std::uint32_t>> colores_;
    Color colorEnCurso_;
    std::vector<std::pair<int, QString>> fuentes_;
    int fuenteEnCurso_ = -1;
    int fuenteOmision_ = 0;
    QString nombreFuente_;
};

} // namespace

DocumentoRtf LeerRtf(const QByteArray& contenido) {
    if (!EsRtf(contenido))
        throw basicos::ErrorZoq(QStringLiteral("El documento no es texto enriquecido (RTF)."));
    return Lector(contenido).Leer();
}

} // namespace MiniHelp
