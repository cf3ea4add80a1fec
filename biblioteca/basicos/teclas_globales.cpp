#include "basicos/teclas_globales.h"

#include "MiCalc/MiCalc.h"
#include "Telefonos/Telefonos.h"
#include "basicos/esperar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

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

namespace {

// Marca de las ventanas enganchadas.
constexpr char kConTeclasGlobales[] = "zoq_teclas_globales";

// Las teclas soltadas llegan al control con el foco, que puede quedárselas (un campo de texto lo
// hace): un filtro de la aplicación las ve antes que nadie y atiende las de las ventanas
// enganchadas.
class FiltroTeclasGlobales : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (evento->type() != QEvent::KeyRelease || !objeto->isWidgetType())
            return false;
        const auto* tecla = static_cast<QKeyEvent*>(evento);
        const short codigo = CodigoTecla(tecla->key());
        if (tecla->isAutoRepeat() || (codigo != TeclaF4 && codigo != TeclaF8))
            return false;
        QWidget* ventana = static_cast<QWidget*>(objeto)->window();
        if (!ventana->property(kConTeclasGlobales).toBool())
            return false;
        TeclasGlobales(codigo, static_cast<short>(tecla->modifiers() >> 25), ventana->objectName());
        return true;
    }
};

} // namespace

void ConectarTeclasGlobales(QWidget* Formulario) {
    if (!Formulario)
        return;
    static QPointer<FiltroTeclasGlobales> filtro;
    if (!filtro) {
        filtro = new FiltroTeclasGlobales(qApp);
        qApp->installEventFilter(filtro);
    }
    Formulario->setProperty(kConTeclasGlobales, true);
}

} // namespace basicos
