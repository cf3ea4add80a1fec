// Vandrel: muestra su aviso y termina. No tiene opciones propias de línea de órdenes.
#include "Vandrel.h"

#include "basicos/aplicacion.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    basicos::PrepararAplicacion(aplicacion);

    // La ventana se descarga (y se destruye) al final de su suceso de carga.
    (new Vandrel)->Form_Load();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
