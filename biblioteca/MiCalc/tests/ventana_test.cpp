#include "MiCalc/MiCalc.h"
#include "MyBox/MyBox.h"
#include "Telefonos/Telefonos.h"
#include "basicos/pantalla.h"
#include "basicos/teclas_globales.h"
#include "en_pantalla.h"
#include "qt_gtest.h"
#include "rutinas/escalado.h"
#include "servidor_cups.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

using MiCalc::Arranque;

// Cada prueba trabaja con una pantalla de 15 twips por píxel y un área de trabajo conocida, y
// deja los factores de escala de la suite como estaban.
class VentanaCalculadora : public ::testing::Test {
protected:
    void SetUp() override {
        basicos::PonerMedidasPantalla(basicos::MedidasPantalla{15, 15, QRect(0, 0, 1280, 1000)});
        rutinas::FactorX = rutinas::FactorY = 0;
    }
    void TearDown() override {
        delete calculadora;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<MiCalc::MiCalc*>(w) != nullptr)
                delete w;
        }
        rutinas::FactorX = rutinas::FactorY = 0;
        basicos::PonerMedidasPantalla(std::nullopt);
    }

    MiCalc::MiCalc& Abrir(const Arranque& arranque = {QString(), "Zodivazod"}) {
        calculadora = new MiCalc::MiCalc(arranque);
        calculadora->show();
        return *calculadora;
    }

    QString Pantalla() const { return calculadora->pantalla()->text(); }

    QPointer<MiCalc::MiCalc> calculadora;
};

TEST_F(VentanaCalculadora, ElPapelEmpiezaOcultoFueraDeLaVentana) {
    MiCalc::MiCalc& c = Abrir();
    EXPECT_EQ(c.objectName(), "MiCalc"); // el nombre por el que espera F4
    EXPECT_TRUE(c.papel()->isHidden());
    EXPECT_GE(c.papel()->x(), c.width());
    EXPECT_TRUE(c.papel()->font().fixedPitch() || c.papel()->fontInfo().fixedPitch());
    EXPECT_EQ(c.Evaluar("1+1"), "");
}

TEST_F(VentanaCalculadora, CadaBotonPulsaLaTeclaDeSuRotulo) {
    // Lo que se ve en cada botón es lo que hace: tras "12+3", el botón y la misma tecla
    // tecleada dejan la calculadora igual.
    for (int i = 0; i < int(MiCalc::Teclas.size()); ++i) {
        MiCalc::MiCalc& c = Abrir();
        MiCalc::MiCalc tecleada(Arranque{QString(), "Zodivazod"});
        for (MiCalc::MiCalc* una : {&c, &tecleada})
            for (char ch : std::string("12+3"))
                una->Form_KeyPress(ch);
        const QString rotulo = c.tecla(i)->text();
        ASSERT_EQ(rotulo.size(), 1);
        c.tecla(i)->click();
        tecleada.Form_KeyPress(rotulo.at(0).unicode());
        EXPECT_EQ(Pantalla(), tecleada.pantalla()->text()) << rotulo.toStdString();
        EXPECT_EQ(c.motor().Rollo(), tecleada.motor().Rollo()) << rotulo.toStdString();
        EXPECT_EQ(c.motor().Entrada(), tecleada.motor().Entrada()) << rotulo.toStdString();
        delete calculadora;
    }
}

TEST_F(VentanaCalculadora, LasTeclasNoSeTapanYElTabuladorLasRecorreComoSeLeen) {
    MiCalc::MiCalc& c = Abrir();
    std::vector<QRect> sitios;
    for (int i = 0; i < int(MiCalc::Teclas.size()); ++i) {
        const QRect r = c.tecla(i)->geometry();
        EXPECT_TRUE(c.panel()->rect().contains(r)) << i;
        for (const QRect& otro : sitios)
            EXPECT_FALSE(otro.intersects(r)) << i;
        sitios.push_back(r);
    }
    // Desde la primera tecla de arriba a la izquierda, Tab va de izquierda a derecha y de
    // arriba abajo por las 24.
    QWidget* w = c.tecla(0);
    for (int i = 0; i < int(MiCalc::Teclas.size()); ++i)
        if (std::pair(c.tecla(i)->y(), c.tecla(i)->x()) < std::pair(w->y(), w->x()))
            w = c.tecla(i);
    for (int vistas = 1; vistas < int(MiCalc::Teclas.size()); ++vistas) {
        QWidget* siguiente = w->nextInFocusChain();
        ASSERT_EQ(siguiente->parentWidget(), c.panel()) << vistas;
        EXPECT_TRUE(std::pair(siguiente->y(), siguiente->x()) > std::pair(w->y(), w->x()))
            << qobject_cast<QPushButton*>(w)->text().toStdString() << " → "
            << qobject_cast<QPushButton*>(siguiente)->text().toStdString();
        w = siguiente;
    }
}

