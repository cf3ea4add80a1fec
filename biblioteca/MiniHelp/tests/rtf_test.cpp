// Lector de texto enriquecido de los ficheros de ayuda.
#include "MiniHelp/nucleo/rtf.h"
#include "MiniHelp/nucleo/titulo.h"
#include "basicos/nucleo/error.h"

#include "qt_gtest.h"

#include <gtest/gtest.h>

using namespace MiniHelp;

namespace {

DocumentoRtf Leer(const char* rtf) {
    return LeerRtf(QByteArray(rtf));
}

struct CasoTexto {
    const char* rtf;
    const char* texto; // UTF-8; un párrafo por línea
};

class TextoLeido : public ::testing::TestWithParam<CasoTexto> {};

TEST_P(TextoLeido, DaLosCaracteresDelDocumento) {
    EXPECT_EQ(Leer(GetParam().rtf).Texto(), QString::fromUtf8(GetParam().texto));
}

INSTANTIATE_TEST_SUITE_P(
    Casos, TextoLeido,
    ::testing::Values(
        // Párrafos; el vacío que deja el último \par no cuenta.
        CasoTexto{"{\\rtf1 Uno\\par Dos\\par}", "Uno\nDos"},
        CasoTexto{"{\\rtf1 Uno\\par\\par Tres}", "Uno\n\nTres"},
        // Escapes en Windows-1252: vocales acentuadas, eñe, euro y comillas tipográficas.
        CasoTexto{"{\\rtf1\\ansi\\ansicpg1252 Camio\\'f1\\'e9ta: 5 \\'80 \\'93s\\'ed\\'94}",
                  "Camioñéta: 5 € “sí”"},
        // \uN sustituye a los caracteres que le siguen (\uc); negativos, más 65536.
        CasoTexto{"{\\rtf1 Espa\\u241?a}", "España"},
        CasoTexto{"{\\rtf1\\uc2 \\u8364\\'80\\'80 fin}", "€ fin"},
        CasoTexto{"{\\rtf1\\uc0 a\\u241 b}", "añb"},
        CasoTexto{"{\\rtf1 \\u-3913?}", "\xEF\x82\xB7"},
        // La sustitución no sobrevive al grupo.
        CasoTexto{"{\\rtf1 {x\\u241}?}", "xñ?"},
        // Símbolos de control y palabras de puntuación.
        CasoTexto{"{\\rtf1 a\\{b\\}c\\\\d\\~e\\tab f\\line g}", "a{b}c\\d\xC2\xA0"
                                                                "e\tf\xE2\x80\xA8g"},
        CasoTexto{"{\\rtf1 \\ldblquote x\\rdblquote  \\emdash  \\bullet}", "“x” — •"},
        // Destinos que no son texto: tablas, información, \*, imágenes.
        CasoTexto{"{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
                  "{\\info{\\title T\\'edtulo}}{\\*\\generator Algo;}{\\stylesheet{x}}"
                  "{\\pict\\wmetafile8 0102}Texto}",
                  "Texto"},
        // Los saltos de línea del fichero no son texto; la barra con salto es un párrafo.
        CasoTexto{"{\\rtf1 uno\r\ndos\\\r\ntres}", "unodos\ntres"},
        // Un documento cortado se lee hasta donde llega.
        CasoTexto{"{\\rtf1 {\\b cortado", "cortado"}));

TEST(Formato, NegritaCursivaSubrayadoTamanoColorYFuente) {
    const auto doc = Leer("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier New;}}"
                          "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
                          "Normal {\\b negrita} {\\i\\ul cursiva}\\par"
                          "\\fs32\\cf1 grande roja {\\f1\\cf2 fija azul} \\b0 sigue\\ulnone}");
    ASSERT_EQ(doc.parrafos.size(), 2u);
    const auto& p1 = doc.parrafos[0].tramos;
    ASSERT_EQ(p1.size(), 4u);
    EXPECT_EQ(p1[0].texto, QStringLiteral("Normal "));
    EXPECT_FALSE(p1[0].negrita);
    EXPECT_EQ(p1[0].fuente, QStringLiteral("Arial")); // \deff0
    EXPECT_DOUBLE_EQ(p1[0].puntos, 12);
    EXPECT_EQ(p1[1].texto, QStringLiteral("negrita"));
    EXPECT_TRUE(p1[1].negrita);
    EXPECT_FALSE(p1[2].negrita); // el grupo devolvió el formato
    EXPECT_EQ(p1[3].texto, QStringLiteral("cursiva"));
    EXPECT_TRUE(p1[3].cursiva && p1[3].subrayado);

    const auto& p2 = doc.parrafos[1].tramos;
    ASSERT_EQ(p2.size(), 3u);
    EXPECT_EQ(p2[0].texto, QStringLiteral("grande roja "));
    EXPECT_DOUBLE_EQ(p2[0].puntos, 16);
    EXPECT_EQ(p2[0].color, 0xFF0000u);
    EXPECT_EQ(p2[1].fuente, QStringLiteral("Courier New"));
    EXPECT_EQ(p2[1].color, 0x000080u);
    EXPECT_EQ(p2[2].texto, QStringLiteral(" sigue"));
    EXPECT_EQ(p2[2].color, 0xFF0000u);
}

TEST(Formato, ColorCeroYColoresFueraDeTablaSonElDeOmision) {
    const auto doc = Leer("{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}\\cf0 a\\cf1 b\\cf7 c}");
    const auto& t = doc.parrafos.at(0).tramos;
    ASSERT_EQ(t.size(), 3u);
    EXPECT_FALSE(t[0].color.has_value());
    EXPECT_EQ(t[1].color, 0x010203u);
    EXPECT_FALSE(t[2].color.has_value());
}

TEST(Formato, PlainYB0DevuelvenElFormatoNormal) {
    const auto doc = Leer("{\\rtf1\\b\\i\\fs40 a\\plain b\\b c\\b0 d}");
    const auto& t = doc.parrafos.at(0).tramos;
    ASSERT_EQ(t.size(), 4u);
    EXPECT_TRUE(t[0].negrita && t[0].cursiva);
    EXPECT_DOUBLE_EQ(t[0].puntos, 20);
    EXPECT_FALSE(t[1].negrita || t[1].cursiva);
    EXPECT_DOUBLE_EQ(t[1].puntos, 12);
    EXPECT_TRUE(t[2].negrita);
    EXPECT_FALSE(t[3].negrita);
}

TEST(Parrafos, LaAlineacionEsLaDelParrafoAlCerrarse) {
    const auto doc = Leer("{\\rtf1\\pard\\qc Titulo\\par\\pard Cuerpo\\par\\qr firma\\par"
                          "\\qj largo}");
    ASSERT_EQ(doc.parrafos.size(), 4u);
    EXPECT_EQ(doc.parrafos[0].alineacion, Alineacion::Centro);
    EXPECT_EQ(doc.parrafos[1].alineacion, Alineacion::Izquierda);
    EXPECT_EQ(doc.parrafos[2].alineacion, Alineacion::Derecha);
    EXPECT_EQ(doc.parrafos[3].alineacion, Alineacion::Justificada);
}

TEST(Parrafos, ElPaginaDeCodigosDelDocumentoMandaEnLosEscapes) {
    // En Windows-1250 el byte 0x9A es "š"; en Windows-1252, también; 0x8A es "Š".
    // 0xB9 es "ą" en 1250 y "¹" en 1252.
    EXPECT_EQ(Leer("{\\rtf1\\ansi\\ansicpg1250 \\'b9}").Texto(), QStringLiteral("ą"));
    EXPECT_EQ(Leer("{\\rtf1\\ansi \\'b9}").Texto(), QStringLiteral("¹"));
    // Una página de códigos desconocida deja la de omisión.
    EXPECT_EQ(Leer("{\\rtf1\\ansi\\ansicpg99999 \\'e1}").Texto(), QStringLiteral("á"));
}

TEST(Errores, LoQueNoEsRtfSeRechaza) {
    for (const char* no : {"", "Hola", "<html><body>x</body></html>", "{\\rt"})
        EXPECT_THROW(LeerRtf(QByteArray(no)), basicos::ErrorZoq) << no;
    EXPECT_TRUE(EsRtf(QByteArray("\r\n  {\\rtf1 x}")));
}

TEST(Errores, ParametrosEnormesYEscapesRotosNoRompenNada) {
    EXPECT_EQ(Leer("{\\rtf1\\fs99999999999999999999 a\\'zz b\\'4}").Texto(), QStringLiteral("a b"));
    EXPECT_EQ(Leer("{\\rtf1 a}}}} b").Texto(), QStringLiteral("a b"));
}

TEST(TituloDelPrograma, LlevaNombreYVersionCompleta) {
    EXPECT_EQ(TituloPorOmision(QStringLiteral("Muestrario"), QVersionNumber(2, 10, 3)),
              QStringLiteral("Programa Muestrario  -  Versión 2.10.3"));
    EXPECT_EQ(TituloPorOmision(QStringLiteral("X"), QVersionNumber(1)),
              QStringLiteral("Programa X  -  Versión 1.0.0"));
}

} // namespace
