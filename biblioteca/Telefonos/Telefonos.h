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
    /// Controles, con los nombres de su diseño.
    MiVisor::Rejilla* Telfs = nullptr;
    std::array<QGroupBox*, 3> Marco{}; ///< 0 "Opciones", 1 "Contactos", 2 "Buscar"
    QLineEdit* BuscoTLF = nullptr;
    QPushButton* cmdFax = nullptr;
    QPushButton* cmdEmail = nullptr;
    QPushButton* cmdSalir = nullptr;
    QPushButton* cmdBorrar = nullptr;
    QPushButton* cmdEditar = nullptr;
    QPushButton* cmdNuevo = nullptr;
    QLabel* NumeroTlf = nullptr;
    QLabel* NumeroFax = nullptr;
    QWidget* LaEntrada = nullptr;
    std::array<QLabel*, 4> Label1{};
    std::array<QLineEdit*, 4> Tlf{}; ///< nombre, teléfono, fax, correo
    QPushButton* cmdAceptar = nullptr;
    QPushButton* cmdCancelar = nullptr;
    QLabel* FueModificado = nullptr;
    QLabel* Indice = nullptr;
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

    /// @name Acciones de los controles
    // @{
    /// Acciones de los controles.
    void BuscoTLF_Change();
    void Telfs_Click();
    void Telfs_RowColChange();
    void Telfs_MouseDown(int boton);
    void Telfs_DblClick();
    void cmdNuevo_Click();
    void cmdEditar_Click();
    void cmdAceptar_Click();
    void cmdCancelar_Click();
    void cmdBorrar_Click();
    void cmdEmail_Click();
    void cmdFax_Click();
    void cmdSalir_Click();
    // @}

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
