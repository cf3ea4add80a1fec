#pragma once
// Texto de la franja de título de la ventana de ayuda.

#include <QString>
#include <QVersionNumber>

namespace MiniHelp {

/// "Programa " + nombre del ejecutable + "  -  Versión " + mayor.menor.revisión, con los
/// números sin ceros ni blancos delante (las partes que falten valen 0).
QString TituloPorOmision(const QString& ejecutable, const QVersionNumber& version);

} // namespace MiniHelp
