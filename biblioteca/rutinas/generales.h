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

/// Dónde mira la biblioteca las impresoras: por omisión, las colas del sistema y la
/// impresora actual que guarda la biblioteca (la predeterminada del sistema hasta que el
/// usuario elige otra en la ventana de impresora). Las pruebas ponen otra.
class Impresoras {
public:
    virtual ~Impresoras();
    /// Nombres de las impresoras instaladas, en el orden del sistema.
    virtual QStringList Nombres() const = 0;
    /// Nombre de la impresora actual de la aplicación.
    virtual QString Actual() const = 0;
};
/// Cambia la fuente de impresoras; nullptr vuelve a la de la biblioteca.
void PonerImpresoras(std::unique_ptr<Impresoras> impresoras);

/// Da el foco al control; si no puede (oculto, desactivado, destruido) no hace nada.
void PonerFoco(QWidget* Objeto);

} // namespace rutinas
