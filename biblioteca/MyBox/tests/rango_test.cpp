// Orden de un rango Desde/Hasta según el tipo del campo.
#include "MyBox/nucleo/rango.h"
#include "rutinas/nucleo/descriptor.h"

#include "qt_gtest.h"

#include <QStringList>
#include <gtest/gtest.h>

using MyBox::RangoEnOrden;

namespace {

struct CasoRango {
    const char* tag;
    const char* desde;
    const char* hasta;
    bool enOrden;
};

class Rango : public ::testing::TestWithParam<CasoRango> {};

TEST_P(Rango, SeComparaSegunElTipo) {
    const auto& c = GetParam();
    const QString tag = QString::fromUtf8(c.tag);
    EXPECT_EQ(RangoEnOrden(QString::fromUtf8(c.desde), QString::fromUtf8(c.hasta), tag, tag),
              c.enOrden)
        << c.tag << " " << c.desde << " / " << c.hasta;
}

INSTANTIATE_TEST_SUITE_P(
    Tipos, Rango,
    ::testing::Values(
        // Un lado en blanco siempre vale.
        CasoRango{"T(N) L(10) A(D) (/)", "200", "", true},
        CasoRango{"T(N) L(10) A(D) (/)", "  ", "1", true},
        CasoRango{"T(m) L(10) A(I) (/)", "zzz", "   ", true},
        // Números: forma de edición o de ver, leídos como valor.
        CasoRango{"T(N) L(10) A(D) (/)", "1", "100", true},
        CasoRango{"T(N) L(10) A(D) (/)", "200", "100", false},
        CasoRango{"T(N) L(10) A(D) (/)", "100", "100.00", true},
        CasoRango{"T(N) L(12) A(D) (/)", "1.234,50", "999,00", false},
        CasoRango{"T(N) L(12) A(D) (/)", "999,00", "1.234,50", true},
        CasoRango{"T(N) L(12) A(D) (/)", "-5", "3", true},
        CasoRango{"T(n) L(12) A(D) D(0) (/)", "9", "10", true},
        // Cifras: el número del principio del texto, tal cual.
        CasoRango{"T(D) L(6) A(C) (/)", "000042", "000100", true},
        CasoRango{"T(D) L(6) A(D) (/)", "   100", "    42", false},
        // Fechas, escritas de cualquiera de las dos formas.
        CasoRango{"T(F) L(10) A(I) (/)", "07/12/2026", "08/12/2026", true},
        CasoRango{"T(F) L(10) A(I) (/)", "07 dic 2026", "06/12/2026", false},
        CasoRango{"T(F) L(10) A(I) (/)", "31/12/2025", "01 ene 2026", true},
        CasoRango{"T(F) L(10) A(I) (/)", "07/12/2026", "07/12/2026", true},
        // Una fecha que no se entiende no bloquea el cuadro.
        CasoRango{"T(F) L(10) A(I) (/)", "31/02/2026", "01/01/2000", true},
        // Texto: por código de carácter; las mayúsculas van antes que las minúsculas.
        CasoRango{"T(m) L(10) A(I) (/)", "ABC", "abc", true},
        CasoRango{"T(m) L(10) A(I) (/)", "abc", "ABC", false},
        CasoRango{"T(m) L(10) A(I) (/)", "Zeta", "alfa", true},
        CasoRango{"T(M) L(10) A(I) (/)", "IGUAL", "IGUAL", true},
        // "f" (día y mes) no es "F": se compara como texto.
        CasoRango{"T(f) L(10) A(I) (/)", "10/01/2026", "09/02/2026", false},
        CasoRango{"T(d) L(6) A(C) (/)", "9", "10", false}));

TEST(RangoSinTipo, SeComparaComoTextoTrasElAviso) {
    QStringList avisos;
    auto anterior = rutinas::PonerAvisadorFaltaDato([&](const QString& t) { avisos << t; });
    EXPECT_FALSE(RangoEnOrden(QStringLiteral("9"), QStringLiteral("10"),
                              QStringLiteral("L(5) A(I)"), QStringLiteral("L(5) A(I)")));
    rutinas::PonerAvisadorFaltaDato(anterior);
    EXPECT_EQ(avisos.size(), 1);
}

} // namespace
