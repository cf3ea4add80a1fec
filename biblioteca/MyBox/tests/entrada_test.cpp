// Cuadros de entrada de un valor, de un rango y de una lista, con los campos del motor.
#include "MiniHelp/MiniHelp.h"
#include "MyBox/MyBox.h"
#include "rutinas/campos.h"
#include "rutinas/controles.h"

#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace MyBox;

namespace {

const QString Aceptar = QStringLiteral("Aceptar");

// Lo que hará el usuario cuando el cuadro esté en pantalla y activo.
void AlMostrarse(std::function<void(Ventana&)> accion) {
    QTimer::singleShot(0, [accion] {
        ASSERT_TRUE(Cargada());
        Ventana& v = Instancia();
        v.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&v));
        accion(v);
    });
}

QPushButton* BotonDe(Ventana& v, const QString& titulo) {
    for (auto* b : v.Boton)
        if (b->isVisible() && b->text() == titulo)
            return b;
    ADD_FAILURE() << "no hay botón " << titulo.toStdString();
    return v.Boton[0];
}

void Teclear(QLineEdit* campo, const QString& texto) {
    campo->setFocus();
    campo->selectAll();
    QTest::keyClicks(campo, texto);
}

class CuadroEntrada : public ::testing::Test {
protected:
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(Cargada());
    }
};

TEST_F(CuadroEntrada, UnValorEntraSinFormatoYSaleEnFormaDeEdicion) {
    const QString tag = QStringLiteral("T(F) L(10) A(I)");
    AlMostrarse([&](Ventana& v) {
        EXPECT_TRUE(v.CampoTexto->isVisible());
        EXPECT_FALSE(v.CampoHasta->isVisible() || v.cbxTabla->isVisible() ||
                     v.etiDesde->isVisible());
        EXPECT_TRUE(rutinas::Tag(v.CampoTexto).startsWith(tag));
        EXPECT_EQ(v.PrimerFoco(), v.CampoTexto);
        EXPECT_EQ(v.Boton[1]->text(), Aceptar);
        // Al entrar, el motor deja la forma de edición (ya lo era) seleccionada.
        EXPECT_EQ(v.CampoTexto->text(), QStringLiteral("07/12/2026"));
        v.Boton[1]->setFocus(); // sale del campo: forma de ver
        EXPECT_EQ(v.CampoTexto->text(), QStringLiteral("07 dic 2026"));
        QTest::keyClick(v.Boton[1], Qt::Key_Return);
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("Fecha del asiento"), QStringLiteral("Asiento"), 8, tag,
                         QStringLiteral("07/12/2026")),
              QStringLiteral("07/12/2026"));
}

