// El cuadro de mensajes como lo usa una aplicación: se muestra modal, se contesta con el
// teclado o el ratón y devuelve el código de la respuesta.
#include "MyBox/MyBox.h"
#include "basicos/nucleo/error.h"
#include "basicos/pantalla.h"
#include "rutinas/nucleo/escalado.h"

#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace MyBox;

namespace {

// Programa lo que hará "el usuario" en cuanto el cuadro esté en pantalla.
void AlMostrarse(std::function<void(Ventana&)> accion) {
    QTimer::singleShot(0, [accion] {
        ASSERT_TRUE(Cargada());
        Ventana& v = Instancia();
        ASSERT_TRUE(v.isVisible());
        accion(v);
    });
}

void PulsarIntro(Ventana& v) {
    QWidget* foco = v.focusWidget();
    ASSERT_NE(foco, nullptr);
    QTest::keyClick(foco, Qt::Key_Return);
}

// Cuadros que existen, mostrados o no (los propios de una llamada incluidos).
int CuadrosVivos() {
    int n = 0;
    for (QWidget* w : QApplication::allWidgets())
        n += qobject_cast<Ventana*>(w) != nullptr;
    return n;
}

int TwipsAPixeles(float twips) {
    return qRound(twips * QGuiApplication::primaryScreen()->logicalDotsPerInchX() / 1440.0);
}

class CuadroMensajes : public ::testing::Test {
protected:
    void TearDown() override {
        // Que ningún cuadro quede cargado para el caso siguiente.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(Cargada());
    }
};

struct CasoIntro {
    int juego;
    int omision;
    float codigo;
};

class IntroSobreElPrimerFoco : public CuadroMensajes,
                               public ::testing::WithParamInterface<CasoIntro> {};

TEST_P(IntroSobreElPrimerFoco, DevuelveLaRespuestaDeEseBoton) {
    const auto c = GetParam();
    AlMostrarse(PulsarIntro);
    EXPECT_EQ(
        MyMsgBox(QStringLiteral("¿Seguimos?"), QStringLiteral("Prueba"), 4, c.juego, c.omision),
        c.codigo);
}

INSTANTIATE_TEST_SUITE_P(
    CadaJuegoYBoton, IntroSobreElPrimerFoco,
    ::testing::Values(CasoIntro{1, 1, 1}, CasoIntro{1, 3, 1}, CasoIntro{2, 1, 1},
                      CasoIntro{2, 2, 2}, CasoIntro{2, 5, 2}, CasoIntro{3, 1, 6},
                      CasoIntro{3, 2, 7}, CasoIntro{4, 1, 6}, CasoIntro{4, 2, 7},
                      CasoIntro{4, 0, 2}, CasoIntro{5, 1, 3}, CasoIntro{5, 2, 4},
                      CasoIntro{5, 9, 5}, CasoIntro{6, 1, 4}, CasoIntro{6, 2, 2}),
    [](const ::testing::TestParamInfo<CasoIntro>& i) {
        return "Juego" + std::to_string(i.param.juego) + "Boton" +
               (i.param.omision < 0 ? "M" + std::to_string(-i.param.omision)
                                    : std::to_string(i.param.omision));
    });

TEST_F(CuadroMensajes, MuestraElTextoEnVariasLineasYSoloLosBotonesDelJuego) {
    AlMostrarse([](Ventana& v) {
        EXPECT_EQ(v.Mensaje->text(), QStringLiteral("Primera línea\r\nSegunda\r\n\r\nCuarta"));
        EXPECT_EQ(v.windowTitle(), QStringLiteral("Aviso"));
        EXPECT_EQ(v.Imagen->property("NumeroIcono").toInt(), 10);
        EXPECT_FALSE(v.Imagen->pixmap().isNull());
        EXPECT_TRUE(v.Boton[0]->isVisible());
        EXPECT_FALSE(v.Boton[1]->isVisible());
        EXPECT_FALSE(v.Boton[2]->isVisible());
        EXPECT_FALSE(v.Ayuda->isVisible());
        EXPECT_EQ(v.Boton[0]->text(), QStringLiteral("Aceptar"));
        // La altura del texto crece con las líneas: dos saltos más que una sola línea.
        EXPECT_GT(v.Mensaje->height(), 3 * v.Mensaje->fontMetrics().height());
        v.Boton[0]->click();
    });
    EXPECT_EQ(MyMsgBox(QStringLiteral("Primera línea;Segunda;;Cuarta"), QStringLiteral("Aviso"), 10,
                       1, 1),
              1.0f);
}

TEST_F(CuadroMensajes, EscapeNoHaceNadaYElRatonContesta) {
    AlMostrarse([](Ventana& v) {
        QTest::keyClick(v.focusWidget(), Qt::Key_Escape);
        QTest::keyClick(&v, Qt::Key_Escape);
        EXPECT_TRUE(v.isVisible());
        QTest::mouseClick(v.Boton[2], Qt::LeftButton);
    });
    EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 5, 5, 0), 3.0f); // Abortar
}

