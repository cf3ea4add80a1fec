#pragma once
// MyBox: el cuadro de diálogo modal propio de la suite. Una sola ventana sirve al mensaje
// (MyMsgBox), a la entrada de un valor o de un rango (MyInputBox, DesdeHastaOk) y al visor de
// una tabla pequeña (la rejilla VisorMini, que pone el módulo de rejillas).
//
// Todas las operaciones usan la instancia compartida de la ventana: la cargan si hace falta,
// la llenan, la muestran modal y leen la respuesta que el botón pulsado dejó antes de
// descargar la ventana. Esa respuesta (código, textos devueltos, columna) sobrevive a la
// descarga: ver Estado().
//
// Una operación pedida mientras un cuadro espera respuesta (desde el manejador de otra
// ventana, que puede ejecutarse durante la espera modal) no reutiliza ese cuadro: abre uno
// propio, modal y encima del abierto, que se descarga al contestarse. Cada llamada devuelve
// lo que se contestó en su cuadro, y al volver Estado() es el de la llamada que acaba de
// terminar.
//
// Las posiciones se dan en twips de pantalla (1/1440 de pulgada); -1 centra en ese sentido.

#include "MyBox/nucleo/botones.h"

#include <QDialog>
#include <QStringList>
#include <array>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace MiVisor {
class Rejilla;
}

namespace MyBox {

/// Lo que la ventana deja al descargarse y leen las operaciones.
struct EstadoCuadro {
    float respuesta = 0;      ///< código de la respuesta (1 a 7); 0 antes de la primera
    QString texto;            ///< valor que devuelven MyInputBox y el visor
    QString textoHasta;       ///< segundo valor de un rango
    float columnaRetorno = 0; ///< columna de la rejilla cuya celda devuelve el visor
};

/// El estado compartido; no se borra al empezar una operación. Cada operación trabaja sobre
/// una copia propia y la deja aquí al terminar.
EstadoCuadro& Estado();

/// El cuadro de la suite para mensajes, entradas de un dato o de un rango, listas y visor.
class Ventana : public QDialog {
    Q_OBJECT
public:
    /// @name Construcción
    // @{
    /// Crea el cuadro con todos sus controles, oculto.
    explicit Ventana(QWidget* padre = nullptr);
    ~Ventana() override;
    // @}

    /// @name Controles, con los nombres de su diseño
    // @{
    /// Controles, con los nombres de su diseño.
    QWidget* Contenedor = nullptr;
    QLabel* Imagen = nullptr;
    QLabel* Mensaje = nullptr;
    std::array<QPushButton*, 3> Boton{}; ///< el índice 0 es el de más a la derecha
    QPushButton* Ayuda = nullptr;
    QLineEdit* CampoTexto = nullptr;
    QLineEdit* CampoHasta = nullptr;
    QLabel* etiDesde = nullptr;
    QLabel* etiHasta = nullptr;
    QComboBox* cbxTabla = nullptr;
    /// Rejilla del visor (diseño: (720, 60), 6495 × 1425 twips, oculta).
    MiVisor::Rejilla* VisorMini = nullptr;
    // @}

    /// Pone el icono número `ElIcono` (1 a 10) en `Imagen`.
    void PonerIcono(int ElIcono);

    /// Paso de botones y colocación: títulos y visibilidad del juego, primer foco, posición.
    /// Escribe en `Top` y `Left` la posición calculada, en twips.
    void BotonesYPosicion(int LosBotones, int BotonOmision, float& Top, float& Left,
                          QWidget* Formulario);

    /// Da a `control` la posición `indice` del orden de tabulación (0 = primer foco).
    void PonerTabIndex(QWidget* control, int indice);
    /// Control que tendrá el foco al mostrarse (el primero del orden que lo pueda tomar).
    QWidget* PrimerFoco() const;

    /// Muestra la ventana modal y espera a que se descargue; lo que contesta el usuario va a
    /// `llamada` (el estado de la operación que la muestra).
    void Mostrar(EstadoCuadro& llamada);

    /// @name Acciones de los controles
    // @{
    /// Lo que hace cada control al pulsarlo.
    void Boton_Click(int Index);
    void VisorMini_Click();
    void VisorMini_DblClick();
    void Ayuda_Click();
    // @}