struct CasoTeclado {
    const char* nombre;
    QList<int> teclas; // teclas de Qt, en orden
    const char* pantalla;
};

void PrintTo(const CasoTeclado& c, std::ostream* os) {
    *os << c.nombre;
}

class Teclado : public VentanaCalculadora, public ::testing::WithParamInterface<CasoTeclado> {};

TEST_P(Teclado, LasTeclasLleganAlMotor) {
    MiCalc::MiCalc& c = Abrir();
    for (int tecla : GetParam().teclas)
        QTest::keyClick(c.panel(), Qt::Key(tecla));
    EXPECT_EQ(Pantalla(), GetParam().pantalla);
}

INSTANTIATE_TEST_SUITE_P(
    Mapeo, Teclado,
    ::testing::Values(
        CasoTeclado{"IntroEsIgual",
                    {Qt::Key_1, Qt::Key_2, Qt::Key_Plus, Qt::Key_3, Qt::Key_Return},
                    "15,00 ="},
        CasoTeclado{"IntroDelTecladoNumerico",
                    {Qt::Key_1, Qt::Key_Asterisk, Qt::Key_4, Qt::Key_Enter},
                    "4,00 ="},
        CasoTeclado{"RetrocesoBorraUnaCifra", {Qt::Key_1, Qt::Key_2, Qt::Key_Backspace}, "1,00  "},
        CasoTeclado{"LaCMinusculaBorraTodo",
                    {Qt::Key_1, Qt::Key_Plus, Qt::Key_2, Qt::Key_Return, Qt::Key_C},
                    "0,00  "},
        CasoTeclado{"LaXNoHaceNada", {Qt::Key_5, Qt::Key_X}, "5,00  "},
        CasoTeclado{"LaComaNoHaceNada", {Qt::Key_5, Qt::Key_Comma, Qt::Key_5}, "55,00  "},
        CasoTeclado{"LaSCambiaElSigno", {Qt::Key_5, Qt::Key_S}, "-5,00  "},
        CasoTeclado{
            "LaECambiaAEuros", {Qt::Key_1, Qt::Key_0, Qt::Key_0, Qt::Key_0, Qt::Key_E}, "6,01 E"},
        CasoTeclado{
            "PorcentajeYDivision",
            {Qt::Key_2, Qt::Key_0, Qt::Key_0, Qt::Key_Minus, Qt::Key_1, Qt::Key_0, Qt::Key_Percent},
            "180,00 ="}));

TEST_F(VentanaCalculadora, LasMinusculasVanASusTeclas) {
    MiCalc::MiCalc& c = Abrir();
    for (char ch : std::string("1210n21="))
        c.Form_KeyPress(ch);
    EXPECT_EQ(Pantalla(), "1.000,00 =");
    for (char ch : std::string("1210i21\r"))
        c.Form_KeyPress(ch);
    EXPECT_EQ(Pantalla(), "210,00 =");
    for (char ch : std::string("6p"))
        c.Form_KeyPress(ch);
    EXPECT_EQ(Pantalla(), "998,32 P");
    // Otras minúsculas no son teclas.
    for (char ch : std::string("7abdx"))
        c.Form_KeyPress(ch);
    EXPECT_EQ(Pantalla(), "7,00  ");
}

