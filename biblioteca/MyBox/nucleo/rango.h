#pragma once
// Comprobación de un rango Desde/Hasta del cuadro de entrada.

#include <QString>

namespace MyBox {

/// true si el par Desde/Hasta está en orden (Desde ≤ Hasta) según el tipo (elemento T) del
/// descriptor de Desde. Un lado en blanco siempre está en orden.
/// - "F": los dos lados como fechas (forma de ver o de edición); un lado que no se entiende
///   como fecha cuenta como en blanco.
/// - "D": los dos lados leídos como número directamente del texto.
/// - "N" y "n": cada lado pasado a su forma de edición con su descriptor y leído como número.
/// - otro tipo o ninguno: los textos comparados carácter a carácter por su código.
bool RangoEnOrden(const QString& desde, const QString& hasta, const QString& tagDesde,
                  const QString& tagHasta);

} // namespace MyBox
