// Rendimiento de la rejilla con 100.000 filas de cinco columnas: llenado con PonerCelda,
// ordenación de una columna de texto, otra de fechas y otra de importes, y búsqueda de una
// columna por su título. Al lado, las mismas ordenaciones con QTableWidget::sortItems sobre
// los mismos datos, medidas en la misma ejecución.

#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTableWidget>

#include <cstdio>
#include <vector>

namespace {

constexpr int Filas = 100000;
constexpr int Columnas = 5;

struct Medida {
    const char* que;
    double ms;
    double objetivo; // 0: sin objetivo
};

template <typename F> double medir(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    QCoreApplication::processEvents(); // la vista recibe lo publicado
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

std::vector<QStringList> datosDePrueba() {
    static const char* nombres[] = {"García", "ñandú",  "Álvarez", "martínez", "Ortiz",
                                    "Núñez",  "zapata", "Ángel",   "angel",    "López"};
    QRandomGenerator azar(20240101);
    std::vector<QStringList> filas;
    filas.reserve(Filas);
    for (int i = 0; i < Filas; ++i) {
        const int dia = 1 + static_cast<int>(azar.bounded(28));
        const int mes = 1 + static_cast<int>(azar.bounded(12));
        const int anio = 1990 + static_cast<int>(azar.bounded(35));
        const qint64 centimos = static_cast<qint64>(azar.bounded(100000000)) - 20000000;
        QString importe = QString::number(centimos / 100.0, 'f', 2).replace(u'.', u',');
        filas.push_back({QString::number(i),
                         QStringLiteral("%1 %2")
                             .arg(QString::fromUtf8(nombres[azar.bounded(10)]))
                             .arg(azar.bounded(100000)),
                         QStringLiteral("%1/%2/%3")
                             .arg(dia, 2, 10, QChar(u'0'))
                             .arg(mes, 2, 10, QChar(u'0'))
                             .arg(anio),
                         importe, QStringLiteral("nota %1").arg(i % 977)});
    }
    return filas;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<QStringList> datos = datosDePrueba();
    std::vector<Medida> medidas;

    MiVisor::Rejilla rejilla;
    rejilla.setObjectName("VisorBench");
    rejilla.resize(800, 600);
    rejilla.show();
    rejilla.setTag("XXFI");
    medidas.push_back(
        {"DefinirColumnas + PonerCelda (100.000 x 5)", medir([&] {
             MiVisor::DefinirColumnas(rejilla, "Código#8;Nombre#30;Fecha#10=;Importe#12>;Nota");
             for (int f = 0; f < Filas; ++f)
                 for (int c = 0; c < Columnas; ++c)
                     MiVisor::PonerCelda(rejilla, f + 1, c, datos[static_cast<size_t>(f)][c]);
         }),
         400});
    medidas.push_back(
        {"OrdenarColumna texto", medir([&] { MiVisor::OrdenarColumna(rejilla, 1, true); }), 300});
    medidas.push_back(
        {"OrdenarColumna fecha", medir([&] { MiVisor::OrdenarColumna(rejilla, 2, true); }), 300});
    medidas.push_back(
        {"OrdenarColumna importe", medir([&] { MiVisor::OrdenarColumna(rejilla, 3, true); }), 300});
    int encontrada = -2;
    medidas.push_back({"BuscarColumna (x1000)", medir([&] {
                           for (int i = 0; i < 1000; ++i)
                               encontrada = MiVisor::BuscarColumna(rejilla, "Nota", true);
                       }),
                       0});
    medidas.push_back({"Ocultar la mitad de las filas (RowHeight 0)", medir([&] {
                           for (int f = 1; f < rejilla.Rows(); f += 2)
                               rejilla.setRowHeight(f, 0);
                       }),
                       0});

    QTableWidget tabla(Filas, Columnas);
    tabla.resize(800, 600);
    tabla.show();
    medidas.push_back(
        {"QTableWidget: llenado con setItem", medir([&] {
             for (int f = 0; f < Filas; ++f)
                 for (int c = 0; c < Columnas; ++c)
                     tabla.setItem(f, c, new QTableWidgetItem(datos[static_cast<size_t>(f)][c]));
         }),
         0});
    medidas.push_back({"QTableWidget::sortItems texto", medir([&] { tabla.sortItems(1); }), 0});
    medidas.push_back(
        {"QTableWidget::sortItems fecha (como texto)", medir([&] { tabla.sortItems(2); }), 0});
    medidas.push_back(
        {"QTableWidget::sortItems importe (como texto)", medir([&] { tabla.sortItems(3); }), 0});

    bool bien = encontrada == 4;
    for (const Medida& m : medidas) {
        const bool pasa = m.objetivo <= 0 || m.ms < m.objetivo;
        bien = bien && pasa;
        if (m.objetivo > 0)
            std::printf("%-48s %9.1f ms  (objetivo < %.0f ms%s)\n", m.que, m.ms, m.objetivo,
                        pasa ? "" : ", NO CUMPLE");
        else
            std::printf("%-48s %9.1f ms\n", m.que, m.ms);
    }
    return bien ? 0 : 1;
}
