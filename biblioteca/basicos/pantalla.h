#pragma once
// La pantalla en twips (1/1440 de pulgada), la unidad en que se diseñan las ventanas de la
// suite, y la colocación de ventanas en el área de trabajo (la pantalla sin barras del
// escritorio).

#include <QRect>
#include <optional>

class QWidget;

namespace basicos {

/// Lo que la biblioteca necesita saber de la pantalla.
struct MedidasPantalla {
    double twipsPorPixelX = 15; ///< 1440 / puntos por pulgada lógicos horizontales
    double twipsPorPixelY = 15; ///< lo mismo en vertical
    QRect areaTrabajo;          ///< en píxeles
};

/// Medidas de la pantalla principal (sus puntos por pulgada lógicos y su geometría
/// disponible), o las fijadas con PonerMedidasPantalla.
MedidasPantalla Medidas();
/// Fija unas medidas en lugar de las de la pantalla (pruebas); nullopt vuelve a la pantalla.
void PonerMedidasPantalla(std::optional<MedidasPantalla> medidas);

/// Conversión entre píxeles y twips de la pantalla.
double TwipsX(int pixeles);
double TwipsY(int pixeles);
int PixelesX(double twips);
int PixelesY(double twips);

/// Ancho y alto del área de trabajo en twips, redondeados al entero más próximo.
long AnchoTrabajo();
long AltoTrabajo();

/// Coloca la ventana con Left = (AnchoTrabajo − Width) / 2 + 1 y Top = (AltoTrabajo −
/// Height) / 2 + 1, en twips; no suma el origen del área de trabajo.
void CentrarFormulario(QWidget* Formulario);

/// Fuentes de las ventanas de la suite: "MS Shell Dlg 2" y "Tahoma" se sirven con la letra
/// "Tahoma" libre del sistema (paquete fonts-wine), de las mismas medidas que la de diseño,
/// o, sin ella, con una letra sin remates del sistema; "Courier" con una de paso fijo. Los
/// programas siguen pidiendo esos nombres. Se puede llamar más de una vez.
void RegistrarFuentes();

} // namespace basicos
