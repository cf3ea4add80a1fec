#include "qt_gtest.h"
#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/nif.h"
#include "rutinas/nucleo/valores.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace rutinas;

namespace {

// Fecha de trabajo fija y avisos recogidos, y todo como estaba al terminar.
class Valores : public ::testing::Test {
protected:
    void SetUp() override {
        FechaTrabajo = QDate(2026, 12, 15);
        anterior_ = PonerAvisadorFaltaDato([this](const QString& t) { avisos.append(t); });
    }
    void TearDown() override {
        FechaTrabajo = QDate();
        PonerAvisadorFaltaDato(std::move(anterior_));
    }
    QStringList avisos;

private:
    Avisador anterior_;
};

struct Caso {
    const char* tag;
    const char* texto;
    const char* esperado;
};

void Comprobar(QString (*formato)(const QString&, const QString&), const Caso& c) {
    EXPECT_EQ(formato(QString::fromUtf8(c.texto), QString::fromUtf8(c.tag)),
              QString::fromUtf8(c.esperado))
        << c.tag << " / \"" << c.texto << "\"";
}

} // namespace

TEST_F(Valores, FormaDeVer) {
    const Caso casos[] = {
        {"T(N) L(12) A(D) D(3)", "1234.5", "1.234,500"},
        {"T(N) L(12) A(D) D(3)", "", ""},
        {"T(N) L(12) A(D) D(3)", "   ", ""},
        {"T(N) L(12) A(D)", "1234.5", "1.234,50"},
        {"T(N) L(12) A(D)", "-0.005", "-0,01"},
        {"T(N) L(12) A(D)", "abc", "0,00"},
        {"T(n) L(12) A(D) D(0)", "1234.6", "1.235"},
        {"T(n) L(12) A(D) D(1.5)", "2.25", "2,25"}, // 1,5 decimales: al par, 2
        {"T(n) L(12) A(D) D(-1)", "7.5", "8"},
        {"T(D) L(6) A(C)", "42", "000042"},
        {"T(D) L(6) A(D)", "42", "    42"},
        {"T(D) L(6) A(I)", "42", "42    "},
        {"T(D) L(6) A(I)", " 42 ", "42    "},
        {"T(D) L(6) A(D)", "  42", "    42"},
        {"T(D) L(6) A(C)", "12345678", "345678"},
        {"T(D) L(6) A(D)", "12345678", "345678"},
        {"T(D) L(6) A(I)", "12345678", "123456"},
        {"T(D) L(6) A(X)", "42", ""},
        {"T(D) L(6) A(C)", " ", ""},
        {"T(F) L(10) A(I)", "7", "07 dic 2026"},
        {"T(F) L(10) A(I)", "31/2", ""},
        {"T(F) L(10) A(I)", "", ""},
        {"T(F) L(10) A(I)", "0503", "05 mar 2026"},
        {"T(F) L(10) A(I)", "050326", "05 mar 2026"},
        {"T(F) L(10) A(I)", "05/03/99", "05 mar 1999"},
        {"T(f) L(10) A(I)", "24/6", "24 junio"},
        {"T(C) L(8) A(I)", "43.15", "43000015"},
        {"T(C) L(8) A(I)", "4315", "43000015"},
        {"T(C) L(8) A(I)", "5721", "57200001"},
        {"T(H) L(5) A(I)", "7:5", "07:05"},
        {"T(H) L(5) A(I)", "9:5", "09:05"},
        {"T(H) L(5) A(I)", "930", "30:00"},
        {"T(H) L(5) A(I)", "", "00:00"},
        {"T(H) L(5) A(I)", "9.5:30.25", "09:30"}, // los decimales no llegan a la pantalla
        {"T(H) L(5) A(I)", ".3", "00:00"},
        {"T(X) L(9) A(I)", "12345678?", "12345678Z"},
        {"T(X) L(9) A(I)", "12345678A", "12345678A"},
        {"T(M) L(9) A(I)", " abc ", " abc "},
        {"T(m) L(30) A(I)", "Hola", "Hola"},
    };
    for (const Caso& c : casos)
        Comprobar(FormatoVisual, c);
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Valores, FormaDeEdicion) {
    const Caso casos[] = {
        {"T(N)", "1.234,50", "1234.50"},
        {"T(N)", "0,5", "0.50"},
        {"T(N)", "", ""},
        {"T(N)", "-1.234,5", "-1234.50"},
        {"T(N) D(3)", "1.234,500", "1234.500"},
        {"T(n) D(0)", "1.234", "1234"},
        {"T(n) D(0)", "0", "0"},    // el cero no desaparece al entrar en el campo
        {"T(n) D(0)", "0,4", "0"},  // ni lo que se redondea a cero
        {"T(n) D(0)", "-0,4", "0"}, // y sin signo
        {"T(N)", "-0,3", "-0.30"},  // con su cero delante también si es negativo
        {"T(N) D(1)", "-,05", "-0.1"},
        {"T(N)", "1234.5", "1234.50"}, // ya en forma de edición
        {"T(N)", "abc", "abc"},
        {"T(F)", "07 dic 2026", "07/12/2026"},
        {"T(F)", "7/12/26", "07/12/2026"},
        {"T(F)", "", ""},
        {"T(F)", "no es fecha", "no es fecha"},
        {"T(C)", "43000015", "43000015"},
        {"T(D)", " 42", " 42"},
    };
    for (const Caso& c : casos)
        Comprobar(FormatoEdicion, c);
    const QString sinAnio = FormatoEdicion("07 diciembre", "T(f)");
    EXPECT_EQ(sinAnio, "07/12/" + QString::number(QDate::currentDate().year()));
}

