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
