// Ejemplo de migración: el formulario de cobros como programa.
#include "Cobros.h"
#include "basicos/aplicacion.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    basicos::PrepararAplicacion(aplicacion);
    Ejemplo::FormCobros formulario;
    formulario.show();
    return aplicacion.exec();
}