TEST_F(Valores, IdaYVueltaEntreLasDosFormas) {
    const char* tag = "T(N) L(15) A(D) D(2)";
    for (const char* edicion :
         {"1234.50", "0.50", "-98765432.10", "1.00", "1000000.00", "-0.30", "0.00"}) {
        const QString visible = FormatoVisual(edicion, tag);
        EXPECT_EQ(FormatoEdicion(visible, tag), edicion) << visible.toStdString();
    }
}

TEST_F(Valores, SinTipoLongitudNiAjusteAvisaDeLosTresEnOrden) {
    EXPECT_EQ(FormatoVisual("abc", ""), "abc");
    ASSERT_EQ(avisos.size(), 3);
    EXPECT_TRUE(avisos[0].contains("(T) Tipo"));
    EXPECT_TRUE(avisos[1].contains("(L) Longitud"));
    EXPECT_TRUE(avisos[2].contains("(A) Ajuste"));
}

TEST_F(Valores, CompletarFechaConElMesYElAnioDeTrabajo) {
    const std::pair<const char*, const char*> casos[] = {
        {"5", "5/12/2026"},
        {"05", "05/12/2026"},
        {"0503", "05/03/2026"},
        {"053", "05/3/2026"},
        {"050326", "05/03/26"},
        {"05032026", "05/03/2026"},
        {"5/", "5/12/2026"},
        {"5/3", "5/3/2026"},
        {"5/3/", "5/3/2026"},
        {"5/3/27", "5/3/27"},
        {"31/2", ""},
        {"1/2/3/4", ""},
        {"", ""},
        {"32", ""},
        {"29/2/", ""},
        {"5/13", ""},
        {"ab", ""},
        {"5/mar/2026", "5/mar/2026"},
    };
    for (const auto& [texto, esperado] : casos) {
        EXPECT_EQ(CompletarFecha(texto), esperado) << texto;
        // Lo que no completa una fecha (y no está en blanco) es una fecha que no existe.
        EXPECT_EQ(FechaQueNoExiste(texto, "T(F) L(10) A(I)"), *texto && !*esperado) << texto;
        EXPECT_EQ(FechaQueNoExiste(texto, "T(f) L(10) A(I)"), *texto && !*esperado) << texto;
        EXPECT_FALSE(FechaQueNoExiste(texto, "T(m) L(10) A(I)")) << texto;
    }
    EXPECT_FALSE(FechaQueNoExiste("  ", "T(F) L(10) A(I)"));
    EXPECT_FALSE(FechaQueNoExiste("32", "L(10)")); // sin tipo, sin aviso
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Valores, LaFechaDeTrabajoEsHoySiNoHayOtra) {
    FechaTrabajo = QDate();
    const QDate hoy = QDate::currentDate();
    EXPECT_EQ(CompletarFecha("1"), QStringLiteral("1/%1/%2").arg(hoy.month()).arg(hoy.year()));
    EXPECT_EQ(FechaTrabajo, hoy);
    EXPECT_EQ(FechaHoy(), hoy.toString("dd/MM/yyyy"));
}

TEST(ExpandirCuenta, OchoCifras) {
    const std::pair<const char*, const char*> casos[] = {
        {"43.15", "43000015"},    {"4315", "43000015"},    {"572.1", "57200001"},
        {"5721", "57200001"},     {"43", "43000000"},      {"4", "40000000"},
        {"400.1", "40000001"},    {" 43.15 ", "43000015"}, {"43.", "43000000"},
        {"12345678", "12345678"}, {"4012345", "40012345"},
    };
    for (const auto& [texto, esperado] : casos) {
        QString t = texto;
        ExpandirCuenta(t);
        EXPECT_EQ(t, esperado) << texto;
    }
    QString blanco = "   ";
    ExpandirCuenta(blanco);
    EXPECT_EQ(blanco, "   ");
}

TEST(LetraNif, LetraDeControl) {
    const std::pair<const char*, const char*> casos[] = {
        {"12345678?", "12345678Z"},
        {"00000000?", "00000000"},
        {"?", ""},
        {"1234567?", "1234567L"},
        {"12345678A", "12345678A"},
        {"12345678", "12345678"},
        {"T(?", "T(?"},
        {"12.5?", "12.5?"},
        {"X1234567?", "X1234567"},
        {"23?", "23T"},
        {"1?", "1R"},
        {"22?", "22E"},
        {"99999999?", "99999999R"},
    };
    for (const auto& [texto, esperado] : casos) {
        QString t = texto;
        LetraNif(t);
        EXPECT_EQ(t, esperado) << texto;
    }
}

TEST(LetraNif, CadaRestoTieneSuLetra) {
    const QString letras = "TRWAGMYFPDXBNJZSQVHLCKE";
    for (int resto = 0; resto < 23; ++resto) {
        QString t = QString::number(23 * 4321 + resto) + "?";
        LetraNif(t);
        EXPECT_EQ(t.back(), letras[resto]) << resto;
    }
}
