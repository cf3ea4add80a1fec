#include "rutinas/nucleo/escalado.h"

namespace rutinas {

float FactorX = 0;
float FactorY = 0;
bool SinEscalar = false;

AnchosDeColumna::~AnchosDeColumna() = default;

float EscalaX(float Valor) {
    if (FactorX == 0 || SinEscalar)
        return Valor;
    return Valor * FactorX;
}

float EscalaY(float Valor) {
    if (FactorY == 0 || SinEscalar)
        return Valor;
    return Valor * FactorY;
}

float EscalaFuente(float Valor) {
    if (FactorX == 0 || FactorY == 0 || SinEscalar)
        return Valor;
    return Valor * (FactorX + FactorY) / 2;
}

void CalcularFactores(float ancho, float alto, float objetivoX, float objetivoY) {
    if (!(ancho > 0) || !(alto > 0))
        return; // una ventana sin tamaño no da factores
    FactorX = objetivoX * 100 / ancho / 100;
    FactorY = objetivoY * 100 / alto / 100;
    if (FactorX > FactorY)
        FactorX = FactorY;
    else
        FactorY = FactorX;
}

float ObjetivoPorOmision(float tamano, float areaTrabajo) {
    return tamano + (areaTrabajo - tamano) / 2;
}

float EscalarIzquierda(float izquierda) {
    if (izquierda < -50000)
        return EscalaX(izquierda + 75000) - 75000;
    return EscalaX(izquierda);
}

float PosicionCentrada(float areaTrabajo, float tamano) {
    return (areaTrabajo - tamano) / 2 + 1;
}

} // namespace rutinas
