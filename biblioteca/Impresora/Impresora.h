#pragma once
// Ventana modal en la que el usuario elige impresora y orientación del papel antes de
// imprimir. Al aceptar deja la elección en tres variables compartidas que lee el código de
// impresión de cada programa (que es quien la aplica).
//
//   Impresora::Instancia();          // carga la ventana (lista y orientación de la actual)
//   Impresora::ProponerApaisado();   // opcional: propone la otra orientación
//   Impresora::Instancia().exec();   // modal; Aceptar (o Intro) o Cancelar (o Escape) la
//                                    // descargan

#include "Impresora/nucleo/papel.h"

#include <QDialog>
#include <QIcon>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace Impresora {

/// Nombre de la impresora elegida (vacío si no hay impresoras).
extern QString ImpresoraElegida;
/// "Vertical", "Horizontal" o vacío (se deja la de la impresora).
extern QString OrientacionElegida;
/// True si la ventana se dejó con Cancelar; false con Aceptar (y antes del primer uso).
extern bool ImpresionCancelada;

/// La ventana «Selección de Impresora»: la lista de impresoras y la orientación del papel.
class Ventana : public QDialog {
    Q_OBJECT
public:
    /// @name Controles, con los nombres de su diseño
    // @{
    QGroupBox* MarcoImpresora;  ///< el marco de la lista
    QLabel* Etiqueta;           ///< el título de la lista
    QLabel* Imagen;             ///< el dibujo de la orientación
    QComboBox* ListaImpresoras; ///< las impresoras
    QToolButton* ModoPapel;     ///< cambia la orientación
    QPushButton* cmdAceptar;    ///< acepta la elección
    QPushButton* cmdCancelar;   ///< deja la elección anterior
    /// Los tres dibujos: 1 página vertical, 2 apaisada, 3 con interrogación.
    QIcon MisIconos[4];
    // @}

    /// Palabra de orientación que guarda el botón ("Vertical", "Horizontal" o vacía).
    QString TagModoPapel() const { return papel_.tag; }

    /// Pulsación del botón del papel: la otra orientación.
    void ModoPapel_Click();
    /// Elección en la lista: la impresora elegida pasa a la ayuda emergente de la lista.
    void ListaImpresoras_Click();
    /// Aceptar: deja la impresora y la orientación elegidas y descarga la ventana.
    void cmdAceptar_Click();
    /// Cancelar: la elección anterior queda y la ventana se descarga.
    void cmdCancelar_Click();

protected:
    /// Escape y el cierre desde el marco cancelan.
    void reject() override;
    /// Al mostrarse, el foco va a la lista y se ve desde el principio (el estilo solo lo marca
    /// tras moverse con el teclado).
    void showEvent(QShowEvent* evento) override;

private:
    friend Ventana& Instancia();
    Ventana();
    void Form_Load();
    void Descargar();

    EstadoPapel papel_;
};

/// La ventana compartida; la carga (desde la impresora actual) si no lo está.
Ventana& Instancia();
bool Cargada();

/// Propone la otra orientación (como una pulsación del botón del papel). Carga la ventana si
/// hace falta; se llama antes de mostrarla.
void ProponerApaisado();

} // namespace Impresora
