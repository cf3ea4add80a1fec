// Lector del texto enriquecido de los ficheros de ayuda.
//
// Propiedades, para cualquier contenido:
//   - se lee sin error si y solo si empieza como un documento RTF; si no, ErrorZoq;
//   - hay al menos un párrafo; ningún tramo tiene el mismo formato que el anterior (se habrían
//     unido) y todos tienen un tamaño de letra positivo;
//   - un documento cortado justo antes de una llave (que no sea una cifra de un "\'hh") se lee
//     como el principio del entero: su texto es un prefijo del texto del documento entero.

#include "propiedad.h"
#include "texto_qt.h"

#include "MiniHelp/nucleo/rtf.h"
#include "basicos/nucleo/error.h"

#include <cstddef>
#include <cstdint>

using namespace MiniHelp;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zoq_fuzz::SilenciarQt();
    return 0;
}

namespace {

std::optional<DocumentoRtf> Leer(const QByteArray& contenido) {
    try {
        return LeerRtf(contenido);
    } catch (const basicos::ErrorZoq&) {
        return std::nullopt;
    }
}

bool MismoFormato(const TramoRtf& a, const TramoRtf& b) {
    TramoRtf x = a, y = b;
    x.texto.clear();
    y.texto.clear();
    return x == y;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    const QByteArray contenido(reinterpret_cast<const char*>(datos), static_cast<qsizetype>(n));
    const auto doc = Leer(contenido);
    EXIGIR(doc.has_value() == EsRtf(contenido));
    if (!doc)
        return 0;
    EXIGIR(!doc->parrafos.empty());
    for (const ParrafoRtf& p : doc->parrafos) {
        for (std::size_t i = 0; i < p.tramos.size(); ++i) {
            EXIGIR(p.tramos[i].puntos > 0);
            if (i > 0)
                EXIGIR(!MismoFormato(p.tramos[i - 1], p.tramos[i]));
        }
    }

    // Un corte antes de la última llave de la primera mitad (si la cabecera ya ha pasado).
    const QByteArray cabecera = contenido.trimmed().left(5);
    const qsizetype inicio = contenido.indexOf(cabecera) + cabecera.size();
    qsizetype corte = -1;
    const auto tras = [&](qsizetype i, QByteArrayView antes) {
        return i >= antes.size() && contenido.mid(i - antes.size(), antes.size()) == antes;
    };
    for (qsizetype i = inicio; i < contenido.size() / 2 + 1 && i < contenido.size(); ++i) {
        // Ni la llave escrita "\\{" ni la que sería una de las cifras de un "\\'hh" cortado.
        if ((contenido[i] == '{' || contenido[i] == '}') && !tras(i, "\\") && !tras(i, "\\'") &&
            !tras(i - 1, "\\'"))
            corte = i;
    }
    if (corte > inicio) {
        const auto principio = Leer(contenido.left(corte));
        EXIGIR(principio.has_value());
        const QString texto = doc->Texto(), textoPrincipio = principio->Texto();
        EXIGIR_DETALLE(texto.startsWith(textoPrincipio),
                       zoq_fuzz::Citar(textoPrincipio) + " / " + zoq_fuzz::Citar(texto));
    }
    return 0;
}
