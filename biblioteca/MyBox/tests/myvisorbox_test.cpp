// El visor de tablas de MyBox: se llena, se elige una fila con el ratón y devuelve su celda.
#include "MyBox/MyBox.h"

#include "MiVisor/MsgBoxPlataforma.h"
#include "MiVisor/Rejilla.h"
#include "basicos/nucleo/error.h"

#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

using namespace MyBox;

namespace {

const QString kTitulos = QStringLiteral("Código;Nombre;Ciudad");
const std::vector<QStringList> kTabla = {{"01", "Ana", "Soria", "sobra"},
                                         {"02", "Luis", "Teruel", "sobra"}};

// Lo que hará "el usuario" con la ventana ya en pantalla; se anota lo que vio.
struct Usuario {
    QStringList cabeceras, fila1, fila2;
    bool soloAceptar = false;
    bool mensajeOculto = false;
};

void AlMostrarse(Usuario& u, std::function<void(Ventana&, MiVisor::Rejilla&)> accion) {
    QTimer::singleShot(0, [&u, accion] {
        ASSERT_TRUE(Cargada());
        Ventana& v = Instancia();
        MiVisor::Rejilla& r = *v.VisorMini;
        r.Refrescar();
        for (int c = 0; c < r.Cols(); ++c) {
            u.cabeceras << r.TextMatrix(0, c);
            u.fila1 << r.TextMatrix(1, c);
            u.fila2 << r.TextMatrix(2, c);
        }
        u.soloAceptar = v.Boton[1]->isHidden() && v.Boton[0]->text() == "Aceptar";
        u.mensajeOculto = v.Mensaje->isHidden() && r.isVisible();
        accion(v, r);
    });
}

QPoint centroFila(MiVisor::Rejilla& r, int fila, int col = 0) {
    return r.visualRect(r.indiceVista(fila, col)).center();
}

class VisorBox : public ::testing::Test {
protected:
    void TearDown() override {
        MiVisor::PonerMsgBox({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(Cargada());
    }
};

TEST_F(VisorBox, SoloMostrarLlenaLasFilasYTieneSoloAceptar) {
    Usuario u;
    AlMostrarse(u, [](Ventana& v, MiVisor::Rejilla&) { v.Boton[0]->click(); });
    EXPECT_EQ(MyVisorBox("Tabla", kTitulos, kTabla, 10), QString());
    EXPECT_EQ(u.cabeceras, (QStringList{"Código", "Nombre", "Ciudad"}));
    EXPECT_EQ(u.fila1, (QStringList{"01", "Ana", "Soria"})); // la cuarta columna no cabe
    EXPECT_EQ(u.fila2, (QStringList{"02", "Luis", "Teruel"}));
    EXPECT_TRUE(u.soloAceptar);
    EXPECT_TRUE(u.mensajeOculto);
}

TEST_F(VisorBox, ClicEnLaFilaDosYAceptarDevuelveSuCelda) {
    Usuario u;
    AlMostrarse(u, [](Ventana& v, MiVisor::Rejilla& r) {
        const int x = r.horizontalHeader()->sectionViewportPosition(1) + 4;
        QTest::mouseClick(r.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(x, 4));
        QTest::mouseClick(r.viewport(), Qt::LeftButton, {}, centroFila(r, 2));
        v.Boton[1]->click(); // "Aceptar"
    });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "Nombre"), QStringLiteral("Luis"));
}

TEST_F(VisorBox, ClicEnLosTitulosNoEligeNada) {
    // La fila actual sigue siendo la primera, la que se ve elegida al abrir.
    Usuario u;
    AlMostrarse(u, [](Ventana& v, MiVisor::Rejilla& r) {
        QTest::mouseClick(r.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(10, 4));
        v.Boton[1]->click();
    });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "Nombre"), QStringLiteral("Ana"));
}

TEST_F(VisorBox, DobleClicDevuelveEnElActo) {
    Usuario u;
    AlMostrarse(u, [](Ventana&, MiVisor::Rejilla& r) {
        QTest::mouseDClick(r.viewport(), Qt::LeftButton, {}, centroFila(r, 1, 2));
    });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "Ciudad"), QStringLiteral("Soria"));
}

