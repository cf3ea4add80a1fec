#pragma once
// Carga de los documentos de ayuda en un QTextDocument.

#include "MiniHelp/nucleo/rtf.h"

class QTextDocument;

namespace MiniHelp {

/// Vuelca un documento RTF leído en `documento`, que pierde lo que tenía.
void LlenarDocumento(const DocumentoRtf& rtf, QTextDocument& documento);

/// Carga el fichero de ayuda `fichero` en `documento`: texto enriquecido (RTF) o, además,
/// una página HTML (extensión .htm o .html, o contenido que empieza por "<").
/// Lanza basicos::ErrorZoq, con un texto en español que nombra el fichero, si no se puede
/// leer o no es de ninguna de esas clases; entonces `documento` no cambia.
void CargarFicheroAyuda(const QString& fichero, QTextDocument& documento);

} // namespace MiniHelp
