// El ejemplo de la guía, manejado como lo haría un usuario.
#include "Cobros.h"
#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "en_pantalla.h"
#include "qt_gtest.h"
#include "rutinas/controles.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <utility>

namespace {

// Teclea en el control que tenga el foco en cada momento, como el usuario: un campo que se
// llena, Intro o "+" pasan solos al siguiente. "\n" es Intro y " " la barra espaciadora.
void Teclear(const QString& teclas) {
    for (QChar c : teclas) {
        QTest::qWait(10); // que el foco pase antes de la tecla siguiente
        QWidget* foco = QApplication::focusWidget();
        ASSERT_NE(foco, nullptr);
        if (c == u'\n')
            QTest::keyClick(foco, Qt::Key_Return);
        else if (c == u' ')
            QTest::keyClick(foco, Qt::Key_Space);
        else
            QTest::keyClicks(foco, QString(c));
    }
    QTest::qWait(10);
}

} // namespace

TEST(EjemploCobrosEnPantalla, CamposRejillaRangoYTeclasGlobales) {
    Ejemplo::FormCobros f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.txtImporte->hasFocus(); }));

    // Tres cobros tecleados, de campo en campo solo con el teclado: "+" pone 100,00 y pasa a la
    // fecha, Intro pasa al siguiente, un campo lleno pasa solo y "?" pone la letra del NIF; la
    // barra espaciadora pulsa «Añadir», que vuelve al importe. La rejilla queda por fecha.
    for (const char* cobro :
         {"+15/03/202612345678? ", "250,5\n02/01/202600000001? ", "1000\n28/02/202587654321? "})
        Teclear(QString::fromUtf8(cobro));
    ASSERT_EQ(f.grdCobros->Rows(), 4);
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 1, 0), QStringLiteral("28/02/2025"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 3, 0), QStringLiteral("15/03/2026"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 3, 1), QStringLiteral("12345678Z"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 3, 2), QStringLiteral("100,00"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 2, 2), QStringLiteral("250,50"));
    EXPECT_TRUE(f.txtImporte->hasFocus());
    // El importe se ve a la derecha, como lo dice su control.
    EXPECT_TRUE(f.txtImporte->alignment() & Qt::AlignRight);

    // «Listar...» con su tecla Alt; en el cuadro de rango se escriben las dos fechas (cada una
    // llena su campo y pasa a la siguiente, la segunda a «Aceptar») e Intro acepta.
    bool tecleado = false;
    QTimer usuario;
    QObject::connect(&usuario, &QTimer::timeout, [&] {
        QWidget* cuadro = QApplication::activeWindow();
        if (tecleado || !cuadro || cuadro->objectName() != u"MyBox")
            return;
        tecleado = true;
        Teclear(QStringLiteral("01/01/202631/12/2026\n"));
        if (cuadro->isVisible()) // no se aceptó: que la prueba falle sin quedarse esperando
            cuadro->close();
    });
    usuario.start(20);
    ASSERT_TRUE(en_pantalla::TeclearEnX("alt+l"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.lblTotal->text().isEmpty(); }));
    EXPECT_EQ(f.lblTotal->text(), QStringLiteral("Total del periodo: 350,50"));
    usuario.stop();

    // F4 abre la calculadora y F8 los contactos (de una copia del fichero de ejemplo) sobre el
    // formulario; cada llamada espera a que su ventana se cierre.
    QTemporaryDir carpeta;
    ASSERT_TRUE(QFile::copy(QStringLiteral(EJEMPLO_CONTACTOS),
                            carpeta.path() + QStringLiteral("/TELEFONO.DAT")));
    const QByteArray tlf = qgetenv("TLF");
    qputenv("TLF", carpeta.path().toLocal8Bit());
    // La tecla se pulsa de verdad en el campo o el control que tiene el foco, que es adonde
    // llega, y no en el formulario.
    struct Tecla {
        QWidget* control;
        const char* tecla;
        const char16_t* ventana;
    };
    for (const auto& [control, tecla, ventana] :
         {Tecla{f.txtImporte, "F4", u"MiCalc"}, Tecla{f.txtFecha, "F8", u"Telefonos"},
          Tecla{f.grdCobros, "F4", u"MiCalc"}, Tecla{f.cmdAnadir, "F8", u"Telefonos"}}) {
        control->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([c = control] { return c->hasFocus(); }))
            << control->objectName().toStdString() << " activa: "
            << (QApplication::activeWindow()
                    ? QApplication::activeWindow()->objectName().toStdString()
                    : "ninguna");
        // El «usuario» cierra la ventana en cuanto la ve (la llamada de la tecla espera a eso).
        bool abierta = false;
        QTimer usuario;
        QObject::connect(&usuario, &QTimer::timeout,
                         [&abierta, nombre = QString::fromUtf16(ventana)] {
                             for (QWidget* w : QApplication::topLevelWidgets())
                                 if (w->objectName() == nombre && w->isVisible()) {
                                     abierta = true;
                                     w->close();
                                 }
                         });
        usuario.start(20);
        ASSERT_TRUE(en_pantalla::TeclearEnX(QString::fromLatin1(tecla)));
        EXPECT_TRUE(QTest::qWaitFor([&abierta] { return abierta; }, 5000))
            << tecla << " en " << control->objectName().toStdString();
    }
    qputenv("TLF", tlf);
}

