#include "Impresora/Impresora.h"

#include "Impresora/ImpresoraActual.h"
#include "rutinas/generales.h"
#include "servidor_cups.h"

#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace Impresora;

namespace {

// Un servidor para todas las pruebas de la ventana: dos colas, "Almacen" apaisada por
// omisión y "Oficina" vertical, que es la de omisión del servidor.
class ImpresoraConServidor : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        servidor = new ServidorCups;
        error = servidor->Arrancar();
        if (error.isEmpty())
            error = servidor->CrearCola("Almacen", {"orientation-requested-default=4"});
        if (error.isEmpty())
            error = servidor->CrearCola("Oficina");
        if (error.isEmpty())
            error = servidor->PonerOmision("Oficina");
    }
    static void TearDownTestSuite() {
        delete servidor;
        servidor = nullptr;
        ReiniciarImpresoraActual();
    }
    void SetUp() override {
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        ASSERT_TRUE(servidor->PonerOmision("Oficina").isEmpty());
        ReiniciarImpresoraActual();
        ImpresoraElegida = "anterior";
        OrientacionElegida = "anterior";
        ImpresionCancelada = false;
    }
    void TearDown() override {
        if (Cargada())
            Instancia().cmdCancelar_Click();
    }

    static inline ServidorCups* servidor = nullptr;
    static inline QString error;
};

TEST_F(ImpresoraConServidor, ListaLasColasYPreseleccionaLaActual) {
    Ventana& v = Instancia();
    ASSERT_EQ(v.ListaImpresoras->count(), 2);
    EXPECT_EQ(v.ListaImpresoras->itemText(0), QStringLiteral("Almacen"));
    EXPECT_EQ(v.ListaImpresoras->itemText(1), QStringLiteral("Oficina"));
    EXPECT_EQ(v.ListaImpresoras->currentText(), QStringLiteral("Oficina"));
    EXPECT_EQ(v.ListaImpresoras->toolTip(), QStringLiteral("Oficina"));
    EXPECT_EQ(v.windowTitle(), QStringLiteral("  Selección de Impresora"));
}

TEST_F(ImpresoraConServidor, VerticalUnaPulsacionYAceptarDejaHorizontal) {
    Ventana& v = Instancia();
    EXPECT_EQ(v.TagModoPapel(), QStringLiteral("Vertical"));
    EXPECT_EQ(v.ModoPapel->toolTip(), QStringLiteral("Papel Vertical"));
    QTest::mouseClick(v.ModoPapel, Qt::LeftButton);
    EXPECT_EQ(v.ModoPapel->toolTip(), QStringLiteral("Papel Horizontal"));
    QTest::mouseClick(v.cmdAceptar, Qt::LeftButton);
    EXPECT_FALSE(Cargada());
    EXPECT_FALSE(ImpresionCancelada);
    EXPECT_EQ(ImpresoraElegida, QStringLiteral("Oficina"));
    EXPECT_EQ(OrientacionElegida, QStringLiteral("Horizontal"));
}

TEST_F(ImpresoraConServidor, ProponerApaisadoAlternaLaDeLaImpresora) {
    ProponerApaisado();
    EXPECT_EQ(Instancia().TagModoPapel(), QStringLiteral("Horizontal"));
    Instancia().cmdAceptar_Click();

    ASSERT_TRUE(servidor->PonerOmision("Almacen").isEmpty());
    ReiniciarImpresoraActual();
    EXPECT_EQ(OrientacionActual(), 2);
    EXPECT_EQ(Instancia().TagModoPapel(), QStringLiteral("Horizontal"));
    ProponerApaisado();
    EXPECT_EQ(Instancia().TagModoPapel(), QStringLiteral("Vertical"));
    EXPECT_EQ(Instancia().ModoPapel->toolTip(), QStringLiteral("Papel Vertical"));
}

TEST_F(ImpresoraConServidor, CancelarYEscapeConservanLaEleccionAnterior) {
    Instancia().ModoPapel_Click();
    QTest::mouseClick(Instancia().cmdCancelar, Qt::LeftButton);
    EXPECT_TRUE(ImpresionCancelada);
    EXPECT_EQ(ImpresoraElegida, QStringLiteral("anterior"));
    EXPECT_EQ(OrientacionElegida, QStringLiteral("anterior"));

    ImpresionCancelada = false;
    Ventana& v = Instancia();
    v.show();
    QTest::keyClick(&v, Qt::Key_Escape);
    EXPECT_TRUE(ImpresionCancelada);
    EXPECT_FALSE(Cargada());
    EXPECT_EQ(ImpresoraElegida, QStringLiteral("anterior"));
}

