#include "qt_gtest.h"
#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/teclas.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace rutinas;

namespace {

class Teclas : public ::testing::Test {
protected:
    void SetUp() override {
        anterior_ = PonerAvisadorFaltaDato([this](const QString& t) { avisos.append(t); });
    }
    void TearDown() override { PonerAvisadorFaltaDato(std::move(anterior_)); }
    QStringList avisos;

private:
    Avisador anterior_;
};

constexpr int kFin = -1; // cursor al final del texto

struct Caso {
    const char* tag;
    const char* texto;
    int selStart;
    int selLength;
    char16_t tecla;
    char16_t entra; // 0: no entra nada
    AccionTecla accion;
};

DecisionTecla Decidir(const Caso& c) {
    EstadoCampo e{QString::fromUtf8(c.tag), QString::fromUtf8(c.texto),
                  c.selStart == kFin ? static_cast<int>(QString::fromUtf8(c.texto).size())
                                     : c.selStart,
                  c.selLength};
    return DecidirTecla(e, c.tecla);
}

} // namespace

TEST_F(Teclas, TablaPorTipo) {
    using A = AccionTecla;
    const Caso casos[] = {
        // Retroceso, Intro y "+" en cualquier campo.
        {"T(N) L(5)", "123", kFin, 0, 8, 8, A::Ninguna},
        {"T(N) L(5)", "123", kFin, 0, 13, 0, A::EnviarTab},
        {"T(m) L(5)", "abc", kFin, 0, u'+', 0, A::ValorOmision},
        // Números con signo.
        {"T(N) L(10)", "", 0, 0, u'-', u'-', A::Ninguna},
        {"T(N) L(10)", "5", 1, 0, u'-', 0, A::Ninguna},
        {"T(N) L(10)", "5", kFin, 0, u',', u'.', A::Ninguna},
        {"T(N) L(10)", "5.", kFin, 0, u'.', 0, A::Ninguna},
        {"T(N) L(10)", "5", kFin, 0, u'a', 0, A::Ninguna},
        {"T(N) L(10)", "12.34", kFin, 0, u'5', 0, A::Ninguna}, // decimales completos
        {"T(N) L(10)", "12.34", 3, 0, u'5', u'5', A::Ninguna}, // justo tras el punto
        {"T(N) L(10)", "12.34", 1, 0, u'5', u'5', A::Ninguna}, // en la parte entera
        {"T(N) L(10)", "12.3", kFin, 0, u'4', u'4', A::Ninguna},
        {"T(N) L(10) D(3)", "12.34", kFin, 0, u'5', u'5', A::Ninguna},
        {"T(N) L(10) D(0)", "5", kFin, 0, u'.', 0, A::Ninguna},
        {"T(N) L(10) D(0)", "5", kFin, 0, u',', 0, A::Ninguna},
        {"T(N) L(10) D(0)", "5", kFin, 0, u'6', u'6', A::Ninguna},
        // Números sin signo y cuentas.
        {"T(n) L(10)", "", 0, 0, u'-', 0, A::Ninguna},
        {"T(n) L(10)", "1.2", kFin, 0, u'3', u'3', A::Ninguna}, // sin D: dos decimales
        {"T(n) L(10)", "1.23", kFin, 0, u'4', 0, A::Ninguna},
        {"T(C) L(10)", "", 0, 0, u'-', 0, A::Ninguna},
        {"T(C) L(10)", "43", kFin, 0, u',', u'.', A::Ninguna},
        {"T(C) L(10)", "43.1234", kFin, 0, u'5', u'5', A::Ninguna}, // sin límite de cifras
        {"T(C) L(10) D(2)", "43.12", kFin, 0, u'5', 0, A::Ninguna},
        // Cifras.
        {"T(D) L(10)", "1", kFin, 0, u'7', u'7', A::Ninguna},
        {"T(D) L(10)", "1", kFin, 0, u'.', 0, A::Ninguna},
        {"T(D) L(10)", "1", kFin, 0, u'-', 0, A::Ninguna},
        // Fechas.
        {"T(F) L(10)", "05", kFin, 0, u'-', u'/', A::Ninguna},
        {"T(F) L(10)", "05/03", kFin, 0, u'.', u'/', A::Ninguna},
        {"T(F) L(10)", "05/03/", kFin, 0, u'/', 0, A::Ninguna},
        {"T(F) L(10)", "05/", kFin, 0, u'/', 0, A::Ninguna},
        {"T(F) L(10)", "05/03/26", kFin, 0, u'/', 0, A::Ninguna},
        {"T(F) L(10)", "05", 0, 0, u'/', 0, A::Ninguna},
        {"T(F) L(10)", "05", kFin, 0, u'a', 0, A::Ninguna},
        {"T(f) L(10)", "05", kFin, 0, u'a', u'a', A::Ninguna}, // sin filtro
        // Horas.
        {"T(H) L(5)", "9", kFin, 0, u'.', u':', A::Ninguna},
        {"T(H) L(5)", "9", kFin, 0, u'/', u':', A::Ninguna},
        {"T(H) L(5)", "9:3", kFin, 0, u':', 0, A::Ninguna},
        {"T(H) L(5)", "9:3", kFin, 0, u'x', 0, A::Ninguna},
        // Mayúsculas y NIF.
        {"T(M) L(10)", "", 0, 0, u'a', u'A', A::Ninguna},
        {"T(M) L(10)", "", 0, 0, u'ñ', u'Ñ', A::Ninguna},
        {"T(X) L(10)", "1234", kFin, 0, u'z', u'Z', A::Ninguna},
        {"T(X) L(10)", "12345678", kFin, 0, u'?', u'Z', A::Ninguna},
        {"T(X) L(10)", "", 0, 0, u'?', 0, A::Ninguna},
        {"T(X) L(10)", "X1234567", kFin, 0, u'?', 0, A::Ninguna},
        {"T(X) L(10)", "12.5", kFin, 0, u'?', u'?', A::Ninguna},
        {"T(m) L(10)", "", 0, 0, u'a', u'a', A::Ninguna},
        // Longitud: el último carácter entra y pasa el foco; lleno, no entra y pasa.
        {"T(m) L(5)", "abcd", kFin, 0, u'e', u'e', A::PulsarTab},
        {"T(m) L(5)", "abcde", kFin, 0, u'f', 0, A::PulsarTab},
        {"T(m) L(5)", "abcde", 0, 5, u'f', u'f', A::Ninguna}, // reemplaza la selección
        {"T(m) L(5)", "abcd", 0, 2, u'e', u'e', A::Ninguna},
        {"T(m) L(5)", "abcdef", kFin, 0, u'g', u'g', A::Ninguna},
        {"T(D) L(5)", "1234", kFin, 0, u'x', 0, A::Ninguna}, // rechazada: no pasa el foco
        {"T(N) L(4)", "12.3", kFin, 0, u'4', 0, A::PulsarTab},
    };
    for (const Caso& c : casos) {
        const DecisionTecla d = Decidir(c);
        EXPECT_EQ(d.tecla, c.entra)
            << c.tag << " \"" << c.texto << "\" tecla " << static_cast<int>(c.tecla);
        EXPECT_EQ(d.accion, c.accion)
            << c.tag << " \"" << c.texto << "\" tecla " << static_cast<int>(c.tecla);
    }
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Teclas, SecuenciasTecleadas) {
    // Cada tecla se aplica como lo haría el control, con el cursor al final.
    auto teclear = [](const char* tag, const QString& teclas) {
        QString texto;
        for (QChar t : teclas) {
            const DecisionTecla d = DecidirTecla(
                {QString::fromUtf8(tag), texto, static_cast<int>(texto.size()), 0}, t.unicode());
            if (d.tecla != 0)
                texto += QChar(static_cast<char16_t>(d.tecla));
        }
        return texto;
    };
    EXPECT_EQ(teclear("T(F) L(10)", "05-03.26"), "05/03/26");
    EXPECT_EQ(teclear("T(F) L(10)", "05//03/26/"), "05/03/26");
    EXPECT_EQ(teclear("T(H) L(5)", "9.30:"), "9:30");
    EXPECT_EQ(teclear("T(N) L(12)", "1234,567"), "1234.56");
    EXPECT_EQ(teclear("T(n) L(12) D(0)", "5,"), "5");
    EXPECT_EQ(teclear("T(X) L(9)", "12345678?"), "12345678Z");
    EXPECT_EQ(teclear("T(M) L(3)", "abcdef"), "ABC");
}