TEST_F(VentanaCalculadora, EscCierraLaVentana) {
    Abrir();
    QTest::keyClick(calculadora->panel(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(calculadora.isNull());
}

TEST_F(VentanaCalculadora, SalirCierraLaVentana) {
    Abrir();
    calculadora->salir()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(calculadora.isNull());
}

TEST_F(VentanaCalculadora, ElResultadoQuedaEnElPortapapelesYElPapel) {
    MiCalc::MiCalc& c = Abrir();
    for (char ch : std::string("12+3+5="))
        c.Form_KeyPress(ch);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "20,00");
    EXPECT_EQ(c.papel()->toPlainText(), "12,00 +\n3,00 +\n5,00 =\n20,00 =");
    EXPECT_EQ(c.pantalla()->toolTip(), " 20 =");
    c.Form_KeyPress('c');
    EXPECT_EQ(c.papel()->toPlainText(), "");
}

// Lo que ve la accesibilidad (el anuncio de cada cambio lo prueba tests/asistencia, por AT-SPI):
// la calculadora es una ventana y su pantalla se lee como texto, el valor que se ve.
TEST_F(VentanaCalculadora, LaAsistenciaVeUnaVentanaYLeeElValorDeLaPantalla) {
    MiCalc::MiCalc& c = Abrir();
    QAccessibleInterface* ventana = QAccessible::queryAccessibleInterface(&c);
    EXPECT_EQ(ventana->role(), QAccessible::Window);
    EXPECT_EQ(ventana->text(QAccessible::Name), "Calculadora");
    QAccessibleInterface* pantalla = QAccessible::queryAccessibleInterface(c.pantalla());
    EXPECT_EQ(pantalla->role(), QAccessible::StaticText);
    EXPECT_EQ(pantalla->text(QAccessible::Name), "Pantalla");
    QAccessibleTextInterface* texto = pantalla->textInterface();
    ASSERT_NE(texto, nullptr);
    EXPECT_EQ(texto->text(0, texto->characterCount()), "0,00");
    for (char ch : std::string("7+3="))
        c.Form_KeyPress(ch);
    EXPECT_EQ(texto->text(0, texto->characterCount()), "10,00 =");
    EXPECT_EQ(pantalla->text(QAccessible::Value), "10,00 =");
}

TEST_F(VentanaCalculadora, ElRolloSeGuardaComoSeVeConElTeclado) {
    MiCalc::MiCalc& c = Abrir();
    QTemporaryDir dir;
    QString propuesta;
    QStringList avisos;
    c.PedirRutaRollo = [&](const QString& p) {
        propuesta = p;
        return dir.filePath("rollo.txt");
    };
    c.Avisar = [&](const QString& t) {
        avisos << t;
    };
    EXPECT_FALSE(c.guardarRollo()->isEnabled()); // papel en blanco: no hay rollo
    for (char ch : std::string("12+3+5="))
        c.Form_KeyPress(ch);
    EXPECT_TRUE(c.guardarRollo()->isEnabled());
    c.activateWindow();
    QApplication::setActiveWindow(&c);
    QTest::keyClick(c.panel(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(propuesta.endsWith("/rollo.txt"));
    QFile f(dir.filePath("rollo.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("12,00 +\n 3,00 +\n 5,00 =\n20,00 =\n"));
    EXPECT_EQ(c.motor().Entrada(), ""); // la tecla no llegó a la calculadora
    EXPECT_TRUE(avisos.isEmpty());

    // Ctrl+P y, en el menú del papel (tecla de menú), la I subrayada y la G llevan a imprimir
    // y a guardar.
    int impresiones = 0, guardados = 0;
    c.PrepararImpresora = [&](QPrinter&) {
        ++impresiones;
        return false;
    };
    c.PedirRutaRollo = [&](const QString&) {
        ++guardados;
        return QString();
    };
    QTest::keyClick(c.panel(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(impresiones, 1);
    for (Qt::Key letra : {Qt::Key_I, Qt::Key_G}) {
        QTimer::singleShot(0, [letra] {
            QWidget* menu = QApplication::activePopupWidget();
            ASSERT_NE(menu, nullptr);
            QTest::keyClick(menu, letra);
        });
        QTest::keyClick(c.panel(), Qt::Key_Menu);
    }
    EXPECT_EQ(impresiones, 2);
    EXPECT_EQ(guardados, 1);

    // Un fallo al grabar se avisa; no se da por guardado.
    c.PedirRutaRollo = [&](const QString&) {
        return dir.filePath("no-existe/rollo.txt");
    };
    c.GuardarRollo_Click();
    ASSERT_EQ(avisos.size(), 1);
    EXPECT_EQ(avisos[0], "No se pudo guardar el rollo en " + dir.filePath("no-existe/rollo.txt") +
                             " (la carpeta no existe).");
}

// Lo que el gestor de ventanas deja hacer con la ventana (lo publica en la propia ventana).
QString AccionesPermitidas(QWidget& ventana) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(ventana.winId()), "_NET_WM_ALLOWED_ACTIONS"});
    return xprop.waitForFinished(10000) ? QString::fromLatin1(xprop.readAllStandardOutput())
                                        : QString();
}

TEST_F(VentanaCalculadora, NoSePuedeMaximizarEnPantalla) {
    for (const Arranque& a : {Arranque{"+1.5", "Zodivazod"}, Arranque{QString(), "Aplicacion"}}) {
        rutinas::FactorX = rutinas::FactorY = 1.25f;
        MiCalc::MiCalc& c = Abrir(a);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&c));
        c.verPapel()->click();
        QTest::qWait(200);
        const QString acciones = AccionesPermitidas(c);
        EXPECT_TRUE(acciones.contains("_NET_WM_ACTION_CLOSE")) << acciones.toStdString();
        EXPECT_FALSE(acciones.contains("MAXIMIZE")) << acciones.toStdString();
        // El botón de maximizar que dibuja el gestor (el segundo por la derecha) no hace nada.
        const QSize antes = c.size();
        const QRect marco = c.frameGeometry();
        QProcess::execute("xdotool", {"mousemove", QString::number(marco.right() - 26),
                                      QString::number(marco.top() + 8), "click", "1"});
        QTest::qWait(300);
        EXPECT_EQ(c.size(), antes);
        EXPECT_FALSE(c.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
        delete calculadora;
    }
}

// Texto de un PDF (pdftotext), o vacío si no se puede sacar.
QString TextoPdf(const QString& ruta) {
    QProcess p;
    p.start("pdftotext", {"-layout", ruta, "-"});
    return p.waitForFinished(30000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// Las líneas con algo escrito del PDF.
QStringList LineasPdf(const QString& ruta) {
    QStringList lineas;
    for (const QString& l : TextoPdf(ruta).split(u'\n'))
        if (!l.trimmed().isEmpty())
            lineas << l.trimmed();
    return lineas;
}

TEST_F(VentanaCalculadora, ElRolloSeImprimeEnUnaColaDeCups) {
    MiCalc::MiCalc& c = Abrir();
    for (char ch : std::string("1234.5+66="))
        c.Form_KeyPress(ch);
    // La cola deja el trabajo en la carpeta de la prueba, y nada fuera de ella.
    QTemporaryDir salida;
    ASSERT_TRUE(salida.isValid());
    const QString pdf = salida.filePath("rollo.pdf");
    const QStringList esperadas{"1.234,50 +", "66,00 =", "1.300,50 ="};
    ServidorCups servidor;
    QString error = servidor.Arrancar();
    if (error.isEmpty())
        error = servidor.CrearColaFichero("ZOQ-PDF", pdf);
    QStringList lineas;
    if (error.isEmpty()) {
        EXPECT_TRUE(QPrinterInfo::availablePrinterNames().contains("ZOQ-PDF"));
        c.PrepararImpresora = [](QPrinter& impresora) {
            impresora.setPrinterName("ZOQ-PDF");
            return impresora.outputFormat() == QPrinter::NativeFormat;
        };
        c.ImprimirRollo_Click();
        // El trabajo llega al fichero cuando el servidor lo atiende.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (lineas = LineasPdf(pdf)).size() >= esperadas.size(); }, 30000));
    } else {
        std::printf("[  OMITIDO ] sin servidor de impresión (%s): el rollo se imprime a PDF "
                    "con QPrinter\n",
                    qPrintable(error));
        c.PrepararImpresora = [&](QPrinter& impresora) {
            impresora.setOutputFormat(QPrinter::PdfFormat);
            impresora.setOutputFileName(pdf);
            return true;
        };
        c.ImprimirRollo_Click();
        lineas = LineasPdf(pdf);
    }
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "no llegó el trabajo a " << pdf.toStdString();
    // Un PDF (la cola de CUPS lo envuelve en las órdenes de trabajo de la impresora).
    EXPECT_TRUE(f.read(1024).contains("%PDF-"));
    // Una página con las tres líneas del rollo.
    EXPECT_EQ(lineas, esperadas);
}

// Lo que dice el cuadro de la suite que se abre mientras dura `accion` (que se ve entero lo
// prueba el cuadro): el «usuario» lo lee y lo cierra con Intro.
QString AvisoDeLaSuite(const std::function<void()>& accion) {
    QString leido;
    QTimer usuario;
    QObject::connect(&usuario, &QTimer::timeout, [&] {
        auto* cuadro = qobject_cast<MyBox::Ventana*>(QApplication::activeWindow());
        if (!cuadro || !leido.isEmpty())
            return;
        leido = cuadro->Mensaje->text();
        en_pantalla::TeclearEnX(QStringLiteral("Return"));
    });
    usuario.start(20);
    accion();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !leido.isEmpty(); }, 3000));
    // Sin blancos ni saltos de línea: los que se añaden para que quepa no cuentan.
    return leido.remove(QRegularExpression(QStringLiteral("\\s")));
}

TEST_F(VentanaCalculadora, EnPantalla_LosFallosDelRolloSeDicenEnteros) {
    // Con las teclas de verdad: cada fallo al guardar o imprimir el rollo se dice entero, y
    // que el fichero anterior queda como estaba solo cuando lo había.
    QTemporaryDir dir;
    ServidorCups servidor;
    QString error = servidor.Arrancar();
    if (error.isEmpty())
        error = servidor.CrearColaFichero("ZOQ-CERRADA", dir.filePath("cerrada.pdf"));
    if (error.isEmpty())
        error = servidor.RechazarTrabajos("ZOQ-CERRADA");
    MiCalc::MiCalc& c = Abrir();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&c));
    QTest::keyClicks(c.panel(), "12+3=");
    const QString carpetaLarga =
        dir.filePath("una-carpeta-con-un-nombre-muy-largo-que-no-existe-en-el-disco/otra-mas");
    struct Caso {
        const char* tecla;
        QString destino; // ruta del fichero o nombre de la cola
        bool pdf;        // imprimir a un fichero PDF
        QString dice;
    };
    const std::vector<Caso> casos = {
        {"ctrl+g", carpetaLarga + "/rollo.txt", false,
         "No se pudo guardar el rollo en " + carpetaLarga + "/rollo.txt (la carpeta no existe)."},
        {"ctrl+g", "/proc/version", false,
         // Un fichero que está, en un sitio donde no se puede grabar.
         "No se pudo guardar el rollo en /proc/version (la carpeta no existe).El fichero "
         "anterior queda como estaba."},
        {"ctrl+p", "/dev/full", true,
         "No se pudo imprimir el rollo en /dev/full (no es un fichero normal (es un "
         "dispositivo, una tubería u otra cosa))."},
        {"ctrl+p", "ZOQ-CERRADA", false,
         "No se pudo imprimir el rollo en ZOQ-CERRADA (no admite trabajos)."},
    };
    for (const Caso& caso : casos) {
        if (!caso.pdf && caso.tecla == std::string("ctrl+p") && !error.isEmpty()) {
            std::printf("OMITIDA: sin servidor de impresión (%s)\n", qPrintable(error));
            continue;
        }
        c.PedirRutaRollo = [&](const QString&) {
            return caso.destino;
        };
        c.PrepararImpresora = [&](QPrinter& impresora) {
            if (caso.pdf) {
                impresora.setOutputFormat(QPrinter::PdfFormat);
                impresora.setOutputFileName(caso.destino);
            } else {
                impresora.setPrinterName(caso.destino);
            }
            return true;
        };
        const QString dice =
            AvisoDeLaSuite([&] { ASSERT_TRUE(en_pantalla::TeclearEnX(caso.tecla)); });
        EXPECT_EQ(dice, QString(caso.dice).remove(QRegularExpression("\\s"))) << caso.tecla;
    }
}

