#include "basicos/aplicacion.h"

#include "basicos/nucleo/traduccion.h"

#include <QApplication>

namespace basicos {

void PrepararAplicacion(QApplication& aplicacion) {
    CargarTraduccionQt(aplicacion);
}

} // namespace basicos
