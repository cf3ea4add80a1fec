#pragma once
// Rutinas generales de rutinas que trabajan sobre controles o sobre la plataforma. Las que no
// necesitan ventanas están en rutinas/nucleo/generales.h.

#include "rutinas/nucleo/generales.h"

#include <QString>
#include <QStringList>
#include <memory>

class QComboBox;
class QWidget;

namespace rutinas {

/// Rellena el combinado con las entradas de Lista: "@" seguido de un nombre de fichero toma
/// cada línea del fichero (sin fichero, lista vacía); si no, entradas separadas por ";" o,
/// si no hay ";", por "<<".
void LlenarLista(const QString& Lista, QComboBox* Combo);

/// Posición de la impresora actual de la aplicación entre las instaladas; 0 si no está.
short IndiceImpresora();

/// Impresora actual de la aplicación: la predeterminada del sistema mientras nadie elija
/// otra. El selector de impresora la cambia con PonerImpresoraActual.
QString ImpresoraActual();
void PonerImpresoraActual(const QString& nombre);

/// Dónde mira la biblioteca las impresoras instaladas (la del sistema por omisión; las
/// pruebas ponen otra).
class Impresoras {
public:
    virtual ~Impresoras();
    /// Nombres de las impresoras instaladas, en el orden del sistema.
    virtual QStringList Nombres() const = 0;
    /// Nombre de la predeterminada ("" si no hay).
    virtual QString Predeterminada() const = 0;
};
/// Cambia la fuente de impresoras; nullptr vuelve a la del sistema. La impresora actual
/// vuelve a ser la predeterminada de la nueva fuente.
void PonerImpresoras(std::unique_ptr<Impresoras> impresoras);

/// Da el foco al control; si no puede (oculto, desactivado, destruido) no hace nada.
void PonerFoco(QWidget* Objeto);

} // namespace rutinas
