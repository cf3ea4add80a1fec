#include "Telefonos/nucleo/directorio.h"

#include <QStandardPaths>

namespace Telefonos {

QString RemitenteCorreo;
QString CorreoElegido;

namespace {

// Mayúsculas carácter a carácter, en el sitio y sin reservar memoria.
void AMayusculas(QString& texto) {
    for (QChar& c : texto) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            if (u >= u'a' && u <= u'z')
                c = QChar(static_cast<char16_t>(u - 32));
        } else if (!c.isSurrogate()) {
            c = c.toUpper();
        }
    }
}

} // namespace

Busqueda::Busqueda(const QString& texto) : buscado_(texto) {
    AMayusculas(buscado_);
}

bool Busqueda::Coincide(const QString& nombre, const QString& telefono, const QString& fax,
                        const QString& correo) const {
    if (buscado_.isEmpty())
        return true;
    unidos_.resize(0);
    unidos_.append(nombre).append(telefono).append(fax).append(correo);
    AMayusculas(unidos_);
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
