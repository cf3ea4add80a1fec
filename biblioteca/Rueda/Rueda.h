#pragma once
// Rueda del ratón en las ventanas de la suite.
//
// Mientras una ventana está enganchada, cada muesca de la rueda sobre ella desplaza una línea el
// control que tiene el foco en la ventana, si es de los que tienen lista (cuadro de texto, lista,
// rejilla, cuadro combinado): hacia abajo cuando la rueda gira hacia el usuario. El control que
// está bajo el puntero no se desplaza además (nada se desplaza dos veces), y un cuadro combinado
// solo desplaza su lista abierta: la rueda nunca cambia su valor. La propia ventana sigue
// recibiendo el evento de la rueda después. Solo hay una ventana enganchada a la vez.

class QWidget;

namespace Rueda {

/// Engancha la ventana (al activarse). Sustituye a la que estuviera enganchada.
void Enganchar(QWidget* ventana);

/// Desengancha la ventana (al desactivarse); si la enganchada es otra, no hace nada.
void Desenganchar(QWidget* ventana);

/// La ventana enganchada ahora, o nullptr.
QWidget* VentanaEnganchada();

/// Hace que la ventana se enganche sola al activarse y se desenganche al desactivarse o
/// destruirse.
void SeguirActivacion(QWidget* ventana);

} // namespace Rueda
