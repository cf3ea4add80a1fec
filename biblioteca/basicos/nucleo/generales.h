#pragma once
// Rutinas generales sin ventanas del módulo basicos: ficheros de texto por líneas, existencia
// de rutas y segundos como hora de reloj.

#include <QString>
#include <QStringList>

namespace basicos {

/// Lee un fichero de texto por líneas (fin de línea CR LF, LF o CR; un último fin de línea
/// no da una línea vacía). Las líneas van de la entrada 1 en adelante; la 0 queda vacía.
/// - Maximo > 0: se leen como mucho Maximo líneas; 0 lee todas.
/// - Salvo con Maximo −1, Lineas se rehace y queda con las entradas 0 a n (n líneas leídas);
///   con −1 se escribe sobre lo que ya tenía, creciendo si hace falta.
/// El texto está en UTF-8 o, si no lo es, en el juego de Windows (Windows-1252).
/// Si el fichero no existe o no se puede leer, Leido = false y Lineas no cambia.
void LeerLineas(const QString& Fichero, QStringList& Lineas, short Maximo, bool& Leido);

/// true si la ruta existe (con SoloCarpeta, si además es una carpeta). Nunca falla: una
/// ruta vacía o inaccesible da false.
bool Existe(const QString& Ruta, bool SoloCarpeta = false);

/// Segundos (su parte entera) como "hh:mm:ss": 3725.9 → "01:02:05". Las horas de 100 o más
/// conservan solo sus dos últimas cifras.
QString HorasMinutosSegundos(float Segundos);

/// Partición de un texto en líneas con los fines CR LF, LF y CR.
QStringList PartirLineas(const QString& texto);

} // namespace basicos
