#include "MiVisor/nucleo/datos_rejilla.h"

#include "qt_gtest.h"

#include <gtest/gtest.h>

using MiVisor::DatosRejilla;
using MiVisor::ModoOrden;

namespace {

DatosRejilla conColumna(const QStringList& textos) {
    DatosRejilla d;
    d.setCols(2);
    d.setRows(static_cast<int>(textos.size()) + 1);
    d.setTextMatrix(0, 0, QStringLiteral("Título"));
    for (int i = 0; i < textos.size(); ++i) {
        d.setTextMatrix(i + 1, 0, textos[i]);
        d.setTextMatrix(i + 1, 1, QString::number(i));
    }
    return d;
}

QStringList columna(const DatosRejilla& d, int col = 0) {
    QStringList r;
    for (int f = 1; f < d.Rows(); ++f)
        r << d.TextMatrix(f, col);
    return r;
}

struct CasoOrden {
    const char* nombre;
    ModoOrden modo;
    QStringList entrada;
    QStringList esperado;
};

void PrintTo(const CasoOrden& c, std::ostream* os) {
    *os << c.nombre;
}

class OrdenDatos : public ::testing::TestWithParam<CasoOrden> {};

TEST_P(OrdenDatos, OrdenaLasFilasDeDatosSinTocarLosTitulos) {
    const CasoOrden& caso = GetParam();
    DatosRejilla d = conColumna(caso.entrada);
    d.ordenar(0, caso.modo);
    EXPECT_EQ(columna(d), caso.esperado);
    EXPECT_EQ(d.TextMatrix(0, 0), QStringLiteral("Título"));
}

INSTANTIATE_TEST_SUITE_P(
    Casos, OrdenDatos,
    ::testing::Values(CasoOrden{"NumerosComoNumeros",
                                ModoOrden::GenericoAscendente,
                                {"10", "9", "-2.5", "100", "1e1"},
                                {"-2.5", "9", "10", "1e1", "100"}},
                      CasoOrden{"TextoDistingueMayusculas",
                                ModoOrden::GenericoAscendente,
                                {"b", "B", "a", "A"},
                                {"A", "B", "a", "b"}},
                      CasoOrden{"VaciosDelanteDeNumeros",
                                ModoOrden::GenericoAscendente,
                                {"45000", "", "44000"},
                                {"", "44000", "45000"}},
                      CasoOrden{"Descendente",
                                ModoOrden::GenericoDescendente,
                                {"2", "10", "1"},
                                {"10", "2", "1"}},
                      CasoOrden{"EspanolSinMayusculas",
                                ModoOrden::TextoSinMayusculas,
                                {"ñu", "Nube", "oso", "Ángel", "angel", "zeta", "Ñandú", "nada"},
                                {"angel", "Ángel", "nada", "Nube", "Ñandú", "ñu", "oso", "zeta"}},
                      CasoOrden{"EstableEnEmpates",
                                ModoOrden::TextoSinMayusculas,
                                {"pepe", "PEPE", "Pepe"},
                                {"pepe", "PEPE", "Pepe"}}),
    [](const auto& info) { return std::string(info.param.nombre); });

TEST(DatosRejilla, LasFilasSeMuevenEnterasConSuAlto) {
    DatosRejilla d = conColumna({"c", "a", "b"});
    d.setRowHeight(2, 0); // la fila de "a" oculta
    d.ordenar(0, ModoOrden::TextoSinMayusculas);
    EXPECT_EQ(columna(d, 1), (QStringList{"1", "2", "0"}));
    EXPECT_TRUE(d.oculta(1));
    EXPECT_FALSE(d.oculta(2));
}

TEST(DatosRejilla, MezclaDeNumerosYTextosNoRompeLaOrdenacion) {
    // Números entre sí como números y lo demás como texto no es un orden total; con muchas
    // filas la ordenación debe terminar sin salirse del rango y sin perder filas.
    QStringList textos;
    for (int i = 0; i < 2000; ++i)
        textos << (i % 3 == 0 ? QString::number(i % 97) : QStringLiteral("%1a").arg(i % 89));
    DatosRejilla d = conColumna(textos);
    d.ordenar(0, ModoOrden::GenericoAscendente);
    QStringList antes = textos, despues = columna(d);
    antes.sort();
    despues.sort();
    EXPECT_EQ(antes, despues);
}

TEST(DatosRejilla, DimensionesYLimites) {
    DatosRejilla d;
    EXPECT_EQ(d.Rows(), 2);
    d.setRows(0);
    EXPECT_EQ(d.Rows(), 1); // la fila de títulos no se quita nunca
    d.setCols(3);
    d.setRows(4);
    EXPECT_TRUE(d.setTextMatrix(3, 2, "x"));
    EXPECT_FALSE(d.setTextMatrix(4, 0, "fuera"));
    EXPECT_FALSE(d.setTextMatrix(0, 3, "fuera"));
    EXPECT_EQ(d.TextMatrix(9, 9), QString());
    d.setCols(2);
    d.setCols(3);
    EXPECT_EQ(d.TextMatrix(3, 2), QString()); // la columna quitada no vuelve con su texto
    EXPECT_FALSE(d.quitarFila(0));
    EXPECT_TRUE(d.quitarFila(1));
    EXPECT_EQ(d.Rows(), 3);
}

TEST(DatosRejilla, LecturaDeNumerosParaOrdenar) {
    struct {
        const char* texto;
        bool esNumero;
        double valor;
    } casos[] = {{" 12 ", true, 12}, {"-3,5", true, -3.5}, {"1.5e2", true, 150},
                 {"+.5", true, 0.5}, {"12a", false, 0},    {"", false, 0},
                 {".", false, 0},    {"1e", false, 0},     {"1.234,5", false, 0}};
    for (const auto& c : casos) {
        double v = 0;
        EXPECT_EQ(MiVisor::LeerNumeroOrden(QString::fromUtf8(c.texto), v), c.esNumero) << c.texto;
        if (c.esNumero) {
            EXPECT_DOUBLE_EQ(v, c.valor) << c.texto;
        }
    }
}

} // namespace
