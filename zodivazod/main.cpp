// Zodivazod: la calculadora de la suite como programa por sí mismo. Con "+" y un factor como
// argumento ("Zodivazod +1.5") la ventana se agranda por ese factor.
#include "MiCalc/MiCalc.h"
#include "basicos/aplicacion.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    basicos::PrepararAplicacion(aplicacion);

    // La calculadora decide su tamaño y si puede fijarse encima por la línea de órdenes y el
    // nombre de este programa; el programa acaba cuando ella se cierra.
    MiCalc::MiCalc* calculadora = MiCalc::MiCalc::Instancia();
    QObject::connect(calculadora, &QObject::destroyed, &aplicacion, &QCoreApplication::quit);
    calculadora->show();
    return aplicacion.exec();
}
