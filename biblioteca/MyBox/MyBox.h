#pragma once
// MyBox: el cuadro de diálogo modal propio de la suite. Una sola ventana sirve al mensaje
// (MyMsgBox), a la entrada de un valor o de un rango (MyInputBox, DesdeHastaOk) y al visor de
// una tabla pequeña (la rejilla VisorMini, que pone el módulo de rejillas).
//
// Cada operación toma su cuadro (CuadroDeLaLlamada), lo llena, lo muestra modal y recibe por
// valor lo que el usuario contestó (Ventana::Mostrar); al acabar la operación el cuadro, ya
// descargado, se destruye. Lo contestado queda además como la última respuesta (Estado()), que
// sobrevive a la descarga y no se borra al empezar la operación siguiente.
//
// Una operación pedida mientras el cuadro compartido espera respuesta (desde el manejador de
// otra ventana, que puede ejecutarse durante la espera modal) no lo reutiliza: abre uno propio,
// modal y encima del abierto. Cada llamada devuelve lo que se contestó en su cuadro.
//
// Las posiciones se dan en twips de pantalla (1/1440 de pulgada); -1 centra en ese sentido.

#include "MyBox/nucleo/botones.h"

#include <QDialog>
#include <QPointer>
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

/// Lo que contesta el usuario en un cuadro: lo que la ventana deja al descargarse.
struct EstadoCuadro {
    float respuesta = 0;      ///< código de la respuesta (1 a 7); 0 antes de la primera
    QString texto;            ///< valor que devuelven MyInputBox y el visor
    QString textoHasta;       ///< segundo valor de un rango
    float columnaRetorno = 0; ///< columna de la rejilla cuya celda devuelve el visor
};

/// La última respuesta: lo que dejó el último cuadro contestado. Sobrevive a la descarga del
/// cuadro y no se borra al empezar otra operación.
const EstadoCuadro& Estado();

/// El cuadro de la suite para mensajes, entradas de un dato o de un rango, listas y visor.
class Ventana : public QDialog {
    Q_OBJECT
public:
    /// Crea el cuadro con todos sus controles, oculto.
    explicit Ventana(QWidget* padre = nullptr);
    ~Ventana() override;

    /// @name Controles, con los nombres de su diseño
    // @{
    QWidget* Contenedor = nullptr;         ///< contiene a todos los demás
    QLabel* Imagen = nullptr;              ///< el icono del mensaje
    QLabel* Mensaje = nullptr;             ///< el texto del mensaje
    std::array<QPushButton*, 3> Boton{};   ///< las respuestas; el 0 es el de la derecha
    QPushButton* Ayuda = nullptr;          ///< abre el fichero de ayuda de la entrada
    QLineEdit* CampoTexto = nullptr;       ///< el campo de la entrada, o el Desde
    QLineEdit* CampoHasta = nullptr;       ///< el Hasta de un rango
    QLabel* etiDesde = nullptr;            ///< título «Desde»
    QLabel* etiHasta = nullptr;            ///< título «Hasta»
    QComboBox* cbxTabla = nullptr;         ///< la lista de una entrada "TABLA"
    MiVisor::Rejilla* VisorMini = nullptr; ///< la rejilla del visor
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

    /// Muestra la ventana modal y espera a que se descargue. Devuelve lo que contestó el
    /// usuario, que parte de `inicial`: lo que la respuesta no toca queda como venía. Lo
    /// devuelto pasa a ser también la última respuesta (Estado()).
    EstadoCuadro Mostrar(EstadoCuadro inicial);

    /// Pulsación del botón de respuesta `Index`: guarda la respuesta y descarga el cuadro.
    void Boton_Click(int Index);
    /// Clic en la rejilla del visor: una fila de datos pasa a ser la elegida.
    void VisorMini_Click();
    /// Doble clic en la rejilla del visor: elige la fila y pulsa el botón de la izquierda.
    void VisorMini_DblClick();
    /// Otra fila actual en la rejilla del visor (con las flechas): pasa a ser la elegida.
    void VisorMini_RowColChange();
    /// Intro o la barra espaciadora en la rejilla del visor: como un doble clic en la fila
    /// actual.
    void VisorMini_KeyPress(int KeyAscii);
    /// Pulsación del botón de ayuda: muestra su fichero en la ventana de ayuda.
    void Ayuda_Click();

    /// true si el par Desde/Hasta que hay escrito en CampoTexto y CampoHasta está en orden.
    bool DesdeHastaOk() const;

protected:
    /// Intro en un botón de respuesta lo pulsa; en la lista de una entrada pasa al control
    /// siguiente, como en un campo; en la rejilla del visor elige la fila (VisorMini_KeyPress).
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    /// Una pulsación sobre la superficie arrastra la ventana.
    void mousePressEvent(QMouseEvent* evento) override;
    /// El cierre desde el marco contesta lo que contestaría el cuadro estándar.
    void closeEvent(QCloseEvent* evento) override;
    /// Al mostrarse, el foco va al primer control del orden de tabulación.
    void showEvent(QShowEvent* evento) override;
    /// Escape no hace nada.
    void reject() override;

private:
    void Form_Load();
    void Descargar();
    void ConectarCampoDelCuadro(QWidget* campo);

    std::vector<QWidget*> ordenTab_;
    EstadoCuadro estado_; // lo que se va contestando mientras se muestra
    bool descargada_ = false;
    int juego_ = 0; // juego de botones de la operación en curso, para el cierre desde el marco
    bool enPulsacion_ = false;
};

/// La instancia compartida; la carga si no lo está.
Ventana& Instancia();
/// true si la instancia compartida está cargada.
bool Cargada();

/// El cuadro de una operación, suyo mientras dura: la instancia compartida; o, si esa espera
/// respuesta en pantalla, uno nuevo, encima de la ventana modal activa. Al destruirse destruye
/// la ventana (la respuesta ya la descargó), y con ella lo que la operación cambió.
class CuadroDeLaLlamada {
public:
    /// Toma la instancia compartida o crea un cuadro propio.
    CuadroDeLaLlamada();
    /// Destruye el cuadro, si sigue existiendo.
    ~CuadroDeLaLlamada();
    CuadroDeLaLlamada(const CuadroDeLaLlamada&) = delete;
    CuadroDeLaLlamada& operator=(const CuadroDeLaLlamada&) = delete;

    /// La ventana del cuadro.
    Ventana* operator->() const { return ventana_; }
    Ventana& operator*() const { return *ventana_; } ///< la ventana del cuadro

private:
    QPointer<Ventana> ventana_;
};

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
/// y se usa la columna 0. Con el teclado, el foco empieza en la rejilla sobre la primera fila:
/// las flechas eligen otra, e Intro (o la barra espaciadora) la devuelve como un doble clic; el
/// tabulador sigue por "Aceptar" y "Cancelar". "Aceptar" devuelve la fila actual (la primera,
/// si no se eligió otra); "Cancelar" o el cierre desde el marco devuelven "".
///
/// Lanza basicos::ErrorZoq si `ElIcono` no está entre 1 y 10, si alguna fila de `Matriz`
/// tiene menos elementos que títulos o si `ColumnaDevolver` es "#n" con una n que no es
/// columna de la tabla; entonces no se muestra nada.
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