TEST_F(VentanaCalculadora, EnPantalla_LosNumerosLargosSeVenEnteros) {
    // En la pantalla y en el papel, un número largo se ve entero (con una letra menor si hace
    // falta) y el operador sigue en su línea; el papel nunca se desplaza a lo ancho. Uno corto
    // conserva la letra.
    for (const char* teclas :
         {"999999999999999*99999=", "99999999*99999999*99999999*99999999=", "12+3="}) {
        MiCalc::MiCalc& c = Abrir();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&c));
        const QFont letraPantalla = c.pantalla()->font(), letraPapel = c.papel()->font();
        c.verPapel()->click();
        QTest::keyClicks(c.panel(), QString::fromLatin1(teclas));
        QTest::qWait(50);
        const QLabel& pantalla = *c.pantalla();
        EXPECT_EQ(pantalla.text(), c.motor().Representar(c.motor().OrigenPantalla()));
        EXPECT_LE(pantalla.fontMetrics().horizontalAdvance(pantalla.text()),
                  pantalla.contentsRect().width())
            << teclas << ": " << pantalla.text().toStdString();
        QPlainTextEdit& papel = *c.papel();
        EXPECT_EQ(papel.toPlainText().split(u'\n'), c.motor().Rollo()) << teclas;
        for (QTextBlock b = papel.document()->begin(); b.isValid(); b = b.next()) {
            EXPECT_EQ(b.layout()->lineCount(), 1) << teclas << ": " << b.text().toStdString();
            EXPECT_LE(papel.fontMetrics().horizontalAdvance(b.text()), papel.viewport()->width())
                << teclas << ": " << b.text().toStdString();
        }
        EXPECT_EQ(papel.horizontalScrollBar()->maximum(), 0) << teclas;
        if (std::string(teclas) == "12+3=") {
            EXPECT_EQ(pantalla.font(), letraPantalla);
            EXPECT_EQ(papel.font(), letraPapel);
        }
        delete calculadora;
    }
}

