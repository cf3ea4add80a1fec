// El muestrario en una pantalla real, manejado con el teclado.
#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "Muestrario.h"
#include "en_pantalla.h"
#include "frmTablas/frmTablas.h"
#include "qt_gtest.h"
#include "rutinas/nucleo/descriptor.h"

#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <algorithm>
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

TEST(MuestrarioEnPantalla, ElEditorDeTablasPideUnSoloClicPorBoton) {
    Muestrario ventana;
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    const auto entradas = EntradasMuestrario();
    const auto editor = std::find_if(entradas.begin(), entradas.end(), [](const auto& e) {
        return e.texto == QStringLiteral("Editor de tablas (fichero de ejemplo)");
    });
    ASSERT_NE(editor, entradas.end());
    QStringList avisos, filas;
    const rutinas::Avisador antes =
        rutinas::PonerAvisadorFaltaDato([&avisos](const QString& t) { avisos << t; });
    QTimer::singleShot(0, [&filas] {
        frmTablas::Ventana& v = frmTablas::Instancia();
        if (QTest::qWaitForWindowActive(&v)) {
            QTest::mouseClick(v.Elemento, Qt::LeftButton);
            for (QChar c : QStringLiteral("Zamora"))
                QTest::keyClick(v.Elemento, c.toLatin1());
            QTest::mouseClick(v.cmdAceptar, Qt::LeftButton); // sale del campo y acepta: un clic
            for (int f = 1; f < v.VisorTabla->Rows(); ++f)
                filas << MiVisor::LeerCelda(*v.VisorTabla, f, 0);
        }
        v.VisorTabla->setTag(QString());
        v.cmdSalir_Click();
    });
    editor->abrir(&ventana);
    rutinas::PonerAvisadorFaltaDato(antes);
    EXPECT_TRUE(avisos.isEmpty()) << qPrintable(avisos.join(u' '));
    ASSERT_FALSE(filas.isEmpty());
    EXPECT_EQ(filas.last(), QStringLiteral("Zamora"));
}
