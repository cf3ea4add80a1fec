// Al arrancar, Vandrel muestra un único aviso y, tras «Aceptar», no deja ninguna ventana.
#include "Vandrel.h"

#include "basicos/aplicacion.h"
#include "qt_gtest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

TEST(Vandrel, AvisaUnaVezYSeDescarga) {
    basicos::PrepararAplicacion(*qobject_cast<QApplication*>(QCoreApplication::instance()));

    QString titulo, texto, boton;
    QMessageBox::Icon icono = QMessageBox::NoIcon;
    int cuadros = 0, botones = 0;
    bool ventanaVisible = true;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* caja = qobject_cast<QMessageBox*>(w); caja && caja->isVisible()) {
                ++cuadros;
                titulo = caja->windowTitle();
                texto = caja->text();
                icono = caja->icon();
                botones = caja->buttons().size();
                if (auto* b = caja->button(QMessageBox::Ok))
                    boton = b->text();
            } else if (w->objectName() == "Vandrel") {
                ventanaVisible = w->isVisible();
            }
        }
        if (auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            caja->button(QMessageBox::Ok)->click();
    });

    auto* ventana = new Vandrel;
    QPointer<Vandrel> vigia(ventana);
    EXPECT_EQ(ventana->windowTitle(), "RuntimeZOQ");
    ventana->Form_Load();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(cuadros, 1);
    EXPECT_EQ(titulo, "Aviso de Runtime ZOQ");
    EXPECT_EQ(texto, "Programa no ejecutable. Instalador de Runtime.");
    EXPECT_EQ(icono, QMessageBox::Critical);
    EXPECT_EQ(botones, 1);
    EXPECT_EQ(boton, "Aceptar");
    EXPECT_FALSE(ventanaVisible) << "la ventana de arranque no se muestra";
    EXPECT_TRUE(vigia.isNull()) << "la ventana se descarga tras el aviso";
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();
}
