#include "MiVisor/Rejilla.h"

#include "basicos/pantalla.h"
#include "rutinas/escalado.h"

#include "qt_gtest.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using MiVisor::Rejilla;

namespace {

// Rejilla de n filas de datos y dos columnas: "fila i" y el número i.
void llenar(Rejilla& r, int n) {
    r.setCols(2);
    r.setRows(n + 1);
    r.setTextMatrix(0, 0, "Nombre");
    r.setTextMatrix(0, 1, "Número");
    for (int i = 1; i <= n; ++i) {
        r.setTextMatrix(i, 0, QStringLiteral("fila %1").arg(i));
        r.setTextMatrix(i, 1, QString::number(i));
    }
}

TEST(Rejilla, LaFilaDeTitulosEsLaCabeceraDeLaVista) {
    Rejilla r;
    llenar(r, 3);
    r.Refrescar();
    ASSERT_EQ(r.model()->rowCount(), 3);
    EXPECT_EQ(r.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Número"));
    EXPECT_EQ(r.model()->index(0, 0).data().toString(), QStringLiteral("fila 1"));
    EXPECT_EQ(r.FixedRows(), 1);
    EXPECT_EQ(r.FixedCols(), 0);
}

TEST(Rejilla, LosCambiosLleganALaVistaAlVolverAlBucleDeEventos) {
    Rejilla r;
    llenar(r, 2);
    r.Refrescar();
    r.setRows(6);
    r.setTextMatrix(5, 0, "nueva");
    EXPECT_EQ(r.model()->rowCount(), 2); // aún sin publicar
    QCoreApplication::processEvents();
    ASSERT_EQ(r.model()->rowCount(), 5);
    EXPECT_EQ(r.model()->index(4, 0).data().toString(), QStringLiteral("nueva"));
}

TEST(Rejilla, ConRedrawApagadoNadaSePublicaHastaEncenderlo) {
    Rejilla r;
    llenar(r, 2);
    r.Refrescar();
    r.setRedraw(false);
    r.setRows(10);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.model()->rowCount(), 2);
    r.setRedraw(true);
    EXPECT_EQ(r.model()->rowCount(), 9);
}

TEST(Rejilla, AltoCeroOcultaLaFilaYMenosUnoLaDevuelve) {
    Rejilla r;
    llenar(r, 5);
    r.setRowHeight(2, 0);
    r.setRowHeight(4, 0);
    r.Refrescar();
    ASSERT_EQ(r.model()->rowCount(), 3);
    EXPECT_EQ(r.model()->index(1, 0).data().toString(), QStringLiteral("fila 3"));
    EXPECT_FALSE(r.indiceVista(2, 0).isValid());
    EXPECT_EQ(r.RowHeight(2), 0);
    r.setRowHeight(2, -1);
    r.Refrescar();
    EXPECT_EQ(r.model()->rowCount(), 4);
    EXPECT_EQ(r.RowHeight(2), -1);
}

TEST(Rejilla, AnchosEnTwipsYColumnaOcultaConAnchoCero) {
    Rejilla r;
    llenar(r, 1);
    r.setColWidth(0, 0);
    r.setColWidth(1, 1440);
    r.Refrescar();
    EXPECT_EQ(r.ColWidth(1), 1440);
    EXPECT_TRUE(r.isColumnHidden(0));
    EXPECT_EQ(r.columnWidth(1), basicos::PixelesX(1440));
    r.setCols(3); // al cambiar la estructura se conservan los anchos
    r.Refrescar();
    EXPECT_TRUE(r.isColumnHidden(0));
    EXPECT_EQ(r.columnWidth(1), basicos::PixelesX(1440));
}

TEST(Rejilla, AlineacionesConLosCodigosDeLaRejilla) {
    Rejilla r;
    llenar(r, 1);
    const struct {
        int codigo;
        Qt::Alignment esperada;
    } casos[] = {{1, Qt::AlignLeft | Qt::AlignVCenter},
                 {4, Qt::AlignHCenter | Qt::AlignVCenter},
                 {7, Qt::AlignRight | Qt::AlignVCenter},
                 {0, Qt::AlignLeft | Qt::AlignTop}};
    r.Refrescar();
    for (const auto& c : casos) {
        r.setColAlignment(0, c.codigo);
        r.setFixedAlignment(1, c.codigo);
        EXPECT_EQ(r.model()->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                  c.esperada);
        EXPECT_EQ(
            r.model()->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
            c.esperada);
    }
    r.setColAlignment(1, 9); // general: los números a la derecha
    EXPECT_EQ(r.model()->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);
}

TEST(Rejilla, ColorDelTituloDeLaCeldaActual) {
    Rejilla r;
    llenar(r, 1);
    r.setRow(0);
    r.setCol(1);
    r.setCellForeColor(255);
    EXPECT_EQ(r.CellForeColor(), 255);
    EXPECT_EQ(r.model()->headerData(1, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
              QColor(Qt::red));
    r.Clear();
    EXPECT_FALSE(r.model()->headerData(1, Qt::Horizontal, Qt::ForegroundRole).isValid());
}

TEST(Rejilla, ClipDevuelveElRangoConTabuladoresYRetornos) {
    Rejilla r;
    llenar(r, 3);
    r.Refrescar();
    r.setRow(1);
    r.setCol(0);
    r.setRowSel(2);
    r.setColSel(1);
    EXPECT_EQ(r.Clip(), QStringLiteral("fila 1\t1\rfila 2\t2"));
}

TEST(Rejilla, PulsacionesDelRaton) {
    Rejilla r;
    r.setObjectName("VisorPrueba");
    r.resize(400, 300);
    llenar(r, 5);
    r.setRowHeight(2, 0);
    r.show();
    r.Refrescar();
    QSignalSpy clic(&r, &Rejilla::Click), doble(&r, &Rejilla::DblClick),
        cambio(&r, &Rejilla::RowColChange), boton(&r, &Rejilla::MouseDown);

    const QPoint tercera = r.visualRect(r.indiceVista(3, 1)).center();
    QTest::mouseClick(r.viewport(), Qt::LeftButton, {}, tercera);
    EXPECT_EQ(clic.count(), 1);
    EXPECT_EQ(r.Row(), 3); // la fila 2 está oculta: la segunda visible es la 3
    EXPECT_EQ(r.Col(), 1);
    EXPECT_EQ(r.MouseRow(), 3);
    EXPECT_GE(cambio.count(), 1);

    QTest::mouseDClick(r.viewport(), Qt::LeftButton, {}, tercera);
    EXPECT_EQ(doble.count(), 1);

    const QPoint cuarta = r.visualRect(r.indiceVista(4, 0)).center();
    QTest::mouseClick(r.viewport(), Qt::RightButton, {}, cuarta);
    EXPECT_EQ(boton.last().at(0).toInt(), 2);
    EXPECT_EQ(r.Row(), 3); // el botón derecho no mueve la celda actual
    EXPECT_EQ(r.MouseRow(), 4);

    const int x = r.horizontalHeader()->sectionViewportPosition(1) + 5;
    QTest::mouseClick(r.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    EXPECT_EQ(r.MouseRow(), 0);
    EXPECT_EQ(r.MouseCol(), 1);
    EXPECT_EQ(r.Row(), 3); // pulsar un título no selecciona la columna
    EXPECT_EQ(r.Name(), QStringLiteral("VisorPrueba"));
}

TEST(Rejilla, OrdenarPorLaColumnaActualConservaLosTitulos) {
    Rejilla r;
    llenar(r, 12);
    r.setCol(1);
    r.setSort(2);
    EXPECT_EQ(r.TextMatrix(1, 1), QStringLiteral("12"));
    EXPECT_EQ(r.TextMatrix(12, 0), QStringLiteral("fila 1"));
    EXPECT_EQ(r.TextMatrix(0, 1), QStringLiteral("Número"));
    r.setSort(1);
    EXPECT_EQ(r.TextMatrix(1, 1), QStringLiteral("1"));
    r.setSort(3); // modo no admitido: nada
    EXPECT_EQ(r.TextMatrix(1, 1), QStringLiteral("1"));
}

TEST(Rejilla, EscalarLaVentanaEscalaLosAnchosDeColumna) {
    QWidget ventana;
    ventana.resize(400, 300);
    auto* r = new Rejilla(&ventana);
    r->setCols(3);
    r->setColWidth(0, 1200);
    r->setColWidth(1, 0);
    r->setColWidth(2, 600);
    rutinas::FactorX = rutinas::FactorY = 1.5f;
    rutinas::EscalarFormulario(&ventana);
    rutinas::FactorX = rutinas::FactorY = 0;
    EXPECT_EQ(r->ColWidth(0), 1800);
    EXPECT_EQ(r->ColWidth(1), 0); // la columna oculta sigue oculta
    EXPECT_EQ(r->ColWidth(2), 900);
}

} // namespace
