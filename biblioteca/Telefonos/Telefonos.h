#pragma once
// Telefonos: el directorio de contactos de la suite. Una rejilla con los contactos del
// fichero TELEFONO.DAT (nombre, teléfono, fax y correo) que se filtra al escribir en "Buscar",
// botones para añadir, editar y suprimir contactos, para escribir un correo con el programa de
// correo del escritorio y para enviar un fax con el programa de fax de la suite, Brunvel.
//
// Se abre y se cierra; no tiene operaciones públicas. Se comunica con la aplicación que lo
// abrió por RemitenteCorreo (lo lee) y CorreoElegido (lo escribe; ver directorio.h).
//
// Cerrar nunca graba: cada cambio se graba al aceptarlo o al suprimir.
//
// Con el teclado: al abrirse, el foco está en "Buscar"; Intro pulsa el botón que tiene el foco
// (en los campos de la edición pasa al siguiente); Escape deja la edición de un contacto o, sin
// ella, cierra la ventana.

#include "Telefonos/nucleo/almacen.h"

#include <QWidget>

#include <array>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QUrl;

namespace MiVisor {
class Rejilla;
}

namespace Telefonos {

/// La ventana «Teléfonos»: el directorio de contactos (F8), con su búsqueda y su edición.
class Ventana : public QWidget {
    Q_OBJECT
public:
    /// Ventana del fichero que dice la regla de ubicación.
    explicit Ventana(QWidget* padre = nullptr);
    /// Ventana de un fichero concreto, sobre una capa de ficheros dada.
    Ventana(UbicacionContactos ubicacion, std::shared_ptr<CapaFicheros> capa,
            QWidget* padre = nullptr);
    ~Ventana() override;

    /// @name Controles, con los nombres de su diseño
    // @{
    MiVisor::Rejilla* Telfs = nullptr;  ///< la rejilla de contactos
    std::array<QGroupBox*, 3> Marco{};  ///< 0 "Opciones", 1 "Contactos", 2 "Buscar"
    QLineEdit* BuscoTLF = nullptr;      ///< el texto que se busca
    QPushButton* cmdFax = nullptr;      ///< envía un fax al contacto
    QPushButton* cmdEmail = nullptr;    ///< escribe un correo al contacto
    QPushButton* cmdSalir = nullptr;    ///< cierra la ventana
    QPushButton* cmdBorrar = nullptr;   ///< borra el contacto
    QPushButton* cmdEditar = nullptr;   ///< edita el contacto
    QPushButton* cmdNuevo = nullptr;    ///< da de alta un contacto
    QLabel* NumeroTlf = nullptr;        ///< el teléfono del contacto elegido
    QLabel* NumeroFax = nullptr;        ///< el fax del contacto elegido
    QWidget* LaEntrada = nullptr;       ///< el marco de la edición de un contacto
    std::array<QLabel*, 4> Label1{};    ///< los títulos de los campos de la edición
    std::array<QLineEdit*, 4> Tlf{};    ///< nombre, teléfono, fax, correo
    QPushButton* cmdAceptar = nullptr;  ///< acepta la edición
    QPushButton* cmdCancelar = nullptr; ///< deja la edición
    QLabel* FueModificado = nullptr;    ///< marca de cambios sin grabar
    QLabel* Indice = nullptr;           ///< la fila del contacto en edición
    // @}

    /// Estado del fichero: `RutaFichero` y `FechaFichero` están en el almacén.
    AlmacenContactos& Almacen() { return almacen_; }
    /// Verdadero mientras se carga el fichero: los avisos de cambio de la ventana se ignoran.
    bool Cargando = false;
    /// Ruta completa del programa de fax; vacía si no está en la ruta de búsqueda.
    QString RutaFax;

    /// Puntos donde la ventana sale de sí misma; las pruebas los sustituyen.
    /// Mensaje de la suite (texto, icono, juego de botones, botón con el primer foco);
    /// devuelve el código de la respuesta.
    std::function<float(const QString&, int, int, int)> Mensaje;
    /// Abre una dirección con el escritorio (el programa de correo para "mailto:").
    std::function<bool(const QUrl&)> AbrirDireccion;
    /// Arranca un programa directamente, sin intérprete de órdenes, en una carpeta.
    std::function<bool(const QString&, const QStringList&, const QString&)> IniciarPrograma;

    /// Llena la rejilla con el fichero y la ordena por nombre.
    void CargarContactos();
    /// Graba la rejilla en el fichero si nadie lo cambió desde que se cargó; si no, avisa y
    /// vuelve a cargarlo. Un fallo pregunta si se reintenta.
    void GrabarContactos();

    /// Busca el texto escrito: quedan a la vista las filas que lo tienen.
    void BuscoTLF_Change();
    /// Clic en la rejilla: la fila pulsada pasa a ser la elegida.
    void Telfs_Click();
    /// Otra celda actual (con el teclado): su fila pasa a ser la elegida.
    void Telfs_RowColChange();
    /// Botón derecho sobre un contacto: deja su correo (en la columna del correo) y cierra.
    void Telfs_MouseDown(int boton);
    /// Doble clic: correo, fax o edición, según la columna.
    void Telfs_DblClick();
    /// Abre la edición de un contacto nuevo.
    void cmdNuevo_Click();
    /// Abre la edición del contacto elegido.
    void cmdEditar_Click();
    /// Pasa la edición a la rejilla y graba el fichero (sin nombre no acepta).
    void cmdAceptar_Click();
    /// Cierra la edición sin cambiar nada.
    void cmdCancelar_Click();
    /// Borra el contacto elegido, si se confirma, y graba el fichero.
    void cmdBorrar_Click();
    /// Escribe un correo al contacto elegido.
    void cmdEmail_Click();
    /// Envía un fax al contacto elegido.
    void cmdFax_Click();
    /// Cierra la ventana.
    void cmdSalir_Click();

private:
    void Construir();
    void Form_Load();
    void Seleccionar(int fila, int col);
    void AbrirEntrada();
    void EscribirCorreo(bool deLaFila);
    void EnviarFax(bool deLaFila);

    AlmacenContactos almacen_;
};

/// La instancia compartida; la crea (y carga el fichero) si no existe. Se destruye al
/// cerrarse la ventana, de modo que cada apertura lee el fichero de nuevo.
Ventana& Instancia();
/// Verdadero si la instancia compartida existe.
bool Cargada();

} // namespace Telefonos
