#include "MiCalc/nucleo/motor.h"
#include "qt_gtest.h"

#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace {

// Pantalla, papel, decimales y portapapeles de mentira que recuerdan lo que reciben.
struct Mesa : MiCalc::Pantalla, MiCalc::Papel, MiCalc::AjusteDecimales, MiCalc::Portapapeles {
    QString pantalla = "0,00  ";
    QString origen = "0.00  ";
    int vecesPantalla = 0;
    QStringList papel;
    int decimales = 2;
    QString portapapeles;
    int vecesPortapapeles = 0;

    void Mostrar(const QString& texto, const QString& o) override {
        pantalla = texto;
        origen = o;
        ++vecesPantalla;
    }
    void Anotar(const QString& linea) override { papel << linea; }
    void Borrar() override { papel.clear(); }
    int Decimales() const override { return decimales; }
    void FijarDecimales(int d) override { decimales = d; }
    void Copiar(const QString& t) override {
        portapapeles = t;
        ++vecesPortapapeles;
    }
};

struct Calculadora {
    Mesa mesa;
    MiCalc::Motor motor{mesa, mesa, mesa, mesa};

    // Cada carácter es una tecla; "d" cambia los decimales.
    Calculadora& Teclear(const QString& teclas) {
        for (QChar k : teclas) {
            if (k == 'd')
                motor.CambiarDecimales();
            else
                motor.Pulsar(k);
        }
        return *this;
    }
};

struct CasoTeclas {
    const char* teclas;
    const char* pantalla;
    QStringList papel;
    const char* portapapeles;
};

void PrintTo(const CasoTeclas& c, std::ostream* os) {
    *os << c.teclas;
}

class SecuenciasDeTeclas : public ::testing::TestWithParam<CasoTeclas> {};

TEST_P(SecuenciasDeTeclas, DejanPantallaPapelYPortapapeles) {
    const CasoTeclas& caso = GetParam();
    Calculadora c;
    c.Teclear(caso.teclas);
    EXPECT_EQ(c.mesa.pantalla, caso.pantalla);
    EXPECT_EQ(c.mesa.papel, caso.papel);
    EXPECT_EQ(c.motor.Rollo(), caso.papel); // el rollo lo guarda el motor
    EXPECT_EQ(c.mesa.portapapeles, caso.portapapeles);
}

