// Muestrario de las ventanas de la biblioteca. Sin argumentos.
#include "Muestrario.h"

#include "basicos/aplicacion.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(ZOQ_VERSION));
    basicos::PrepararAplicacion(aplicacion);
    Muestrario ventana;
    ventana.show();
    return aplicacion.exec();
}