TEST_F(CuadroMensajes, LaBarraEspaciadoraPulsaElBotonConFoco) {
    AlMostrarse([](Ventana& v) { QTest::keyClick(v.focusWidget(), Qt::Key_Space); });
    EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 2, 3, 1), 6.0f); // Si
}

TEST_F(CuadroMensajes, ElSegundoClicDeUnBotonInterruptorSeDescarta) {
    AlMostrarse([](Ventana& v) {
        // Dos clics en cola: el segundo llega mientras se atiende el primero.
        QMetaObject::invokeMethod(v.Boton[0], "click", Qt::QueuedConnection);
        QMetaObject::invokeMethod(v.Boton[1], "click", Qt::QueuedConnection);
    });
    EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 2, 1), 2.0f);
    QCoreApplication::processEvents();
    EXPECT_EQ(Estado().respuesta, 2.0f);
    EXPECT_FALSE(Cargada());
}

TEST_F(CuadroMensajes, LaAsistenciaVeBotonesYSuAccionDePulsarContestaComoUnClic) {
    // El lector de pantalla, el acceso por conmutador o el control por voz: el cuadro es un
    // diálogo, sus respuestas son botones (no casillas que se marcan) y pulsar uno por la
    // accesibilidad contesta lo mismo que el clic.
    struct Caso {
        int juego, boton;
        float codigo;
    };
    for (const Caso c : {Caso{1, 0, 1}, Caso{3, 1, 6}, Caso{5, 0, 5}, Caso{6, 1, 4}}) {
        AlMostrarse([c](Ventana& v) {
            EXPECT_EQ(QAccessible::queryAccessibleInterface(&v)->role(), QAccessible::Dialog);
            for (QPushButton* b : v.Boton) {
                QAccessibleInterface* i = QAccessible::queryAccessibleInterface(b);
                EXPECT_EQ(i->role(), QAccessible::PushButton) << b->text().toStdString();
                EXPECT_FALSE(i->state().checkable) << b->text().toStdString();
            }
            QAccessibleActionInterface* accion =
                QAccessible::queryAccessibleInterface(v.Boton[c.boton])->actionInterface();
            ASSERT_NE(accion, nullptr);
            EXPECT_EQ(accion->actionNames().value(0), QAccessibleActionInterface::pressAction());
            accion->doAction(QAccessibleActionInterface::pressAction());
        });
        EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, c.juego, 1), c.codigo)
            << "juego " << c.juego;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CuadroMensajes, UnTituloQueNoEsRespuestaDejaElCodigoPeroCierra) {
    AlMostrarse([](Ventana& v) { v.Boton[1]->click(); });
    EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 4, 2), 7.0f);
    AlMostrarse([](Ventana& v) {
        EXPECT_EQ(v.Boton[1]->text(), QStringLiteral("Boton2"));
        EXPECT_TRUE(v.Boton[0]->isVisible() && v.Boton[1]->isVisible() && v.Boton[2]->isVisible());
        v.Boton[1]->click();
    });
    EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 9, 1), 7.0f);
}

