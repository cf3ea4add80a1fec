#include "qt_gtest.h"
#include "rutinas/nucleo/generales.h"

#include <gtest/gtest.h>

using namespace rutinas;

TEST(FormatoNumero, ImportesDeRejilla) {
    QString vacio;
    EXPECT_EQ(FormatoNumero("1234.5", vacio, true), "1.234,50");
    EXPECT_EQ(vacio, "#,##0.00");
    QString formato = "#,##0.00";
    EXPECT_EQ(FormatoNumero("0", formato, false), "");
    EXPECT_EQ(FormatoNumero("", formato, false), "");
    EXPECT_EQ(FormatoNumero("0", formato, true), "0,00");
    EXPECT_EQ(FormatoNumero("-0.001", formato, false), "0,00"); // no es cero: se ve
    QString entero = "#,##0";
    EXPECT_EQ(FormatoNumero("1234567", entero, false), "1.234.567");
}

TEST(NumeroConPunto, PuntoDecimalParaFicheros) {
    struct Caso {
        const char* valor;
        short ancho;
        const char* formato;
        const char* esperado;
    };
    const Caso casos[] = {
        {"1234,5", 10, "", "   1234.50"},  {"1234,5", 0, "", "1234.50"},
        {"1.234,5", 0, "0.00", "1234.50"}, {"1234.5", 0, "0.00", "1234.50"},
        {"1234,5", 4, "0.00", "4.50"},     {"1234,5", 0, "#,##0.00", "1.234.50"},
        {"abc", 5, "0.00", "  abc"},       {"", 0, "0.00", ""},
    };
    for (const Caso& c : casos) {
        QString formato = c.formato;
        EXPECT_EQ(NumeroConPunto(c.valor, c.ancho, formato), c.esperado) << c.valor;
    }
    QString vacio;
    NumeroConPunto("1", 0, vacio);
    EXPECT_EQ(vacio, "0.00");
}

TEST(ConvertirOem, EntreDosYWindows) {
    // "año Ñ" en página 850: a=61, ñ=A4, o=6F, blanco, Ñ=A5. Leídos como Windows-1252
    // esos bytes son "a¤o ¥".
    const QString desdeDos = QString::fromUtf8("a\u00a4o \u00a5");
    EXPECT_EQ(ConvertirOem(desdeDos, "win"), QString::fromUtf8("año Ñ"));
    EXPECT_EQ(ConvertirOem(desdeDos, "WIN"), QString::fromUtf8("año Ñ"));
    EXPECT_EQ(ConvertirOem(QString::fromUtf8("año Ñ"), "dos"), desdeDos);
    EXPECT_EQ(ConvertirOem(QString::fromUtf8("año"), "otro"), QString::fromUtf8("año"));
    // El euro no está en la página 850.
    EXPECT_EQ(TextoAOem(QString::fromUtf8("5 €")), QByteArray("5 ?"));
    EXPECT_EQ(ConvertirOem(QString::fromUtf8("5 €"), "dos"), "5 ?");
    // Los NUL pasan a blancos siempre.
    const QString conNul = QString("a") + QChar(0) + "b";
    EXPECT_EQ(ConvertirOem(conNul, "win"), "a b");
    SinConversionOem = true;
    EXPECT_EQ(ConvertirOem(conNul + desdeDos, "win"), "a b" + desdeDos);
    SinConversionOem = false;
}

TEST(ConvertirOem, LosDosJuegosCompletosVanYVuelven) {
    QByteArray todos;
    for (int b = 0; b < 256; ++b)
        todos.append(static_cast<char>(b));
    EXPECT_EQ(TextoAOem(OemATexto(todos)), todos);
    EXPECT_EQ(TextoAAnsi(AnsiATexto(todos)), todos);
    // Y por tanto ConvertirOem no pierde nada en la ida y vuelta (salvo el NUL).
    const QString dos = AnsiATexto(todos.mid(1));
    EXPECT_EQ(ConvertirOem(ConvertirOem(dos, "win"), "dos"), dos);
}

TEST(PartirLista, Separadores) {
    struct Caso {
        const char* lista;
        QStringList entradas;
    };
    const Caso casos[] = {
        {"uno<<dos<<tres", {"uno", "dos", "tres"}},
        {"A;B<<C", {"A", "B<<C"}},
        {"sola", {"sola"}},
        {"A;B;", {"A", "B"}},
        {"A;;B", {"A", "", "B"}},
        {"", {}},
        {";", {""}},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(PartirLista(c.lista), c.entradas) << c.lista;
}

TEST(IndiceEnImpresoras, PosicionONada) {
    const QStringList nombres = {"PDF", "Laser", "Matricial"};
    EXPECT_EQ(IndiceEnImpresoras(nombres, "Laser"), 1);
    EXPECT_EQ(IndiceEnImpresoras(nombres, "laser"), 0);
    EXPECT_EQ(IndiceEnImpresoras({}, ""), 0);
}
