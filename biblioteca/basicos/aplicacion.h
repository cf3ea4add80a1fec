#pragma once
// Preparación común de los programas que usan la biblioteca.

class QApplication;

namespace basicos {

/// Deja la aplicación lista para las ventanas de la suite: textos de Qt en español y
/// convenciones de España, las letras de la suite sustituidas por las del sistema y los
/// avisos del motor de campos en cuadros de mensaje. Cada programa la llama una vez, tras crear la
/// QApplication.
void PrepararAplicacion(QApplication& aplicacion);

} // namespace basicos