TEST_F(CuadroMensajes, ColocacionDadaCentradaYSobreUnaVentana) {
    const QRect pantalla = QGuiApplication::primaryScreen()->geometry();
    float top = 100, left = -1;
    QPoint vista;
    AlMostrarse([&vista](Ventana& v) {
        vista = v.pos();
        v.Boton[0]->click();
    });
    MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 1, 1, top, left);
    EXPECT_EQ(top, 100.0f);
    EXPECT_GT(left, 0.0f);
    EXPECT_EQ(vista.y(), TwipsAPixeles(100));
    EXPECT_NEAR(vista.x(), (pantalla.width() - Instancia().width()) / 2, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QWidget otra;
    otra.setGeometry(200, 150, 900, 600);
    top = 100;
    left = 300;
    QRect cuadro;
    AlMostrarse([&cuadro](Ventana& v) {
        cuadro = v.frameGeometry();
        v.Boton[0]->click();
    });
    MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 1, 1, top, left, &otra);
    // El marco de la ventana no se conoce hasta que se muestra: unos píxeles de margen.
    EXPECT_NEAR(cuadro.center().x(), otra.frameGeometry().center().x(), 4);
    EXPECT_NEAR(cuadro.center().y(), otra.frameGeometry().center().y(), 4);
    EXPECT_NE(top, 100.0f);
    EXPECT_NE(left, 300.0f);
}

TEST_F(CuadroMensajes, CerrarDesdeElMarcoNoDejaPasarUnaRespuestaVieja) {
    struct Caso {
        int juego;
        float codigo;
    };
    for (const Caso c : {Caso{1, 1}, Caso{2, 2}, Caso{4, 2}, Caso{6, 2}}) {
        // Primero una respuesta distinta, para ver que no se repite.
        AlMostrarse([](Ventana& v) { v.Boton[1]->click(); });
        MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 5, 1); // Reintentar = 4
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        AlMostrarse([](Ventana& v) {
            EXPECT_TRUE(v.windowFlags() & Qt::WindowCloseButtonHint);
            v.close();
        });
        EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, c.juego, 1), c.codigo)
            << "juego " << c.juego;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CuadroMensajes, EnLosJuegosSinCancelarElMarcoNoCierra) {
    for (int juego : {3, 5}) {
        AlMostrarse([](Ventana& v) {
            EXPECT_FALSE(v.windowFlags() & Qt::WindowCloseButtonHint);
            EXPECT_FALSE(v.close());
            EXPECT_TRUE(v.isVisible());
            v.Boton[0]->click();
        });
        EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, juego, 1),
                  juego == 3 ? 7.0f : 5.0f);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CuadroMensajes, UnIconoInexistenteEsUnErrorYNoSeMuestraNada) {
    for (int icono : {0, 11, -1}) {
        bool mostrado = false;
        QTimer::singleShot(0, [&mostrado] {
            mostrado = Cargada() && Instancia().isVisible();
            if (mostrado)
                Instancia().Boton[0]->click();
        });
        EXPECT_THROW(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), icono, 1, 1),
                     basicos::ErrorZoq);
        QCoreApplication::processEvents();
        EXPECT_FALSE(mostrado);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(CuadroMensajes, LaRespuestaSobreviveALaDescargaYCadaVezSeCargaDeNuevo) {
    AlMostrarse([](Ventana& v) {
        // Lo que cambió una llamada no llega a la siguiente: la ventana es nueva.
        v.Boton[2]->setText(QStringLiteral("Cambiado"));
        v.Boton[0]->click();
    });
    MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 4, 3);
    // Al volver la operación el cuadro ya no existe, y su respuesta sigue.
    EXPECT_FALSE(Cargada());
    EXPECT_EQ(CuadrosVivos(), 0);
    EXPECT_EQ(Estado().respuesta, 2.0f);
    AlMostrarse([](Ventana& v) {
        EXPECT_EQ(v.Boton[2]->text(), QStringLiteral("Abortar"));
        v.Boton[2]->click();
    });
    EXPECT_EQ(MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 5, 3), 3.0f);
}

