#pragma once
// Apoyo de los objetivos de fuzzing que trabajan con textos de Qt.

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zoq_fuzz {

/// Calla qWarning y compañía: el fuzzer ejecuta millones de entradas y los avisos solo lo
/// frenarían.
inline void SilenciarQt() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

/// Los bytes de la entrada leídos como UTF-8 (lo que no lo es queda como U+FFFD).
inline QString Texto(const std::uint8_t* datos, std::size_t n) {
    return QString::fromUtf8(reinterpret_cast<const char*>(datos), static_cast<qsizetype>(n));
}

/// Un texto entre comillas para el detalle de una propiedad violada, con los caracteres de
/// control a la vista.
inline std::string Citar(const QString& texto) {
    std::string r = "\"";
    for (const QChar c : texto) {
        if (c.unicode() < 0x20 || c == u'"' || c == u'\\')
            r += "\\x" + QString::number(c.unicode(), 16).rightJustified(2, u'0').toStdString();
        else
            r += QString(c).toStdString();
    }
    return r + "\"";
}

} // namespace zoq_fuzz
