#include "frmTablas/nucleo/fichero_tabla.h"

#include "qt_gtest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace frmTablas;

namespace {

struct CasoLectura {
    const char* nombre;
    QByteArray datos;
    QStringList lineas;
    Codificacion codificacion;
};

void PrintTo(const CasoLectura& c, std::ostream* os) {
    *os << c.nombre;
}

class LecturaTabla : public ::testing::TestWithParam<CasoLectura> {};

TEST_P(LecturaTabla, LineasYCodificacion) {
    const ContenidoTabla t = DecodificarTabla(GetParam().datos);
    EXPECT_EQ(t.lineas, GetParam().lineas);
    EXPECT_EQ(t.codificacion, GetParam().codificacion);
}

INSTANTIATE_TEST_SUITE_P(
    Casos, LecturaTabla,
    ::testing::Values(
        CasoLectura{"CrLf", "uno\r\ndos\r\n", {"uno", "dos"}, Codificacion::Utf8},
        CasoLectura{"SinFinalDeLinea", "uno\r\ndos", {"uno", "dos"}, Codificacion::Utf8},
        CasoLectura{"LfYCrMezclados", "a\nb\rc\r\n", {"a", "b", "c"}, Codificacion::Utf8},
        CasoLectura{"LineasVaciasSeConservan",
                    "a\r\n\r\n  \r\nb\r\n",
                    {"a", "", "  ", "b"},
                    Codificacion::Utf8},
        CasoLectura{"Vacio", "", {}, Codificacion::Utf8},
        CasoLectura{"Utf8", "Peñíscola\r\n", {"Peñíscola"}, Codificacion::Utf8},
        CasoLectura{"Utf8ConMarca", "\xEF\xBB\xBFÁvila\r\n", {"Ávila"}, Codificacion::Utf8ConMarca},
        CasoLectura{
            "Windows1252", "Pe\xF1\xEDscola \x80\r\n", {"Peñíscola €"}, Codificacion::Windows1252}),
    [](const auto& info) { return std::string(info.param.nombre); });

TEST(EscrituraTabla, CrLfTrasCadaLineaEnLaCodificacionLeida) {
    Codificacion usada;
    EXPECT_EQ(CodificarTabla({"Peñíscola", "€"}, Codificacion::Windows1252, &usada),
              QByteArray("Pe\xF1\xEDscola\r\n\x80\r\n"));
    EXPECT_EQ(usada, Codificacion::Windows1252);
    EXPECT_EQ(CodificarTabla({"Ávila"}, Codificacion::Utf8ConMarca, &usada),
              QByteArray("\xEF\xBB\xBF\xC3\x81vila\r\n"));
    EXPECT_EQ(CodificarTabla({}, Codificacion::Utf8, &usada), QByteArray());
}

TEST(EscrituraTabla, LoQueNoCabeEnWindows1252SeEscribeEnUtf8SinPerderse) {
    Codificacion usada;
    const QByteArray datos = CodificarTabla({"Győr"}, Codificacion::Windows1252, &usada);
    EXPECT_EQ(usada, Codificacion::Utf8);
    EXPECT_EQ(DecodificarTabla(datos).lineas, QStringList{"Győr"});
}

TEST(CapaDeVerdad, GrabaSustituyendoYSiFallaNoTocaNada) {
    QTemporaryDir dir;
    const QString ruta = dir.filePath("tabla.txt");
    CapaFicherosTabla capa;
    EXPECT_FALSE(capa.Existe(ruta));
    EXPECT_EQ(capa.Grabar(ruta, "uno\r\n"), QString());
    EXPECT_EQ(capa.Grabar(ruta, "dos\r\n"), QString());
    QString error;
    EXPECT_EQ(capa.Leer(ruta, error), QByteArray("dos\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"tabla.txt"});

    EXPECT_NE(capa.Grabar(dir.filePath("no-existe/tabla.txt"), "x"), QString());
    EXPECT_TRUE(capa.Existe(dir.path()));
    EXPECT_FALSE(capa.Leer(dir.path(), error)); // una carpeta existe pero no se lee
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
