#pragma once
// Forma de ver y forma de editar de los valores de un campo según su descriptor.
//
// Mientras se edita, un campo tiene la forma de edición (números con "." decimal y sin
// millares, fechas "dd/mm/yyyy"); al dejarlo, la forma de ver (importes con millares y sus
// decimales, fechas con nombre del mes, cuentas de ocho cifras, horas "HH:MM"...).

#include <QDate>
#include <QString>

namespace rutinas {

/// Fecha de trabajo: pone el mes y el año que faltan al completar una fecha. Nula hasta que
/// se necesita por primera vez; entonces, la de hoy. La aplicación puede cambiarla.
extern QDate FechaTrabajo;

/// Hoy como "dd/mm/yyyy".
QString FechaHoy();

/// Completa una fecha tecleada con el mes y el año de FechaTrabajo: "5" → "5/12/2026",
/// "0503" → "05/03/2026", "050326" → "05/03/26", "5/" → "5/12/2026", "5/3" → "5/3/2026",
/// "5/3/" → "5/3/2026". Devuelve "" si el resultado no es una fecha válida (día/mes/año).
QString CompletarFecha(const QString& Texto);

/// true si el campo es de fecha (tipo "F" o "f") y Texto, que no está en blanco, no se completa
/// a una fecha que exista ("31/02/2024", "32"): al salir, el campo se queda vacío. No avisa
/// de elementos ausentes del descriptor.
bool FechaQueNoExiste(const QString& Texto, const QString& Tag);

/// Expande en su sitio un código de cuenta contable a ocho cifras: el "." vale tantos ceros
/// como falten ("43.15" → "43000015"); sin "." los ceros van tras el prefijo (dos cifras si
/// empieza por 40, 41, 43 o 44; tres si no: "4315" → "43000015", "5721" → "57200001"); con
/// una o dos cifras se rellena por la derecha ("43" → "43000000"). Un texto en blanco se deja.
void ExpandirCuenta(QString& Texto);

/// Forma de ver de Texto según el descriptor Tag (lee T, L y A, que son obligatorios).
QString FormatoVisual(const QString& Texto, const QString& Tag);

/// Forma de edición de Texto según el descriptor Tag (lee T): "1.234,50" → "1234.50" en un
/// campo numérico de dos decimales, "07 dic 2026" → "07/12/2026" en uno de fecha. Un texto
/// que no se entiende como número o fecha se devuelve tal cual.
QString FormatoEdicion(const QString& Texto, const QString& Tag);

/// Decimales de un campo numérico: el valor de D, o "2" si no tiene, leído como número y
/// llevado al entero más próximo (la mitad al par).
int DecimalesNumero(const QString& Tag);

} // namespace rutinas
