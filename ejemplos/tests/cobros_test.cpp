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

void Escribir(QLineEdit* campo, const QString& texto) {
    campo->setFocus();
    QTest::keyClicks(campo, texto);
}

} // namespace

TEST(EjemploCobrosEnPantalla, CamposRejillaRangoYTeclasGlobales) {
    Ejemplo::FormCobros f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));

    // Tres cobros tecleados: "+" pone 100,00, "?" la letra del NIF; la rejilla queda por fecha.
    const char* const cobros[][3] = {{"+", "15/03/2026", "12345678?"},
                                     {"250,5", "02/01/2026", "00000001?"},
                                     {"1000", "28/02/2025", "87654321?"}};
    for (const auto& c : cobros) {
        Escribir(f.txtImporte, QString::fromUtf8(c[0]));
        Escribir(f.txtFecha, QString::fromUtf8(c[1]));
        Escribir(f.txtNif, QString::fromUtf8(c[2]));
        f.cmdAnadir->setFocus(); // sale del último campo, que se formatea
        f.cmdAnadir->click();
    }
    ASSERT_EQ(f.grdCobros->Rows(), 4);
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 1, 0), QStringLiteral("28/02/2025"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 3, 0), QStringLiteral("15/03/2026"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 3, 1), QStringLiteral("12345678Z"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 3, 2), QStringLiteral("100,00"));
    EXPECT_EQ(MiVisor::LeerCelda(*f.grdCobros, 2, 2), QStringLiteral("250,50"));

    // El cuadro de rango: se acepta el periodo propuesto cambiando el principio.
    QTimer::singleShot(0, [] {
        if (!QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 3000))
            return;
        QWidget* cuadro = QApplication::activeModalWidget();
        if (cuadro == nullptr)
            return;
        auto* desde = cuadro->findChild<QLineEdit*>(QStringLiteral("CampoTexto"));
        auto* hasta = cuadro->findChild<QLineEdit*>(QStringLiteral("CampoHasta"));
        desde->selectAll();
        QTest::keyClicks(desde, QStringLiteral("01/01/2026"));
        hasta->setFocus();
        hasta->selectAll();
        QTest::keyClicks(hasta, QStringLiteral("31/12/2026"));
        for (auto* boton : cuadro->findChildren<QPushButton*>())
            if (boton->isVisible() && boton->text().remove(u'&') == u"Aceptar")
                QTest::mouseClick(boton, Qt::LeftButton);
        if (cuadro->isVisible()) // no se aceptó: que la prueba falle sin quedarse esperando
            cuadro->close();
    });
    f.cmdListar_Click();
    EXPECT_EQ(f.lblTotal->text(), QStringLiteral("Total del periodo: 350,50"));

    // F4 abre la calculadora y F8 los contactos (de una copia del fichero de ejemplo) sobre el
    // formulario; cada llamada espera a que su ventana se cierre.
    QTemporaryDir carpeta;
    ASSERT_TRUE(QFile::copy(QStringLiteral(EJEMPLO_CONTACTOS),
                            carpeta.path() + QStringLiteral("/TELEFONO.DAT")));
    const QByteArray tlf = qgetenv("TLF");
    qputenv("TLF", carpeta.path().toLocal8Bit());
    for (const auto& [tecla, ventana] :
         {std::pair(Qt::Key_F4, u"MiCalc"), std::pair(Qt::Key_F8, u"Telefonos")}) {
        bool abierta = false;
        QTimer::singleShot(0, [&abierta, nombre = QString::fromUtf16(ventana)] {
            QWidget* encontrada = nullptr;
            abierta = QTest::qWaitFor(
                [&] {
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (w->objectName() == nombre && w->isVisible())
                            encontrada = w;
                    return encontrada != nullptr;
                },
                3000);
            if (encontrada != nullptr)
                encontrada->close();
        });
        QTest::keyRelease(&f, tecla);
        EXPECT_TRUE(abierta) << qPrintable(QString::fromUtf16(ventana));
    }
    qputenv("TLF", tlf);
}