TEST_F(ImpresoraConServidor, SiemprePreseleccionaLaActualAunqueAntesSeEligieraOtra) {
    Ventana& v = Instancia();
    v.ListaImpresoras->setCurrentIndex(0);
    v.ListaImpresoras_Click();
    EXPECT_EQ(v.ListaImpresoras->toolTip(), QStringLiteral("Almacen"));
    v.cmdAceptar_Click();
    EXPECT_EQ(ImpresoraElegida, QStringLiteral("Almacen"));
    EXPECT_EQ(Instancia().ListaImpresoras->currentText(), QStringLiteral("Oficina"));
}

TEST_F(ImpresoraConServidor, EnPantalla_SeEligeConElTeclado) {
    // El foco empieza en la lista y se ve; el tabulador sigue el orden en que se ven los
    // controles; Intro acepta desde la lista o el botón del papel, y en Cancelar cancela.
    struct Caso {
        QStringList teclas; // de xdotool, en orden
        bool cancelada;
        const char* impresora;
        const char* orientacion;
        QStringList foco = {}; // dónde estaba el foco antes de cada tecla, si se mira
    };
    const Caso casos[] = {
        {{"Return"}, false, "Oficina", "Vertical"},
        {{"Up", "Return"}, false, "Almacen", "Vertical"},
        {{"Tab", "Tab", "space", "Return"}, false, "Oficina", "Horizontal"},
        {{"Tab", "Tab", "Tab", "Return"},
         true,
         "anterior",
         "anterior",
         {"ListaImpresoras", "cmdAceptar", "ModoPapel", "cmdCancelar"}},
    };
    for (const Caso& c : casos) {
        ImpresoraElegida = OrientacionElegida = "anterior";
        Ventana& v = Instancia();
        QStringList foco;
        bool focoVisto = false;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
            ASSERT_TRUE(QTest::qWaitFor([&] { return v.ListaImpresoras->hasFocus(); }));
            // La lista con el foco se ve distinta de sin él, desde que se abre.
            const QImage conFoco = v.ListaImpresoras->grab().toImage();
            v.cmdCancelar->setFocus(Qt::OtherFocusReason);
            focoVisto = conFoco != v.ListaImpresoras->grab().toImage();
            v.ListaImpresoras->setFocus(Qt::OtherFocusReason);
            for (const QString& tecla : c.teclas) {
                foco << QApplication::focusWidget()->objectName();
                en_pantalla::TeclearEnX(tecla);
            }
            if (Cargada()) // no se cerró: que la prueba falle sin quedarse esperando
                v.cmdCancelar_Click();
        });
        v.exec();
        EXPECT_FALSE(Cargada()) << c.teclas.join(' ').toStdString();
        EXPECT_TRUE(focoVisto);
        EXPECT_EQ(ImpresionCancelada, c.cancelada) << c.teclas.join(' ').toStdString();
        EXPECT_EQ(ImpresoraElegida, QString::fromUtf8(c.impresora));
        EXPECT_EQ(OrientacionElegida, QString::fromUtf8(c.orientacion));
        if (!c.foco.isEmpty()) {
            EXPECT_EQ(foco, c.foco);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST(ImpresoraSinServidor, SinImpresorasLaListaQuedaVaciaYSeEligeNada) {
    const QByteArray antes = qgetenv("CUPS_SERVER");
    ServidorCups::SinServidor();
    ReiniciarImpresoraActual();
    Ventana& v = Instancia();
    EXPECT_EQ(v.ListaImpresoras->count(), 0);
    EXPECT_EQ(rutinas::IndiceImpresora(), 0);
    v.cmdAceptar_Click();
    EXPECT_FALSE(ImpresionCancelada);
    EXPECT_EQ(ImpresoraElegida, QString());
    qputenv("CUPS_SERVER", antes);
    ReiniciarImpresoraActual();
}

} // namespace
