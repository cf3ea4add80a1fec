#pragma once
// Rutinas generales sin ventanas: importes para rejillas y listados, texto entre los juegos
// de caracteres de DOS (OEM, página 850) y de Windows (ANSI, Windows-1252), listas de
// opciones y la impresora actual entre las instaladas.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace rutinas {

/// Si es true, ConvertirOem solo cambia los NUL por blancos y no convierte nada.
extern bool SinConversionOem;

/// Valor (lectura numérica) escrito con Formato en español; un Formato vacío es "#,##0.00" y
/// el llamador lo recibe así. Con VerCeros false, un valor 0 da "" (celda vacía).
QString FormatoNumero(const QString& Valor, QString& Formato, bool VerCeros = true);

/// Valor (leído como número escrito en español: "1234,5", "1.234,50") escrito con Formato
/// (vacío: "0.00", que el llamador recibe), alineado a la derecha en Ancho caracteres si
/// Ancho ≥ 1, y con su primera "," cambiada por ".": "1234,5" → "   1234.50" con Ancho 10.
/// Un Valor que no es un número se deja como está (salvo la alineación y la ",").
QString NumeroConPunto(const QString& Valor, short Ancho, QString& Formato);

/// Cambia los NUL por blancos y, salvo con SinConversionOem, convierte: Sentido "win" (sin
/// distinguir mayúsculas) de DOS a Windows, "dos" de Windows a DOS, otro no convierte.
/// El lado DOS es un texto cuyos caracteres son los bytes de página 850 leídos como
/// Windows-1252 (lo que da leer un fichero de DOS como si fuera de Windows); los caracteres
/// que la página 850 no tiene (como "€") salen como "?".
QString ConvertirOem(const QString& Texto, const QString& Sentido);

/// Texto en bytes de página 850 ("?" por lo que no tiene) y al revés.
QByteArray TextoAOem(const QString& texto);
QString OemATexto(QByteArrayView bytes);
/// Texto en bytes de Windows-1252 ("?" por lo que no tiene) y al revés.
QByteArray TextoAAnsi(const QString& texto);
QString AnsiATexto(QByteArrayView bytes);

/// Entradas de una lista de opciones: separadas por ";" si la hay, si no por "<<"; sin
/// separador, una sola. Un separador al final no da una entrada vacía.
QStringList PartirLista(const QString& Lista);

/// Posición de `actual` entre los nombres de impresora; 0 si no está.
short IndiceEnImpresoras(const QStringList& nombres, const QString& actual);

} // namespace rutinas
