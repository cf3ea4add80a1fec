#include "MyBox/nucleo/rango.h"

#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/formato.h"
#include "rutinas/nucleo/valores.h"

#include <QDate>

namespace MyBox {

bool RangoEnOrden(const QString& desde, const QString& hasta, const QString& tagDesde,
                  const QString& tagHasta) {
    if (desde.trimmed().isEmpty() || hasta.trimmed().isEmpty())
        return true;
    const QString tipo = rutinas::LeerDatoTag(tagDesde, QStringLiteral("T"));
    if (tipo == u"F") {
        const int anio = QDate::currentDate().year();
        const auto fechaDesde = rutinas::LeerFechaLocal(desde.trimmed(), anio);
        const auto fechaHasta = rutinas::LeerFechaLocal(hasta.trimmed(), anio);
        if (!fechaDesde || !fechaHasta)
            return true;
        return *fechaHasta >= *fechaDesde;
    }
    if (tipo == u"D")
        return rutinas::ValorNumerico(hasta) >= rutinas::ValorNumerico(desde);
    if (tipo == u"N" || tipo == u"n")
        return rutinas::ValorNumerico(rutinas::FormatoEdicion(hasta, tagHasta)) >=
               rutinas::ValorNumerico(rutinas::FormatoEdicion(desde, tagDesde));
    return QString::compare(desde, hasta, Qt::CaseSensitive) <= 0;
}

} // namespace MyBox
