#pragma once
// Editor de ficheros de tablas: los elementos en una rejilla de una columna, un campo para
// escribir uno nuevo o cambiar el elegido, y la grabación del fichero.
//
//   auto& editor = frmTablas::Instancia();
//   editor.Dimensionar(this, "/ruta/tabla.txt", "Provincias#30", "T(m) A(I) L(30)", true);
//   editor.exec();

#include <QDialog>
#include <QString>

#include <functional>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace MiVisor {
class Rejilla;
}

namespace frmTablas {

/// Carga ("CARGAR") la columna 0 de la rejilla desde el fichero `ruta`, o la graba en él
/// ("GRABAR", preguntando antes de sobrescribir; "REGRABAR", sin preguntar). Con `ruta` vacía
/// la pide al usuario y la deja en `ruta`. Un fichero que no existe se toma como vacío. Las
/// filas en blanco no se graban. Devuelve true si cargó o grabó; false si no hizo nada
/// (acción desconocida, ruta no dada, sobrescritura cancelada) o si falló, en cuyo caso ya
/// avisó al usuario. Un fichero que existe pero no se pudo leer no se graba encima mientras
/// siga sin poder leerse, salvo que el usuario acepte reemplazarlo.
bool CargarGrabar(const QString& accion, QString& ruta, MiVisor::Rejilla& rejilla);

/// Pregunta de la ruta (las pruebas contestan sin ventana). Devuelve la anterior; una
/// función vacía vuelve al cuadro de entrada de verdad.
using FuncionInputBox =
    std::function<QString(const QString& pregunta, const QString& titulo, const QPoint& donde)>;
FuncionInputBox PonerInputBox(FuncionInputBox funcion);

/// La ventana «Edición de Tablas»: edita un fichero de tabla de una columna, fila a fila.
class Ventana : public QDialog {
    Q_OBJECT
public:
    /// @name Controles, con los nombres de su diseño
    // @{
    MiVisor::Rejilla* VisorTabla; ///< las filas de la tabla
    QLineEdit* Elemento;          ///< el elemento en edición
    QGroupBox* Marco;             ///< el marco del elemento
    QPushButton* cmdAceptar;      ///< pasa el elemento a la rejilla
    QPushButton* cmdGrabar;       ///< graba el fichero
    QPushButton* cmdSalir;        ///< cierra, preguntando si hay cambios
    // @}

    /// Fila de la rejilla cuyo elemento está en Elemento; 0 si es uno nuevo.
    int FilaEdicion = 0;
    /// Mientras la ventana llena Elemento desde la rejilla: ese cambio no es una edición.
    bool IgnorarCambio = false;

    /// Prepara el editor para el fichero `TagFormulario`: columnas de `TituloVisor` (lista de
    /// títulos de las rejillas), descriptor `TagElemento` para el campo, la ventana junto a
    /// `Formulario` y, con `Cargar`, el fichero cargado.
    void Dimensionar(QWidget* Formulario, const QString& TagFormulario, const QString& TituloVisor,
                     const QString& TagElemento, bool Cargar);

    /// Otra fila elegida en la rejilla: su texto pasa a Elemento.
    void VisorTabla_SelChange();
    /// Elemento cambiado por el usuario: la tabla queda con cambios sin grabar.
    void Elemento_Change();
    /// Aceptar: el elemento vuelve a su fila, o va a una nueva al final.
    void cmdAceptar_Click();
    /// Grabar: el fichero, de una vez.
    void cmdGrabar_Click();
    /// Salir: pregunta si hay cambios sin grabar y cierra.
    void cmdSalir_Click();

    /// True si hay cambios sin grabar.
    bool Modificado() const;

protected:
    /// Cerrar desde el marco pregunta como "Salir".
    void closeEvent(QCloseEvent* e) override;
    /// Escape es "Salir".
    void reject() override;

private:
    friend Ventana& Instancia();
    Ventana();
    void Form_Load();
    bool saliendo_ = false;
};

/// La ventana compartida; la carga si no lo está.
Ventana& Instancia();
bool Cargada();

} // namespace frmTablas
