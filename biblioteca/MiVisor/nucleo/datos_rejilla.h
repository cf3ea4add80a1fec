#pragma once
// Contenido de una rejilla flexible, sin ventanas: textos de las celdas, altos de fila y
// ordenación. La fila 0 es la fila de títulos (la única fija); las filas de datos van de 1 a
// Rows() - 1. Las columnas se cuentan desde 0 y no hay columnas fijas.

#include <QList>
#include <QString>

#include <vector>

namespace MiVisor {

/// Modos de ordenación de la rejilla (los valores de la propiedad Sort).
enum class ModoOrden {
    GenericoAscendente = 1,  ///< dos números se comparan como números; lo demás como texto
    GenericoDescendente = 2, ///< lo mismo, al revés
    TextoSinMayusculas = 5,  ///< texto en orden alfabético español, sin distinguir mayúsculas
};

class DatosRejilla {
public:
    DatosRejilla();

    int Rows() const { return static_cast<int>(filas_.size()); }
    int Cols() const { return cols_; }
    /// Cambia el número de filas (al menos 1, la de títulos). Las nuevas llegan vacías y con
    /// el alto por omisión; las que sobran se pierden.
    void setRows(int n);
    /// Cambia el número de columnas (al menos 1) en todas las filas.
    void setCols(int n);

    /// Texto de la celda; vacío fuera de la rejilla.
    const QString& TextMatrix(int fila, int col) const;
    /// Pone el texto de la celda. Devuelve false (sin cambiar nada) fuera de la rejilla.
    bool setTextMatrix(int fila, int col, const QString& texto);

    /// Alto de la fila en twips: -1 el de omisión, 0 oculta.
    int RowHeight(int fila) const;
    bool setRowHeight(int fila, int alto);
    bool oculta(int fila) const { return RowHeight(fila) == 0; }

    /// Vacía el texto de todas las celdas (títulos incluidos) sin cambiar filas ni columnas.
    void Clear();
    /// Quita una fila de datos (no la de títulos). False si no existe.
    bool quitarFila(int fila);

    /// Ordena las filas de datos según la columna col. Cada fila se mueve entera, con su
    /// alto. La ordenación es estable: filas iguales conservan su orden relativo.
    void ordenar(int col, ModoOrden modo);

private:
    struct Fila {
        QList<QString> celdas;
        int alto = -1;
    };
    std::vector<Fila> filas_;
    int cols_ = 2;
    static const QString vacio_;
};

/// Lectura de un texto como número para la ordenación genérica: admite espacios alrededor,
/// signo, cifras con "." o "," decimal y exponente, y nada más. Devuelve false si el texto
/// no es entero un número.
bool LeerNumeroOrden(const QString& texto, double& valor);

} // namespace MiVisor
