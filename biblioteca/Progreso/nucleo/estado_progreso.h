#pragma once
// Regla de refresco y textos de la ventana de progreso, sin ventanas.
//
// Las actualizaciones son baratas: solo una de cada (máximo / 100) llamadas refresca la
// vista, además de la primera tras el arranque, la del valor final y las forzadas.

#include <QString>

#include <optional>

namespace Progreso {

/// Lo que hay que mostrar tras una actualización que refresca.
struct Refresco {
    std::optional<float> valorBarra;   ///< posición de la barra; vacío: la barra no cambia
    std::optional<QString> porcentaje; ///< p. ej. "45,50 %"
    QString transcurrido;              ///< hh:mm:ss
    std::optional<QString> estimado;   ///< duración total estimada; vacío: no cambia
};

class EstadoProgreso {
public:
    /// Arranque: rango de la barra (si Maximo ≤ Minimo, el máximo es Minimo + 1) y hora de
    /// inicio en segundos desde medianoche.
    void iniciar(float Minimo, float Maximo, double reloj);
    /// Una actualización con la posición Valor. Devuelve qué mostrar si toca refrescar.
    std::optional<Refresco> actualizar(float Valor, bool ForzarVision, double reloj);

    float minimo() const { return minimo_; }
    float maximo() const { return maximo_; }

private:
    float minimo_ = 0;
    float maximo_ = 100;
    double inicio_ = 0;
    bool marcaInicio_ = false;
    float pasos_ = 0;
    float transcurridos_ = 0;
};

/// Porcentaje con el patrón "#.00 " y el signo: sin cero delante de la coma (",50 %").
QString TextoPorcentaje(double porcentaje);

} // namespace Progreso
