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

/// Lo que pasa con un texto pegado (o soltado) en un campo.
struct DecisionPegado {
    bool admitido = false; ///< false: el campo queda como estaba
    QString insertado;     ///< lo que entra en lugar de la selección, ya filtrado
    QString texto;         ///< el texto del campo tras pegar
    int cursor = 0;        ///< posición del cursor tras lo pegado
    bool lleno = false;    ///< lo pegado llena el campo: el foco pasa al siguiente
    QString aviso;         ///< por qué no se admite, para decírselo al usuario
};

/// Decide qué entra al pegar `pegado` en el campo: lo pegado sustituye a la selección y cada
/// carácter pasa por las reglas de DecidirTecla como si se tecleara (una "," de un número
/// entra como "." y una minúscula de un campo "M" como mayúscula). Si alguno no entraría
/// (o no cabe), no se admite nada y `aviso` dice por qué: lo pegado no se convierte en otro
/// valor sin que se vea. Los saltos de línea del final (los de una celda o una línea copiada)
/// no cuentan, y pegar nada deja el campo igual. En un número, un texto en la forma de ver de
/// España con "," decimal
/// ("1.234,56") es ese mismo número: se pega como "1234.56".
DecisionPegado DecidirPegado(const EstadoCampo& campo, const QString& pegado);

/// Índice de la primera entrada de la lista que, sin blancos delante ni detrás, es igual
/// (exacta) a `valor` sin blancos; −1 si ninguna.
int IndiceEnLista(const QStringList& entradas, const QString& valor);

} // namespace rutinas