struct CasoPegar {
    const char* portapapeles;
    const char* entrada;
};

void PrintTo(const CasoPegar& c, std::ostream* os) {
    *os << c.portapapeles;
}

class Pegar : public VentanaCalculadora, public ::testing::WithParamInterface<CasoPegar> {};

TEST_P(Pegar, TecleaElTextoDelPortapapeles) {
    MiCalc::MiCalc& c = Abrir();
    QGuiApplication::clipboard()->setText(QString::fromUtf8(GetParam().portapapeles));
    c.pegar()->click();
    EXPECT_EQ(c.motor().Entrada(), GetParam().entrada);
}

INSTANTIATE_TEST_SUITE_P(Textos, Pegar,
                         ::testing::Values(CasoPegar{"1.234,56", "1234.56"},
                                           CasoPegar{"12.5", "12.5"}, CasoPegar{"", ""},
                                           CasoPegar{" 7 kg", "7"},
                                           // Un salto de línea pegado no hace de "=".
                                           CasoPegar{"42\r\n", "42"},
                                           // "-" es la tecla de restar, no el signo.
                                           CasoPegar{"-3,5", "3.5"}));

TEST_F(VentanaCalculadora, PegarConOperadoresLosPulsa) {
    MiCalc::MiCalc& c = Abrir();
    QGuiApplication::clipboard()->setText("12+3=");
    c.pegar()->click();
    EXPECT_EQ(Pantalla(), "15,00 =");
}