TEST_F(CuadroEntrada, LasTeclasPasanPorElMotorDeCampos) {
    AlMostrarse([](Ventana& v) {
        Teclear(v.CampoTexto, QStringLiteral("-12,5x7+"));
        // "+" pone el valor por omisión y pasa al siguiente control ("Aceptar").
        QCoreApplication::processEvents();
        EXPECT_EQ(v.focusWidget(), v.Boton[1]);
        EXPECT_EQ(v.CampoTexto->text(), QStringLiteral("3,00"));
        // "," es ".", la "x" no entra y 7 es el segundo decimal.
        Teclear(v.CampoTexto, QStringLiteral("-12,5x7"));
        EXPECT_EQ(v.CampoTexto->text(), QStringLiteral("-12.57"));
        QTest::keyClick(v.CampoTexto, Qt::Key_Return); // Intro pasa a "Aceptar"
        QCoreApplication::processEvents();
        EXPECT_EQ(v.focusWidget(), v.Boton[1]);
        EXPECT_EQ(v.CampoTexto->text(), QStringLiteral("-12,57"));
        QTest::keyClick(v.focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("Importe"), QStringLiteral("Cobro"), 10,
                         QStringLiteral("T(N) L(12) A(D) D(2) +(3)")),
              QStringLiteral("-12.57"));
}

TEST_F(CuadroEntrada, LosCamposDelCuadroNoQuedanComoUltimoCampo) {
    QLineEdit fuera;
    rutinas::UltimoCampo = &fuera;
    AlMostrarse([](Ventana& v) {
        Teclear(v.CampoTexto, QStringLiteral("abc"));
        v.Boton[0]->setFocus();
        v.Boton[0]->click();
    });
    MyInputBox(QStringLiteral("Nombre"), QStringLiteral("Alta"), 10,
               QStringLiteral("T(m) L(20) A(I)"));
    EXPECT_EQ(rutinas::UltimoCampo.data(), &fuera);
    EXPECT_FALSE(rutinas::SinUltimoCampo);
    rutinas::UltimoCampo = nullptr;
}

TEST_F(CuadroEntrada, CualquierRespuestaQueNoSeaAceptarDevuelveVacio) {
    AlMostrarse([](Ventana& v) {
        Teclear(v.CampoTexto, QStringLiteral("algo escrito"));
        BotonDe(v, QStringLiteral("Cancelar"))->click();
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("x"), QStringLiteral("t"), 4,
                         QStringLiteral("T(m) L(20) A(I)"), QStringLiteral("inicial")),
              QString());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    AlMostrarse([](Ventana& v) { v.close(); }); // cerrar desde el marco es "Cancelar"
    EXPECT_EQ(MyInputBox(QStringLiteral("x"), QStringLiteral("t"), 4,
                         QStringLiteral("T(m) L(20) A(I)"), QStringLiteral("inicial")),
              QString());
    EXPECT_EQ(Estado().respuesta, 2.0f);
}

TEST_F(CuadroEntrada, UnRangoSeEnsenaFormateadoYAlRevesNoSeAcepta) {
    const QString tag = QStringLiteral("T(N) L(10) A(D) D(0) (/)");
    int intentos = 0;
    AlMostrarse([&](Ventana& v) {
        EXPECT_TRUE(v.etiDesde->isVisible() && v.etiHasta->isVisible());
        EXPECT_EQ(v.etiDesde->text(), QStringLiteral("Desde"));
        EXPECT_EQ(v.CampoTexto->width(), v.CampoHasta->width());
        EXPECT_EQ(v.CampoTexto->y(), v.CampoHasta->y());
        EXPECT_EQ(rutinas::Tag(v.CampoHasta), tag);
        EXPECT_EQ(v.CampoHasta->text(), QStringLiteral("1.000"));
        EXPECT_EQ(v.PrimerFoco(), v.CampoTexto);

        Teclear(v.CampoTexto, QStringLiteral("2000"));
        v.Boton[1]->click(); // Desde 2.000 > Hasta 1.000: sigue abierto, sin aviso
        ++intentos;
        EXPECT_TRUE(v.isVisible());
        Teclear(v.CampoTexto, QStringLiteral("50"));
        v.Boton[1]->click();
        ++intentos;
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("Importes a listar"), QStringLiteral("Listado"), 7, tag,
                         QStringLiteral("1ƒ1000")),
              QStringLiteral("50ƒ1000"));
    EXPECT_EQ(intentos, 2);
    EXPECT_EQ(Estado().textoHasta, QStringLiteral("1.000"));
}

TEST_F(CuadroEntrada, UnRangoConUnLadoEnBlancoSeAceptaYCancelarSiempreCierra) {
    const QString tag = QStringLiteral("T(m) L(10) A(I) (/)");
    AlMostrarse([](Ventana& v) {
        EXPECT_TRUE(v.CampoTexto->text().isEmpty()); // sin "ƒ" los dos quedan vacíos
        Teclear(v.CampoTexto, QStringLiteral("b"));
        v.Boton[1]->click();
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("x"), QStringLiteral("t"), 7, tag, QStringLiteral("a")),
              QStringLiteral("bƒ"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    AlMostrarse([](Ventana& v) {
        v.Boton[1]->click(); // "b" va después de "B": al revés
        EXPECT_TRUE(v.isVisible());
        v.Boton[0]->click();
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("x"), QStringLiteral("t"), 7, tag, QStringLiteral("bƒB")),
              QString());
}

TEST_F(CuadroEntrada, UnaListaOfreceSusEntradasYDevuelveLaElegida) {
    AlMostrarse([](Ventana& v) {
        ASSERT_TRUE(v.cbxTabla->isVisible());
        EXPECT_FALSE(v.CampoTexto->isVisible());
        EXPECT_EQ(v.cbxTabla->count(), 3);
        EXPECT_EQ(v.cbxTabla->x(), v.CampoTexto->x());
        EXPECT_EQ(v.cbxTabla->y(), v.CampoTexto->y());
        EXPECT_EQ(v.cbxTabla->width(), v.CampoTexto->width());
        EXPECT_FALSE(v.cbxTabla->isEditable());
        EXPECT_EQ(v.PrimerFoco(), v.cbxTabla);
        v.cbxTabla->setCurrentIndex(1);
        v.Boton[1]->click();
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("Forma de pago"), QStringLiteral("Cobro"), 9,
                         QStringLiteral("TABLA"),
                         QStringLiteral("Contado;Recibo a 30 días;Pagaré")),
              QStringLiteral("Recibo a 30 días"));
}

TEST_F(CuadroEntrada, ElBotonDeAyudaSoloSaleSiElFicheroExisteYAbreLaAyuda) {
    AlMostrarse([](Ventana& v) {
        EXPECT_FALSE(v.Ayuda->isVisible());
        v.Boton[0]->click();
    });
    MyInputBox(QStringLiteral("x"), QStringLiteral("t"), 1, QStringLiteral("T(m) L(5) A(I)"),
               QString(), nullptr, QStringLiteral("/no/existe/ayuda.rtf"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const QString ayuda = QStringLiteral(ZOQ_FUENTES "/biblioteca/MiniHelp/tests/datos/ayuda.rtf");
    QString leido;
    AlMostrarse([&](Ventana& v) {
        ASSERT_TRUE(v.Ayuda->isVisible());
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(MiniHelp::Cargada());
            leido = MiniHelp::Instancia().TextoAyuda->toPlainText();
            EXPECT_TRUE(MiniHelp::Instancia().isModal());
            MiniHelp::Instancia().cmdCerrar->click();
        });
        v.Ayuda->click();
        EXPECT_TRUE(v.isVisible());
        v.Boton[1]->click();
        EXPECT_FALSE(v.Ayuda->isVisible());
    });
    MyInputBox(QStringLiteral("x"), QStringLiteral("t"), 1, QStringLiteral("T(m) L(5) A(I)"),
               QString(), nullptr, ayuda);
    EXPECT_TRUE(leido.startsWith(QStringLiteral("Ayuda de facturación"))) << leido.toStdString();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// En una pantalla real, con el teclado y el ratón de verdad.

TEST_F(CuadroEntrada, EnPantalla_IntroEnLaListaPasaAAceptar) {
    // Como en un campo del cuadro: Intro en la lista (cerrada) lleva a "Aceptar", y otro Intro
    // acepta la entrada elegida con las flechas.
    QStringList foco;
    AlMostrarse([&](Ventana& v) {
        for (const char* tecla : {"Down", "Return", "Return"}) {
            foco << QApplication::focusWidget()->objectName();
            en_pantalla::TeclearEnX(QString::fromLatin1(tecla));
        }
        if (v.isVisible()) // no se aceptó: que la prueba falle sin quedarse esperando
            v.close();
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("Serie de facturación:"), QStringLiteral("Facturas"), 9,
                         QStringLiteral("TABLA"),
                         QStringLiteral("A - General;B - Rectificativas;C - Exportación")),
              QStringLiteral("B - Rectificativas"));
    EXPECT_EQ(foco, (QStringList{"cbxTabla", "cbxTabla", "Boton_1"}));
}

TEST_F(CuadroEntrada, EnPantalla_UnaFechaQueNoExisteNoContestaComoCancelar) {
    // La fecha que no existe se borra y se dice; ni Intro ni un clic en "Aceptar" dan el cuadro
    // por contestado con el campo vacío: el foco vuelve a la fecha.
    en_pantalla::LeerAvisos usuario;
    bool abierto = true;
    AlMostrarse([&](Ventana& v) {
        QLineEdit* fecha = v.CampoTexto;
        // Diez caracteres: el campo lleno pasa a "Aceptar".
        QTest::keyClicks(fecha, QStringLiteral("31/02/2024"));
        ASSERT_TRUE(usuario.Esperar(1));
        EXPECT_TRUE(QTest::qWaitFor([&] { return fecha->hasFocus(); }));
        EXPECT_EQ(fecha->text(), QString());
        // Con el ratón: el clic en "Aceptar" (que se lleva el foco) no cierra el cuadro.
        QTest::keyClicks(fecha, QStringLiteral("32"));
        en_pantalla::PulsarConElRaton(v.Boton[1]);
        ASSERT_TRUE(usuario.Esperar(2));
        EXPECT_TRUE(QTest::qWaitFor([&] { return fecha->hasFocus(); }));
        abierto = v.isVisible();
        QTest::keyClicks(fecha, QStringLiteral("28/02/2024"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return v.Boton[1]->hasFocus(); }));
        en_pantalla::TeclearEnX(QStringLiteral("Return"));
    });
    EXPECT_EQ(MyInputBox(QStringLiteral("Fecha del asiento"), QStringLiteral("Asiento"), 8,
                         QStringLiteral("T(F) L(10) A(I)")),
              QStringLiteral("28/02/2024"));
    EXPECT_TRUE(abierto);
    ASSERT_EQ(usuario.textos.size(), 2);
    EXPECT_TRUE(usuario.textos[0].contains("«31/02/2024» no existe"));
    EXPECT_TRUE(usuario.textos[1].contains("«32» no existe"));
}

} // namespace