    /// true si el par Desde/Hasta que hay escrito en CampoTexto y CampoHasta está en orden.
    bool DesdeHastaOk() const;

protected:
    /// @name Eventos de Qt
    // @{
    /// Lo que la ventana hace con los eventos de Qt que atiende.
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    void mousePressEvent(QMouseEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;
    void showEvent(QShowEvent* evento) override;
    void reject() override; // Escape no hace nada
    // @}

private:
    void Form_Load();
    void Descargar();
    void ConectarCampoDelCuadro(QWidget* campo);

    std::vector<QWidget*> ordenTab_;
    EstadoCuadro* llamada_; // adonde va la respuesta: la operación en curso o el compartido
    bool descargada_ = false;
    int juego_ = 0; // juego de botones de la operación en curso, para el cierre desde el marco
    bool enPulsacion_ = false;
};

/// La instancia compartida; la carga si no lo está.
Ventana& Instancia();
/// true si la instancia compartida está cargada.
bool Cargada();
/// El cuadro para una operación: la instancia compartida, salvo si hay un cuadro en pantalla
/// esperando respuesta; entonces uno nuevo, propio de la operación, encima de ese.
Ventana& CuadroDeLaLlamada();

/// Muestra `ElMensaje` (cada ";" es un salto de línea) con el título `ElTitulo`, el icono
/// `ElIcono` (1 a 10) y el juego de botones `LosBotones` (1 a 6); `BotonOmision` dice qué
/// botón, contado desde la izquierda, tiene el primer foco (1, 2; otro valor, el de la
/// derecha). Devuelve el código de la respuesta (1 a 7). `Top` y `Left` (twips de pantalla,
/// -1 = centrado) reciben la posición en que se mostró; con `Formulario` el cuadro se centra
/// sobre esa ventana.
///
/// Cerrar el cuadro desde el marco responde "Cancelar" (2) en los juegos que lo tienen
/// (2, 4, 6) y "Aceptar" (1) en el juego 1; en los juegos 3 y 5 el marco no deja cerrar.
///
/// Lanza basicos::ErrorZoq si `ElIcono` no está entre 1 y 10; entonces no se muestra nada.
float MyMsgBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono, int LosBotones,
               int BotonOmision, float& Top, float& Left, QWidget* Formulario = nullptr);
/// Lo mismo, sin posición dada (centrado en la pantalla o sobre `Formulario`).
float MyMsgBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono, int LosBotones,
               int BotonOmision = 0, QWidget* Formulario = nullptr);

/// Muestra la tabla `Matriz` (filas de textos; la fila r va a la fila r de la rejilla y su
/// elemento c a la columna c) bajo los títulos `Titulos` (lista de títulos de las rejillas:
/// "Código;Nombre#30"), con el título `ElTitulo` y el icono `ElIcono`. Sin `ColumnaDevolver`
/// solo enseña la tabla, con un botón "Aceptar". Con ella, el usuario elige una fila (clic y
/// "Aceptar", o doble clic) y se devuelve su celda de la columna cuyo título es
/// `ColumnaDevolver` (o la columna n si es "#n"); si ninguna columna tiene ese título, se avisa
/// y se usa la columna 0. "Aceptar" sin haber elegido fila en esta llamada, "Cancelar" o el
/// cierre desde el marco devuelven "".
///
/// Lanza basicos::ErrorZoq si `ElIcono` no está entre 1 y 10 o si alguna fila de `Matriz`
/// tiene menos elementos que títulos; entonces no se muestra nada.
QString MyVisorBox(const QString& ElTitulo, const QString& Titulos,
                   const std::vector<QStringList>& Matriz, int ElIcono,
                   const QString& ColumnaDevolver, float& Top, float& Left,
                   QWidget* Formulario = nullptr);
/// Lo mismo, sin posición dada (centrado en la pantalla o sobre `Formulario`).
QString MyVisorBox(const QString& ElTitulo, const QString& Titulos,
                   const std::vector<QStringList>& Matriz, int ElIcono,
                   const QString& ColumnaDevolver = {}, QWidget* Formulario = nullptr);

/// Pide un valor al usuario. `TagDelCampo` elige el modo:
/// - "TABLA": una lista desplegable con las entradas de `DatoInicial` (separadas por ";" o
///   "<<", o "@" y el nombre de un fichero con una entrada por línea);
/// - un descriptor que acaba en "(/)": un rango, dos campos Desde y Hasta con ese descriptor;
///   `DatoInicial` es Desde + "ƒ" + Hasta;
/// - cualquier otro descriptor: un campo con ese descriptor y `DatoInicial` como texto.
/// Los campos pasan por el motor de campos (teclas, forma de edición y de ver). Devuelve el
/// valor aceptado en su forma de edición (el rango como Desde + "ƒ" + Hasta, la lista con
/// el texto de la entrada elegida), o "" si no se contestó "Aceptar". Un rango al revés no
/// deja aceptar. Si existe `FicheroAyuda`, el botón de ayuda lo muestra en MiniHelp.
/// `Top`, `Left` y `Formulario` como en MyMsgBox. Lanza basicos::ErrorZoq si `ElIcono` no
/// está entre 1 y 10.
QString MyInputBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono,
                   const QString& TagDelCampo, const QString& DatoInicial, float& Top, float& Left,
                   QWidget* Formulario = nullptr, const QString& FicheroAyuda = QString());
/// Lo mismo, sin posición dada.
QString MyInputBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono,
                   const QString& TagDelCampo, const QString& DatoInicial = QString(),
                   QWidget* Formulario = nullptr, const QString& FicheroAyuda = QString());

/// true si el par Desde/Hasta que hay escrito en el cuadro cargado está en orden (ver
/// RangoEnOrden); sin cuadro cargado, true.
bool DesdeHastaOk();

} // namespace MyBox
