#include "Progreso/nucleo/estado_progreso.h"

#include "basicos/nucleo/generales.h"

#include <cmath>

namespace Progreso {

QString TextoPorcentaje(double porcentaje) {
    const long long centesimas = std::llround(std::fabs(porcentaje) * 100.0);
    const long long entera = centesimas / 100;
    QString texto = porcentaje < 0 && centesimas != 0 ? QStringLiteral("-") : QString();
    if (entera != 0)
        texto += QString::number(entera);
    texto += u',' + QString::number(centesimas % 100 + 100).right(2);
    return texto + QStringLiteral(" %");
}

void EstadoProgreso::iniciar(float Minimo, float Maximo, double reloj) {
    maximo_ = Maximo <= Minimo ? Minimo + 1 : Maximo;
    minimo_ = Minimo;
    inicio_ = reloj;
    marcaInicio_ = true;
}

std::optional<Refresco> EstadoProgreso::actualizar(float Valor, bool ForzarVision, double reloj) {
    if (marcaInicio_) {
        pasos_ = maximo_;
        marcaInicio_ = false;
    }
    pasos_ += 1;
    if (!(pasos_ >= maximo_ / 100 || Valor == maximo_ || ForzarVision))
        return std::nullopt;

    Refresco r;
    if (minimo_ <= Valor && Valor <= maximo_)
        r.valorBarra = Valor;
    if (maximo_ != 0)
        r.porcentaje = TextoPorcentaje(static_cast<double>(Valor) * 100 / maximo_);
    pasos_ = 0;
    transcurridos_ = static_cast<float>(reloj - inicio_);
    r.transcurrido = basicos::HorasMinutosSegundos(transcurridos_);
    if (Valor > 0)
        r.estimado = basicos::HorasMinutosSegundos(maximo_ * transcurridos_ / Valor);
    return r;
}

} // namespace Progreso
