#pragma once
// Ventana de progreso de la suite: un título, una barra, el porcentaje hecho, el tiempo
// transcurrido y el total estimado de una operación larga. Siempre encima de las demás, se
// mueve arrastrándola por cualquier punto. La maneja una sola rutina, BarraProgreso.

#include "Progreso/nucleo/estado_progreso.h"

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;

namespace Progreso {

/// Si es true, al arrancar la ventana se coloca en la esquina superior izquierda de la
/// pantalla. Lo fijan las aplicaciones; por omisión, false.
extern bool ProgresoEnEsquina;

/// Acciones: 1 arrancar (Minimo, Maximo, Titulo), 2 terminar (oculta y descarga la ventana),
/// 3 actualizar (Valor, ForzarVision), 4 ocultar, 5 volver a mostrar. Otra: nada. Cada
/// llamada deja correr los eventos pendientes.
void BarraProgreso(int Opcion, float Valor = 0, bool ForzarVision = false, float Minimo = 0,
                   float Maximo = 0, const QString& Titulo = {});

/// La ventana de progreso: título, barra, porcentaje y tiempos estimado y transcurrido.
class Ventana : public QWidget {
    Q_OBJECT
public:
    /// La instancia compartida: se crea al primer uso y dura hasta que se termina.
    static Ventana& Instancia();
    /// True si la instancia compartida está cargada.
    static bool Cargada();

    /// @name Operaciones de la ventana
    // @{
    /// Las mismas que BarraProgreso, sobre esta ventana.
    void Arrancar(float Minimo, float Maximo, const QString& Titulo);
    void Actualizar(float Valor, bool ForzarVision);
    // @}

    /// Reloj en segundos desde medianoche.
    using Reloj = std::function<double()>;
    /// Cambia el reloj de los tiempos (las pruebas ponen el suyo).
    static void PonerReloj(Reloj reloj);

    /// @name Controles, con los nombres de su diseño
    // @{
    QLabel* BarraTitulo; ///< el título
    QLabel* BarraPor;    ///< el porcentaje
    QLabel* BarraEst;    ///< el tiempo estimado
    QLabel* BarraTra;    ///< el tiempo transcurrido
    QProgressBar* Barra; ///< la barra
    // @}

protected:
    /// @name Arrastre
    /// Arrastrar la ventana con el botón izquierdo la mueve.
    // @{
    void mousePressEvent(QMouseEvent* e) override;   ///< empieza el arrastre
    void mouseMoveEvent(QMouseEvent* e) override;    ///< mueve la ventana si se arrastra
    void mouseReleaseEvent(QMouseEvent* e) override; ///< acaba el arrastre
    // @}

private:
    Ventana();
    void ponerBarra(float valor);

    EstadoProgreso estado_;
    QPoint arrastre_;
    bool arrastrando_ = false;
    bool escalada_ = false;
};

} // namespace Progreso
