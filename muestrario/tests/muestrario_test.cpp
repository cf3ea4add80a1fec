// El muestrario en una pantalla real, manejado con el teclado.
#include "Muestrario.h"
#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

TEST(MuestrarioEnPantalla, CadaMenuSeAbreConSuPropiaTeclaAlt) {
    Muestrario ventana;
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    QSet<QString> teclas;
    for (QAction* accion : ventana.menuBar()->actions()) {
        const QString tecla = QKeySequence::mnemonic(accion->text()).toString();
        ASSERT_FALSE(tecla.isEmpty()) << qPrintable(accion->text());
        EXPECT_FALSE(teclas.contains(tecla))
            << qPrintable(accion->text()) << " repite " << qPrintable(tecla);
        teclas.insert(tecla);

        QTest::keyClick(&ventana, QKeySequence(tecla)[0].key(), Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget(); }, 2000));
        EXPECT_EQ(QApplication::activePopupWidget(), accion->menu()) << qPrintable(accion->text());
        if (QWidget* abierto = QApplication::activePopupWidget())
            abierto->close();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }, 2000));

        // Dentro del menú, tampoco se repiten.
        QSet<QString> dentro;
        for (QAction* entrada : accion->menu()->actions()) {
            const QString t = QKeySequence::mnemonic(entrada->text()).toString();
            EXPECT_TRUE(t.isEmpty() || !dentro.contains(t)) << qPrintable(entrada->text());
            dentro.insert(t);
        }
    }
}
