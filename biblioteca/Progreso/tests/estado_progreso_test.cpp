#include "Progreso/nucleo/estado_progreso.h"

#include "qt_gtest.h"

#include <gtest/gtest.h>

#include <vector>

using Progreso::EstadoProgreso;

namespace {

TEST(EstadoProgreso, RangoVacioDaUnaBarraDeCeroAUno) {
    EstadoProgreso e;
    e.iniciar(0, 0, 0);
    EXPECT_EQ(e.minimo(), 0);
    EXPECT_EQ(e.maximo(), 1);
    e.iniciar(5, 3, 0);
    EXPECT_EQ(e.minimo(), 5);
    EXPECT_EQ(e.maximo(), 6);
}

TEST(EstadoProgreso, RefrescaLaPrimeraCadaDecimaYLaFinalEnMil) {
    EstadoProgreso e;
    e.iniciar(0, 1000, 0);
    std::vector<int> refrescos;
    for (int v = 1; v <= 1000; ++v)
        if (e.actualizar(static_cast<float>(v), false, 0))
            refrescos.push_back(v);
    ASSERT_EQ(refrescos.size(), 101u);
    EXPECT_EQ(refrescos[0], 1);
    EXPECT_EQ(refrescos[1], 11);
    EXPECT_EQ(refrescos[2], 21);
    EXPECT_EQ(refrescos[99], 991);
    EXPECT_EQ(refrescos[100], 1000);
}

TEST(EstadoProgreso, ForzarRefrescaEntreLosRegularesYReiniciaLaCuenta) {
    EstadoProgreso e;
    e.iniciar(0, 1000, 0);
    ASSERT_TRUE(e.actualizar(1, false, 0));
    EXPECT_FALSE(e.actualizar(2, false, 0));
    EXPECT_TRUE(e.actualizar(3, true, 0));
    for (int v = 4; v < 13; ++v)
        EXPECT_FALSE(e.actualizar(static_cast<float>(v), false, 0)) << v;
    EXPECT_TRUE(e.actualizar(13, false, 0));
}

TEST(EstadoProgreso, TextosDeUnRefresco) {
    EstadoProgreso e;
    e.iniciar(50, 150, 100.0); // arranque a las 00:01:40
    auto r = e.actualizar(100, false, 100.0 + 3725.9);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->porcentaje, QStringLiteral("66,67 %")); // del máximo, no del rango
    EXPECT_EQ(r->valorBarra, 100.0f);
    EXPECT_EQ(r->transcurrido, QStringLiteral("01:02:05"));
    EXPECT_EQ(r->estimado,
              QStringLiteral("01:33:08")); // 150 × 3725,9 / 100: total, no lo que falta
}

TEST(EstadoProgreso, ValorCeroNoEstimaYFueraDeRangoNoMueveLaBarra) {
    EstadoProgreso e;
    e.iniciar(10, 20, 0);
    auto r = e.actualizar(0, true, 59.99);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->valorBarra); // 0 está por debajo del mínimo 10
    EXPECT_FALSE(r->estimado);
    EXPECT_EQ(r->transcurrido, QStringLiteral("00:00:59"));
    EXPECT_EQ(r->porcentaje, QStringLiteral(",00 %"));
    r = e.actualizar(25, true, 60);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->valorBarra);
    EXPECT_EQ(r->porcentaje, QStringLiteral("125,00 %"));
}

TEST(EstadoProgreso, FormatoDelPorcentaje) {
    const struct {
        double valor;
        const char* texto;
    } casos[] = {{45.5, "45,50 %"}, {0.5, ",50 %"},      {100, "100,00 %"},
                 {0, ",00 %"},      {66.666, "66,67 %"}, {-2.5, "-2,50 %"}};
    for (const auto& c : casos)
        EXPECT_EQ(Progreso::TextoPorcentaje(c.valor), QString::fromUtf8(c.texto)) << c.valor;
}

} // namespace
