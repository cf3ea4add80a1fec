#pragma once
// Rutinas de la suite sobre la rejilla flexible: columnas y títulos desde una lista de
// títulos, lectura y escritura de celdas, vaciado, ordenación según el tipo de columna,
// marca de la columna ordenada y búsqueda de una columna por su título. No guardan estado:
// todo vive en la rejilla que reciben.
//
// Lista de títulos: elementos separados por "|" o ";" (";" si aparecen los dos). Cada
// elemento: "<" o ">" opcional al principio (alineación del título: izquierda o derecha; sin
// él, centrado), el título, "#" y un ancho en caracteres opcional (120 twips por carácter) y
// "=" o ">" opcional al final (datos centrados o a la derecha; sin él, a la izquierda).
// Ejemplo: "#0;Nombre#34;Teléfono#18" (una columna oculta y dos visibles).
//
// Tipos de columna: la letra de la posición c + 1 del Tag de la rejilla; "F" fecha, "I"
// importe, cualquier otra (o ninguna) texto.
//
// Una columna que la rejilla no tiene (o una fila que no existe, al leer) lanza
// basicos::ErrorZoq, como la rejilla cuando se le pide una celda fuera de ella.

#include <QString>

namespace MiVisor {

class Rejilla;

void DefinirColumnas(Rejilla& rejilla, const QString& Titulos);
/// Número de columnas que DefinirColumnas sacará de la lista de títulos.
int ContarColumnas(const QString& Titulos);
void DefinirColumna(Rejilla& rejilla, int fila, int col, const QString& elemento);

/// Lanza basicos::ErrorZoq si la rejilla no tiene la columna `col`. Las rutinas que usan una
/// columna la comprueban así; también quien guarda una para usarla más tarde.
void ComprobarColumna(const Rejilla& rejilla, int col);

QString LeerCelda(const Rejilla& rejilla, int fila, int col);
/// Pone el texto en la celda, haciendo crecer la rejilla si la fila no existe. Con Acumular,
/// suma el importe al que ya tiene la celda y lo escribe con "#,##0.00"; una suma cero deja
/// la celda vacía salvo con MostrarCeros.
void PonerCelda(Rejilla& rejilla, int fila, int col, const QString& valor, bool Acumular = false,
                bool MostrarCeros = false);
/// Vacía las celdas de datos; el número de filas no cambia.
void VaciarRejilla(Rejilla& rejilla);
/// Quita la fila; si es la única de datos, la deja vacía.
void QuitarFila(Rejilla& rejilla, int fila);

/// Ordena de forma ascendente por la columna c (-1: la actual) según su tipo. Con Marcar,
/// pone en rojo el título de cMarca (-1: la columna ordenada) y en negro los demás.
void OrdenarColumna(Rejilla& rejilla, int c = -1, bool Marcar = false, int cMarca = -1);
/// Ordena la columna actual como fechas; las celdas que no son fecha quedan vacías y las
/// demás vuelven escritas con Formato.
void OrdenarFechas(Rejilla& rejilla, const QString& Formato = QStringLiteral("dd/mm/yyyy"),
                   bool Descendente = false);
/// Ordena la columna actual como importes; las celdas que valen cero (o no son número)
/// quedan vacías y las demás vuelven escritas con Formato.
void OrdenarImportes(Rejilla& rejilla, const QString& Formato = QStringLiteral("#,##0.00"),
                     bool Descendente = false);

/// Columna cuyo título es exactamente Titulo, o n si Titulo es "#n", sin mirar los títulos ni
/// si la rejilla tiene esa columna (lo comprueban las rutinas que la usan). Si ningún título es
/// Titulo: -1 con Silencioso; si no, avisa con un mensaje y devuelve 0.
int BuscarColumna(Rejilla& rejilla, const QString& Titulo, bool Silencioso = false);
/// Pone en rojo el título de la columna c y en negro los de las demás.
void MarcarColumna(Rejilla& rejilla, int c);

} // namespace MiVisor
