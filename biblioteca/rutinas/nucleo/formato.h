#pragma once
// Números y fechas con las convenciones de España, sea cual sea la configuración regional del
// proceso: "." agrupa los millares (desde cuatro cifras: 1.234), "," separa los decimales,
// meses "ene feb mar ..." y "enero febrero ...", orden día/mes/año, años de dos cifras 00–29
// como 2000–2029 y 30–99 como 1930–1999.
//
// Sin ventanas: lo usan los campos, las rejillas, la calculadora y los cuadros de entrada.

#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>

namespace rutinas {

/// Lectura numérica de un texto, independiente de la configuración regional: salta blancos,
/// tabuladores y saltos de línea estén donde estén; toma un signo opcional, cifras con "."
/// como único punto decimal y un exponente opcional ("E" o "D", signo opcional y cifras)
/// hasta el primer otro carácter. Un texto sin número (o un valor que no cabe en un double)
/// da 0. "12.5kg" da 12.5; " - 3 E2" da -300; "1.234,50" da 1.234.
double ValorNumerico(QStringView texto);

/// Lee un texto escrito como número en español: "1.234,50", "-0,5", "1234". Los "." son
/// separadores de millares cuando hay "," o cuando agrupan de tres en tres ("1.234");
/// un único "." que no agrupa se toma como punto decimal ("1234.5", "12.5"), para no
/// multiplicar por diez un valor ya escrito con punto. Sin cifras, o con otros caracteres,
/// no hay número.
std::optional<double> LeerNumeroLocal(QStringView texto);

/// Patrón numérico ya analizado: prefijo literal, parte entera ("#", "0", "," de millares),
/// "." opcional con decimales "0" (obligatorios) y "#" (opcionales), sufijo literal.
struct PatronNumero {
    QString prefijo;
    QString sufijo;
    int enterosMinimos = 0;  ///< cuántos "0" tiene la parte entera
    bool agrupar = false;    ///< la parte entera lleva ","
    bool punto = false;      ///< el patrón lleva "." (se escribe "," aunque no haya decimales)
    int decimalesFijos = 0;  ///< "0" tras el punto
    int decimalesLibres = 0; ///< "#" tras el punto: solo si no son ceros

    /// Analiza patrones como "#,##0.00", "#.00 ", "0.00", "#,##0", "#.".
    static PatronNumero Analizar(QStringView patron);
    /// "#,##0" con decimales <= 0; "#,##0." seguido de tantos "0" como decimales si no.
    static PatronNumero Importe(int decimales);
};

/// Escribe el valor con el patrón, redondeando la mitad lejos del cero sobre sus 15 cifras
/// significativas (1.005 con dos decimales da "1,01"). Un cero tras redondear no lleva signo.
/// Un valor infinito o no numérico da "".
QString FormatearNumero(double valor, const PatronNumero& patron);
QString FormatearNumero(double valor, QStringView patron);

/// Nombres de los meses (1 a 12): abreviado "ene" ... "dic" y completo "enero" ... "diciembre".
QString MesAbreviado(int mes);
QString MesCompleto(int mes);

/// Escribe una fecha con un patrón de fechas: d, dd, ddd, dddd (día, con cero, día de la
/// semana abreviado y completo), m, mm, mmm, mmmm, yy, yyyy; lo demás se copia tal cual.
/// "dd mmm yyyy" da "07 dic 2026"; "dd mmmm" da "07 diciembre". Una fecha nula da "".
QString FormatearFecha(QDate fecha, QStringView patron);

/// Año de dos cifras (o de una) llevado a cuatro: 0–29 a 2000–2029, 30–99 a 1930–1999.
/// Los años de tres o más cifras se dejan como están.
int AnioCompleto(int anio);

/// Lee un texto escrito como fecha en español: día, mes y año separados por "/", "-", "." o
/// blancos; el mes en cifras o por su nombre (abreviado o completo, sin distinguir
/// mayúsculas); sin año, el año dado (0: el año en curso). También año/mes/día con el año de cuatro
/// cifras delante. Sin fecha válida, nada.
std::optional<QDate> LeerFechaLocal(QStringView texto, int anioSinAnio);

/// Redondeo de un número a entero con la mitad al par (15.5 da 16, 16.5 da 16), limitado al
/// intervalo de un entero de 16 bits con signo.
short EnteroCorto(double valor);

} // namespace rutinas
