#include "MiVisor/Rejilla.h"

#include "basicos/pantalla.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSortFilterProxyModel>

#include <algorithm>
#include <cmath>

namespace MiVisor {

namespace {

constexpr int AnchoOmision = 960; // twips
constexpr int AlineacionGeneral = 9;

Qt::Alignment alineacionQt(int codigo, const QString& texto) {
    if (codigo < 0 || codigo > 8) {
        double v;
        return Qt::AlignVCenter | (LeerNumeroOrden(texto, v) ? Qt::AlignRight : Qt::AlignLeft);
    }
    static const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    static const Qt::Alignment vertical[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    return horizontal[codigo / 3] | vertical[codigo % 3];
}

QColor colorPlataforma(int bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

} // namespace

// Cara de la rejilla ante la vista: las filas de datos publicadas (sin la de títulos, que va
// en la cabecera). Lee los textos directamente del contenido de la rejilla.
class ModeloRejilla : public QAbstractTableModel {
public:
    explicit ModeloRejilla(Rejilla& r) : QAbstractTableModel(&r), r_(r) {}

    int rowCount(const QModelIndex& padre = {}) const override {
        return padre.isValid() ? 0 : filas_;
    }
    int columnCount(const QModelIndex& padre = {}) const override {
        return padre.isValid() ? 0 : cols_;
    }
    QVariant data(const QModelIndex& i, int rol) const override {
        if (!i.isValid())
            return {};
        const int fila = i.row() + 1, col = i.column();
        switch (rol) {
        case Qt::DisplayRole:
            return r_.datos_.TextMatrix(fila, col);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(
                alineacionQt(r_.ColAlignment(col), r_.datos_.TextMatrix(fila, col)));
        default:
            return {};
        }
    }
    QVariant headerData(int seccion, Qt::Orientation o, int rol) const override {
        if (o != Qt::Horizontal)
            return {};
        switch (rol) {
        case Qt::DisplayRole:
            return r_.datos_.TextMatrix(0, seccion);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(
                alineacionQt(r_.FixedAlignment(seccion), r_.datos_.TextMatrix(0, seccion)));
        case Qt::ForegroundRole:
            if (seccion >= 0 && seccion < static_cast<int>(r_.colorTitulos_.size()) &&
                r_.colorTitulos_[static_cast<size_t>(seccion)] >= 0)
                return colorPlataforma(r_.colorTitulos_[static_cast<size_t>(seccion)]);
            return {};
        default:
            return {};
        }
    }
    Qt::ItemFlags flags(const QModelIndex& i) const override {
        return i.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void reiniciar() {
        beginResetModel();
        filas_ = r_.Rows() - 1;
        cols_ = r_.Cols();
        endResetModel();
    }
    void publicarFilas() {
        const int nuevas = r_.Rows() - 1;
        if (nuevas > filas_) {
            beginInsertRows({}, filas_, nuevas - 1);
            filas_ = nuevas;
            endInsertRows();
        }
    }
    void textos() {
        if (filas_ > 0 && cols_ > 0)
            emit dataChanged(index(0, 0), index(filas_ - 1, cols_ - 1), {Qt::DisplayRole});
    }
    void titulos() { emit headerDataChanged(Qt::Horizontal, 0, cols_ - 1); }

private:
    Rejilla& r_;
    int filas_ = 1;
    int cols_ = 2;
};

// Filtro que deja fuera de la vista las filas de alto 0.
class FiltroFilas : public QSortFilterProxyModel {
public:
    FiltroFilas(const DatosRejilla& d, QObject* padre) : QSortFilterProxyModel(padre), d_(d) {
        setDynamicSortFilter(false);
    }

protected:
    bool filterAcceptsRow(int fila, const QModelIndex&) const override {
        return !d_.oculta(fila + 1);
    }

private:
    const DatosRejilla& d_;
};

Rejilla::Rejilla(QWidget* padre)
    : QTableView(padre), modelo_(new ModeloRejilla(*this)), filtro_(new FiltroFilas(datos_, this)) {
    anchos_.assign(static_cast<size_t>(Cols()), AnchoOmision);
    alinDatos_.assign(static_cast<size_t>(Cols()), AlineacionGeneral);
    alinTitulos_.assign(static_cast<size_t>(Cols()), AlineacionGeneral);
    colorTitulos_.assign(static_cast<size_t>(Cols()), -1);

    filtro_->setSourceModel(modelo_);
    setModel(filtro_);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(ContiguousSelection);
    setSelectionBehavior(SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(
        std::max(fontMetrics().height() + 4, twipsAPixeles(240)));
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(0);
    // La cabecera es la fila de títulos: pulsarla no selecciona la columna.
    disconnect(horizontalHeader(), SIGNAL(sectionPressed(int)), this, nullptr);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) {
        filaRaton_ = 0;
        colRaton_ = c;
        emit Click();
    });
    connect(horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, [this](int c) {
        filaRaton_ = 0;
        colRaton_ = c;
        emit DblClick();
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int c, int, int px) {
        // Solo los cambios del usuario; los de la propia rejilla ya dejaron el ancho en twips.
        if (!sincronizando_ && c >= 0 && c < static_cast<int>(anchos_.size()))
            anchos_[static_cast<size_t>(c)] = static_cast<int>(std::lround(basicos::TwipsX(px)));
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& actual) { actualChanged(actual); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (sincronizando_)
            return;
        const QItemSelection sel = selectionModel()->selection();
        const QModelIndex actual = currentIndex();
        if (sel.isEmpty() || !actual.isValid())
            return;
        const QItemSelectionRange& r = sel.last();
        const int pf = actual.row() == r.top() ? r.bottom() : r.top();
        const int pc = actual.column() == r.left() ? r.right() : r.left();
        const QModelIndex fin = filtro_->mapToSource(filtro_->index(pf, pc));
        if (fin.isValid()) {
            filaSel_ = fin.row() + 1;
            colSel_ = fin.column();
        }
        emit SelChange();
    });
    modelo_->reiniciar();
    aplicarColumnas();
}

Rejilla::~Rejilla() = default;

int Rejilla::twipsAPixeles(int twips) const {
    return basicos::PixelesX(twips);
}

void Rejilla::anotar(unsigned cambio) {
    pendiente_ |= cambio;
    if (redraw_ && !publicacionProgramada_) {
        publicacionProgramada_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                publicacionProgramada_ = false;
                if (redraw_)
                    Refrescar();
            },
            Qt::QueuedConnection);
    }
}

void Rejilla::Refrescar() {
    if (!pendiente_)
        return;
    const unsigned p = pendiente_;
    pendiente_ = 0;
    if (p & Estructura) {
        const int desplazamiento = verticalScrollBar()->value();
        modelo_->reiniciar();
        aplicarColumnas();
        verticalScrollBar()->setValue(desplazamiento);
    } else {
        if (p & FilasAnadidas)
            modelo_->publicarFilas();
        if (p & Textos)
            modelo_->textos();
    }
    if (p & (Titulos | Estructura))
        modelo_->titulos();
    if (p & (Altos | Estructura | FilasAnadidas))
        aplicarAltos();
    sincronizarActual();
}

void Rejilla::aplicarColumnas() {
    sincronizando_ = true;
    for (int c = 0; c < Cols(); ++c) {
        const int tw = anchos_[static_cast<size_t>(c)];
        setColumnHidden(c, tw <= 0);
        if (tw > 0)
            horizontalHeader()->resizeSection(c, twipsAPixeles(tw));
    }
    sincronizando_ = false;
}

void Rejilla::aplicarAltos() {
    if (!hayAltosPropios_)
        return;
    for (int f = 1; f < Rows(); ++f) {
        const int alto = datos_.RowHeight(f);
        if (alto <= 0)
            continue;
        const QModelIndex p = filtro_->mapFromSource(modelo_->index(f - 1, 0));
        if (p.isValid())
            verticalHeader()->resizeSection(p.row(), twipsAPixeles(alto));
    }
}

QModelIndex Rejilla::indiceVista(int fila, int col) const {
    if (fila < 1 || fila > modelo_->rowCount() || col < 0 || col >= modelo_->columnCount())
        return {};
    return filtro_->mapFromSource(modelo_->index(fila - 1, col));
}

void Rejilla::sincronizarActual() {
    const QModelIndex p = indiceVista(fila_, col_);
    if (!p.isValid())
        return;
    sincronizando_ = true;
    // Como la elige el usuario: la fila entera en una rejilla que elige filas.
    selectionModel()->setCurrentIndex(p, QItemSelectionModel::ClearAndSelect |
                                             (selectionBehavior() == SelectRows
                                                  ? QItemSelectionModel::Rows
                                                  : QItemSelectionModel::NoUpdate));
    sincronizando_ = false;
}

void Rejilla::actualChanged(const QModelIndex& actual) {
    if (sincronizando_ || !actual.isValid())
        return;
    const QModelIndex s = filtro_->mapToSource(actual);
    if (!s.isValid())
        return;
    fila_ = filaSel_ = s.row() + 1;
    col_ = colSel_ = s.column();
    emit RowColChange();
}

void Rejilla::setRows(int n) {
    const int antes = Rows();
    datos_.setRows(n);
    if (Rows() > antes)
        anotar(FilasAnadidas);
    else if (Rows() < antes)
        anotar(Estructura);
    fila_ = std::min(fila_, Rows() - 1);
    filaSel_ = std::min(filaSel_, Rows() - 1);
}

void Rejilla::setCols(int n) {
    const int antes = Cols();
    datos_.setCols(n);
    if (Cols() == antes)
        return;
    const auto nc = static_cast<size_t>(Cols());
    anchos_.resize(nc, AnchoOmision);
    alinDatos_.resize(nc, AlineacionGeneral);
    alinTitulos_.resize(nc, AlineacionGeneral);
    colorTitulos_.resize(nc, -1);
    col_ = std::min(col_, Cols() - 1);
    colSel_ = std::min(colSel_, Cols() - 1);
    anotar(Estructura);
}

void Rejilla::setRow(int fila) {
    if (fila < 0 || fila >= Rows() || fila == fila_)
        return;
    fila_ = filaSel_ = fila;
    if (!pendiente_)
        sincronizarActual();
}

void Rejilla::setCol(int col) {
    if (col < 0 || col >= Cols() || col == col_)
        return;
    col_ = colSel_ = col;
    if (!pendiente_)
        sincronizarActual();
}

void Rejilla::setRowSel(int fila) {
    if (fila >= 0 && fila < Rows())
        filaSel_ = fila;
}

void Rejilla::setColSel(int col) {
    if (col >= 0 && col < Cols())
        colSel_ = col;
}

void Rejilla::setTextMatrix(int fila, int col, const QString& texto) {
    if (datos_.setTextMatrix(fila, col, texto))
        anotar(fila == 0 ? Titulos : Textos);
}

int Rejilla::ColWidth(int col) const {
    if (col < 0 || col >= Cols())
        return 0;
    return anchos_[static_cast<size_t>(col)];
}

void Rejilla::setColWidth(int col, int twips) {
    if (col < 0 || col >= Cols())
        return;
    anchos_[static_cast<size_t>(col)] = std::max(0, twips);
    if (col < modelo_->columnCount()) {
        sincronizando_ = true;
        setColumnHidden(col, twips <= 0);
        if (twips > 0)
            horizontalHeader()->resizeSection(col, twipsAPixeles(twips));
        sincronizando_ = false;
    }
}

void Rejilla::setRowHeight(int fila, int twips) {
    const int antes = datos_.RowHeight(fila);
    if (!datos_.setRowHeight(fila, twips))
        return;
    if (twips > 0)
        hayAltosPropios_ = true;
    // Ocultar o mostrar filas se publica rehaciendo el filtro de una vez: invalidarlo quitaría
    // las filas de la vista de una en una, y con miles de filas sueltas eso es cuadrático.
    if ((antes == 0) != (twips == 0))
        anotar(Estructura);
    else if (twips > 0)
        anotar(Altos);
}

int Rejilla::ColAlignment(int col) const {
    if (col < 0 || col >= Cols())
        return AlineacionGeneral;
    return alinDatos_[static_cast<size_t>(col)];
}

void Rejilla::setColAlignment(int col, int codigo) {
    if (col < 0 || col >= Cols())
        return;
    alinDatos_[static_cast<size_t>(col)] = codigo;
    anotar(Textos);
}

int Rejilla::FixedAlignment(int col) const {
    if (col < 0 || col >= Cols())
        return AlineacionGeneral;
    return alinTitulos_[static_cast<size_t>(col)];
}

void Rejilla::setFixedAlignment(int col, int codigo) {
    if (col < 0 || col >= Cols())
        return;
    alinTitulos_[static_cast<size_t>(col)] = codigo;
    anotar(Titulos);
}

int Rejilla::CellForeColor() const {
    if (fila_ != 0)
        return 0;
    return std::max(0, colorTitulos_[static_cast<size_t>(col_)]);
}

void Rejilla::setCellForeColor(int color) {
    if (fila_ != 0)
        return;
    colorTitulos_[static_cast<size_t>(col_)] = color & 0xFFFFFF;
    anotar(Titulos);
}

void Rejilla::setRedraw(bool redibujar) {
    if (redibujar == redraw_)
        return;
    redraw_ = redibujar;
    if (redraw_) {
        Refrescar();
        setUpdatesEnabled(true);
    } else {
        setUpdatesEnabled(false);
    }
}

void Rejilla::Clear() {
    datos_.Clear();
    std::fill(colorTitulos_.begin(), colorTitulos_.end(), -1);
    anotar(Textos | Titulos);
}

void Rejilla::setSort(int modo) {
    if (modo != 1 && modo != 2 && modo != 5)
        return;
    datos_.ordenar(col_, static_cast<ModoOrden>(modo));
    anotar(Estructura);
}

void Rejilla::RemoveItem(int fila) {
    if (!datos_.quitarFila(fila))
        return;
    fila_ = std::min(fila_, Rows() - 1);
    filaSel_ = std::min(filaSel_, Rows() - 1);
    anotar(Estructura);
}

QString Rejilla::Clip() const {
    const int f0 = std::min(fila_, filaSel_), f1 = std::max(fila_, filaSel_);
    const int c0 = std::min(col_, colSel_), c1 = std::max(col_, colSel_);
    QString texto;
    for (int f = f0; f <= f1; ++f) {
        if (f > f0)
            texto += u'\r';
        for (int c = c0; c <= c1; ++c) {
            if (c > c0)
                texto += u'\t';
            texto += datos_.TextMatrix(f, c);
        }
    }
    return texto;
}

void Rejilla::ratonEn(const QPoint& punto) {
    const QModelIndex i = indexAt(punto);
    if (i.isValid()) {
        const QModelIndex s = filtro_->mapToSource(i);
        filaRaton_ = s.row() + 1;
        colRaton_ = s.column();
    } else {
        filaRaton_ = -1;
        colRaton_ = columnAt(punto.x());
    }
}

void Rejilla::mousePressEvent(QMouseEvent* e) {
    ratonEn(e->position().toPoint());
    dobleClic_ = false;
    if (e->button() == Qt::LeftButton) {
        QTableView::mousePressEvent(e);
        emit MouseDown(1);
    } else {
        // El botón derecho o el central no mueven la celda actual.
        e->accept();
        emit MouseDown(e->button() == Qt::RightButton ? 2 : 4);
    }
}

void Rejilla::mouseReleaseEvent(QMouseEvent* e) {
    QTableView::mouseReleaseEvent(e);
    const bool tras_doble = dobleClic_;
    dobleClic_ = false;
    if (e->button() == Qt::LeftButton && !tras_doble && filaRaton_ >= 1 &&
        indexAt(e->position().toPoint()).isValid())
        emit Click();
}

void Rejilla::mouseDoubleClickEvent(QMouseEvent* e) {
    ratonEn(e->position().toPoint());
    QTableView::mouseDoubleClickEvent(e);
    dobleClic_ = true;
    if (e->button() == Qt::LeftButton && filaRaton_ >= 1)
        emit DblClick();
}

void Rejilla::focusInEvent(QFocusEvent* e) {
    // Recibir el foco no cambia la celda actual. La vista de Qt, si no tiene celda actual (la
    // actual es la fila de títulos, o acaba de rehacerse), toma la primera: eso no es una
    // elección del usuario y no se avisa; la celda actual de la rejilla sigue siendo la suya.
    if (redraw_)
        Refrescar();
    sincronizando_ = true;
    QTableView::focusInEvent(e);
    sincronizando_ = false;
    if (!indiceVista(fila_, col_).isValid() && selectionModel()->currentIndex().isValid()) {
        sincronizando_ = true;
        selectionModel()->clear();
        sincronizando_ = false;
    }
    viewport()->update();
}

void Rejilla::focusOutEvent(QFocusEvent* e) {
    QTableView::focusOutEvent(e);
    viewport()->update();
}

void Rejilla::paintEvent(QPaintEvent* e) {
    QTableView::paintEvent(e);
    if (!hasFocus() || currentIndex().isValid())
        return;
    // Un borde del color de la selección, como el de un campo con el foco.
    QPainter pintor(viewport());
    pintor.setPen(QPen(palette().color(QPalette::Highlight), 2));
    pintor.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
}

void Rejilla::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(Clip());
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

} // namespace MiVisor