// En una pantalla real: el cuadro se activa al mostrarse y se contesta con el teclado.

TEST_F(CuadroMensajes, EnPantalla_ElMensajeEsTextoLlano) {
    // «<A>» no es una etiqueta: se ve tal cual, y el ";" sigue partiendo la línea.
    const QString primera = QStringLiteral("La serie <A> está cerrada.");
    AlMostrarse([&](Ventana& v) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
        const QFontMetrics medidas = v.Mensaje->fontMetrics();
        EXPECT_GE(v.Mensaje->width(), medidas.horizontalAdvance(primera));
        // Alto de las dos líneas tal como se componen (con la letra de diseño, 11,5 px cada
        // una: menos que dos veces height(), que se redondea hacia arriba).
        EXPECT_GE(v.Mensaje->height(),
                  medidas.boundingRect(QRect(0, 0, 10000, 10000), 0, v.Mensaje->text()).height());
        EXPECT_NE(v.Mensaje->text().indexOf(u'\n'), -1);
        en_pantalla::Pulsar(Qt::Key_Return);
    });
    EXPECT_EQ(MyMsgBox(primera + QStringLiteral(";¿Abrir la serie <B>?"), QStringLiteral("Series"),
                       4, 3, 1),
              6.0f);
}

TEST_F(CuadroMensajes, EnPantalla_ElBotonQuePulsaIntroSeVeConElFoco) {
    // El botón del primer foco ha de verse distinto de como se ve sin el foco, desde que el
    // cuadro aparece (sin haber navegado antes con el teclado).
    QCursor::setPos(0, 0); // que el ratón no resalte ningún botón
    AlMostrarse([](Ventana& v) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
        QPushButton* no = v.Boton[1];
        ASSERT_TRUE(no->hasFocus());
        const QImage conFoco = no->grab().toImage();
        v.Boton[2]->setFocus(Qt::OtherFocusReason);
        const QImage sinFoco = no->grab().toImage();
        EXPECT_NE(conFoco, sinFoco);
        no->setFocus(Qt::OtherFocusReason);
        en_pantalla::Pulsar(Qt::Key_Return);
    });
    EXPECT_EQ(MyMsgBox(QStringLiteral("El cliente 4300012 ha cambiado.;¿Guardar los cambios?"),
                       QStringLiteral("Clientes"), 4, 4, 2),
              7.0f);
}

TEST_F(CuadroMensajes, EnPantalla_UnCuadroPedidoConOtroAbiertoEsSuyo) {
    // Mientras el usuario piensa «¿Guardar los cambios?», un manejador de otra ventana pide
    // otro cuadro: sale encima, modal, y cada llamada recibe lo que el usuario contestó en
    // el suyo (el segundo se cierra desde el marco: "Cancelar"); el primero sigue igual.
    float interior = 0;
    QString textoExterior;
    AlMostrarse([&](Ventana& exterior) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&exterior));
        QTimer::singleShot(0, [&] {
            QWidget* otro = en_pantalla::EsperarOtraActiva(&exterior);
            ASSERT_NE(otro, nullptr);
            EXPECT_TRUE(en_pantalla::CerrarConElGestor());
        });
        interior =
            MyMsgBox(QStringLiteral("Ha llegado un aviso."), QStringLiteral("Avisos"), 10, 2, 1);
        EXPECT_EQ(CuadrosVivos(), 1); // el de la llamada interior ya no existe
        ASSERT_TRUE(QTest::qWaitForWindowActive(&exterior));
        textoExterior = exterior.Mensaje->text();
        en_pantalla::Pulsar(Qt::Key_Return); // "No", el del primer foco
    });
    const float respuesta =
        MyMsgBox(QStringLiteral("¿Guardar los cambios?"), QStringLiteral("Clientes"), 4, 4, 2);
    EXPECT_EQ(interior, 2.0f);
    EXPECT_EQ(respuesta, 7.0f);
    EXPECT_EQ(Estado().respuesta, 7.0f); // el estado es el de la llamada que acaba de terminar
    EXPECT_EQ(textoExterior, QStringLiteral("¿Guardar los cambios?"));
}

