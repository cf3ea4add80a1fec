#include "MiniHelp/documento_ayuda.h"

#include "basicos/nucleo/error.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace MiniHelp {

namespace {

Qt::Alignment AlineacionQt(Alineacion a) {
    switch (a) {
    case Alineacion::Centro:
        return Qt::AlignHCenter;
    case Alineacion::Derecha:
        return Qt::AlignRight;
    case Alineacion::Justificada:
        return Qt::AlignJustify;
    case Alineacion::Izquierda:
        break;
    }
    return Qt::AlignLeft;
}

QTextCharFormat FormatoDe(const TramoRtf& t) {
    QTextCharFormat f;
    f.setFontWeight(t.negrita ? QFont::Bold : QFont::Normal);
    f.setFontItalic(t.cursiva);
    f.setFontUnderline(t.subrayado);
    f.setFontPointSize(t.puntos);
    if (t.color)
        f.setForeground(QColor::fromRgb(static_cast<QRgb>(*t.color)));
    if (!t.fuente.isEmpty())
        f.setFontFamilies({t.fuente});
    return f;
}

bool PareceHtml(const QString& fichero, const QByteArray& contenido) {
    const QString extension = QFileInfo(fichero).suffix().toLower();
    return extension == u"htm" || extension == u"html" || contenido.trimmed().startsWith('<');
}

} // namespace

void LlenarDocumento(const DocumentoRtf& rtf, QTextDocument& documento) {
    documento.clear();
    QTextCursor cursor(&documento);
    bool primero = true;
    for (const auto& parrafo : rtf.parrafos) {
        QTextBlockFormat bloque;
        bloque.setAlignment(AlineacionQt(parrafo.alineacion));
        if (primero)
            cursor.setBlockFormat(bloque);
        else
            cursor.insertBlock(bloque);
        primero = false;
        for (const auto& tramo : parrafo.tramos)
            cursor.insertText(tramo.texto, FormatoDe(tramo));
    }
}

void CargarFicheroAyuda(const QString& fichero, QTextDocument& documento) {
    QFile f(fichero);
    if (!f.open(QIODevice::ReadOnly))
        throw basicos::ErrorZoq(QStringLiteral("No se puede leer el fichero de ayuda «%1»: %2")
                                    .arg(fichero, f.errorString()));
    const QByteArray contenido = f.readAll();
    if (EsRtf(contenido)) {
        LlenarDocumento(LeerRtf(contenido), documento);
    } else if (PareceHtml(fichero, contenido)) {
        documento.setBaseUrl(QUrl::fromLocalFile(QFileInfo(fichero).absoluteFilePath()));
        auto decodificador = QStringDecoder::decoderForHtml(contenido);
        documento.setHtml(decodificador.isValid() ? decodificador.decode(contenido)
                                                  : QString::fromUtf8(contenido));
    } else {
        throw basicos::ErrorZoq(
            QStringLiteral("El fichero de ayuda «%1» no es un documento de texto enriquecido.")
                .arg(fichero));
    }
}

} // namespace MiniHelp
