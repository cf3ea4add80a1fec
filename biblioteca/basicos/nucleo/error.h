#pragma once
// Tipo de excepción propio de la biblioteca.

#include <QString>
#include <stdexcept>

namespace basicos {

/// Error que una rutina de la biblioteca devuelve a quien la llamó cuando no puede hacer lo
/// que se le pide (un icono que no existe, un fichero de ayuda que no se puede leer...).
/// `what()` da el texto en UTF-8; `Descripcion()` lo da como QString, listo para mostrarlo.
class ErrorZoq : public std::runtime_error {
public:
    explicit ErrorZoq(const QString& descripcion)
        : std::runtime_error(descripcion.toStdString()), descripcion_(descripcion) {}

    const QString& Descripcion() const noexcept { return descripcion_; }

private:
    QString descripcion_;
};

} // namespace basicos
