#include "Telefonos/nucleo/contactos.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <numeric>

namespace Telefonos {

namespace {

// Conversión entre el texto de la memoria y la página 850 del disco. Las tablas salen una vez
// del conversor de Qt (ICU); después cada carácter es una consulta.
struct TablasOem {
    std::array<char16_t, 256> aTexto{};
    std::vector<unsigned char> aOem; // por código UTF-16; 0 = sin equivalente (salvo el NUL)

    TablasOem() : aOem(65536, 0) {
        QStringDecoder decodificador("IBM850");
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const QString c = decodificador.decode(QByteArrayView(&byte, 1));
            aTexto[static_cast<std::size_t>(b)] = c.size() == 1 ? c[0].unicode() : u'?';
        }
        for (int b = 255; b > 0; --b)
            aOem[aTexto[static_cast<std::size_t>(b)]] = static_cast<unsigned char>(b);
    }
};

const TablasOem& Tablas() {
    static const TablasOem tablas;
    return tablas;
}

// Lo que la página 850 no tiene sale como "?".
QByteArray AOem(QStringView texto) {
    const TablasOem& t = Tablas();
    QByteArray bytes(texto.size(), Qt::Uninitialized);
    char* p = bytes.data();
    for (QChar c : texto) {
        const char16_t u = c.unicode();
        const unsigned char b = u < 0x80 ? static_cast<unsigned char>(u) : t.aOem[u];
        *p++ = static_cast<char>(b == 0 && u != 0 ? '?' : b);
    }
    return bytes;
}

QString DesdeOem(QByteArrayView bytes) {
    const TablasOem& t = Tablas();
    QString texto(bytes.size(), Qt::Uninitialized);
    char16_t* p = reinterpret_cast<char16_t*>(texto.data());
    for (char b : bytes)
        *p++ = t.aTexto[static_cast<unsigned char>(b)];
    return texto;
}

// Lo que no cabe en un campo del fichero se escribe como un blanco.
bool CaracterProhibido(QChar c) {
    return c == u'\t' || c == u'\r' || c == u'\n' || c == u'\0';
}

} // namespace

QStringList TitulosContactos() {
    return {QString(), QStringLiteral("Nombre"), QStringLiteral("Teléfono"), QStringLiteral("Fax"),
            QStringLiteral("eMail")};
}

UbicacionContactos UbicarContactos(const QString& tlf, const QString& carpetaComun,
                                   const QString& carpetaUsuario) {
    QString carpeta = tlf;
    bool crear = false;
    if (carpeta.isEmpty()) {
        if (QFileInfo(carpetaComun).isDir()) {
            carpeta = carpetaComun;
        } else {
            carpeta = carpetaUsuario;
            crear = true;
        }
    }
    const QString nombre = QString::fromUtf16(NombreFichero);
    if (carpeta.endsWith(u'/'))
        return {carpeta + nombre, crear};
    return {carpeta + u'/' + nombre, crear};
}

UbicacionContactos UbicarContactos() {
    const QString datos = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return UbicarContactos(qEnvironmentVariable("TLF"), QString::fromUtf16(CarpetaComun),
                           datos + QStringLiteral("/zoq"));
}

QByteArray ComponerFichero(const TablaContactos& filas) {
    // Todo el texto en una pieza, como la selección de la rejilla: celdas con TAB, filas con CR.
    qsizetype total = 64;
    for (const Contacto& c : filas)
        for (const QString& campo : c)
            total += campo.size() + 1;
    QString texto;
    texto.reserve(total);
    texto += TitulosContactos().join(u'\t');
    for (const Contacto& c : filas) {
        texto += u'\r';
        for (int i = 0; i < CamposContacto; ++i) {
            if (i > 0)
                texto += u'\t';
            const qsizetype desde = texto.size();
            texto += c[i];
            for (qsizetype j = desde; j < texto.size(); ++j)
                if (CaracterProhibido(texto[j]))
                    texto[j] = u' ';
        }
    }
    QByteArray bytes = AOem(texto);
    bytes += "\r\n";
    return bytes;
}

TablaContactos InterpretarFichero(QByteArrayView datos) {
    const QString texto = DesdeOem(datos);
    const QStringView todo(texto);
    TablaContactos filas;
    filas.reserve(static_cast<std::size_t>(std::count(datos.begin(), datos.end(), '\r')));
    qsizetype i = 0;
    bool primera = true;
    while (i < todo.size()) {
        // Una línea acaba en CR, en CR LF o en LF.
        qsizetype fin = i;
        while (fin < todo.size() && todo[fin] != u'\r' && todo[fin] != u'\n')
            ++fin;
        const QStringView linea = todo.sliced(i, fin - i);
        i = fin;
        if (i < todo.size() && todo[i] == u'\r') {
            ++i;
            if (i < todo.size() && todo[i] == u'\n')
                ++i;
        } else if (i < todo.size()) {
            ++i; // LF suelto
        }
        if (primera) {
            primera = false;
            continue;
        }
        Contacto c;
        int col = 0;
        qsizetype desde = 0;
        while (col < CamposContacto) {
            const qsizetype tab = linea.indexOf(u'\t', desde);
            const qsizetype hasta = tab < 0 ? linea.size() : tab;
            c[col] = linea.sliced(desde, hasta - desde).toString();
            c[col].replace(QChar(u'\0'), QChar(u' '));
            ++col;
            if (tab < 0)
                break;
            desde = tab + 1;
        }
        filas.push_back(std::move(c));
    }
    if (filas.empty())
        filas.emplace_back();
    return filas;
}

namespace {

QCollator ColadorNombres() {
    QCollator colador(QLocale(QLocale::Spanish, QLocale::Spain));
    colador.setCaseSensitivity(Qt::CaseInsensitive);
    return colador;
}

} // namespace

bool OrdenadasPorNombre(const TablaContactos& filas) {
    const QCollator colador = ColadorNombres();
    for (std::size_t i = 1; i < filas.size(); ++i)
        if (colador.compare(filas[i][ColNombre], filas[i - 1][ColNombre]) < 0)
            return false;
    return true;
}

void OrdenarPorNombre(TablaContactos& filas) {
    // Lo normal es un fichero que ya grabó ordenado un programa de la suite.
    if (OrdenadasPorNombre(filas))
        return;
    const QCollator colador = ColadorNombres();
    std::vector<QCollatorSortKey> claves;
    claves.reserve(filas.size());
    for (const Contacto& c : filas)
        claves.push_back(colador.sortKey(c[ColNombre]));
    std::vector<std::size_t> orden(filas.size());
    std::iota(orden.begin(), orden.end(), std::size_t{0});
    std::stable_sort(orden.begin(), orden.end(), [&](std::size_t a, std::size_t b) {
        return claves[a].compare(claves[b]) < 0;
    });
    TablaContactos ordenadas;
    ordenadas.reserve(filas.size());
    for (std::size_t k : orden)
        ordenadas.push_back(std::move(filas[k]));
    filas = std::move(ordenadas);
}

} // namespace Telefonos
