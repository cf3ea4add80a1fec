#pragma once
// Escalado de las ventanas de la suite y su letra común. Los factores y las rutinas de escala
// de un valor están en rutinas/nucleo/escalado.h.

#include "rutinas/nucleo/escalado.h"

class QWidget;

namespace rutinas {

/// Escala la ventana y sus controles (posición, tamaño, letra y, en las rejillas que
/// implementan AnchosDeColumna, el ancho de cada columna).
/// - UsarFactores true: aplica FactorX y FactorY (si son 0, o SinEscalar, no toca nada) y deja
///   en Ancho y Alto el nuevo tamaño de la ventana en twips.
/// - UsarFactores false: calcula antes los factores para que la ventana mida Ancho × Alto
///   píxeles, o, con 0, lo que hay a medio camino entre su tamaño y el área de trabajo.
/// La ventana queda en la esquina (0, 0) del escritorio; si estaba visible se oculta durante
/// el escalado. Los controles aparcados fuera de la vista (Left < −50000) siguen aparcados.
void EscalarFormulario(QWidget* Formulario, float& Ancho, float& Alto, bool UsarFactores);
/// Lo mismo aplicando los factores ya calculados.
void EscalarFormulario(QWidget* Formulario);

/// Da la letra "MS Shell Dlg 2" (con su tamaño de siempre) a todos los controles de la
/// ventana cuyo Tag no contenga "(FF)". No falla nunca.
void FuenteFormulario(QWidget* Formulario);

} // namespace rutinas
