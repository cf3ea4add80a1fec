#include "MiniHelp/nucleo/titulo.h"

namespace MiniHelp {

QString TituloPorOmision(const QString& ejecutable, const QVersionNumber& version) {
    return QStringLiteral("Programa %1  -  Versión %2.%3.%4")
        .arg(ejecutable)
        .arg(version.majorVersion())
        .arg(version.minorVersion())
        .arg(version.microVersion());
}

} // namespace MiniHelp
