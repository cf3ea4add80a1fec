#include "Telefonos/nucleo/directorio.h"

#include <QStandardPaths>

namespace Telefonos {

Busqueda::Busqueda(const QString& texto) : buscado_(texto.toUpper()) {}

bool Busqueda::Coincide(const QString& nombre, const QString& telefono, const QString& fax,
                        const QString& correo) const {
    if (buscado_.isEmpty())
        return true;
    unidos_.resize(0);
    unidos_.reserve(nombre.size() + telefono.size() + fax.size() + correo.size());
    unidos_.append(nombre).append(telefono).append(fax).append(correo);
    // Mayúsculas sin reservar memoria: en el camino rápido, ASCII en el sitio.
    bool soloAscii = true;
    for (QChar& c : unidos_) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(u - 32);
        else if (u >= 0x80)
            soloAscii = false;
    }
    if (!soloAscii)
        unidos_ = unidos_.toUpper();
    return unidos_.contains(buscado_);
}

QString DireccionCorreo(const QString& correo, const QString& remitente) {
    QString direccion = QStringLiteral("mailto:") + correo;
    if (!remitente.isEmpty())
        direccion += QStringLiteral("?Subject=Envio realizado por ") + remitente;
    return direccion;
}

QString ParametrosFax(const QString& nombre, const QString& fax) {
    return QStringLiteral("E(") + nombre + QStringLiteral(") F(") + fax + QStringLiteral(") ");
}

QString BuscarProgramaFax() {
    return QStandardPaths::findExecutable(QString::fromUtf16(ProgramaFax));
}

} // namespace Telefonos