TEST_F(CuadroMensajes, EnPantalla_UnMensajeLargoSeVeEntero) {
    // Una ruta larga (sin blancos donde partirla) y un motivo: todo se ve dentro del cuadro,
    // partido en líneas y, si no cabe encima de los botones, con el cuadro más alto. Un
    // mensaje corto deja el cuadro como en su diseño.
    const QString ruta = QStringLiteral("/home/administracion/Documentos/contabilidad-ejercicio-"
                                        "2026/rollos-de-la-calculadora-de-caja/rollo.txt");
    const QString largo = QStringLiteral("No se pudo guardar el rollo en ") + ruta +
                          QStringLiteral(" (la carpeta no existe).;Compruebe la ruta y vuelva a "
                                         "intentarlo, o elija otra carpeta en la que se pueda "
                                         "escribir: el rollo sigue en la calculadora.;;Si la "
                                         "carpeta está en la red, compruebe también que el "
                                         "servidor responde y que su usuario puede escribir en "
                                         "ella antes de volver a intentarlo.;Nada de lo hecho "
                                         "se ha perdido.");
    auto sinBlancos = [](QString t) {
        return t.remove(QRegularExpression("\\s"));
    };
    for (const QString& mensaje : {largo, QStringLiteral("Corto.")}) {
        QSize tamano;
        AlMostrarse([&](Ventana& v) {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
            tamano = v.size();
            const QRect texto = v.Mensaje->geometry();
            EXPECT_TRUE(v.Contenedor->rect().contains(texto));
            EXPECT_TRUE(v.rect().contains(v.Contenedor->geometry()));
            EXPECT_LT(texto.bottom(), v.Boton[0]->y());
            EXPECT_TRUE(v.Contenedor->rect().contains(v.Boton[0]->geometry()));
            const QFontMetrics medidas = v.Mensaje->fontMetrics();
            for (const QString& linea : v.Mensaje->text().split(QStringLiteral("\r\n")))
                EXPECT_LE(medidas.horizontalAdvance(linea), texto.width()) << linea.toStdString();
            EXPECT_EQ(sinBlancos(v.Mensaje->text()), sinBlancos(TextoConSaltos(mensaje)));
            en_pantalla::TeclearEnX(QStringLiteral("Return"));
        });
        EXPECT_EQ(MyMsgBox(mensaje, QStringLiteral("Calculadora"), 1, 1, 1), 1.0f);
        if (mensaje == largo) {
            EXPECT_GT(tamano.height(), basicos::PixelesY(2175));
        } else {
            EXPECT_EQ(tamano, QSize(basicos::PixelesX(7455), basicos::PixelesY(2175)));
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CuadroMensajes, SeCargaConLaLetraYLaEscalaDeLaSuite) {
    rutinas::FactorX = rutinas::FactorY = 1.5f;
    QSize tamano;
    QString letra;
    AlMostrarse([&](Ventana& v) {
        tamano = v.size();
        letra = v.Boton[0]->font().family();
        v.Boton[0]->click();
    });
    MyMsgBox(QStringLiteral("x"), QStringLiteral("t"), 1, 1, 1);
    rutinas::FactorX = rutinas::FactorY = 0;
    EXPECT_NEAR(tamano.width(), basicos::PixelesX(7455 * 1.5), 2);
    EXPECT_NEAR(tamano.height(), basicos::PixelesY(2175 * 1.5), 2);
    EXPECT_EQ(letra, QStringLiteral("MS Shell Dlg 2"));
}

} // namespace
