// Forma de edición y forma de ver de los campos numéricos, de fecha, de hora y de cuenta.
//
// La entrada es un byte que elige el tipo de campo, otro sus decimales y el texto tecleado.
// Propiedades:
//   - entrar en un campo y salir sin teclear no cambia lo que se ve: la forma de ver de la
//     forma de edición de una forma de ver es esa misma forma de ver;
//   - salir y volver a entrar no cambia la forma de edición;
//   - un número que se entiende queda en edición como "-123.45": cifras, un "." solo si hay
//     decimales, justo los decimales del campo, y el mismo valor redondeado;
//   - una fecha que se entiende queda en edición como "dd/mm/yyyy" y se lee como la misma
//     fecha.

#include "propiedad.h"
#include "texto_qt.h"

#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/formato.h"
#include "rutinas/nucleo/valores.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace rutinas;
using zoq_fuzz::Citar;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zoq_fuzz::SilenciarQt();
    PonerAvisadorFaltaDato([](const QString&) {});
    return 0;
}

namespace {

bool FormaNumero(const QString& t, int decimales) {
    qsizetype i = t.startsWith(u'-') ? 1 : 0;
    const qsizetype inicioCifras = i;
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9')
        ++i;
    if (i == inicioCifras)
        return false;
    if (decimales == 0)
        return i == t.size();
    if (i == t.size() || t[i] != u'.')
        return false;
    const qsizetype desde = ++i;
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9')
        ++i;
    return i == t.size() && i - desde == decimales;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    if (n < 2)
        return 0;
    static const std::array<QString, 6> Tipos = {QStringLiteral("N"), QStringLiteral("n"),
                                                 QStringLiteral("F"), QStringLiteral("f"),
                                                 QStringLiteral("H"), QStringLiteral("C")};
    const QString tipo = Tipos[datos[0] % Tipos.size()];
    const int decimalesPedidos = static_cast<int>(datos[1] % 24) - 4; // de -4 a 19
    const QString tag = QStringLiteral("T(%1) L(12) A(D) D(%2)").arg(tipo).arg(decimalesPedidos);
    const QString texto = zoq_fuzz::Texto(datos + 2, n - 2);
    const auto detalle = [&](const QString& a, const QString& b) {
        return Citar(tag) + " " + Citar(texto) + ": " + Citar(a) + " / " + Citar(b);
    };

    // Entrar y salir sin teclear.
    const QString visual = FormatoVisual(texto, tag);
    const QString edicion = FormatoEdicion(visual, tag);
    const QString otraVisual = FormatoVisual(edicion, tag);
    // Una cuenta con más de un "." (o con blancos) no llega a expandirse: no es una cuenta.
    if (!(tipo == u"C" && (visual.contains(u'.') || visual != visual.trimmed()))) {
        EXIGIR_DETALLE(otraVisual == visual, detalle(visual, otraVisual));
        // Salir y volver a entrar.
        EXIGIR_DETALLE(FormatoEdicion(otraVisual, tag) == edicion, detalle(edicion, otraVisual));
    }

    const QString tecleado = FormatoEdicion(texto, tag);
    if (tipo == u"N" || tipo == u"n") {
        const auto valor = LeerNumeroLocal(texto);
        if (valor && !texto.isEmpty()) {
            const int decimales = std::max(0, decimalesPedidos);
            EXIGIR_DETALLE(FormaNumero(tecleado, decimales), detalle(tecleado, QString()));
            const double leido = ValorNumerico(tecleado);
            const double tolerancia = 0.5 * std::pow(10.0, -decimales) + 1e-14 * std::fabs(*valor);
            EXIGIR_DETALLE(std::fabs(leido - *valor) <= tolerancia,
                           detalle(tecleado, QString::number(*valor, 'g', 17)));
        }
    } else if (tipo == u"F" || tipo == u"f") {
        if (const auto fecha = LeerFechaLocal(texto, 0)) {
            EXIGIR_DETALLE(tecleado.size() == 10 && tecleado[2] == u'/' && tecleado[5] == u'/',
                           detalle(tecleado, QString()));
            EXIGIR_DETALLE(LeerFechaLocal(tecleado, 0) == fecha, detalle(tecleado, QString()));
        }
    }
    return 0;
}
