#include "MiVisor/MiVisor.h"

#include "MiVisor/MsgBoxPlataforma.h"
#include "MiVisor/Rejilla.h"
#include "basicos/nucleo/error.h"
#include "rutinas/nucleo/escalado.h"
#include "rutinas/nucleo/formato.h"
#include "rutinas/nucleo/generales.h"

#include <QDate>

#include <cmath>

namespace MiVisor {

namespace {

QString NumeroConPunto(const QString& valor) {
    QString formato = QStringLiteral("0.00");
    return rutinas::NumeroConPunto(valor, 0, formato);
}

QString FormatoNumero(const QString& valor, QString formato, bool verCeros) {
    return rutinas::FormatoNumero(valor, formato, verCeros);
}

const QDate OrigenFechas(1899, 12, 30);

/// Entero que sigue al principio del texto (como la lectura numérica, sin decimales).
int EnteroInicial(const QString& texto) {
    return static_cast<int>(rutinas::ValorNumerico(texto));
}

// Guarda Redraw, lo apaga y lo restaura al salir.
class SinRepintar {
public:
    explicit SinRepintar(Rejilla& r) : r_(r), antes_(r.Redraw()) { r_.setRedraw(false); }
    ~SinRepintar() { r_.setRedraw(antes_); }
    SinRepintar(const SinRepintar&) = delete;
    SinRepintar& operator=(const SinRepintar&) = delete;

private:
    Rejilla& r_;
    bool antes_;
};

void ComprobarFila(const Rejilla& rejilla, int fila, bool puedeCrecer) {
    if (fila < 0 || (!puedeCrecer && fila >= rejilla.Rows()))
        throw basicos::ErrorZoq(
            QStringLiteral("La fila %1 no existe en la rejilla %2: sus filas van de la 0 a la %3.")
                .arg(fila)
                .arg(rejilla.Name())
                .arg(rejilla.Rows() - 1));
}

} // namespace

namespace {

QStringList ElementosDeTitulos(const QString& Titulos) {
    QChar sep = u';';
    if (Titulos.contains(u'|'))
        sep = u'|';
    if (Titulos.contains(u';'))
        sep = u';';
    QString lista = Titulos;
    if (lista.endsWith(sep))
        lista.chop(1);
    return lista.split(sep);
}

} // namespace

int ContarColumnas(const QString& Titulos) {
    return static_cast<int>(ElementosDeTitulos(Titulos).size());
}

void DefinirColumnas(Rejilla& rejilla, const QString& Titulos) {
    const QStringList elementos = ElementosDeTitulos(Titulos);

    SinRepintar sin(rejilla);
    rejilla.Clear();
    rejilla.setCols(static_cast<int>(elementos.size()));
    rejilla.setRows(rejilla.FixedRows() + 1);
    rejilla.setRowHeight(1, -1);
    for (int c = 0; c < elementos.size(); ++c)
        DefinirColumna(rejilla, 0, c, elementos[c]);
}

void DefinirColumna(Rejilla& rejilla, int fila, int col, const QString& elemento) {
    QString texto = elemento;
    int alinTitulo = 4;
    if (texto.startsWith(u'<')) {
        alinTitulo = 1;
        texto.remove(0, 1);
    } else if (texto.startsWith(u'>')) {
        alinTitulo = 7;
        texto.remove(0, 1);
    }
    int alinDatos = 1;
    if (texto.endsWith(u'=')) {
        alinDatos = 4;
        texto.chop(1);
    } else if (texto.endsWith(u'>')) {
        alinDatos = 7;
        texto.chop(1);
    }
    double ancho;
    const qsizetype almohadilla = texto.indexOf(u'#');
    if (almohadilla >= 0) {
        ancho = rutinas::ValorNumerico(texto.mid(almohadilla + 1)) * 120;
        texto.truncate(almohadilla);
    } else {
        ancho = texto == QLatin1String("?") ? 0 : static_cast<double>(texto.size()) * 120;
    }
    const float escalado = rutinas::EscalaX(static_cast<float>(ancho));
    rejilla.setColWidth(col, static_cast<int>(std::lround(escalado)));
    rejilla.setFixedAlignment(col, alinTitulo);
    rejilla.setColAlignment(col, alinDatos);
    PonerCelda(rejilla, fila, col, texto);
}

// Una columna que la rejilla no tiene es un error de quien llama: se avisa con el error de la
// biblioteca en lugar de perder en silencio lo que se quería escribir.
void ComprobarColumna(const Rejilla& rejilla, int col) {
    if (col < 0 || col >= rejilla.Cols())
        throw basicos::ErrorZoq(
            QStringLiteral(
                "La columna %1 no existe en la rejilla %2: sus columnas van de la 0 a la %3.")
                .arg(col)
                .arg(rejilla.Name())
                .arg(rejilla.Cols() - 1));
}

QString LeerCelda(const Rejilla& rejilla, int fila, int col) {
    ComprobarColumna(rejilla, col);
    ComprobarFila(rejilla, fila, false);
    return rejilla.TextMatrix(fila, col);
}

void PonerCelda(Rejilla& rejilla, int fila, int col, const QString& valor, bool Acumular,
                bool MostrarCeros) {
    ComprobarColumna(rejilla, col);
    ComprobarFila(rejilla, fila, true);
    if (rejilla.Rows() <= fila)
        rejilla.setRows(fila + 1);
    if (!Acumular) {
        rejilla.setTextMatrix(fila, col, valor);
        return;
    }
    const double suma = rutinas::ValorNumerico(NumeroConPunto(rejilla.TextMatrix(fila, col))) +
                        rutinas::ValorNumerico(NumeroConPunto(valor));
    rejilla.setTextMatrix(
        fila, col,
        FormatoNumero(QString::number(suma, 'f', 2), QStringLiteral("#,##0.00"), MostrarCeros));
}

void VaciarRejilla(Rejilla& rejilla) {
    SinRepintar sin(rejilla);
    for (int f = rejilla.FixedRows(); f < rejilla.Rows(); ++f)
        for (int c = rejilla.FixedCols(); c < rejilla.Cols(); ++c)
            rejilla.setTextMatrix(f, c, QString());
}

void QuitarFila(Rejilla& rejilla, int fila) {
    if (rejilla.Rows() == 2) {
        for (int c = 0; c < rejilla.Cols(); ++c)
            rejilla.setTextMatrix(1, c, QString());
        return;
    }
    rejilla.RemoveItem(fila);
}

void OrdenarColumna(Rejilla& rejilla, int c, bool Marcar, int cMarca) {
    if (c != -1)
        ComprobarColumna(rejilla, c);
    if (Marcar && cMarca != -1)
        ComprobarColumna(rejilla, cMarca);
    const int colAntes = rejilla.Col();
    SinRepintar sin(rejilla);
    if (c != -1)
        rejilla.setCol(c);
    const QString tipos = rejilla.Tag().leftJustified(rejilla.Cols(), u' ');
    const QChar tipo = rejilla.Col() < tipos.size() ? tipos[rejilla.Col()] : QChar(u' ');
    // Con Redraw apagado la vista no se repinta hasta el final; no hace falta ocultarla (y
    // así no pierde el foco).
    if (tipo == u'F')
        OrdenarFechas(rejilla, QStringLiteral("dd/mm/yyyy"), false);
    else if (tipo == u'I')
        OrdenarImportes(rejilla, QStringLiteral("#,##0.00"), false);
    else
        rejilla.setSort(static_cast<int>(ModoOrden::TextoSinMayusculas));
    if (Marcar)
        MarcarColumna(rejilla, cMarca == -1 ? rejilla.Col() : cMarca);
    rejilla.setCol(colAntes);
}

void OrdenarFechas(Rejilla& rejilla, const QString& Formato, bool Descendente) {
    SinRepintar sin(rejilla);
    const int col = rejilla.Col();
    const int esteAnio = QDate::currentDate().year();
    for (int f = 1; f < rejilla.Rows(); ++f) {
        if (const auto fecha = rutinas::LeerFechaLocal(rejilla.TextMatrix(f, col), esteAnio))
            rejilla.setTextMatrix(
                f, col, QString::number(static_cast<float>(OrigenFechas.daysTo(*fecha)), 'g', 9));
        else
            rejilla.setTextMatrix(f, col, QString());
    }
    rejilla.setSort(Descendente ? 2 : 1);
    for (int f = 1; f < rejilla.Rows(); ++f) {
        const QString serie = rejilla.TextMatrix(f, col);
        if (!serie.isEmpty())
            rejilla.setTextMatrix(f, col,
                                  rutinas::FormatearFecha(OrigenFechas.addDays(static_cast<qint64>(
                                                              rutinas::ValorNumerico(serie))),
                                                          Formato));
    }
}

void OrdenarImportes(Rejilla& rejilla, const QString& Formato, bool Descendente) {
    SinRepintar sin(rejilla);
    const int col = rejilla.Col();
    for (int f = 1; f < rejilla.Rows(); ++f)
        rejilla.setTextMatrix(f, col, NumeroConPunto(rejilla.TextMatrix(f, col)));
    rejilla.setSort(Descendente ? 2 : 1);
    for (int f = 1; f < rejilla.Rows(); ++f)
        rejilla.setTextMatrix(f, col, FormatoNumero(rejilla.TextMatrix(f, col), Formato, false));
}

int BuscarColumna(Rejilla& rejilla, const QString& Titulo, bool Silencioso) {
    // Una columna dada por su número no se busca: se comprueba donde se use.
    if (Titulo.startsWith(u'#'))
        return EnteroInicial(Titulo.mid(1));
    for (int c = 0; c < rejilla.Cols(); ++c)
        if (rejilla.TextMatrix(0, c) == Titulo)
            return c;
    if (Silencioso)
        return -1;
    MsgBox(QStringLiteral("No encontrado ninguna columna con el título [") + Titulo + u']', 16,
           QStringLiteral("Búsqueda en [") + rejilla.Name() + u']', rejilla.window());
    return 0;
}

void MarcarColumna(Rejilla& rejilla, int c) {
    const int filaAntes = rejilla.Row(), colAntes = rejilla.Col();
    rejilla.setRow(0);
    for (int i = 0; i < rejilla.Cols(); ++i) {
        rejilla.setCol(i);
        rejilla.setCellForeColor(i == c ? 255 : 0);
    }
    rejilla.setRow(filaAntes);
    rejilla.setCol(colAntes);
}

} // namespace MiVisor
