#pragma once
// Decisión de qué hace una tecla en un campo con descriptor, sin ventanas: qué carácter entra
// (o ninguno) y a dónde va el foco.

#include <QString>

namespace rutinas {

/// Qué tiene que hacer el control además de insertar (o no) la tecla.
enum class AccionTecla {
    Ninguna,
    EnviarTab,    ///< Intro: el foco pasa al control siguiente (como si se tecleara Tab)
    ValorOmision, ///< "+": el campo recibe su valor por omisión y el foco pasa al siguiente
    PulsarTab,    ///< el campo se ha llenado: tras la tecla, el foco pasa al siguiente
};

struct DecisionTecla {
    int tecla = 0; ///< carácter que el control ha de insertar; 0, ninguno
    AccionTecla accion = AccionTecla::Ninguna;
};

/// Estado del campo antes de la tecla.
struct EstadoCampo {
    QString tag;   ///< descriptor
    QString texto; ///< texto actual
    int selStart = 0;
    int selLength = 0;
};

/// Decide la tecla `KeyAscii` (código del carácter) en un campo: retroceso pasa; Intro no
/// entra y mueve el foco; "+" no entra y pone el valor por omisión; los demás se filtran,
/// cambian o se tragan según el tipo (T), los decimales (D) y la longitud (L), y un campo que
/// se llena pasa el foco al siguiente. Avisa de T y L ausentes (en ese orden).
DecisionTecla DecidirTecla(const EstadoCampo& campo, int KeyAscii);

/// Índice de la primera entrada de la lista que, sin blancos delante ni detrás, es igual
/// (exacta) a `valor` sin blancos; −1 si ninguna.
int IndiceEnLista(const QStringList& entradas, const QString& valor);

} // namespace rutinas
