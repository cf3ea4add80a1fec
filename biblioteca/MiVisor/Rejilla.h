#pragma once
// Rejilla flexible de la suite sobre el modelo/vista de Qt.
//
// La fila 0 es la de títulos (FixedRows 1) y se muestra como cabecera de la vista; las filas
// de datos, de 1 a Rows() - 1, son las filas de la vista. No hay columnas fijas (FixedCols 0).
// Anchos y altos van en twips (1/1440 de pulgada). Las filas de alto 0 se ocultan a través de
// un modelo filtro, no una a una en la vista, y los cambios se publican a la vista de una
// vez: al volver Redraw a true o en la siguiente vuelta del bucle de eventos. Por eso la
// rejilla sigue ágil con cien mil filas.

#include "MiVisor/nucleo/datos_rejilla.h"
#include "rutinas/nucleo/escalado.h"

#include <QTableView>

#include <vector>

namespace MiVisor {

class ModeloRejilla;
class FiltroFilas;

/// Rejilla de filas y columnas con la interfaz del control de rejilla de la suite: la fila 0
/// es la de títulos, las medidas van en twips y se alimenta con PonerCelda o TextMatrix.
class Rejilla : public QTableView, public rutinas::AnchosDeColumna {
    Q_OBJECT
public:
    /// @name Construcción
    // @{
    /// Crea la rejilla con una fila de títulos y una columna, vacías.
    explicit Rejilla(QWidget* padre = nullptr);
    ~Rejilla() override;
    // @}

    /// @name Dimensiones
    // @{
    /// Filas, contando la de títulos; nunca baja de 1.
    int Rows() const { return datos_.Rows(); }
    void setRows(int n);
    /// Columnas; nunca baja de 1.
    int Cols() const override { return datos_.Cols(); }
    void setCols(int n);                ///< cambia el número de columnas
    int FixedRows() const { return 1; } ///< filas fijas: la de títulos
    int FixedCols() const { return 0; } ///< columnas fijas: ninguna
    // @}

    /// @name Selección
    // @{
    /// Celda actual: fila y columna.
    int Row() const { return fila_; }
    void setRow(int fila);
    int Col() const { return col_; } ///< columna de la celda actual
    void setCol(int col);            ///< cambia la columna de la celda actual
    /// Fin del rango seleccionado (el principio es la celda actual).
    int RowSel() const { return filaSel_; }
    int ColSel() const { return colSel_; } ///< columna del fin del rango seleccionado
    void setRowSel(int fila);              ///< cambia la fila del fin del rango
    void setColSel(int col);               ///< cambia la columna del fin del rango
    // @}

    /// @name Puntero
    // @{
    /// Fila y columna bajo el puntero en la última pulsación (0 = fila de títulos).
    int MouseRow() const { return filaRaton_; }
    int MouseCol() const { return colRaton_; }
    // @}

    /// @name Texto de las celdas
    // @{
    /// Lee o escribe el texto de la celda (fila, col); la fila 0 es la de títulos.
    QString TextMatrix(int fila, int col) const { return datos_.TextMatrix(fila, col); }
    void setTextMatrix(int fila, int col, const QString& texto);
    // @}

    /// @name Medidas
    // @{
    /// Ancho de columna en twips; 0 la oculta.
    int ColWidth(int col) const override;
    void setColWidth(int col, int twips) override; ///< cambia el ancho; 0 oculta la columna
    /// Alto de fila en twips: -1 el de omisión, 0 oculta la fila.
    int RowHeight(int fila) const { return datos_.RowHeight(fila); }
    void setRowHeight(int fila, int twips); ///< cambia el alto; -1 el de omisión, 0 la oculta
    // @}

    /// @name Alineaciones
    // @{
    /// Alineación de una columna (en sus datos, o en su título con Fixed), con los códigos de
    /// la rejilla: 0-8 = (izquierda, centro, derecha) × 3 + (arriba, centro, abajo);
    /// 1 izquierda, 4 centro, 7 derecha; 9 general (números a la derecha, texto a la
    /// izquierda).
    int ColAlignment(int col) const;
    void setColAlignment(int col, int codigo);
    int FixedAlignment(int col) const;
    void setFixedAlignment(int col, int codigo);
    // @}

