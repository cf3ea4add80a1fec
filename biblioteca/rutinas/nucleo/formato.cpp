#include "rutinas/nucleo/formato.h"

#include <QVarLengthArray>

#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string>

namespace rutinas {

namespace {

bool EsBlanco(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool EsCifra(QChar c) {
    return c >= u'0' && c <= u'9';
}

const std::array<const char16_t*, 12> kMesesCortos = {
    u"ene", u"feb", u"mar", u"abr", u"may", u"jun", u"jul", u"ago", u"sep", u"oct", u"nov", u"dic"};
const std::array<const char16_t*, 12> kMesesLargos = {
    u"enero", u"febrero", u"marzo",      u"abril",   u"mayo",      u"junio",
    u"julio", u"agosto",  u"septiembre", u"octubre", u"noviembre", u"diciembre"};
const std::array<const char16_t*, 7> kDiasCortos = {u"lun", u"mar", u"mié", u"jue",
                                                    u"vie", u"sáb", u"dom"};
const std::array<const char16_t*, 7> kDiasLargos = {u"lunes",   u"martes", u"miércoles", u"jueves",
                                                    u"viernes", u"sábado", u"domingo"};

// Cifras de un número ya redondeado: parte entera sin ceros a la izquierda y decimales.
struct Cifras {
    std::string entera;
    std::string decimales;
    bool negativo = false;
};

// Pasa el valor a sus 15 cifras significativas y lo redondea a `decimales` cifras tras el
// punto, la mitad lejos del cero.
Cifras Redondear(double valor, int decimales) {
    Cifras r;
    r.negativo = std::signbit(valor);
    const double magnitud = std::fabs(valor);
    char buf[40];
    auto [fin, ec] =
        std::to_chars(buf, buf + sizeof buf, magnitud, std::chars_format::scientific, 14);
    (void)ec;
    // buf = "d.dddddddddddddde±XX"
    std::string sig;
    sig.reserve(15);
    const char* p = buf;
    for (; p < fin && *p != 'e'; ++p) {
        if (*p != '.')
            sig.push_back(*p);
    }
    int exponente = 0;
    if (p < fin)
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), fin, exponente);
    const int enEntera = exponente + 1; // cifras de sig que van antes del punto
    if (magnitud == 0) {
        r.entera.clear();
        r.decimales.assign(static_cast<size_t>(decimales), '0');
        r.negativo = false;
        return r;
    }
    std::string entera, fraccion;
    const int n = static_cast<int>(sig.size());
    if (enEntera <= 0) {
        fraccion.assign(static_cast<size_t>(-enEntera), '0');
        fraccion += sig;
    } else if (enEntera >= n) {
        entera = sig;
        entera.append(static_cast<size_t>(enEntera - n), '0');
    } else {
        entera = sig.substr(0, static_cast<size_t>(enEntera));
        fraccion = sig.substr(static_cast<size_t>(enEntera));
    }
    bool subir = false;
    if (static_cast<int>(fraccion.size()) > decimales) {
        subir = fraccion[static_cast<size_t>(decimales)] >= '5';
        fraccion.resize(static_cast<size_t>(decimales));
    } else {
        fraccion.append(static_cast<size_t>(decimales) - fraccion.size(), '0');
    }
    if (subir) {
        int i = static_cast<int>(fraccion.size()) - 1;
        for (; i >= 0 && subir; --i) {
            if (fraccion[static_cast<size_t>(i)] == '9') {
                fraccion[static_cast<size_t>(i)] = '0';
            } else {
                ++fraccion[static_cast<size_t>(i)];
                subir = false;
            }
        }
        for (int j = static_cast<int>(entera.size()) - 1; j >= 0 && subir; --j) {
            if (entera[static_cast<size_t>(j)] == '9') {
                entera[static_cast<size_t>(j)] = '0';
            } else {
                ++entera[static_cast<size_t>(j)];
                subir = false;
            }
        }
        if (subir)
            entera.insert(entera.begin(), '1');
    }
    const size_t primera = entera.find_first_not_of('0');
    entera = primera == std::string::npos ? std::string() : entera.substr(primera);
    if (entera.empty() && fraccion.find_first_not_of('0') == std::string::npos)
        r.negativo = false;
    r.entera = std::move(entera);
    r.decimales = std::move(fraccion);
    return r;
}

int LeerEntero(QStringView s) {
    int v = 0;
    for (QChar c : s) {
        v = v * 10 + (c.unicode() - u'0');
        if (v > 100000)
            return -1;
    }
    return v;
}

// Número de mes de un nombre (abreviado o completo, sin distinguir mayúsculas), o 0.
int MesPorNombre(QStringView nombre) {
    auto igual = [nombre](const char16_t* mes) {
        const QStringView m(mes);
        return m.size() == nombre.size() && nombre.compare(m, Qt::CaseInsensitive) == 0;
    };
    for (int i = 0; i < 12; ++i) {
        if (igual(kMesesCortos[static_cast<size_t>(i)]) ||
            igual(kMesesLargos[static_cast<size_t>(i)]))
            return i + 1;
    }
    if (nombre.compare(u"sept", Qt::CaseInsensitive) == 0)
        return 9;
    return 0;
}

} // namespace

