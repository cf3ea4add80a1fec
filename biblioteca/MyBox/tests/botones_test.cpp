// Reglas del cuadro de mensajes sin ventanas: juegos de botones, primer foco, códigos,
// colocación y textos.
#include "MyBox/nucleo/botones.h"

#include "qt_gtest.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace MyBox;

namespace {

struct CasoFoco {
    int juego;
    int omision;
    const char* tituloConFoco;
    int codigo; // lo que devuelve Intro sobre ese botón
};

class PrimerFoco : public ::testing::TestWithParam<CasoFoco> {};

TEST_P(PrimerFoco, CaeEnElBotonDebidoYSuTituloDaElCodigo) {
    const auto& c = GetParam();
    const auto indice = BotonInicial(c.juego, c.omision);
    ASSERT_TRUE(indice.has_value());
    const JuegoBotones juego = BotonesDelJuego(c.juego);
    EXPECT_TRUE(juego.visibles[*indice]);
    EXPECT_EQ(juego.titulos[*indice], QString::fromUtf8(c.tituloConFoco));
    EXPECT_EQ(CodigoDeTitulo(juego.titulos[*indice]), c.codigo);
}

INSTANTIATE_TEST_SUITE_P(
    TodosLosJuegos, PrimerFoco,
    ::testing::Values(CasoFoco{1, 1, "Aceptar", 1}, CasoFoco{1, 2, "Aceptar", 1},
                      CasoFoco{2, 1, "Aceptar", 1}, CasoFoco{2, 2, "Cancelar", 2},
                      CasoFoco{2, 5, "Cancelar", 2}, CasoFoco{3, 1, "Si", 6},
                      CasoFoco{3, 2, "No", 7}, CasoFoco{3, 0, "No", 7}, CasoFoco{4, 1, "Si", 6},
                      CasoFoco{4, 2, "No", 7}, CasoFoco{4, 3, "Cancelar", 2},
                      CasoFoco{5, 1, "Abortar", 3}, CasoFoco{5, 2, "Reintentar", 4},
                      CasoFoco{5, -1, "Ignorar", 5}, CasoFoco{6, 1, "Reintentar", 4},
                      CasoFoco{6, 3, "Cancelar", 2}),
    [](const ::testing::TestParamInfo<CasoFoco>& i) {
        return "Juego" + std::to_string(i.param.juego) + "Boton" +
               (i.param.omision < 0 ? "M" + std::to_string(-i.param.omision)
                                    : std::to_string(i.param.omision));
    });

TEST(JuegosDeBotones, SeLeenDeIzquierdaADerechaConLosOcultosFuera) {
    // Índices 2, 1, 0 de izquierda a derecha; "-" es un botón oculto.
    const std::array<const char*, 7> esperado = {
        "-|-|Boton3|Boton2|Boton1", // 0: juego no definido, los tres con su título de diseño
        "-|-|Aceptar",
        "-|Aceptar|Cancelar",
        "-|Si|No",
        "Si|No|Cancelar",
        "Abortar|Reintentar|Ignorar",
        "-|Reintentar|Cancelar"};
    for (int n = 1; n <= 6; ++n) {
        const JuegoBotones j = BotonesDelJuego(n);
        QStringList vistos;
        for (int i = 2; i >= 0; --i)
            vistos << (j.visibles[i] ? j.titulos[i] : QStringLiteral("-"));
        EXPECT_EQ(vistos.join(u'|'), QString::fromUtf8(esperado[n])) << "juego " << n;
    }
    for (int n : {0, 7, -1, 100}) {
        const JuegoBotones j = BotonesDelJuego(n);
        EXPECT_EQ(j.titulos[0], QStringLiteral("Boton1"));
        EXPECT_EQ(j.titulos[2], QStringLiteral("Boton3"));
        EXPECT_TRUE(j.visibles[0] && j.visibles[1] && j.visibles[2]);
        EXPECT_FALSE(BotonInicial(n, 1).has_value()) << "juego " << n;
    }
}

TEST(CodigosDeRespuesta, SoloLosSieteTitulosExactos) {
    const std::array<const char*, 7> titulos = {"Aceptar", "Cancelar", "Abortar", "Reintentar",
                                                "Ignorar", "Si",       "No"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(CodigoDeTitulo(QString::fromUtf8(titulos[i])), i + 1);
    for (const char* otro : {"Sí", "aceptar", "NO", "Boton1", "", " Aceptar"})
        EXPECT_FALSE(CodigoDeTitulo(QString::fromUtf8(otro)).has_value()) << otro;
}

TEST(CierreDesdeElMarco, RespondeComoElCuadroEstandar) {
    EXPECT_EQ(RespuestaAlCerrar(1), Aceptar);
    for (int n : {2, 4, 6})
        EXPECT_EQ(RespuestaAlCerrar(n), Cancelar) << n;
    for (int n : {3, 5})
        EXPECT_FALSE(RespuestaAlCerrar(n).has_value()) << n;
    EXPECT_EQ(RespuestaAlCerrar(0), 0); // juego no definido: ninguna respuesta
}

TEST(TextoDelMensaje, CadaPuntoYComaEsUnSalto) {
    EXPECT_EQ(TextoConSaltos(QStringLiteral("Primera parte;Segunda")),
              QStringLiteral("Primera parte\r\nSegunda"));
    EXPECT_EQ(TextoConSaltos(QStringLiteral("a;;b;")), QStringLiteral("a\r\n\r\nb\r\n"));
    EXPECT_EQ(TextoConSaltos(QStringLiteral("sin saltos, ni uno")),
              QStringLiteral("sin saltos, ni uno"));
}

struct CasoPosicion {
    float top, left;
    std::optional<RectanguloTwips> formulario;
    float topEsperado, leftEsperado;
};

TEST(Colocacion, CentraLoQueValeMenosUnoYElFormularioMandaSobreTodo) {
    // Cuadro 7455 × 2175 en una pantalla de 19200 × 14400 twips.
    const RectanguloTwips ventana{1000, 2000, 9000, 6000};
    const CasoPosicion casos[] = {
        {-1, -1, std::nullopt, 6112.5f, 5872.5f},
        {100, -1, std::nullopt, 100, 5872.5f},
        {-1, 300, std::nullopt, 6112.5f, 300},
        {100, 300, std::nullopt, 100, 300},
        {-1.5f, -2, std::nullopt, -1.5f, -2}, // solo -1 exacto centra
        {100, 300, ventana, 2000 + (6000 - 2175) / 2.0f, 1000 + (9000 - 7455) / 2.0f},
        {-1, -1, ventana, 2000 + (6000 - 2175) / 2.0f, 1000 + (9000 - 7455) / 2.0f},
    };
    for (const auto& c : casos) {
        float top = c.top, left = c.left;
        CalcularPosicion(top, left, 7455, 2175, 19200, 14400, c.formulario);
        EXPECT_FLOAT_EQ(top, c.topEsperado);
        EXPECT_FLOAT_EQ(left, c.leftEsperado);
    }
}

TEST(Rangos, SeParteneEnElPrimerSeparador) {
    const QString f = QString(QChar(SeparadorRango));
    EXPECT_EQ(f, QStringLiteral("ƒ"));
    EXPECT_EQ(UnirRango(QStringLiteral("1"), QStringLiteral("100")), QStringLiteral("1ƒ100"));
    const auto r = PartirRango(QStringLiteral("1ƒ100"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, QStringLiteral("1"));
    EXPECT_EQ(r->second, QStringLiteral("100"));
    const auto dos = PartirRango(QStringLiteral("aƒbƒc"));
    ASSERT_TRUE(dos);
    EXPECT_EQ(dos->first, QStringLiteral("a"));
    EXPECT_EQ(dos->second, QStringLiteral("bƒc"));
    const auto vacios = PartirRango(f);
    ASSERT_TRUE(vacios);
    EXPECT_TRUE(vacios->first.isEmpty() && vacios->second.isEmpty());
    EXPECT_FALSE(PartirRango(QStringLiteral("1-100")));
    EXPECT_FALSE(PartirRango(QStringLiteral("1f100"))); // una f latina no separa
}

} // namespace
