#include "qt_gtest.h"
#include "rutinas/nucleo/formato.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace rutinas;

TEST(ValorNumerico, LeeLoNumericoDelPrincipioSinMirarLaRegion) {
    struct Caso {
        const char16_t* texto;
        double valor;
    };
    const Caso casos[] = {
        {u"", 0},           {u"abc", 0},      {u"12.5kg", 12.5}, {u"  -3", -3},
        {u" - 3 E2", -300}, {u"1 234", 1234}, {u"\t1\n2", 12},   {u"1.234,50", 1.234},
        {u"1,5", 1},        {u"+.5", 0.5},    {u".", 0},         {u"-", 0},
        {u"2D3", 2000},     {u"2e-2x", 0.02}, {u"7E", 7},        {u"7E+", 7},
        {u"1..2", 1},       {u"15.5", 15.5},  {u"1e999", 0},
    };
    for (const Caso& c : casos)
        EXPECT_DOUBLE_EQ(ValorNumerico(QStringView(c.texto)), c.valor)
            << QString::fromUtf16(c.texto).toStdString();
}

TEST(ValorNumerico, NoPierdeCifrasEnTextosLargos) {
    // Un número tecleado sin límite de largo conserva su orden de magnitud y su exponente.
    EXPECT_DOUBLE_EQ(ValorNumerico(QString("1" + QString(200, '0'))), 1e200);
    EXPECT_DOUBLE_EQ(ValorNumerico(QString("0." + QString(100, '0') + "5E+101")), 5);
    EXPECT_DOUBLE_EQ(ValorNumerico(QString("-" + QString(80, '9') + " +")), -1e80);
}

TEST(LeerNumeroLocal, EntiendeLaEscrituraEspanola) {
    struct Caso {
        const char16_t* texto;
        std::optional<double> valor;
    };
    const Caso casos[] = {
        {u"1.234,50", 1234.5},
        {u"1.234", 1234},
        {u"1.234.567", 1234567},
        {u"0,5", 0.5},
        {u",5", 0.5},
        {u"-1.234,5", -1234.5},
        {u" 12 ", 12},
        {u"1234,5", 1234.5},
        // Un único punto que no agrupa de tres en tres es el punto decimal.
        {u"1234.5", 1234.5},
        {u"12.5", 12.5},
        {u"1234.50", 1234.5},
        {u"", std::nullopt},
        {u"-", std::nullopt},
        {u"abc", std::nullopt},
        {u"12a", std::nullopt},
        {u"1.2.3", std::nullopt},
        {u"1,2,3", std::nullopt},
        {u"1,2.5", std::nullopt},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(LeerNumeroLocal(QStringView(c.texto)), c.valor)
            << QString::fromUtf16(c.texto).toStdString();
}

TEST(FormatearNumero, PatronesDeLaBibliotecaConConvencionesEspanolas) {
    struct Caso {
        double valor;
        const char16_t* patron;
        const char16_t* esperado;
    };
    const Caso casos[] = {
        {1234.5, u"#,##0.00", u"1.234,50"},
        {1234.5, u"#,##0.000", u"1.234,500"},
        {1234.6, u"#,##0", u"1.235"},
        {999, u"#,##0", u"999"},
        {1234, u"#,##0", u"1.234"},
        {1234567.891, u"#,##0.00", u"1.234.567,89"},
        {-1234.5, u"#,##0.00", u"-1.234,50"},
        {0, u"#,##0.00", u"0,00"},
        {0.5, u"#.00", u",50"}, // sin cero delante
        {1234.5, u"#.00", u"1234,50"},
        {1234.5, u"#.", u"1235,"},
        {0, u"#.", u","},
        {45.5, u"#.00 ", u"45,50 "},
        {0.5, u"#.00 ", u",50 "},
        {1234.5, u"0.00", u"1234,50"},
        {0.004, u"0.00", u"0,00"},
        {-0.004, u"0.00", u"0,00"},
        {2.5, u"0", u"3"},
        {-2.5, u"0", u"-3"},
        {1.005, u"0.00", u"1,01"},
        {2.675, u"0.00", u"2,68"},
        {0.125, u"0.00", u"0,13"},
        {9.995, u"0.00", u"10,00"},
        {999999.5, u"#,##0", u"1.000.000"},
        {1e20, u"#,##0", u"100.000.000.000.000.000.000"},
        {1.5, u"0.0#", u"1,5"},
        {1.25, u"0.0#", u"1,25"},
        {1, u"0.0#", u"1,0"},
        {7, u"00", u"07"},
        {12.3, u"Total: 0.0 €", u"Total: 12,3 €"},
    };
    for (const Caso& c : casos) {
        const QString patron = QString::fromUtf16(c.patron);
        EXPECT_EQ(FormatearNumero(c.valor, patron), QString::fromUtf16(c.esperado))
            << c.valor << " con " << patron.toStdString();
    }
    EXPECT_EQ(FormatearNumero(std::nan(""), u"0.00"), "");
    EXPECT_EQ(FormatearNumero(1234.5, PatronNumero::Importe(2)), "1.234,50");
    EXPECT_EQ(FormatearNumero(1234.5, PatronNumero::Importe(0)), "1.235");
    EXPECT_EQ(FormatearNumero(0.5, PatronNumero::Importe(-1)), "1");
}

TEST(FormatearFecha, DiaMesYAnioEnEspanol) {
    const QDate fecha(2026, 12, 7);
    EXPECT_EQ(FormatearFecha(fecha, u"dd mmm yyyy"), "07 dic 2026");
    EXPECT_EQ(FormatearFecha(fecha, u"dd mmmm"), "07 diciembre");
    EXPECT_EQ(FormatearFecha(fecha, u"dd/mm/yyyy"), "07/12/2026");
    EXPECT_EQ(FormatearFecha(fecha, u"d/m/yy"), "7/12/26");
    EXPECT_EQ(FormatearFecha(fecha, u"dddd d"), "lunes 7");
    EXPECT_EQ(FormatearFecha(QDate(2026, 1, 3), u"ddd, dd mmm"), "sáb, 03 ene");
    EXPECT_EQ(FormatearFecha(QDate(), u"dd/mm/yyyy"), "");
    const char* cortos[] = {"ene", "feb", "mar", "abr", "may", "jun",
                            "jul", "ago", "sep", "oct", "nov", "dic"};
    const char* largos[] = {"enero", "febrero", "marzo",      "abril",   "mayo",      "junio",
                            "julio", "agosto",  "septiembre", "octubre", "noviembre", "diciembre"};
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(MesAbreviado(m), cortos[m - 1]);
        EXPECT_EQ(MesCompleto(m), largos[m - 1]);
    }
}