double ValorNumerico(QStringView texto) {
    // Se copia lo numérico, sin blancos, a un búfer que from_chars entiende (en la pila salvo
    // textos muy largos: ninguna cifra se pierde).
    QVarLengthArray<char, 64> buf;
    auto siguiente = [&, i = qsizetype(0)]() mutable -> QChar {
        while (i < texto.size() && EsBlanco(texto[i]))
            ++i;
        return i < texto.size() ? texto[i++] : QChar();
    };
    auto poner = [&](char c) {
        buf.append(c);
    };
    QChar c = siguiente();
    bool negativo = false;
    if (c == u'-' || c == u'+') {
        negativo = c == u'-';
        c = siguiente();
    }
    bool cifras = false;
    while (EsCifra(c)) {
        poner(static_cast<char>(c.unicode()));
        cifras = true;
        c = siguiente();
    }
    if (c == u'.') {
        poner('.');
        c = siguiente();
        while (EsCifra(c)) {
            poner(static_cast<char>(c.unicode()));
            cifras = true;
            c = siguiente();
        }
    }
    if (!cifras)
        return 0;
    if (c == u'E' || c == u'e' || c == u'D' || c == u'd') {
        const qsizetype antes = buf.size();
        poner('e');
        c = siguiente();
        if (c == u'-' || c == u'+') {
            poner(static_cast<char>(c.unicode()));
            c = siguiente();
        }
        bool hayExponente = false;
        while (EsCifra(c)) {
            poner(static_cast<char>(c.unicode()));
            hayExponente = true;
            c = siguiente();
        }
        if (!hayExponente)
            buf.resize(antes);
    }
    double valor = 0;
    auto [p, ec] = std::from_chars(buf.data(), buf.data() + buf.size(), valor);
    (void)p;
    if (ec != std::errc() || !std::isfinite(valor))
        return 0;
    return negativo ? -valor : valor;
}

