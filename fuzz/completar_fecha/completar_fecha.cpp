// Fecha tecleada completada con el mes y el año de la fecha de trabajo.
//
// La entrada es un byte que mueve la fecha de trabajo (para pasar por fines de mes y años
// bisiestos) y el texto tecleado. Propiedades:
//   - el resultado es "" o una fecha válida, y completarlo otra vez no lo cambia;
//   - lo tecleado se conserva: el resultado empieza por las cifras tecleadas (con las barras
//     que se añaden entre medias) y las fechas de una o dos cifras son ese día del mes y año de
//     trabajo, las de tres o cuatro, ese día y mes del año de trabajo.

#include "propiedad.h"
#include "texto_qt.h"

#include "rutinas/nucleo/formato.h"
#include "rutinas/nucleo/valores.h"

#include <cstddef>
#include <cstdint>

using namespace rutinas;
using zoq_fuzz::Citar;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zoq_fuzz::SilenciarQt();
    return 0;
}

namespace {

bool SoloCifras(const QString& t) {
    for (const QChar c : t)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    if (n == 0)
        return 0;
    FechaTrabajo = QDate(2024, 1, 31).addDays(datos[0] * 3); // de enero de 2024 a marzo de 2026
    const QString texto = zoq_fuzz::Texto(datos + 1, n - 1);
    const QString r = CompletarFecha(texto);
    const auto detalle = Citar(texto) + " -> " + Citar(r);
    if (r.isEmpty())
        return 0;
    const auto fecha = LeerFechaLocal(r, FechaTrabajo.year());
    EXIGIR_DETALLE(fecha && fecha->isValid(), detalle);
    EXIGIR_DETALLE(CompletarFecha(r) == r, detalle);
    QString sinBarras = r;
    sinBarras.remove(u'/');
    QString tecleado = texto;
    tecleado.remove(u'/');
    EXIGIR_DETALLE(sinBarras.startsWith(tecleado), detalle);
    if (SoloCifras(texto) && texto.size() <= 4) {
        const int dia = texto.left(2).toInt();
        const int mes = texto.size() <= 2 ? FechaTrabajo.month() : texto.mid(2).toInt();
        EXIGIR_DETALLE(*fecha == QDate(FechaTrabajo.year(), mes, dia), detalle);
    }
    return 0;
}