TEST(LeerFechaLocal, FormasQueSeEscribenEnEspana) {
    struct Caso {
        const char16_t* texto;
        QDate fecha;
    };
    const Caso casos[] = {
        {u"07 dic 2026", QDate(2026, 12, 7)},
        {u"7 DICIEMBRE 2026", QDate(2026, 12, 7)},
        {u"07/12/2026", QDate(2026, 12, 7)},
        {u"5/3/26", QDate(2026, 3, 5)},
        {u"5-3-29", QDate(2029, 3, 5)},
        {u"5.3.30", QDate(1930, 3, 5)},
        {u"5/3/99", QDate(1999, 3, 5)},
        {u"5/3/2", QDate(2002, 3, 5)},
        {u"07 diciembre", QDate(2031, 12, 7)}, // sin año: el que se da
        {u"5/3", QDate(2031, 3, 5)},
        {u"2026/12/07", QDate(2026, 12, 7)},
        {u"0032/3/4", QDate(1932, 3, 4)}, // como 4/3/0032: la fecha se lee igual en las dos formas
        {u"4/3/0032", QDate(1932, 3, 4)},
        {u"0100/3/4", QDate(100, 3, 4)},
        {u"4/3/0100", QDate(100, 3, 4)},
        {u"1 sept 2026", QDate(2026, 9, 1)},
        {u"29/2/2024", QDate(2024, 2, 29)},
        {u"29/2/2026", QDate()},
        {u"31/2/2026", QDate()},
        {u"32/1/2026", QDate()},
        {u"1/13/2026", QDate()},
        {u"0/1/2026", QDate()},
        {u"7", QDate()},
        {u"", QDate()},
        {u"7 xyz 2026", QDate()},
        {u"1/2/3/4", QDate()},
        {u"dic 7 2026", QDate()},
        {u"5/3/12345", QDate()},
    };
    for (const Caso& c : casos) {
        const auto leida = LeerFechaLocal(QStringView(c.texto), 2031);
        EXPECT_EQ(leida.value_or(QDate()), c.fecha) << QString::fromUtf16(c.texto).toStdString();
    }
}

TEST(EnteroCorto, RedondeaLaMitadAlParYSeQuedaEnDieciseisBits) {
    EXPECT_EQ(EnteroCorto(15.5), 16);
    EXPECT_EQ(EnteroCorto(16.5), 16);
    EXPECT_EQ(EnteroCorto(-2.5), -2);
    EXPECT_EQ(EnteroCorto(30.4), 30);
    EXPECT_EQ(EnteroCorto(1e9), 32767);
    EXPECT_EQ(EnteroCorto(-1e9), -32768);
}