std::optional<double> LeerNumeroLocal(QStringView texto) {
    texto = texto.trimmed();
    bool negativo = false;
    if (!texto.isEmpty() && (texto.front() == u'-' || texto.front() == u'+')) {
        negativo = texto.front() == u'-';
        texto = texto.mid(1).trimmed();
    }
    if (texto.isEmpty())
        return std::nullopt;
    const qsizetype coma = texto.indexOf(u',');
    QStringView entera = coma < 0 ? texto : texto.left(coma);
    QStringView fraccion = coma < 0 ? QStringView() : texto.mid(coma + 1);
    for (QChar c : fraccion) {
        if (!EsCifra(c))
            return std::nullopt;
    }
    std::string numero;
    numero.reserve(static_cast<size_t>(texto.size()) + 1);
    const qsizetype puntos = entera.count(u'.');
    bool agrupa = puntos > 0;
    if (agrupa) {
        // Agrupación válida: 1 a 3 cifras y después grupos de "." y tres cifras.
        const qsizetype primero = entera.indexOf(u'.');
        agrupa = primero >= 1 && primero <= 3;
        for (qsizetype i = primero; agrupa && i < entera.size(); i += 4) {
            agrupa = entera[i] == u'.' && i + 3 < entera.size() && EsCifra(entera[i + 1]) &&
                     EsCifra(entera[i + 2]) && EsCifra(entera[i + 3]) &&
                     (i + 4 == entera.size() || entera[i + 4] == u'.');
        }
    }
    bool hayCifras = false;
    for (QChar c : entera) {
        if (EsCifra(c)) {
            numero.push_back(static_cast<char>(c.unicode()));
            hayCifras = true;
        } else if (c == u'.') {
            if (coma >= 0 || agrupa)
                continue; // separador de millares
            if (puntos != 1)
                return std::nullopt;
            numero.push_back('.');
        } else {
            return std::nullopt;
        }
    }
    if (!fraccion.isEmpty()) {
        numero.push_back('.');
        for (QChar c : fraccion)
            numero.push_back(static_cast<char>(c.unicode()));
        hayCifras = true;
    }
    if (!hayCifras)
        return std::nullopt;
    double valor = 0;
    auto [p, ec] = std::from_chars(numero.data(), numero.data() + numero.size(), valor);
    if (ec != std::errc() || p != numero.data() + numero.size() || !std::isfinite(valor))
        return std::nullopt;
    return negativo ? -valor : valor;
}

PatronNumero PatronNumero::Analizar(QStringView patron) {
    PatronNumero r;
    auto esNumerico = [](QChar c) {
        return c == u'#' || c == u'0' || c == u',' || c == u'.';
    };
    qsizetype i = 0;
    while (i < patron.size() && !esNumerico(patron[i]))
        r.prefijo += patron[i++];
    for (; i < patron.size() && (patron[i] == u'#' || patron[i] == u'0' || patron[i] == u',');
         ++i) {
        if (patron[i] == u'0')
            ++r.enterosMinimos;
        else if (patron[i] == u',')
            r.agrupar = true;
    }
    if (i < patron.size() && patron[i] == u'.') {
        r.punto = true;
        for (++i; i < patron.size() && (patron[i] == u'0' || patron[i] == u'#'); ++i) {
            if (patron[i] == u'0' && r.decimalesLibres == 0)
                ++r.decimalesFijos;
            else
                ++r.decimalesLibres;
        }
    }
    r.sufijo = patron.mid(i).toString();
    return r;
}

PatronNumero PatronNumero::Importe(int decimales) {
    PatronNumero r;
    r.enterosMinimos = 1;
    r.agrupar = true;
    if (decimales > 0) {
        r.punto = true;
        r.decimalesFijos = decimales;
    }
    return r;
}

