// El fichero de contactos TELEFONO.DAT: lectura, escritura y orden por nombre.
//
// La entrada es un byte de opciones (página 850 o Windows) y el contenido del fichero.
// Propiedades:
//   - se lee una fila por cada línea tras la de títulos (al menos una), con cinco campos sin
//     TAB, CR, LF ni NUL;
//   - escribir lo leído y volver a leerlo da las mismas filas, y escribirlo de nuevo los
//     mismos bytes;
//   - ordenar por nombre deja las filas ordenadas y son las mismas filas.

#include "propiedad.h"
#include "texto_qt.h"

#include "Telefonos/nucleo/contactos.h"
#include "rutinas/nucleo/generales.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Telefonos;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zoq_fuzz::SilenciarQt();
    return 0;
}

namespace {

// Líneas tras la primera, con los mismos finales que reconoce la lectura.
std::size_t LineasDeContacto(QByteArrayView d) {
    std::size_t lineas = 0;
    for (qsizetype i = 0; i < d.size();) {
        while (i < d.size() && d[i] != '\r' && d[i] != '\n')
            ++i;
        if (i < d.size() && d[i] == '\r' && i + 1 < d.size() && d[i + 1] == '\n')
            ++i;
        if (i < d.size())
            ++i;
        ++lineas;
    }
    return lineas > 1 ? lineas - 1 : 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    if (n == 0)
        return 0;
    rutinas::SinConversionOem = (datos[0] & 1) != 0;
    const QByteArrayView contenido(datos + 1, static_cast<qsizetype>(n - 1));

    const TablaContactos filas = InterpretarFichero(contenido);
    EXIGIR(filas.size() == LineasDeContacto(contenido));
    for (const Contacto& c : filas)
        for (const QString& campo : c)
            EXIGIR(!campo.contains(u'\t') && !campo.contains(u'\r') && !campo.contains(u'\n') &&
                   !campo.contains(QChar(u'\0')));

    const QByteArray escrito = ComponerFichero(filas);
    const TablaContactos releidas = InterpretarFichero(escrito);
    EXIGIR(releidas == filas);
    EXIGIR(ComponerFichero(releidas) == escrito);

    TablaContactos ordenadas = filas;
    OrdenarPorNombre(ordenadas);
    EXIGIR(OrdenadasPorNombre(ordenadas));
    EXIGIR(ordenadas.size() == filas.size());
    EXIGIR(std::is_permutation(ordenadas.begin(), ordenadas.end(), filas.begin()));
    return 0;
}