TEST_F(Teclas, LoPegadoPasaEnteroPorLasReglasONoEntra) {
    struct CasoPegado {
        const char* tag;
        const char* texto; // antes de pegar, con la selección entre [ y ] o el cursor en |
        const char* pegado;
        const char* despues; // nullptr: no se admite
        bool lleno = false;
        const char* aviso = ""; // lo que dice el aviso de un rechazo
    };
    const CasoPegado casos[] = {
        // Importes: la regla de cada tecla, o la forma de ver de España entera.
        {"T(N) L(12) A(D) D(2)", "|", "1234,56", "1234.56"},
        {"T(N) L(12) A(D) D(2)", "|", "1.234,56", "1234.56"},
        {"T(N) L(12) A(D) D(2)", "[1234.50]", "12,5\r\n", "12.5"},
        {"T(N) L(12) A(D) D(2)", "|", "1.234", nullptr, false, "«4» no vale aquí"},
        {"T(N) L(12) A(D) D(2)", "|", "1.234,567", nullptr, false, "«7» no vale aquí"},
        {"T(N) L(12) A(D) D(2)", "|", "12 345,67 €", nullptr, false, "un blanco no vale aquí"},
        {"T(N) L(12) A(D) D(2)", "|", "1\n2", nullptr, false, "un salto de línea"},
        {"T(N) L(6) A(D) D(2)", "|", "1234567", nullptr, false, "no cabe (admite 6 caracteres)"},
        // Texto en mayúsculas, NIF y el resto de tipos.
        {"T(M) L(40) A(I)", "|", "Pérez, s.l.", "PÉREZ, S.L."},
        {"T(X) L(9) A(I)", "|", "12345678z", "12345678Z", true},
        {"T(X) L(9) A(I)", "|", "12.345.678-z", nullptr, false, "no cabe"},
        {"T(F) L(10) A(I)", "|", "05-03-2026", "05/03/2026", true},
        {"T(m) L(30) A(I)", "ab[cd]ef", "XY", "abXYef"},
        {"T(m) L(30) A(I)", "|", "1+1", nullptr, false, "«+» no vale aquí"},
        {"T(m) L(30) A(I)", "[abc]", "", "abc"}, // nada que pegar
        {"T(D) L(6) A(C)", "|", "\U0001F600", nullptr, false, "«\U0001F600» no vale aquí"},
    };
    for (const CasoPegado& c : casos) {
        // El texto del campo sin marcas, y su selección.
        QString texto = QString::fromUtf8(c.texto);
        const qsizetype abre = texto.indexOf(u'['), cursor = texto.indexOf(u'|');
        const int inicio = static_cast<int>(abre >= 0 ? abre : cursor);
        const int largo = abre >= 0 ? static_cast<int>(texto.indexOf(u']') - abre - 1) : 0;
        texto.remove(u'[').remove(u']').remove(u'|');
        const DecisionPegado d = DecidirPegado({QString::fromUtf8(c.tag), texto, inicio, largo},
                                               QString::fromUtf8(c.pegado));
        const std::string que = std::string(c.tag) + " " + c.texto + " + " + c.pegado;
        if (!c.despues) {
            EXPECT_FALSE(d.admitido) << que;
            EXPECT_TRUE(d.aviso.startsWith("No se puede pegar «")) << d.aviso.toStdString();
            EXPECT_TRUE(d.aviso.contains(QString::fromUtf8(c.aviso))) << d.aviso.toStdString();
            continue;
        }
        EXPECT_TRUE(d.admitido) << que << ": " << d.aviso.toStdString();
        EXPECT_EQ(d.texto, QString::fromUtf8(c.despues)) << que;
        EXPECT_EQ(d.lleno, c.lleno) << que;
        if (!*c.pegado)
            continue; // la selección queda como estaba
        EXPECT_EQ(texto.left(inicio) + d.insertado + texto.mid(inicio + largo), d.texto) << que;
        EXPECT_EQ(d.cursor, inicio + d.insertado.size()) << que;
    }
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Teclas, SinLongitudNadaEntraYElFocoPasa) {
    const DecisionTecla d = DecidirTecla({"T(m)", "", 0, 0}, u'a');
    EXPECT_EQ(d.tecla, 0);
    EXPECT_EQ(d.accion, AccionTecla::PulsarTab);
    ASSERT_EQ(avisos.size(), 1);
    EXPECT_TRUE(avisos[0].contains("(L) Longitud"));
}

TEST_F(Teclas, SinTipoNiLongitudAvisaDeLosDosEnCadaTecla) {
    DecidirTecla({"A(I)", "", 0, 0}, u'a');
    DecidirTecla({"A(I)", "", 0, 0}, u'b');
    ASSERT_EQ(avisos.size(), 4);
    EXPECT_TRUE(avisos[0].contains("(T) Tipo"));
    EXPECT_TRUE(avisos[1].contains("(L) Longitud"));
    // Retroceso, Intro y "+" no leen el descriptor.
    DecidirTecla({"A(I)", "", 0, 0}, 8);
    DecidirTecla({"A(I)", "", 0, 0}, 13);
    DecidirTecla({"A(I)", "", 0, 0}, u'+');
    EXPECT_EQ(avisos.size(), 4);
}

TEST(IndiceEnLista, SinBlancosYExacto) {
    const QStringList entradas = {" A ", " B ", "b", "B"};
    EXPECT_EQ(IndiceEnLista(entradas, "B"), 1);
    EXPECT_EQ(IndiceEnLista(entradas, " b"), 2);
    EXPECT_EQ(IndiceEnLista(entradas, "C"), -1);
    EXPECT_EQ(IndiceEnLista({}, ""), -1);
}