TEST(EjemploCobrosEnPantalla, LoPegadoYLasFechasQueNoExistenSeDicenAntesDeLlegarALaRejilla) {
    Ejemplo::FormCobros f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    en_pantalla::LeerAvisos usuario;
    QClipboard* portapapeles = QGuiApplication::clipboard();
    auto pegar = [&](QLineEdit* campo, const QString& texto) {
        campo->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([campo] { return campo->hasFocus(); }));
        campo->selectAll();
        portapapeles->setText(texto);
        EXPECT_TRUE(en_pantalla::TeclearEnX("ctrl+v"));
    };

    // Un importe pegado que no es un número del campo no entra: se dice y el campo sigue vacío.
    pegar(f.txtImporte, "12 345,67 €");
    ASSERT_TRUE(usuario.Esperar(1));
    EXPECT_EQ(f.txtImporte->text(), "");
    pegar(f.txtImporte, "1.234,56");
    EXPECT_EQ(f.txtImporte->text(), "1234.56");
    // Una fecha que no existe se borra y se dice; el foco vuelve a ella.
    f.txtFecha->setFocus();
    QTest::keyClicks(f.txtFecha, "31/02/2024"); // diez caracteres: el campo pasa al siguiente
    ASSERT_TRUE(usuario.Esperar(2));
    EXPECT_TRUE(usuario.textos[1].contains("31/02/2024"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.txtFecha->hasFocus(); }));
    QTest::keyClicks(f.txtFecha, "28/02/2024");
    // El NIF pegado con puntos y guion no cabe; sin ellos, entra en mayúsculas.
    pegar(f.txtNif, "12.345.678-z");
    ASSERT_TRUE(usuario.Esperar(3));
    EXPECT_EQ(f.txtNif->text(), "");
    pegar(f.txtNif, "12345678z");
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.cmdAnadir->hasFocus(); })); // lleno: pasa
    ASSERT_TRUE(en_pantalla::TeclearEnX("space"));
    ASSERT_EQ(f.grdCobros->Rows(), 2);
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 1, 0), "28/02/2024");
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 1, 1), "12345678Z");
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 1, 2), "1.234,56");
    EXPECT_EQ(usuario.textos.size(), 3);

    // «Falta un dato» con el foco en el NIF (Alt+A no lo mueve): al cerrar el aviso, el foco
    // va al importe y solo ese campo queda pintado como en edición.
    QTimer cerrarCuadro;
    QObject::connect(&cerrarCuadro, &QTimer::timeout, [] {
        QWidget* activa = QApplication::activeWindow();
        if (activa && activa->objectName() == u"MyBox" && activa->isVisible())
            en_pantalla::TeclearEnX("Return");
    });
    cerrarCuadro.start(50);
    f.txtNif->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.txtNif->hasFocus(); }));
    QTest::keyClicks(f.txtNif, "1");
    ASSERT_TRUE(en_pantalla::TeclearEnX("alt+a"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.txtImporte->hasFocus(); }));
    QTest::qWait(100);
    EXPECT_EQ(rutinas::BackColor(f.txtImporte), rutinas::kColorEdicion);
    EXPECT_EQ(rutinas::BackColor(f.txtNif), rutinas::kColorFondoSistema);
    EXPECT_EQ(rutinas::BackColor(f.txtFecha), rutinas::kColorFondoSistema);
    EXPECT_EQ(f.txtNif->text(), "1");
}
