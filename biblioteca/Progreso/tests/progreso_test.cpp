#include "Progreso/Progreso.h"

#include "rutinas/nucleo/escalado.h"

#include "qt_gtest.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace Progreso;

namespace {

class VentanaTest : public ::testing::Test {
protected:
    void SetUp() override {
        Ventana::PonerReloj([this] { return reloj; });
    }
    void TearDown() override {
        BarraProgreso(2);
        ProgresoEnEsquina = false;
        rutinas::FactorX = rutinas::FactorY = 0;
        Ventana::PonerReloj({});
    }
    double reloj = 1000;
};

TEST_F(VentanaTest, ArrancaActualizaYTermina) {
    BarraProgreso(1, 0, false, 0, 200, "Copiando ficheros");
    ASSERT_TRUE(Ventana::Cargada());
    Ventana& v = Ventana::Instancia();
    EXPECT_TRUE(v.isVisible());
    EXPECT_TRUE(v.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(v.BarraTitulo->text(), QStringLiteral("Copiando ficheros"));
    EXPECT_EQ(v.Barra->value(), v.Barra->minimum());

    reloj += 30;
    BarraProgreso(3, 50);
    EXPECT_EQ(v.BarraPor->text(), QStringLiteral("25,00 %"));
    EXPECT_EQ(v.BarraTra->text(), QStringLiteral("00:00:30"));
    EXPECT_EQ(v.BarraEst->text(), QStringLiteral("00:02:00"));
    EXPECT_EQ(v.Barra->value(), (v.Barra->maximum() - v.Barra->minimum()) / 4);

    BarraProgreso(3, 60); // entre refrescos: nada cambia
    EXPECT_EQ(v.BarraPor->text(), QStringLiteral("25,00 %"));

    BarraProgreso(2);
    EXPECT_FALSE(Ventana::Cargada());
}

TEST_F(VentanaTest, OcultarYMostrarConservanLaBarraYLosTextos) {
    BarraProgreso(1, 0, false, 0, 10, "Tarea");
    BarraProgreso(3, 4, true);
    Ventana& v = Ventana::Instancia();
    const int barra = v.Barra->value();
    BarraProgreso(4);
    EXPECT_FALSE(v.isVisible());
    BarraProgreso(5);
    EXPECT_TRUE(v.isVisible());
    EXPECT_EQ(v.Barra->value(), barra);
    EXPECT_EQ(v.BarraPor->text(), QStringLiteral("40,00 %"));
}

TEST_F(VentanaTest, EnEsquinaSeColocaArribaALaIzquierda) {
    ProgresoEnEsquina = true;
    Ventana::Instancia().move(300, 200);
    BarraProgreso(1, 0, false, 0, 10, "Tarea");
    EXPECT_EQ(Ventana::Instancia().pos(), QPoint(0, 0));
}

TEST_F(VentanaTest, UnSegundoArranqueReiniciaRangoYHora) {
    BarraProgreso(1, 0, false, 0, 100, "Primera");
    reloj += 50;
    BarraProgreso(3, 50);
    BarraProgreso(1, 0, false, 0, 1000, "Segunda");
    reloj += 10;
    BarraProgreso(3, 100); // primera actualización tras el arranque: siempre refresca
    Ventana& v = Ventana::Instancia();
    EXPECT_EQ(v.BarraTitulo->text(), QStringLiteral("Segunda"));
    EXPECT_EQ(v.BarraPor->text(), QStringLiteral("10,00 %"));
    EXPECT_EQ(v.BarraTra->text(), QStringLiteral("00:00:10"));
}

TEST_F(VentanaTest, SeEscalaUnaVezPorCargaAunqueArranqueVariasVeces) {
    rutinas::FactorX = rutinas::FactorY = 1.25f;
    BarraProgreso(1, 0, false, 0, 10, "Primera");
    Ventana& v = Ventana::Instancia();
    const QSize tamano = v.size();
    const qreal letra = v.BarraPor->font().pointSizeF();
    for (int i = 0; i < 3; ++i)
        BarraProgreso(1, 0, false, 0, 10, "Otra");
    EXPECT_EQ(v.size(), tamano);
    EXPECT_EQ(v.BarraPor->font().pointSizeF(), letra);
    BarraProgreso(2); // una carga nueva se escala de nuevo, desde el diseño
    BarraProgreso(1, 0, false, 0, 10, "Otra carga");
    EXPECT_EQ(Ventana::Instancia().size(), tamano);
}

TEST_F(VentanaTest, LosTextosCabenEnSusEtiquetasEnPantalla) {
    BarraProgreso(1, 0, false, 0, 1000, "Recalculando saldos...");
    Ventana& v = Ventana::Instancia();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    reloj += 3725;
    BarraProgreso(3, 999.99f, true);
    for (QLabel* l : v.findChildren<QLabel*>()) {
        if (l->text().isEmpty())
            continue;
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width())
            << l->text().toStdString() << " en " << l->font().family().toStdString();
        EXPECT_LE(l->fontMetrics().height(), l->contentsRect().height() + 2)
            << l->text().toStdString();
    }
}

TEST_F(VentanaTest, OpcionDesconocidaNoHaceNada) {
    BarraProgreso(9);
    EXPECT_FALSE(Ventana::Cargada());
}

} // namespace
