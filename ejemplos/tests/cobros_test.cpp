// El ejemplo de la guía, manejado como lo haría un usuario.
#include "Cobros.h"
#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QApplication>
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
