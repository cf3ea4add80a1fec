// Espera a una ventana y colocación en pantalla, con ventanas reales (plataforma offscreen;
// los casos «EnPantalla», en una pantalla X real).
#include "basicos/esperar.h"
#include "qt_gtest.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

using namespace basicos;

TEST(MostrarYEsperar, VuelveAlCerrarseYElProgramaSigueVivo) {
    auto* ventana = new QWidget;
    ventana->setAttribute(Qt::WA_DeleteOnClose);
    int latidos = 0;
    QTimer latido;
    QObject::connect(&latido, &QTimer::timeout, [&] {
        if (++latidos == 3)
            ventana->close();
    });
    latido.start(1);
    MostrarYEsperar(ventana, false);
    EXPECT_EQ(latidos, 3); // otros sucesos se atendieron durante la espera
}

TEST(MostrarYEsperar, OcultarSoloTerminaConSoloVisible) {
    QWidget ventana;
    QTimer::singleShot(1, [&] { ventana.hide(); });
    MostrarYEsperar(&ventana, true);
    EXPECT_FALSE(ventana.isVisible());

    // Sin SoloVisible, ocultarla no basta: hay que cerrarla.
    int pasos = 0;
    QTimer::singleShot(1, [&] {
        ventana.hide();
        ++pasos;
        QTimer::singleShot(5, [&] {
            ++pasos;
            ventana.show();
            QTimer::singleShot(1, [&] { ventana.close(); });
        });
    });
    MostrarYEsperar(&ventana, false);
    EXPECT_EQ(pasos, 2);
}

TEST(MostrarYEsperar, DestruidaDuranteLaEspera) {
    auto* ventana = new QWidget;
    QTimer::singleShot(1, [ventana] { delete ventana; });
    MostrarYEsperar(ventana, false);
    SUCCEED();
}

// En una pantalla real, con la ventana activa: ocultarla y después cerrarla (sin que se
// destruya al cerrar) la descarga, y la espera termina.
TEST(MostrarYEsperarEnPantalla, OcultaYDespuesCerrada) {
    auto* ventana = new QWidget;
    QPointer<QWidget> viva(ventana);
    bool colgada = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(ventana));
        ventana->hide();
        QTimer::singleShot(20, [&] { ventana->close(); });
    });
    // La espera no ha de quedarse colgada aunque falle: destruirla la acaba.
    QTimer::singleShot(5000, [&] {
        colgada = true;
        delete viva;
    });
    MostrarYEsperar(ventana, false);
    EXPECT_FALSE(colgada);
    delete viva;
}