TEST_F(VisorBox, CancelarDevuelveVacioAunqueSeEligieraFila) {
    Usuario u;
    AlMostrarse(u, [](Ventana& v, MiVisor::Rejilla& r) {
        QTest::mouseClick(r.viewport(), Qt::LeftButton, {}, centroFila(r, 1));
        v.Boton[0]->click(); // "Cancelar"
    });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "Nombre"), QString());
}

TEST_F(VisorBox, AceptarSinElegirDevuelveLaPrimeraYNoLaEleccionAnterior) {
    Usuario u;
    AlMostrarse(u, [](Ventana&, MiVisor::Rejilla& r) {
        QTest::mouseDClick(r.viewport(), Qt::LeftButton, {}, centroFila(r, 2));
    });
    ASSERT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "Código"), QStringLiteral("02"));
    AlMostrarse(u, [](Ventana& v, MiVisor::Rejilla&) { v.Boton[1]->click(); });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "Código"), QStringLiteral("01"));
    // Una tabla sin filas no tiene qué devolver.
    AlMostrarse(u, [](Ventana& v, MiVisor::Rejilla&) { v.Boton[1]->click(); });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, {}, 7, "Código"), QString());
}

TEST_F(VisorBox, ColumnaPorNumeroYColumnaQueNoExiste) {
    Usuario u;
    AlMostrarse(u, [](Ventana&, MiVisor::Rejilla& r) {
        QTest::mouseDClick(r.viewport(), Qt::LeftButton, {}, centroFila(r, 2));
    });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "#2"), QStringLiteral("Teruel"));

    QStringList avisos;
    MiVisor::PonerMsgBox([&avisos](const QString& texto, int, const QString& titulo) {
        avisos << titulo + "|" + texto;
        return 1;
    });
    AlMostrarse(u, [](Ventana&, MiVisor::Rejilla& r) {
        QTest::mouseDClick(r.viewport(), Qt::LeftButton, {}, centroFila(r, 2, 1));
    });
    EXPECT_EQ(MyVisorBox("Elegir", kTitulos, kTabla, 7, "Provincia"), QStringLiteral("02"));
    EXPECT_EQ(avisos, QStringList{"Búsqueda en [VisorMini]|No encontrado ninguna columna con el "
                                  "título [Provincia]"});
}

// En una pantalla real, solo con el teclado: el foco empieza en la rejilla sobre la primera
// fila, las flechas eligen, Intro o la barra espaciadora devuelven la fila y el tabulador va
// de la rejilla a "Aceptar" y a "Cancelar", como se ven.
TEST_F(VisorBox, EnPantalla_SeEligeConElTeclado) {
    const std::vector<QStringList> tabla = {
        {"01", "Ana", "Soria"}, {"02", "Luis", "Teruel"}, {"03", "Eva", "Cuenca"}};
    struct Caso {
        QStringList teclas; // de xdotool, en orden
        const char* devuelve;
        QStringList foco = {}; // dónde estaba el foco antes de cada tecla, si se mira
    };
    const Caso casos[] = {
        {{"Return"}, "01"},
        {{"Down", "Down", "Return"}, "03"},
        {{"Down", "space"}, "02"},
        {{"Down", "Tab", "Tab", "Return"}, "", {"VisorMini", "VisorMini", "Boton_1", "Boton_0"}},
    };
    for (const Caso& c : casos) {
        Usuario u;
        QStringList foco;
        AlMostrarse(u, [&](Ventana& v, MiVisor::Rejilla& r) {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
            EXPECT_TRUE(QTest::qWaitFor([&r] { return r.hasFocus(); }));
            for (const QString& tecla : c.teclas) {
                foco << QApplication::focusWidget()->objectName();
                en_pantalla::TeclearEnX(tecla);
            }
        });
        EXPECT_EQ(MyVisorBox("Elegir", kTitulos, tabla, 7, "Código"), QString::fromUtf8(c.devuelve))
            << c.teclas.join(' ').toStdString();
        if (!c.foco.isEmpty()) {
            EXPECT_EQ(foco, c.foco);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(VisorBox, UnaFilaCortaOUnaColumnaQueNoTieneNoSeMuestran) {
    EXPECT_THROW(MyVisorBox("Tabla", kTitulos, {{"01", "Ana"}}, 10), basicos::ErrorZoq);
    for (const char* columna : {"#9", "#-1"})
        EXPECT_THROW(MyVisorBox("Elegir", kTitulos, kTabla, 7, columna), basicos::ErrorZoq)
            << columna;
}

} // namespace
