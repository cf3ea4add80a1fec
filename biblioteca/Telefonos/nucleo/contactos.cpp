#include "Telefonos/nucleo/contactos.h"

#include "rutinas/nucleo/generales.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <algorithm>
#include <numeric>

namespace Telefonos {

namespace {

// Conversión entre el texto de la memoria y el disco: página 850 (lo que no tiene sale como
// "?"), o el juego de Windows sin convertir cuando la biblioteca tiene la conversión apagada.
QByteArray AOem(const QString& texto) {
    return rutinas::SinConversionOem ? rutinas::TextoAAnsi(texto) : rutinas::TextoAOem(texto);
}

QString DesdeOem(QByteArrayView bytes) {
    return rutinas::SinConversionOem ? rutinas::AnsiATexto(bytes) : rutinas::OemATexto(bytes);
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

// Orden de dos nombres, el mismo que el de sus claves de orden. QCollator::compare pone el
// texto vacío delante de cualquier otro, también de un nombre hecho solo de caracteres que el
// orden ignora (controles), que sus claves igualan al vacío.
int CompararNombres(const QCollator& colador, const QString& a, const QString& b) {
    if (a.isEmpty() != b.isEmpty())
        return colador.sortKey(a).compare(colador.sortKey(b));
    return colador.compare(a, b);
}

} // namespace

bool OrdenadasPorNombre(const TablaContactos& filas) {
    const QCollator colador = ColadorNombres();
    for (std::size_t i = 1; i < filas.size(); ++i)
        if (CompararNombres(colador, filas[i][ColNombre], filas[i - 1][ColNombre]) < 0)
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
