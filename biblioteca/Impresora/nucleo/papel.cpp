#include "Impresora/nucleo/papel.h"

namespace Impresora {

QString TagInicial(int orientacion) {
    switch (orientacion) {
    case 1:
        return QStringLiteral("Horizontal");
    case 2:
        return QStringLiteral("Vertical");
    default:
        return {};
    }
}

EstadoPapel AlternarPapel(const EstadoPapel& antes) {
    EstadoPapel despues = antes;
    if (antes.tag == QLatin1String("Vertical")) {
        despues.dibujo = DibujoPapel::Horizontal;
        despues.tag = QStringLiteral("Horizontal");
    } else if (antes.tag == QLatin1String("Horizontal")) {
        despues.dibujo = DibujoPapel::Vertical;
        despues.tag = QStringLiteral("Vertical");
    } else {
        return despues;
    }
    despues.ayuda = QStringLiteral("Papel ") + despues.tag;
    return despues;
}

} // namespace Impresora
