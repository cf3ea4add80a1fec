#pragma once
// Ejemplo: el formulario «Cobros» de una aplicación de la suite, llevado a la biblioteca.
// Tres campos guiados por su descriptor (importe, fecha y NIF), una rejilla con los cobros
// ordenada por fecha, un listado por rango de fechas con su ventana de progreso y las teclas
// globales de la suite (F4 calculadora, F8 contactos) desde cualquiera de sus controles.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
namespace MiVisor {
class Rejilla;
}

namespace Ejemplo {

/// El formulario de cobros.
class FormCobros : public QWidget {
    Q_OBJECT
public:
    explicit FormCobros(QWidget* padre = nullptr);

    /// Controles, con los nombres del formulario de la suite.
    QLineEdit* txtImporte = nullptr;
    QLineEdit* txtFecha = nullptr;
    QLineEdit* txtNif = nullptr;
    MiVisor::Rejilla* grdCobros = nullptr;
    QPushButton* cmdAnadir = nullptr;
    QPushButton* cmdListar = nullptr;
    QLabel* lblTotal = nullptr;

    /// Pasa los tres campos a una fila nueva de la rejilla y la deja ordenada por fecha.
    /// Un campo vacío lo avisa y no añade nada.
    void cmdAnadir_Click();
    /// Pide el rango de fechas y suma los cobros que caen en él.
    void cmdListar_Click();
    /// Suma los importes de las filas con fecha entre `desde` y `hasta` (dd/mm/aaaa, ambas
    /// incluidas), con la ventana de progreso a la vista mientras recorre la rejilla.
    double SumarPeriodo(const QString& desde, const QString& hasta);
};

} // namespace Ejemplo
