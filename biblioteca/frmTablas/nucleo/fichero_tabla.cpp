#include "frmTablas/nucleo/fichero_tabla.h"

#include "basicos/nucleo/generales.h"
#include "basicos/nucleo/temporales.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

namespace frmTablas {

namespace {

const QByteArray MarcaUtf8("\xEF\xBB\xBF");

CapaFicherosTabla*& capaPuesta() {
    static CapaFicherosTabla* c = nullptr;
    return c;
}

} // namespace

ContenidoTabla DecodificarTabla(const QByteArray& datos) {
    ContenidoTabla t;
    const bool marca = datos.startsWith(MarcaUtf8);
    const QByteArray cuerpo = marca ? datos.mid(MarcaUtf8.size()) : datos;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString texto = utf8.decode(cuerpo);
    if (!utf8.hasError()) {
        t.codificacion = marca ? Codificacion::Utf8ConMarca : Codificacion::Utf8;
    } else {
        QStringDecoder ansi("windows-1252");
        texto = ansi.isValid() ? ansi.decode(datos) : QString::fromLatin1(datos);
        t.codificacion = Codificacion::Windows1252;
    }
    t.lineas = basicos::PartirLineas(texto);
    return t;
}

QByteArray CodificarTabla(const QStringList& lineas, Codificacion pedida, Codificacion* usada) {
    QString texto;
    for (const QString& l : lineas)
        texto += l + QStringLiteral("\r\n");
    if (pedida == Codificacion::Windows1252) {
        QStringEncoder ansi("windows-1252");
        if (ansi.isValid()) {
            QByteArray datos = ansi.encode(texto);
            if (!ansi.hasError()) {
                if (usada)
                    *usada = pedida;
                return datos;
            }
        }
        pedida = Codificacion::Utf8;
    }
    if (usada)
        *usada = pedida;
    const QByteArray datos = texto.toUtf8();
    return pedida == Codificacion::Utf8ConMarca ? MarcaUtf8 + datos : datos;
}

CapaFicherosTabla::~CapaFicherosTabla() = default;

bool CapaFicherosTabla::Existe(const QString& ruta) {
    return basicos::Existe(ruta, false);
}

std::optional<QByteArray> CapaFicherosTabla::Leer(const QString& ruta, QString& error) {
    QFile f(ruta);
    if (QFileInfo(ruta).isDir()) {
        error = QStringLiteral("es una carpeta");
        return std::nullopt;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        error = f.errorString();
        return std::nullopt;
    }
    QByteArray datos = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        error = f.errorString();
        return std::nullopt;
    }
    return datos;
}

QString CapaFicherosTabla::Grabar(const QString& ruta, const QByteArray& datos) {
    const int e = basicos::SustituirFichero(ruta, datos);
    return e ? basicos::DescripcionError(e) : QString();
}

CapaFicherosTabla& Capa() {
    static CapaFicherosTabla deVerdad;
    return capaPuesta() ? *capaPuesta() : deVerdad;
}

void PonerCapa(CapaFicherosTabla* capa) {
    capaPuesta() = capa;
}

} // namespace frmTablas
