#pragma once
// Teclas de función que sirven en todas las ventanas de la suite: F4 abre la calculadora y
// F8 el directorio de contactos. Una ventana las engancha una vez con ConectarTeclasGlobales
// y valen entonces desde cualquiera de sus controles.

#include <QString>

class QWidget;

namespace basicos {

/// Códigos de tecla de F4 y F8 (los de las teclas virtuales de la plataforma de la suite).
inline constexpr short TeclaF4 = 115;
inline constexpr short TeclaF8 = 119;

/// Código de tecla de la suite para una tecla de Qt: F1 a F12 dan 112 a 123; las demás, 0.
short CodigoTecla(int teclaQt);

/// Con F4 abre la calculadora (salvo que `NombreFormulario` sea "MiCalc") y con F8 el
/// directorio de contactos; la ventana se muestra sin ser modal y la llamada espera, dejando
/// correr los sucesos, hasta que se cierra. `Shift` no se usa. Otras teclas no hacen nada.
void TeclasGlobales(short KeyCode, short Shift, const QString& NombreFormulario);

/// Engancha F4 y F8 a la ventana: al soltarlas en cualquier control de `Formulario` (un
/// campo, una rejilla, un botón, también los que se creen después), se llama a TeclasGlobales
/// con el nombre del formulario (su objectName). Una sola vez por ventana basta.
void ConectarTeclasGlobales(QWidget* Formulario);

} // namespace basicos
