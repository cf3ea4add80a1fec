// Código de cuenta contable expandido a ocho cifras.
//
// Propiedades, para cualquier texto:
//   - un texto en blanco queda igual; expandir lo ya expandido (sin "." ni blancos en los
//     extremos) no lo cambia;
//   - un código de una a ocho cifras con a lo sumo un "." da ocho cifras que conservan lo
//     tecleado: lo de antes del "." (o el prefijo de dos o tres cifras) delante, el resto
//     detrás y solo ceros entre medias.

#include "propiedad.h"
#include "texto_qt.h"

#include "rutinas/nucleo/valores.h"

#include <cstddef>
#include <cstdint>

using namespace rutinas;
using zoq_fuzz::Citar;

namespace {

bool SoloCifras(QStringView t) {
    for (const QChar c : t)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    const QString texto = zoq_fuzz::Texto(datos, n);
    QString r = texto;
    ExpandirCuenta(r);
    const auto detalle = Citar(texto) + " -> " + Citar(r);
    if (texto.trimmed().isEmpty()) {
        EXIGIR_DETALLE(r == texto, detalle);
        return 0;
    }
    if (!r.contains(u'.') && r == r.trimmed()) {
        QString otra = r;
        ExpandirCuenta(otra);
        EXIGIR_DETALLE(otra == r, detalle + " -> " + Citar(otra));
    }

    const QString t = texto.trimmed();
    const qsizetype punto = t.indexOf(u'.');
    QString cifras = t;
    cifras.remove(u'.');
    if (t.count(u'.') > 1 || cifras.size() > 8 || cifras.size() == 0 || !SoloCifras(cifras))
        return 0;
    if (punto >= 0 && cifras.size() == 8)
        return 0; // ni un cero cabe en el lugar del "."
    EXIGIR_DETALLE(r.size() == 8 && SoloCifras(r), detalle);
    QString delante, detras;
    if (punto >= 0) {
        delante = t.left(punto);
        detras = t.mid(punto + 1);
    } else if (t.size() <= 2) {
        delante = t;
    } else {
        const QString dos = t.left(2);
        const bool corto = dos == u"40" || dos == u"41" || dos == u"43" || dos == u"44";
        delante = t.left(corto ? 2 : 3);
        detras = t.mid(delante.size());
    }
    EXIGIR_DETALLE(r.startsWith(delante) && r.endsWith(detras), detalle);
    for (qsizetype i = delante.size(); i < 8 - detras.size(); ++i)
        EXIGIR_DETALLE(r[i] == u'0', detalle);
    return 0;
}
