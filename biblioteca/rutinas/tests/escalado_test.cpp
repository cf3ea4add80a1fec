#include "rutinas/nucleo/escalado.h"

#include <gtest/gtest.h>

using namespace rutinas;

namespace {

// Cada caso empieza sin factores y deja la biblioteca como la encontró.
class Escalado : public ::testing::Test {
protected:
    void SetUp() override { Poner(0, 0, false); }
    void TearDown() override { Poner(0, 0, false); }
    static void Poner(float x, float y, bool sin) {
        FactorX = x;
        FactorY = y;
        SinEscalar = sin;
    }
};

} // namespace

TEST_F(Escalado, VentanaPrincipalEnAreaDeTrabajoMayor) {
    // 9000 × 6000 en 12000 × 9000: objetivo 10500 × 7500, factores 1,1667 y 1,25 → 1,1667.
    const float objetivoX = ObjetivoPorOmision(9000, 12000);
    const float objetivoY = ObjetivoPorOmision(6000, 9000);
    EXPECT_FLOAT_EQ(objetivoX, 10500);
    EXPECT_FLOAT_EQ(objetivoY, 7500);
    CalcularFactores(9000, 6000, objetivoX, objetivoY);
    EXPECT_NEAR(FactorX, 1.1667, 1e-4);
    EXPECT_EQ(FactorY, FactorX);
    // Si el vertical es el menor, manda él.
    CalcularFactores(6000, 9000, 7500, 10500);
    EXPECT_NEAR(FactorX, 1.1667, 1e-4);
    EXPECT_EQ(FactorY, FactorX);
}

TEST_F(Escalado, VentanaSinTamanoNoDaFactores) {
    Poner(1.5f, 1.5f, false);
    CalcularFactores(0, 6000, 100, 100);
    EXPECT_EQ(FactorX, 1.5f);
}

TEST_F(Escalado, RutinasDeEscalaSegunFactoresYSinEscalar) {
    struct Caso {
        float x, y;
        bool sin;
        float escalaX, escalaY, fuente;
    };
    const Caso casos[] = {
        {0, 0, false, 100, 100, 8},     {1.5f, 0, false, 150, 100, 8}, {0, 2, false, 100, 200, 8},
        {1.5f, 2, false, 150, 200, 14}, {1.5f, 2, true, 100, 100, 8},
    };
    for (const Caso& c : casos) {
        Poner(c.x, c.y, c.sin);
        EXPECT_FLOAT_EQ(EscalaX(100), c.escalaX);
        EXPECT_FLOAT_EQ(EscalaY(100), c.escalaY);
        EXPECT_FLOAT_EQ(EscalaFuente(8), c.fuente);
    }
}

TEST_F(Escalado, ControlesAparcadosSiguenAparcados) {
    Poner(1.5f, 1.5f, false);
    EXPECT_FLOAT_EQ(EscalarIzquierda(-74000), -73500);
    EXPECT_FLOAT_EQ(EscalarIzquierda(-50000), -75000); // en el límite se escala sin más
    EXPECT_FLOAT_EQ(EscalarIzquierda(1000), 1500);
}

TEST_F(Escalado, Centrado) {
    EXPECT_FLOAT_EQ(PosicionCentrada(12000, 6000), 3001);
    EXPECT_FLOAT_EQ(PosicionCentrada(9000, 9001), 0.5);
}