namespace {

constexpr double kPotencias[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr unsigned long long kPotenciasEnteras[] = {
    1ULL,      10ULL,      100ULL,      1000ULL,      10000ULL,
    100000ULL, 1000000ULL, 10000000ULL, 100000000ULL, 1000000000ULL};

// Camino rápido del redondeo: con menos de 15 cifras significativas en juego y lejos de una
// mitad exacta, redondear el valor escalado da lo mismo que redondear sus 15 cifras
// significativas. Si no se puede asegurar, devuelve false y se va por el camino general.
bool RedondearRapido(double valor, int decimales, Cifras& r) {
    if (decimales > 9)
        return false;
    const double a = std::fabs(valor) * kPotencias[decimales];
    if (!(a < 1e14))
        return false;
    const double entero = std::floor(a);
    const double resto = a - entero;
    if (std::fabs(resto - 0.5) <= a * 1e-14 + 1e-9)
        return false;
    const unsigned long long n =
        static_cast<unsigned long long>(entero) + (resto > 0.5 ? 1ULL : 0ULL);
    const unsigned long long escala = kPotenciasEnteras[decimales];
    unsigned long long parteEntera = n / escala;
    unsigned long long parteDecimal = n % escala;
    char buf[24];
    int i = 0;
    while (parteEntera > 0) {
        buf[i++] = static_cast<char>('0' + parteEntera % 10);
        parteEntera /= 10;
    }
    r.entera.assign(std::make_reverse_iterator(buf + i), std::make_reverse_iterator(buf));
    r.decimales.assign(static_cast<size_t>(decimales), '0');
    for (int d = decimales - 1; d >= 0; --d) {
        r.decimales[static_cast<size_t>(d)] = static_cast<char>('0' + parteDecimal % 10);
        parteDecimal /= 10;
    }
    r.negativo = std::signbit(valor) && n != 0;
    return true;
}

} // namespace

QString FormatearNumero(double valor, const PatronNumero& patron) {
    if (!std::isfinite(valor))
        return QString();
    const int decimales = patron.decimalesFijos + patron.decimalesLibres;
    Cifras c;
    if (!RedondearRapido(valor, decimales, c))
        c = Redondear(valor, decimales);
    if (patron.decimalesLibres > 0) {
        size_t fin = c.decimales.size();
        while (fin > static_cast<size_t>(patron.decimalesFijos) && c.decimales[fin - 1] == '0')
            --fin;
        c.decimales.resize(fin);
    }
    if (static_cast<int>(c.entera.size()) < patron.enterosMinimos)
        c.entera.insert(0, static_cast<size_t>(patron.enterosMinimos) - c.entera.size(), '0');

    // Las cifras se escriben en un búfer y pasan a la cadena de una vez.
    const size_t n = c.entera.size();
    const size_t largo = 1 + n + n / 3 + 1 + c.decimales.size();
    char16_t local[64];
    std::u16string grande;
    char16_t* buf = local;
    if (largo > std::size(local)) {
        grande.resize(largo);
        buf = grande.data();
    }
    size_t k = 0;
    for (size_t i = 0; i < n; ++i) {
        if (patron.agrupar && i > 0 && (n - i) % 3 == 0)
            buf[k++] = u'.';
        buf[k++] = static_cast<char16_t>(c.entera[i]);
    }
    if (patron.punto) {
        buf[k++] = u',';
        for (char d : c.decimales)
            buf[k++] = static_cast<char16_t>(d);
    }
    QString r;
    r.reserve(patron.prefijo.size() + patron.sufijo.size() + static_cast<qsizetype>(k) + 1);
    if (c.negativo)
        r += u'-';
    r += patron.prefijo;
    r += QStringView(buf, static_cast<qsizetype>(k));
    r += patron.sufijo;
    return r;
}

QString FormatearNumero(double valor, QStringView patron) {
    return FormatearNumero(valor, PatronNumero::Analizar(patron));
}

QString MesAbreviado(int mes) {
    if (mes < 1 || mes > 12)
        return QString();
    return QString::fromUtf16(kMesesCortos[static_cast<size_t>(mes - 1)]);
}

QString MesCompleto(int mes) {
    if (mes < 1 || mes > 12)
        return QString();
    return QString::fromUtf16(kMesesLargos[static_cast<size_t>(mes - 1)]);
}

QString FormatearFecha(QDate fecha, QStringView patron) {
    if (!fecha.isValid())
        return QString();
    int anio = 0, mes = 0, dia = 0;
    fecha.getDate(&anio, &mes, &dia);
    QString r;
    r.reserve(patron.size() + 8);
    auto dosCifras = [&r](int v) {
        r += QLatin1Char(static_cast<char>('0' + v / 10 % 10));
        r += QLatin1Char(static_cast<char>('0' + v % 10));
    };
    for (qsizetype i = 0; i < patron.size();) {
        const QChar c = patron[i];
        qsizetype n = 1;
        while (i + n < patron.size() && patron[i + n] == c)
            ++n;
        if (c == u'd') {
            if (n == 1)
                r += QString::number(dia);
            else if (n == 2)
                dosCifras(dia);
            else if (n == 3)
                r += QStringView(kDiasCortos[static_cast<size_t>(fecha.dayOfWeek() - 1)]);
            else
                r += QStringView(kDiasLargos[static_cast<size_t>(fecha.dayOfWeek() - 1)]);
        } else if (c == u'm') {
            if (n == 1)
                r += QString::number(mes);
            else if (n == 2)
                dosCifras(mes);
            else if (n == 3)
                r += MesAbreviado(mes);
            else
                r += MesCompleto(mes);
        } else if (c == u'y') {
            if (n <= 2)
                dosCifras(anio % 100);
            else
                r += QString::number(anio).rightJustified(4, u'0');
        } else {
            r += patron.mid(i, n);
        }
        i += n;
    }
    return r;
}

int AnioCompleto(int anio) {
    if (anio < 0 || anio >= 100)
        return anio;
    return anio < 30 ? 2000 + anio : 1900 + anio;
}

std::optional<QDate> LeerFechaLocal(QStringView texto, int anioSinAnio) {
    // Trozos: cifras o letras, separados por "/", "-", "." o blancos.
    struct Trozo {
        QStringView texto;
        bool cifras;
    };
    Trozo trozos[4];
    int n = 0;
    for (qsizetype i = 0; i < texto.size();) {
        const QChar c = texto[i];
        if (c == u'/' || c == u'-' || c == u'.' || c == u',' || EsBlanco(c)) {
            ++i;
            continue;
        }
        qsizetype j = i;
        const bool cifras = EsCifra(c);
        if (cifras) {
            while (j < texto.size() && EsCifra(texto[j]))
                ++j;
        } else if (c.isLetter()) {
            while (j < texto.size() && texto[j].isLetter())
                ++j;
        } else {
            return std::nullopt;
        }
        if (n == 3)
            return std::nullopt;
        trozos[n++] = {texto.mid(i, j - i), cifras};
        i = j;
    }
    if (n < 2)
        return std::nullopt;
    int dia = 0, mes = 0, anio = 0;
    auto mesDe = [](const Trozo& t) {
        return t.cifras ? LeerEntero(t.texto) : MesPorNombre(t.texto);
    };
    if (n == 3 && trozos[0].cifras && trozos[0].texto.size() == 4) {
        // año/mes/día. Un año de menos de 100 ("0032") se completa como en día/mes/año: si no,
        // "0032/3/4" daría el año 32, que escrito "04/03/0032" se vuelve a leer como 1932.
        if (!trozos[2].cifras)
            return std::nullopt;
        anio = AnioCompleto(LeerEntero(trozos[0].texto));
        mes = mesDe(trozos[1]);
        dia = LeerEntero(trozos[2].texto);
    } else {
        if (!trozos[0].cifras)
            return std::nullopt;
        dia = LeerEntero(trozos[0].texto);
        mes = mesDe(trozos[1]);
        if (n == 3) {
            if (!trozos[2].cifras || trozos[2].texto.size() > 4)
                return std::nullopt;
            anio = AnioCompleto(LeerEntero(trozos[2].texto));
        } else {
            // Solo aquí se pregunta la fecha de hoy, que cuesta una llamada al sistema.
            anio = anioSinAnio != 0 ? anioSinAnio : QDate::currentDate().year();
        }
    }
    if (dia <= 0 || mes <= 0 || anio <= 0 || !QDate::isValid(anio, mes, dia))
        return std::nullopt;
    return QDate(anio, mes, dia);
}

short EnteroCorto(double valor) {
    if (!std::isfinite(valor))
        return 0;
    const double r = std::nearbyint(valor); // modo por omisión: la mitad al par
    if (r > 32767)
        return 32767;
    if (r < -32768)
        return -32768;
    return static_cast<short>(r);
}

} // namespace rutinas
