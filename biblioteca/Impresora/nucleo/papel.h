#pragma once
// Botón de orientación del papel de la ventana de impresora, sin ventanas: la palabra de
// orientación que guarda el botón, su dibujo y su texto de ayuda.

#include <QString>

namespace Impresora {

/// Dibujos de MisIconos (1 página vertical, 2 página apaisada, 3 página con interrogación).
enum class DibujoPapel { Diseno = 0, Vertical = 1, Horizontal = 2, Interrogacion = 3 };

struct EstadoPapel {
    QString tag;                                             ///< "Vertical", "Horizontal" o vacío
    DibujoPapel dibujo = DibujoPapel::Interrogacion;         ///< el de diseño: la interrogación
    QString ayuda = QStringLiteral("Papel según Impresora"); ///< texto de ayuda del botón
};

/// Palabra de partida según la orientación de la impresora actual (1 vertical, 2 apaisada):
/// la contraria, para que la primera pulsación deje la verdadera. Otra orientación: vacía.
QString TagInicial(int orientacion);

/// Una pulsación del botón: "Vertical" pasa a "Horizontal" y al revés; con otra palabra
/// nada cambia.
EstadoPapel AlternarPapel(const EstadoPapel& antes);

} // namespace Impresora
