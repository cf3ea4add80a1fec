#include "basicos/nucleo/generales.h"
#include "qt_gtest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace basicos;

namespace {

QString Escribir(const QTemporaryDir& dir, const char* nombre, const QByteArray& contenido) {
    const QString ruta = dir.filePath(nombre);
    QFile f(ruta);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(contenido);
    return ruta;
}

} // namespace

TEST(LeerLineas, FinesDeLineaYMaximo) {
    QTemporaryDir dir;
    const QString cinco = Escribir(dir, "cinco.txt", "uno\r\ndos\nTres\rcuatro\r\ncinco\r\n");
    QStringList lineas;
    bool leido = false;
    LeerLineas(cinco, lineas, 0, leido);
    EXPECT_TRUE(leido);
    EXPECT_EQ(lineas, QStringList({"", "uno", "dos", "Tres", "cuatro", "cinco"}));

    LeerLineas(cinco, lineas, 2, leido);
    EXPECT_TRUE(leido);
    EXPECT_EQ(lineas, QStringList({"", "uno", "dos"}));

    const QString sinFinal = Escribir(dir, "sinfinal.txt", "a\n\nb");
    LeerLineas(sinFinal, lineas, 0, leido);
    EXPECT_EQ(lineas, QStringList({"", "a", "", "b"}));

    const QString vacio = Escribir(dir, "vacio.txt", "");
    LeerLineas(vacio, lineas, 0, leido);
    EXPECT_TRUE(leido);
    EXPECT_EQ(lineas, QStringList({""}));
}

TEST(LeerLineas, ConMenosUnoEscribeSobreLoQueHay) {
    QTemporaryDir dir;
    const QString dos = Escribir(dir, "dos.txt", "x\ny\n");
    QStringList lineas = {"", "a", "b", "c"};
    bool leido = false;
    LeerLineas(dos, lineas, -1, leido);
    EXPECT_TRUE(leido);
    EXPECT_EQ(lineas, QStringList({"", "x", "y", "c"}));
    QStringList corta;
    LeerLineas(dos, corta, -1, leido);
    EXPECT_EQ(corta.mid(0, 3), QStringList({"", "x", "y"}));
}

TEST(LeerLineas, AcentosEnUtf8OEnWindows) {
    QTemporaryDir dir;
    const QString utf8 = Escribir(dir, "utf8.txt", "Peña\n");
    const QString ansi = Escribir(dir, "ansi.txt",
                                  "Pe\xf1"
                                  "a\n");
    QStringList lineas;
    bool leido = false;
    LeerLineas(utf8, lineas, 0, leido);
    EXPECT_EQ(lineas.value(1), QString::fromUtf8("Peña"));
    LeerLineas(ansi, lineas, 0, leido);
    EXPECT_EQ(lineas.value(1), QString::fromUtf8("Peña"));
}

TEST(LeerLineas, SinFicheroNoLeeNiToca) {
    QStringList lineas = {"", "sigue"};
    bool leido = true;
    LeerLineas("/no/existe/nada.txt", lineas, 0, leido);
    EXPECT_FALSE(leido);
    EXPECT_EQ(lineas, QStringList({"", "sigue"}));
    QTemporaryDir dir;
    LeerLineas(dir.path(), lineas, 0, leido); // una carpeta no se lee
    EXPECT_FALSE(leido);
}

TEST(Existe, FicherosYCarpetas) {
    QTemporaryDir dir;
    const QString fichero = Escribir(dir, "f.txt", "x");
    EXPECT_TRUE(Existe(fichero, false));
    EXPECT_FALSE(Existe(fichero, true));
    EXPECT_TRUE(Existe(dir.path(), false));
    EXPECT_TRUE(Existe(dir.path(), true));
    EXPECT_FALSE(Existe(dir.filePath("no"), false));
    EXPECT_FALSE(Existe("", false));
}

TEST(HorasMinutosSegundos, RelojDeDosCifras) {
    const std::pair<float, const char*> casos[] = {
        {3725.9f, "01:02:05"}, {59.99f, "00:00:59"}, {0, "00:00:00"},
        {86399, "23:59:59"},   {360000, "00:00:00"}, {363599, "00:59:59"},
    };
    for (const auto& [segundos, esperado] : casos)
        EXPECT_EQ(HorasMinutosSegundos(segundos), esperado) << segundos;
}
