#include "basicos/teclas_globales.h"

#include "MiCalc/MiCalc.h"
#include "Telefonos/Telefonos.h"
#include "basicos/esperar.h"

#include <Qt>

namespace basicos {

short CodigoTecla(int teclaQt) {
    if (teclaQt >= Qt::Key_F1 && teclaQt <= Qt::Key_F12)
        return short(112 + (teclaQt - Qt::Key_F1));
    return 0;
}

void TeclasGlobales(short KeyCode, short Shift, const QString& NombreFormulario) {
    Q_UNUSED(Shift);
    if (KeyCode == TeclaF4 && NombreFormulario != QLatin1String("MiCalc")) {
        MostrarYEsperar(MiCalc::MiCalc::Instancia(), false);
    } else if (KeyCode == TeclaF8) {
        MostrarYEsperar(&Telefonos::Instancia(), false);
    }
}

} // namespace basicos