TEST_F(VentanaCalculadora, LaPantallaMuestraElPapelOPega) {
    MiCalc::MiCalc& c = Abrir();
    QTest::mouseClick(c.pantalla(), Qt::LeftButton);
    EXPECT_TRUE(c.papel()->isVisible());
    QGuiApplication::clipboard()->setText("8");
    QTest::mouseClick(c.pantalla(), Qt::RightButton);
    EXPECT_EQ(c.motor().Entrada(), "8");
    EXPECT_TRUE(c.papel()->isVisible());
}

TEST_F(VentanaCalculadora, VerPapelDosVecesDevuelveElAncho) {
    MiCalc::MiCalc& c = Abrir();
    const int antes = c.width();
    const int margen = 8; // 120 twips a 15 twips por píxel
    EXPECT_EQ(antes, c.panel()->width() + margen);
    c.verPapel()->click();
    EXPECT_TRUE(c.papel()->isVisible());
    EXPECT_EQ(c.width(), margen + c.panel()->width() + c.papel()->width() + margen);
    EXPECT_LE(c.papel()->geometry().right(), c.width());
    c.verPapel()->click();
    EXPECT_TRUE(c.papel()->isHidden());
    EXPECT_EQ(c.width(), antes);
    EXPECT_TRUE(c.panel()->hasFocus() || !c.isActiveWindow());
}

