// Descriptores de campo (el texto del Tag): lectura y escritura de sus elementos.
//
// La entrada es un byte que elige los delimitadores y tres textos separados por saltos de línea:
// el descriptor, la clave y un valor. Propiedades:
//   - LeerDatoTag da una subcadena del descriptor sin el delimitador de cierre, y con "()" lo
//     mismo que VerDatoTag, que además dice si el elemento está;
//   - tras PonerDatoTag, LeerDatoTag devuelve el valor puesto (si el valor no lleva el
//     delimitador de cierre y la clave no lleva blancos, que son el separador de elementos);
//   - poner el valor que ya tiene un elemento presente no cambia el descriptor.

#include "propiedad.h"
#include "texto_qt.h"

#include "rutinas/nucleo/descriptor.h"

#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>

using namespace rutinas;
using zoq_fuzz::Citar;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zoq_fuzz::SilenciarQt();
    PonerAvisadorFaltaDato([](const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    if (n == 0)
        return 0;
    static const std::array<QString, 6> Pares = {
        QString(),           QStringLiteral("()"), QStringLiteral("[]"),
        QStringLiteral("|"), QStringLiteral("<>"), QStringLiteral("((")};
    const QString delimitadores = Pares[datos[0] % Pares.size()];
    const QStringList partes = zoq_fuzz::Texto(datos + 1, n - 1).split(u'\n');
    const QString tag = partes.value(0), clave = partes.value(1), valor = partes.value(2);
    const QString normales = delimitadores.isEmpty() ? QStringLiteral("()") : delimitadores;
    const QChar cierre = normales.size() > 1 ? normales[1] : normales[0];

    QString d = delimitadores;
    const QString leido = LeerDatoTag(tag, clave, d);
    EXIGIR(d == normales);
    EXIGIR(!leido.contains(cierre));
    EXIGIR(leido.isEmpty() || tag.contains(leido));
    if (normales == u"()") {
        bool hallado = false;
        const QStringView visto = VerDatoTag(tag, clave, hallado);
        EXIGIR(visto == leido);
        EXIGIR(hallado || leido.isEmpty());
        EXIGIR(LeerDatoTag(tag, clave) == leido);
        if (hallado) {
            // Presente: ponerle su propio valor deja el descriptor como estaba, salvo el cierre
            // que le faltara al final.
            const QString igual = PonerDatoTag(tag, clave, leido);
            EXIGIR_DETALLE(igual == tag || igual == tag + u')', Citar(tag) + " " + Citar(igual));
        }
    }

    d = delimitadores;
    const QString puesto = PonerDatoTag(tag, clave, valor, d);
    EXIGIR(d == normales);
    if (!valor.contains(cierre) && !clave.contains(u' ')) {
        d = delimitadores;
        EXIGIR_DETALLE(LeerDatoTag(puesto, clave, d) == valor, Citar(tag) + " " + Citar(clave) +
                                                                   " " + Citar(valor) + " -> " +
                                                                   Citar(puesto));
    }
    return 0;
}
