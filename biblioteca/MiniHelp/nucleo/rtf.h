#pragma once
// Lector del texto enriquecido (RTF) de los ficheros de ayuda.
//
// Entiende lo que usan los documentos de ayuda: párrafos y su alineación, saltos de línea y
// tabuladores, negrita, cursiva, subrayado, tamaño de letra, color (tabla de colores), tipo de
// letra (tabla de fuentes), caracteres escritos como \'hh en la página de códigos del
// documento (\ansicpg, Windows-1252 si no la dice) y como \uN (con \ucN). Lo demás (imágenes,
// hojas de estilo, información del documento, destinos con \*) se salta sin error.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace MiniHelp {

enum class Alineacion { Izquierda, Centro, Derecha, Justificada };

/// Un trozo de texto con un mismo formato de carácter.
struct TramoRtf {
    QString texto;
    bool negrita = false;
    bool cursiva = false;
    bool subrayado = false;
    double puntos = 12;                 ///< tamaño de letra en puntos
    std::optional<std::uint32_t> color; ///< 0xRRGGBB; sin valor, el color por omisión
    QString fuente;                     ///< nombre del tipo de letra; vacío, el de omisión

    bool operator==(const TramoRtf&) const = default;
};

/// Un párrafo: sus tramos en orden. Un salto de línea dentro del párrafo (\line) va en el
/// texto como U+2028 y un tabulador como "\t".
struct ParrafoRtf {
    Alineacion alineacion = Alineacion::Izquierda;
    std::vector<TramoRtf> tramos;

    QString Texto() const;
};

struct DocumentoRtf {
    std::vector<ParrafoRtf> parrafos;

    /// Texto llano del documento, un párrafo por línea.
    QString Texto() const;
};

/// true si el contenido empieza como un documento RTF ("{\rtf", tras blancos opcionales).
bool EsRtf(const QByteArray& contenido);

/// Lee un documento RTF. Lanza basicos::ErrorZoq si el contenido no es RTF. Un documento
/// cortado (llaves sin cerrar) se lee hasta donde llega.
DocumentoRtf LeerRtf(const QByteArray& contenido);

} // namespace MiniHelp
