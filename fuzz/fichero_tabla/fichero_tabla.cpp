// Ficheros de tablas: decodificación (UTF-8 con o sin marca, o Windows-1252) y escritura.
//
// Propiedades, para cualquier contenido:
//   - ninguna línea leída lleva CR ni LF;
//   - escribir lo leído en la codificación en que se leyó (o en UTF-8 si no cabe) y volver a
//     leerlo da las mismas líneas; con marca de UTF-8 se conserva la marca;
//   - escribirlo otra vez da los mismos bytes.

#include "propiedad.h"
#include "texto_qt.h"

#include "frmTablas/nucleo/fichero_tabla.h"

#include <cstddef>
#include <cstdint>

using namespace frmTablas;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zoq_fuzz::SilenciarQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    const QByteArray contenido(reinterpret_cast<const char*>(datos), static_cast<qsizetype>(n));
    const ContenidoTabla leido = DecodificarTabla(contenido);
    for (const QString& l : leido.lineas)
        EXIGIR(!l.contains(u'\r') && !l.contains(u'\n'));

    // Un U+FEFF al principio tras la marca de UTF-8 (una marca repetida) no se conserva: quien
    // lee toma la primera como marca y se salta también la segunda.
    if (leido.codificacion == Codificacion::Utf8ConMarca && !leido.lineas.isEmpty() &&
        leido.lineas.front().startsWith(QChar(0xFEFF)))
        return 0;

    Codificacion usada = leido.codificacion;
    const QByteArray escrito = CodificarTabla(leido.lineas, leido.codificacion, &usada);
    EXIGIR(usada == leido.codificacion ||
           (leido.codificacion == Codificacion::Windows1252 && usada == Codificacion::Utf8));
    const ContenidoTabla releido = DecodificarTabla(escrito);
    EXIGIR(releido.lineas == leido.lineas);
    if (usada == Codificacion::Utf8ConMarca)
        EXIGIR(releido.codificacion == Codificacion::Utf8ConMarca);

    Codificacion otraVez = releido.codificacion;
    EXIGIR(CodificarTabla(releido.lineas, usada, &otraVez) == escrito);
    return 0;
}
