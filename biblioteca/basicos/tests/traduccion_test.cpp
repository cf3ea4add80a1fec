#include "basicos/aplicacion.h"
#include "qt_gtest.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(Traduccion, LosBotonesEstandarDeQtHablanEspanol) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    basicos::PrepararAplicacion(*app);

    QMessageBox caja(QMessageBox::Question, "t", "m",
                     QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(caja.button(QMessageBox::Ok)->text(), "Aceptar");
    EXPECT_EQ(caja.button(QMessageBox::Cancel)->text(), "Cancelar");
    EXPECT_EQ(caja.button(QMessageBox::Yes)->text(), "&Sí");
    EXPECT_EQ(caja.button(QMessageBox::No)->text(), "&No");
}
