#include "Impresora/nucleo/papel.h"

#include "qt_gtest.h"

#include <gtest/gtest.h>

using namespace Impresora;

namespace {

TEST(Papel, LaPrimeraPulsacionDejaLaOrientacionDeLaImpresora) {
    const struct {
        int orientacion;
        const char* tag;
        DibujoPapel dibujo;
        const char* ayuda;
    } casos[] = {
        {1, "Vertical", DibujoPapel::Vertical, "Papel Vertical"},
        {2, "Horizontal", DibujoPapel::Horizontal, "Papel Horizontal"},
        {0, "", DibujoPapel::Interrogacion, "Papel según Impresora"},
        {7, "", DibujoPapel::Interrogacion, "Papel según Impresora"},
    };
    for (const auto& c : casos) {
        EstadoPapel e;
        e.tag = TagInicial(c.orientacion);
        e = AlternarPapel(e);
        EXPECT_EQ(e.tag, QString::fromUtf8(c.tag)) << c.orientacion;
        EXPECT_EQ(e.dibujo, c.dibujo) << c.orientacion;
        EXPECT_EQ(e.ayuda, QString::fromUtf8(c.ayuda)) << c.orientacion;
    }
}

TEST(Papel, CadaPulsacionAlterna) {
    EstadoPapel e;
    e.tag = "Vertical";
    e = AlternarPapel(e);
    EXPECT_EQ(e.tag, QStringLiteral("Horizontal"));
    e = AlternarPapel(e);
    EXPECT_EQ(e.tag, QStringLiteral("Vertical"));
    EXPECT_EQ(e.dibujo, DibujoPapel::Vertical);
}

} // namespace
