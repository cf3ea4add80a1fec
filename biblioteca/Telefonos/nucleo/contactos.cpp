#include "Telefonos/nucleo/contactos.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <numeric>

namespace Telefonos {

namespace {

// Conversión entre el texto de la memoria y la página 850 del disco.
QByteArray AOem(const QString& texto) {
    QStringEncoder codificador("IBM850");
    QByteArray bytes = codificador.encode(texto);
    return bytes;
}

QString DesdeOem(QByteArrayView bytes) {
    QStringDecoder decodificador("IBM850");
    return decodificador.decode(bytes);
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

void OrdenarPorNombre(TablaContactos& filas) {
    QCollator colador(QLocale(QLocale::Spanish, QLocale::Spain));
    colador.setCaseSensitivity(Qt::CaseInsensitive);
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
