#pragma once
// Factores de escala de la suite: cada ventana se diseña a un tamaño (en twips, 1/1440 de
// pulgada) y se agranda o encoge por los mismos factores en todas. La ventana principal los
// calcula una vez (EscalarFormulario sin usar factores) y las demás los aplican.

namespace rutinas {

/// Factor horizontal; 0 mientras no se haya calculado.
extern float FactorX;
/// Factor vertical; 0 mientras no se haya calculado; tras calcularlo, igual a FactorX.
extern float FactorY;
/// Si es true no se cambia ningún tamaño: las tres rutinas de escala devuelven su argumento.
extern bool SinEscalar;

/// Valor × FactorX, o Valor si FactorX es 0 o SinEscalar.
float EscalaX(float Valor);
/// Valor × FactorY, o Valor si FactorY es 0 o SinEscalar.
float EscalaY(float Valor);
/// Tamaño de letra: Valor × (FactorX + FactorY) / 2, o Valor si algún factor es 0 o SinEscalar.
float EscalaFuente(float Valor);

/// Factores para llevar una ventana de ancho × alto twips a objetivoX × objetivoY twips:
/// cada uno objetivo × 100 / tamaño / 100 y después ambos el menor, para que la ventana
/// conserve sus proporciones y quepa en las dos direcciones. Los deja en FactorX y FactorY.
/// Con un ancho o un alto que no sea positivo no cambia nada.
void CalcularFactores(float ancho, float alto, float objetivoX, float objetivoY);

/// Objetivo de una dirección cuando no se pide tamaño: a medio camino entre el tamaño de la
/// ventana y el del área de trabajo.
float ObjetivoPorOmision(float tamano, float areaTrabajo);

/// Nueva posición izquierda de un control: EscalaX de la actual, salvo que esté aparcado
/// fuera de la vista (por debajo de −50000), que se escala su posición visible (+75000) y
/// sigue aparcado: −74000 con factor 1,5 da −73500.
float EscalarIzquierda(float izquierda);

/// Posición que centra un tamaño en el área de trabajo: (area − tamano) / 2 + 1.
float PosicionCentrada(float areaTrabajo, float tamano);

/// Rejilla cuyas columnas se escalan con la ventana: la clase de rejilla de la biblioteca
/// la implementa y EscalarFormulario escala el ancho de cada columna (en twips).
class AnchosDeColumna {
public:
    virtual ~AnchosDeColumna();
    /// Número de columnas.
    virtual int Cols() const = 0;
    /// Ancho de la columna `columna` (0 a Cols() − 1), en twips.
    virtual int ColWidth(int columna) const = 0;
    /// Cambia el ancho de la columna `columna`, en twips.
    virtual void setColWidth(int columna, int twips) = 0;
};

} // namespace rutinas
