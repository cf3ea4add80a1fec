#pragma once
// La impresora actual de la biblioteca: la cola por omisión del sistema con sus opciones por
// omisión (entre ellas la orientación), que los programas usan para imprimir. El acceso a las
// colas del sistema queda tras este pequeño interfaz.

#include <QString>
#include <QStringList>

class QPrinter;

namespace Impresora {

/// Nombres de las impresoras instaladas, en el orden del sistema.
QStringList NombresImpresoras();

/// La impresora actual. La primera vez se toma la cola por omisión del sistema.
QPrinter& ImpresoraActual();
/// Orientación de la impresora actual: 1 vertical, 2 apaisada.
int OrientacionActual();
/// Vuelve a tomar la cola por omisión del sistema (tras cambiar de servidor de impresión).
void ReiniciarImpresoraActual();

/// Por qué la cola `cola` no admitiría ahora un trabajo ("no admite trabajos", "no existe");
/// vacío si lo admite o si no se puede saber.
QString RechazoDeLaCola(const QString& cola);
/// Tras imprimir en una cola del sistema, por qué rechazó el trabajo el sistema de impresión;
/// vacío si lo admitió. Mira la última petición que hizo este hilo al sistema de impresión:
/// se llama justo después de terminar de imprimir.
QString RechazoDelTrabajo();

} // namespace Impresora
