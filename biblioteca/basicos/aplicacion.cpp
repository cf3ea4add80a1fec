#include "basicos/aplicacion.h"

#include "basicos/nucleo/traduccion.h"
#include "basicos/pantalla.h"
#include "rutinas/avisos.h"

#include <QApplication>

namespace basicos {

void PrepararAplicacion(QApplication& aplicacion) {
    CargarTraduccionQt(aplicacion);
    RegistrarFuentes();
    rutinas::InstalarAvisos();
}

} // namespace basicos
