// El fichero de contactos TELEFONO.DAT: lectura, escritura y orden por nombre.
//
// La entrada es un byte de opciones (página 850 o Windows) y el contenido del fichero.
// Propiedades:
//   - se lee una fila por cada línea tras la de títulos (al menos una), con cinco campos sin
//     TAB, CR, LF ni NUL;
//   - escribir lo leído y volver a leerlo da las mismas filas, y escribirlo de nuevo los
//     mismos bytes;
//   - escribir unas filas cualesquiera y leerlas da las mismas filas y columnas, con solo los
//     cambios que anuncia la escritura (blancos por TAB, CR, LF y NUL; "?" por lo que no cabe);
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

    // Unas filas cualesquiera (la entrada en UTF-8, filas separadas por U+001E y campos por
    // U+001F): al escribirlas ningún campo invade otra columna ni otra fila. Lo que no cabe en
    // un campo vuelve como un blanco, y lo que el juego de caracteres no tiene, como "?".
    TablaContactos propias;
    for (const QString& fila : zoq_fuzz::Texto(datos + 1, n - 1).split(QChar(0x1E))) {
        const QStringList campos = fila.split(QChar(0x1F));
        Contacto c;
        for (int i = 0; i < CamposContacto && i < campos.size(); ++i)
            c[static_cast<std::size_t>(i)] = campos[i];
        propias.push_back(std::move(c));
    }
    const TablaContactos vueltas = InterpretarFichero(ComponerFichero(propias));
    EXIGIR(vueltas.size() == propias.size());
    // Lo esperado, convertido de una vez (TAB y CR pasan la conversión tal cual).
    QStringList lineas;
    for (const Contacto& c : propias) {
        QStringList campos;
        for (QString campo : c) {
            for (QChar& x : campo)
                if (x == u'\t' || x == u'\r' || x == u'\n' || x == u'\0')
                    x = u' ';
            campos << campo;
        }
        lineas << campos.join(u'\t');
    }
    const QString todo = lineas.join(u'\r');
    const QStringList esperadas =
        (rutinas::SinConversionOem ? rutinas::AnsiATexto(rutinas::TextoAAnsi(todo))
                                   : rutinas::OemATexto(rutinas::TextoAOem(todo)))
            .split(u'\r');
    EXIGIR(esperadas.size() == static_cast<qsizetype>(propias.size()));
    for (std::size_t i = 0; i < propias.size(); ++i) {
        const QStringList campos = esperadas[static_cast<qsizetype>(i)].split(u'\t');
        EXIGIR(campos.size() == CamposContacto);
        for (std::size_t j = 0; j < CamposContacto; ++j)
            EXIGIR_DETALLE(vueltas[i][j] == campos[static_cast<qsizetype>(j)],
                           zoq_fuzz::Citar(propias[i][j]) + " -> " +
                               zoq_fuzz::Citar(vueltas[i][j]));
    }

    TablaContactos ordenadas = filas;
    OrdenarPorNombre(ordenadas);
    EXIGIR(OrdenadasPorNombre(ordenadas));
    EXIGIR(ordenadas.size() == filas.size());
    EXIGIR(std::is_permutation(ordenadas.begin(), ordenadas.end(), filas.begin()));
    return 0;
}