INSTANTIATE_TEST_SUITE_P(
    Calculos, SecuenciasDeTeclas,
    ::testing::Values(
        // Suma en cadena: cada operando al papel, el resultado al final.
        CasoTeclas{"12+3+5=", "20,00 =", {"12,00 +", "3,00 +", "5,00 =", "20,00 ="}, "20,00"},
        CasoTeclas{"12+3+", "15,00 +", {"12,00 +", "3,00 +"}, "15,00"},
        // "+" repetido vuelve a sumar el último operando.
        CasoTeclas{"12+3++", "18,00 +", {"12,00 +", "3,00 +", "3,00 +"}, "18,00"},
        // "=" repetido no hace nada; "+" tras el resultado empieza desde él.
        CasoTeclas{"12+3==", "15,00 =", {"12,00 +", "3,00 =", "15,00 ="}, "15,00"},
        CasoTeclas{"12+3=+", "15,00 +", {"12,00 +", "3,00 =", "15,00 =", "15,00 +"}, "15,00"},
        CasoTeclas{"12+3=*2=",
                   "30,00 =",
                   {"12,00 +", "3,00 =", "15,00 =", "15,00 *", "2,00 =", "30,00 ="},
                   "30,00"},
        // Sin precedencia: de izquierda a derecha.
        CasoTeclas{"2+3*4=", "20,00 =", {"2,00 +", "3,00 *", "4,00 =", "20,00 ="}, "20,00"},
        CasoTeclas{"7-10=", "-3,00 =", {"7,00 -", "10,00 =", "-3,00 ="}, "-3,00"},
        CasoTeclas{"1234.5+0=", "1.234,50 =", {"1.234,50 +", "0,00 =", "1.234,50 ="}, "1.234,50"},
        // Porcentajes tras "+", "-" y "*".
        CasoTeclas{"200+10%", "220,00 =", {"200,00 +", "10,00 %", "220,00 ="}, "220,00"},
        CasoTeclas{"200-10%", "180,00 =", {"200,00 -", "10,00 %", "180,00 ="}, "180,00"},
        CasoTeclas{"200*10%", "20,00 =", {"200,00 *", "10,00 %", "20,00 ="}, "20,00"},
        // Tras "/", "%" divide y termina.
        CasoTeclas{"200/10%", "20,00 %", {"200,00 /", "10,00 %", "20,00 %"}, "20,00"},
        // "%" sin nada pendiente no hace nada.
        CasoTeclas{"50%", "50,00  ", {}, ""}, CasoTeclas{"200+%", "200,00 +", {"200,00 +"}, ""},
        // Neto e impuesto contenidos en un bruto.
        CasoTeclas{"1210N21=", "1.000,00 =", {"1.210,00 N", "21,00 =", "1.000,00 ="}, "1.000,00"},
        CasoTeclas{"1210I21=", "210,00 =", {"1.210,00 I", "21,00 =", "210,00 ="}, "210,00"},
        // Pesetas y euros; el cambio abandona lo pendiente.
        CasoTeclas{"1000E", "6,01 E", {"1.000,00 E", "6,01 E"}, "6,01"},
        CasoTeclas{"6P", "998,32 P", {"6,00 P", "998,32 P"}, "998,32"},
        CasoTeclas{"5+1000E", "6,01 E", {"5,00 +", "1.000,00 E", "6,01 E"}, "6,01"},
        CasoTeclas{
            "12+3=E", "0,09 E", {"12,00 +", "3,00 =", "15,00 =", "15,00 E", "0,09 E"}, "0,09"},
        // Dividir entre cero da 0,00.
        CasoTeclas{"8/0=", "0,00 =", {"8,00 /", "0,00 =", "0,00 ="}, "0,00"},
        // "C" vacía el papel pero conserva el último valor.
        CasoTeclas{"5+3=C+", "8,00 +", {"8,00 +"}, "8,00"},
        CasoTeclas{"5+3=C", "0,00  ", {}, "8,00"},
        // "+" al principio, sin resultado previo, no hace nada.
        CasoTeclas{"+", "0,00  ", {}, ""},
        // "=" sin nada tecleado ni pendiente no hace nada: el número siguiente no se pierde.
        CasoTeclas{"=5+2=", "7,00 =", {"5,00 +", "2,00 =", "7,00 ="}, "7,00"},
        CasoTeclas{"1000E=5+2=", "7,00 =",
                   QStringList{"1.000,00 E", "6,01 E", "5,00 +", "2,00 =", "7,00 ="}, "7,00"},
        // "=" con una operación pendiente y nada tecleado la completa con cero.
        CasoTeclas{"12+=", "12,00 =", {"12,00 +", "12,00 ="}, "12,00"},
        // Un número y "=" sin nada pendiente: el número es el resultado, y sigue valiendo.
        CasoTeclas{"5=", "5,00 =", {"5,00 =", "5,00 ="}, "5,00"},
        CasoTeclas{"5=+2=", "7,00 =", {"5,00 =", "5,00 =", "5,00 +", "2,00 =", "7,00 ="}, "7,00"},
        // Los decimales se aplican a lo que se pinta después; el papel queda como estaba.
        CasoTeclas{"12+3=d", "15,000 =", {"12,00 +", "3,00 =", "15,00 ="}, "15,00"},
        CasoTeclas{"d1.23456+0=", "1,235 =", {"1,235 +", "0,000 =", "1,235 ="}, "1,235"},
        CasoTeclas{"12+3=dddd", "15,00 =", {"12,00 +", "3,00 =", "15,00 ="}, "15,00"},
        CasoTeclas{"ddd2/3=", "0,66667 =", {"2,00000 /", "3,00000 =", "0,66667 ="}, "0,66667"}));

struct CasoEntrada {
    const char* teclas;
    const char* entrada;
    const char* pantalla;
};

void PrintTo(const CasoEntrada& c, std::ostream* os) {
    *os << c.teclas;
}

class Entrada : public ::testing::TestWithParam<CasoEntrada> {};