TEST_F(VentanaCalculadora, LosDecimalesDanLaVuelta) {
    MiCalc::MiCalc& c = Abrir();
    for (char ch : std::string("12+3="))
        c.Form_KeyPress(ch);
    QStringList rotulos, pantallas;
    for (int i = 0; i < 4; ++i) {
        c.botonDecimales()->click();
        rotulos << c.botonDecimales()->text();
        pantallas << Pantalla();
    }
    EXPECT_EQ(rotulos, QStringList({"3d", "4d", "5d", "2d"}));
    EXPECT_EQ(pantallas, QStringList({"15,000 =", "15,0000 =", "15,00000 =", "15,00 ="}));
    EXPECT_EQ(c.papel()->toPlainText(), "12,00 +\n3,00 =\n15,00 =");
}

TEST_F(VentanaCalculadora, FijarEncimaYSoltarConF8) {
    MiCalc::MiCalc& c = Abrir();
    c.fijarUp()->click();
    EXPECT_TRUE(c.Fijada());
    EXPECT_TRUE(c.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(c.fijarUp()->toolTip(), "Siempre visible SI");
    EXPECT_TRUE(c.isVisible());
    c.fijarUp()->click();
    EXPECT_FALSE(c.Fijada());
    EXPECT_FALSE(c.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(c.fijarUp()->toolTip(), "Siempre visible NO");

    c.fijarUp()->click();
    // F8 abre además el directorio de contactos y espera a que se cierre: se cierra en cuanto
    // se muestra.
    bool contactos = false;
    QTimer::singleShot(0, [&contactos] {
        contactos = Telefonos::Cargada() && Telefonos::Instancia().isVisible();
        if (Telefonos::Cargada())
            Telefonos::Instancia().close();
    });
    QTest::keyRelease(c.panel(), Qt::Key_F8);
    EXPECT_TRUE(contactos);
    EXPECT_FALSE(c.Fijada());
    EXPECT_FALSE(c.fijarUp()->isChecked());
    EXPECT_FALSE(c.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

struct CasoArranque {
    const char* nombre;
    const char* lineaOrdenes;
    const char* ejecutable;
    float factorAplicacion; // factores que ya tenía la aplicación (0: sin calcular)
    double escala;          // tamaño esperado respecto al de diseño
    bool conFijar;
};

void PrintTo(const CasoArranque& c, std::ostream* os) {
    *os << c.nombre;
}

class ArranqueCalculadora : public VentanaCalculadora,
                            public ::testing::WithParamInterface<CasoArranque> {};

TEST_P(ArranqueCalculadora, DecideTamanoYFijar) {
    const CasoArranque& caso = GetParam();
    rutinas::FactorX = rutinas::FactorY = caso.factorAplicacion;
    MiCalc::MiCalc c(Arranque{caso.lineaOrdenes, caso.ejecutable});
    // Diseño: 3480 × 4020 twips, 232 × 268 píxeles.
    EXPECT_NEAR(c.width(), 232 * caso.escala, 1.5);
    EXPECT_NEAR(c.height(), 268 * caso.escala, 1.5);
    EXPECT_EQ(!c.fijarUp()->isHidden(), caso.conFijar);
    // Centrada en el área de trabajo (1280 × 1000 píxeles).
    EXPECT_NEAR(c.x() + c.width() / 2.0, 640, 1.5);
    EXPECT_NEAR(c.y() + c.height() / 2.0, 500, 1.5);
}

INSTANTIATE_TEST_SUITE_P(
    Casos, ArranqueCalculadora,
    ::testing::Values(CasoArranque{"ResidenteSinArgumentos", "", "Zodivazod", 0, 1.0, true},
                      CasoArranque{"ResidenteConFactor", "+1.5", "Zodivazod", 0, 1.5, true},
                      CasoArranque{"FactorCero", "+0", "Zodivazod", 0, 1.0, true},
                      CasoArranque{"MasSolo", "+", "Zodivazod", 0, 1.0, true},
                      CasoArranque{"FactorDesdeOtroPrograma", "+2", "Vandrel", 0, 2.0, true},
                      CasoArranque{"EnUnaAplicacionSinFactores", "", "Vandrel", 0, 1.0, false},
                      CasoArranque{"EnUnaAplicacionEscalada", "", "Vandrel", 1.25f, 1.25, false}));

TEST_F(VentanaCalculadora, F4AbreLaCalculadoraYEsperaHastaQueSeCierre) {
    bool abierta = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* c = qobject_cast<MiCalc::MiCalc*>(w); c != nullptr && c->isVisible()) {
                abierta = true;
                c->close();
            }
        }
    });
    basicos::TeclasGlobales(basicos::TeclaF4, 0, "frmTablas");
    EXPECT_TRUE(abierta);
}

