#pragma once
// Propiedades de los controles que usa el motor de campos, sobre los controles de Qt:
// Tag es una propiedad dinámica de texto de cualquier QWidget; BackColor es el color de
// fondo de edición (QPalette::Base) escrito como entero azul-verde-rojo de 32 bits, y un
// color que viene del estilo es el color de sistema "fondo de ventana" (negativo).

#include <QList>
#include <QString>

class QWidget;

namespace rutinas {

/// Nombre de la propiedad dinámica que guarda el descriptor de cada control.
inline constexpr const char* kPropiedadTag = "Tag";

/// Texto del Tag del control ("" si no tiene).
QString Tag(const QWidget* control);
/// Cambia el Tag del control.
void PonerTag(QWidget* control, const QString& tag);

/// Color de sistema "fondo de ventana" (0x80000005 como entero con signo): el fondo que da
/// el estilo cuando el control no tiene uno propio.
inline constexpr int kColorFondoSistema = static_cast<int>(0x80000005u);
/// Color de edición de un campo: azul claro (rojo 192, verde 255, azul 255).
inline constexpr int kColorEdicion = 16777152;

/// BackColor del control: su color de fondo propio como azul-verde-rojo, o
/// kColorFondoSistema si usa el del estilo.
int BackColor(const QWidget* control);
/// Pone el BackColor: un valor no negativo es un color azul-verde-rojo; uno negativo (color
/// de sistema) devuelve el control al fondo del estilo.
void PonerBackColor(QWidget* control, int color);

/// Controles de una ventana en el orden de sus hijos, entrando en los contenedores
/// (marcos, grupos, páginas) pero no en las piezas internas de cada control.
QList<QWidget*> ControlesDe(QWidget* formulario);

} // namespace rutinas