TEST_P(Entrada, SeTecleaYSeMuestra) {
    Calculadora c;
    c.Teclear(GetParam().teclas);
    EXPECT_EQ(c.motor.Entrada(), GetParam().entrada);
    EXPECT_EQ(c.mesa.pantalla, GetParam().pantalla);
    EXPECT_TRUE(c.mesa.papel.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Teclas, Entrada,
    ::testing::Values(CasoEntrada{".", ".", "0,00  "}, CasoEntrada{"..", ".", "0,00  "},
                      CasoEntrada{"1.5.2", "1.52", "1,52  "}, CasoEntrada{"00", "0", "0,00  "},
                      CasoEntrada{"05", "05", "5,00  "}, CasoEntrada{"S", "-", "0,00  "},
                      CasoEntrada{"SS", "", "0,00  "}, CasoEntrada{"5S", "-5", "-5,00  "},
                      CasoEntrada{"5SS", "5", "5,00  "}, CasoEntrada{"12<", "1", "1,00  "},
                      CasoEntrada{"1<<<", "", "0,00  "},
                      CasoEntrada{"1234567", "1234567", "1.234.567,00  "},
                      CasoEntrada{"12.345", "12.345", "12,35  "},
                      CasoEntrada{"12.344", "12.344", "12,34  "}));

TEST(Motor, LoQueNoTieneEfectoNoTocaNada) {
    Calculadora c;
    for (const char* teclas : {"<", "+", "%", "=", "x", ",", "a"}) {
        c.Teclear(teclas);
        EXPECT_EQ(c.mesa.vecesPantalla, 0) << teclas;
        EXPECT_EQ(c.mesa.vecesPortapapeles, 0) << teclas;
    }
}

TEST(Motor, ElOrigenDeLaPantallaEsElTextoInvariable) {
    Calculadora c;
    c.Teclear("12.5");
    EXPECT_EQ(c.mesa.origen, "12.5  ");
    c.Teclear("+3+");
    EXPECT_EQ(c.mesa.origen, " 15.5 +");
    EXPECT_EQ(c.motor.Pendiente(), " 15.5 +");
    c.Teclear("C");
    EXPECT_EQ(c.mesa.origen, "0.00  ");
    EXPECT_EQ(c.motor.UltimoValor(), "3");
}

TEST(Motor, ElResultadoFueraDeAlcanceMuestraErrorYAnulaSinBorrarElPapel) {
    // Cada "*" sin teclear vuelve a multiplicar por el último operando: 10 y 307 "*" dejan
    // pendiente 1E+307.
    const QString casi = "10" + QString(307, '*');
    const QString enorme = "1" + QString(200, '0');
    for (const QString& teclas :
         {casi + "1000=", casi + "**", casi + "P", enorme + "*" + enorme + "=",
          QString("100N100S="), QString("0N100S=")}) {
        Calculadora c;
        c.Teclear(teclas.chopped(1));
        ASSERT_NE(c.mesa.pantalla, "Error") << teclas.toStdString();
        const int copias = c.mesa.vecesPortapapeles;
        c.Teclear(teclas.right(1));
        EXPECT_EQ(c.mesa.pantalla, "Error") << teclas.toStdString();
        EXPECT_FALSE(c.mesa.papel.isEmpty());
        EXPECT_TRUE(c.motor.Pendiente().isEmpty());
        EXPECT_TRUE(c.motor.Entrada().isEmpty());
        EXPECT_TRUE(c.motor.UltimoResultado().isEmpty());
        EXPECT_EQ(c.mesa.vecesPortapapeles, copias);
        // Tras el error se calcula con normalidad.
        c.Teclear("2+3=");
        EXPECT_EQ(c.mesa.pantalla, "5,00 =");
        EXPECT_EQ(c.mesa.papel.last(), "5,00 =");
    }
}

TEST(Teclas, CadaUnaTieneRotuloPropioYUnSitioDelTecladoSinTaparOtra) {
    // Cinco filas de cinco: 24 teclas, el 0 ocupa dos casillas.
    std::set<char> rotulos;
    std::set<std::pair<int, int>> ocupadas;
    for (const MiCalc::Tecla& t : MiCalc::Teclas) {
        EXPECT_TRUE(rotulos.insert(t.rotulo).second) << t.rotulo;
        EXPECT_TRUE(MiCalc::EsTecla(QLatin1Char(t.rotulo)));
        EXPECT_STRNE(t.nombre, "") << t.rotulo;
        for (int col = t.columna; col < t.columna + t.columnas; ++col) {
            EXPECT_TRUE(t.fila >= 0 && t.fila < 5 && col >= 0 && col < 5) << t.rotulo;
            EXPECT_TRUE(ocupadas.insert({t.fila, col}).second) << t.rotulo;
        }
    }
    EXPECT_EQ(ocupadas.size(), 25u);
}

TEST(Rollo, SeAlineaALaDerechaHastaLaLineaMasLarga) {
    const QStringList lineas{"12,00 +", "3,00 +", "1.234,50 ="};
    EXPECT_EQ(MiCalc::RolloAlineado(lineas),
              (QStringList{"   12,00 +", "    3,00 +", "1.234,50 ="}));
    EXPECT_EQ(MiCalc::TextoRollo(lineas), "   12,00 +\n    3,00 +\n1.234,50 =\n");
    EXPECT_EQ(MiCalc::TextoRollo({}), "");
}

TEST(EscribirNumero, NotacionInvariableConQuinceCifras) {
    const std::pair<double, const char*> casos[] = {
        {0.0, " 0"},
        {-0.0, " 0"},
        {1.5, " 1.5"},
        {-2, "-2"},
        {1000.0 / 166.386, " 6.01012104383782"},
        {1.0 / 3, " 0.333333333333333"},
        {123456789012345.0, " 123456789012345"},
        {1e15, " 1E+15"},
        {1e16, " 1E+16"},
        {-1234567890123456789.0, "-1.23456789012346E+18"},
        {0.0001, " 0.0001"},
        {0.00001, " 1E-05"},
        {0.1 + 0.2, " 0.3"},
    };
    for (const auto& [valor, texto] : casos)
        EXPECT_EQ(MiCalc::EscribirNumero(valor), texto) << valor;
}

TEST(QuitarOperador, SoloQuitaBlancoYUnCaracter) {
    EXPECT_EQ(MiCalc::QuitarOperador("12 +"), "12");
    EXPECT_EQ(MiCalc::QuitarOperador(" 15 ="), " 15");
    EXPECT_EQ(MiCalc::QuitarOperador("12  "), "12");
    EXPECT_EQ(MiCalc::QuitarOperador(" ="), "");
    EXPECT_EQ(MiCalc::QuitarOperador("12+"), "12+");
    EXPECT_EQ(MiCalc::QuitarOperador("1"), "1");
}

TEST(Motor, LosResultadosEnFormaExponencialSeLeenBien) {
    Calculadora c;
    c.Teclear("100000000*100000000=");
    EXPECT_EQ(c.motor.UltimoValor(), " 1E+16");
    EXPECT_EQ(c.mesa.pantalla, "10.000.000.000.000.000,00 =");
    c.Teclear("/");
    c.Teclear("1000=");
    EXPECT_EQ(c.mesa.pantalla, "10.000.000.000.000,00 =");
}

// Cadenas al azar de sumas, restas y productos de enteros: el motor ha de dar lo mismo que
// operar de izquierda a derecha.
TEST(Motor, CadenasAlAzarOperanDeIzquierdaADerecha) {
    std::mt19937 azar(20261209);
    std::uniform_int_distribution<int> numero(0, 999), cuantos(1, 4), operador(0, 2);
    for (int vuelta = 0; vuelta < 500; ++vuelta) {
        Calculadora c;
        long long esperado = numero(azar);
        QString teclas = QString::number(esperado);
        for (int i = cuantos(azar); i > 0; --i) {
            const int n = numero(azar);
            const int op = operador(azar);
            teclas += QString("+-*").at(op) + QString::number(n);
            esperado = op == 0 ? esperado + n : op == 1 ? esperado - n : esperado * n;
        }
        teclas += '=';
        c.Teclear(teclas);
        QString numeroEsperado = QString::number(std::llabs(esperado));
        for (qsizetype i = numeroEsperado.size() - 3; i > 0; i -= 3)
            numeroEsperado.insert(i, '.');
        numeroEsperado = (esperado < 0 ? "-" : "") + numeroEsperado + ",00";
        EXPECT_EQ(c.mesa.pantalla, numeroEsperado + " =") << teclas.toStdString();
        EXPECT_EQ(c.mesa.portapapeles, numeroEsperado);
    }
}

// Secuencias largas de teclas al azar: la pantalla, el papel y el portapapeles siempre leen
// como número (o "Error").
TEST(Motor, SecuenciasAlAzarDejanSiempreNumerosOError) {
    const QRegularExpression numero(R"(^-?\d{1,3}(\.\d{3})*,\d{2,5}$)");
    const QRegularExpression pantalla(R"(^-?\d{1,3}(\.\d{3})*,\d{2,5} [ +\-*/%=NIEP]$|^Error$)");
    const QString teclas = "0123456789.*</%-S+=NICEPd";
    std::mt19937 azar(4);
    std::uniform_int_distribution<int> indice(0, teclas.size() - 1);
    std::uniform_int_distribution<int> porcentaje(0, 99);
    for (int vuelta = 0; vuelta < 200; ++vuelta) {
        Calculadora c;
        for (int i = 0; i < 400; ++i) {
            // Más cifras que operadores, para que haya números de verdad.
            QChar k = teclas.at(indice(azar));
            if (porcentaje(azar) < 45)
                k = QChar('0' + porcentaje(azar) % 10);
            c.Teclear(QString(k));
            ASSERT_TRUE(pantalla.match(c.mesa.pantalla).hasMatch())
                << c.mesa.pantalla.toStdString();
            ASSERT_GE(c.mesa.decimales, 2);
            ASSERT_LE(c.mesa.decimales, 5);
        }
        for (const QString& linea : c.mesa.papel)
            ASSERT_TRUE(pantalla.match(linea).hasMatch()) << linea.toStdString();
        if (c.mesa.vecesPortapapeles > 0) {
            ASSERT_TRUE(numero.match(c.mesa.portapapeles).hasMatch())
                << c.mesa.portapapeles.toStdString();
        }
    }
}

} // namespace