    /// @name Color
    // @{
    /// Color del texto de la celda actual, como valor RGB de la plataforma (0x00BBGGRR:
    /// 255 rojo, 0 negro). Se guarda para las celdas de la fila de títulos; en las de datos
    /// no tiene efecto.
    int CellForeColor() const;
    void setCellForeColor(int color);
    // @}

    /// @name Repintado
    // @{
    /// Con Redraw false la vista no se repinta ni recibe cambios hasta que vuelva a true.
    bool Redraw() const { return redraw_; }
    void setRedraw(bool redibujar);
    bool Visible() const { return !isHidden(); } ///< true si la rejilla no está oculta
    // @}

    /// @name Propiedades del control
    // @{
    /// El Tag del control (la misma propiedad que leen las rutinas de la suite).
    QString Tag() const { return property("Tag").toString(); }
    void setTag(const QString& tag) { setProperty("Tag", tag); }
    /// Nombre del control (el objectName).
    QString Name() const { return objectName(); }
    // @}

    /// Vacía todas las celdas, títulos incluidos; filas y columnas no cambian.
    void Clear();
    /// Ordena las filas de datos por la columna actual (1, 2 o 5; ver ModoOrden).
    void setSort(int modo);
    /// Quita la fila de datos indicada (la fila 0 no se quita).
    void RemoveItem(int fila);

    /// Texto del rango seleccionado: celdas separadas por TAB y filas por CR.
    QString Clip() const;

    /// Publica ya en la vista los cambios pendientes (normalmente lo hace el bucle de
    /// eventos). Útil antes de leer la vista directamente.
    void Refrescar();

    /// Los datos de la rejilla, sin la vista.
    const DatosRejilla& datos() const { return datos_; }
    /// Índice de la vista que muestra la celda (fila, col), o inválido si no se ve.
    QModelIndex indiceVista(int fila, int col) const;

signals:
    /// Clic del botón izquierdo en una celda de datos.
    void Click();
    /// Doble clic del botón izquierdo en una fila de datos.
    void DblClick();
    /// Pulsación de un botón del ratón: 1 izquierdo, 2 derecho, 4 central.
    void MouseDown(int boton);
    /// Cambió la celda actual.
    void RowColChange();
    /// Cambió el rango seleccionado.
    void SelChange();

protected:
    /// Anota la celda bajo el puntero; el botón derecho o el central no mueven la actual.
    void mousePressEvent(QMouseEvent* e) override;
    /// Al soltar el izquierdo sobre una celda de datos, Click.
    void mouseReleaseEvent(QMouseEvent* e) override;
    /// Doble clic del izquierdo sobre una fila de datos, DblClick.
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    /// Ctrl+C copia el rango seleccionado (Clip).
    void keyPressEvent(QKeyEvent* e) override;
    /// Recibir el foco no cambia la celda actual.
    void focusInEvent(QFocusEvent* e) override;
    /// Al perder el foco deja de verse el marco del foco.
    void focusOutEvent(QFocusEvent* e) override;
    /// Con el foco y sin celda actual (la actual es la fila de títulos), la rejilla se ve con
    /// el marco del foco alrededor de las filas: quien usa el teclado sabe dónde está, y las
    /// flechas eligen fila.
    void paintEvent(QPaintEvent* e) override;

private:
    friend class ModeloRejilla;
    enum Cambio : unsigned {
        Textos = 1,
        Titulos = 2,
        FilasAnadidas = 4,
        Estructura = 8,
        Altos = 16,
    };
    void anotar(unsigned cambio);
    void aplicarColumnas();
    void aplicarAltos();
    void sincronizarActual();
    void actualChanged(const QModelIndex& actual);
    void ratonEn(const QPoint& punto);
    int twipsAPixeles(int twips) const;

    DatosRejilla datos_;
    ModeloRejilla* modelo_;
    FiltroFilas* filtro_;
    std::vector<int> anchos_;
    std::vector<int> alinDatos_;
    std::vector<int> alinTitulos_;
    std::vector<int> colorTitulos_;
    int fila_ = 1, col_ = 0, filaSel_ = 1, colSel_ = 0;
    int filaRaton_ = 0, colRaton_ = 0;
    bool redraw_ = true;
    unsigned pendiente_ = 0;
    bool publicacionProgramada_ = false;
    bool sincronizando_ = false;
    bool hayAltosPropios_ = false;
    bool dobleClic_ = false;
};

} // namespace MiVisor