TEST_F(VentanaCalculadora, F4EnLaCalculadoraNoHaceNada) {
    MiCalc::MiCalc& c = Abrir();
    bool otra = false;
    QTimer::singleShot(0, [&] { otra = true; });
    QTest::keyRelease(c.panel(), Qt::Key_F4);
    // Volvió sin esperar: ni abrió otra ventana ni corrió sucesos.
    EXPECT_FALSE(otra);
    int calculadoras = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        calculadoras += qobject_cast<MiCalc::MiCalc*>(w) != nullptr;
    EXPECT_EQ(calculadoras, 1);
    QCoreApplication::processEvents();
}

TEST_F(VentanaCalculadora, OtrasTeclasGlobalesNoHacenNada) {
    bool otra = false;
    QTimer::singleShot(0, [&] { otra = true; });
    basicos::TeclasGlobales(basicos::CodigoTecla(Qt::Key_F5), 0, "frmTablas");
    basicos::TeclasGlobales(0, 0, "frmTablas");
    EXPECT_FALSE(otra);
    QCoreApplication::processEvents();
    EXPECT_EQ(basicos::CodigoTecla(Qt::Key_F4), 115);
    EXPECT_EQ(basicos::CodigoTecla(Qt::Key_F8), 119);
    EXPECT_EQ(basicos::CodigoTecla(Qt::Key_A), 0);
}

TEST_F(VentanaCalculadora, UnaCalculadoraQueSeCierraNoEsLaAbierta) {
    MiCalc::MiCalc& c = Abrir();
    EXPECT_EQ(MiCalc::MiCalc::Instancia(), &c);
    c.close();
    // Todavía no se ha destruido, pero F4 ya no puede volver a ella.
    ASSERT_FALSE(calculadora.isNull());
    MiCalc::MiCalc* nueva = MiCalc::MiCalc::Instancia();
    EXPECT_NE(nueva, &c);
    delete nueva;
}

TEST_F(VentanaCalculadora, CerrarlaMientrasEsperaALosContactosNoLaDestruyeBajoSusPies) {
    MiCalc::MiCalc& c = Abrir();
    bool viva = false, oculta = false;
    QTimer::singleShot(0, [&] {
        calculadora->salir()->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        viva = !calculadora.isNull();
        oculta = viva && calculadora->isHidden();
        Telefonos::Instancia().close();
    });
    QTest::keyRelease(c.panel(), Qt::Key_F8);
    EXPECT_TRUE(viva);
    EXPECT_TRUE(oculta);
    // Al volver de la espera termina de cerrarse.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(calculadora.isNull());
}

} // namespace
