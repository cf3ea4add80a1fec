#pragma once
// Campos de entrada guiados por su descriptor (el Tag del control): teclas, entrada y salida
// del foco. Los controles son QLineEdit (cuadro de texto), QComboBox (cuadro combinado) y
// QCheckBox (casilla).
//
// Una ventana engancha un campo con ConectarCampo: desde entonces cada tecla pasa por
// TeclaCampo, al entrar el foco se llama a EntrarCampo y al salir a SalirCampo.

#include "rutinas/nucleo/nif.h"
#include "rutinas/nucleo/teclas.h"
#include "rutinas/nucleo/valores.h"

#include <QPointer>
#include <QWidget>

class QComboBox;

namespace rutinas {

/// true mientras EntrarCampo o SalirCampo escriben el texto del campo: el manejador de
/// cambios de una ventana distingue así esas escrituras de lo que teclea el usuario.
extern bool EnFormato;
/// Último campo cuya salida se atendió (salvo con SinUltimoCampo); los cuadros de diálogo
/// le devuelven el foco. Nulo si no hay o si ya no existe.
extern QPointer<QWidget> UltimoCampo;
/// Con true, SalirCampo no cambia UltimoCampo.
extern bool SinUltimoCampo;

/// Atiende la tecla `KeyAscii` (código del carácter) pulsada en el campo. Al volver,
/// KeyAscii tiene el carácter que el control ha de insertar, o 0. Intro, "+" y un campo que
/// se llena pasan además el foco al control siguiente, después de esta tecla.
void TeclaCampo(QWidget* Control, int& KeyAscii);

/// Acción de la tecla "+": el campo recibe el valor del elemento "+" de su descriptor (un
/// cuadro de texto en su texto, una casilla como valor 0/1/2, un combinado de lista fija
/// seleccionando la entrada igual, otro combinado en su texto) y el foco pasa al siguiente.
void ValorOmision(QWidget* Control);

/// Pasa el foco al control siguiente en el orden de tabulación, después de lo que se esté
/// atendiendo ahora (como una pulsación de Tab puesta en cola), desde el control que tenga
/// entonces el foco.
void PulsarTab();
/// Lo mismo desde `Control`: el foco va al control que le sigue, aunque entre tanto se haya
/// mostrado un cuadro modal (se espera a que su ventana vuelva a estar activa).
void PulsarTab(QWidget* Control);

/// Selecciona la primera entrada del combinado que, sin blancos delante ni detrás, es igual
/// a Valor sin blancos. Si ninguna lo es, deja la selección como estaba.
void SeleccionarEnLista(QComboBox* Combo, const QString& Valor);

/// El campo recibe el foco: guarda su color de fondo en el elemento P, se pinta de azul
/// claro, pasa a la forma de edición (sin blancos a los lados) y selecciona todo el texto.
/// Si el control no tiene texto, avisa con el cuadro estándar.
void EntrarCampo(QWidget* Control);

/// El campo pierde el foco: recupera el color guardado en P, pasa a la forma de ver y
/// queda como UltimoCampo (salvo con SinUltimoCampo). Una fecha que no existe se queda en
/// blanco, y después se dice al usuario con el cuadro estándar y el foco vuelve al campo para
/// escribirla bien.
void SalirCampo(QWidget* Control);

/// true si la última salida del campo lo dejó en blanco por tener una fecha que no existe y no
/// se ha vuelto a entrar en él: quien lo lee (un cuadro al pulsar "Aceptar") no lo da por
/// contestado, porque el usuario aún ha de ver el aviso y escribir la fecha otra vez.
bool FechaBorradaAlSalir(const QWidget* Control);

/// Selecciona todo el texto del campo.
void SeleccionarTodo(QWidget* Control);

/// Engancha el campo al motor: sus teclas (también lo que llega por el método de entrada,
/// carácter a carácter), su entrada y su salida del foco (de una casilla, que no tiene texto,
/// solo Intro y "+"). Lo que se pega (teclado, menú del campo, botón central) o se suelta
/// encima pasa entero por las mismas reglas (DecidirPegado): si algo no entraría, se avisa y
/// el campo queda como estaba. Entrar y salir van siempre a pares: la llegada del foco al
/// activarse la ventana cuenta como entrada; irse a otra ventana o a un menú emergente no es
/// salir, pero sí lo es que, mientras tanto, el foco de la ventana haya pasado a otro control.
/// Una sola vez por control (repetirla no duplica nada).
void ConectarCampo(QWidget* Control);
/// Engancha todos los controles de la ventana cuyo descriptor tiene tipo ("T(").
void ConectarCampos(QWidget* Formulario);

// Acceso a las propiedades de un control de entrada.

/// Texto del control; false si no tiene (una casilla, por ejemplo).
bool LeerTexto(const QWidget* control, QString& texto);
/// Cambia el texto; false si el control no tiene.
bool PonerTexto(QWidget* control, const QString& texto);
/// Inicio y largo de la selección (sin selección, la posición del cursor y 0).
int SelStart(const QWidget* control);
int SelLength(const QWidget* control);

} // namespace rutinas
