#include "basicos/esperar.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

namespace basicos {

namespace {

// Termina el bucle de espera cuando la ventana se cierra (o se oculta, si se pide).
class Vigia : public QObject {
public:
    Vigia(QEventLoop& bucle, bool soloVisible) : bucle_(bucle), soloVisible_(soloVisible) {}

    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Close)
            cerrando_ = true;
        else if (e->type() == QEvent::Show)
            cerrando_ = false;
        else if (e->type() == QEvent::Hide && (soloVisible_ || cerrando_))
            bucle_.quit();
        return false;
    }

private:
    QEventLoop& bucle_;
    bool soloVisible_;
    bool cerrando_ = false;
};

} // namespace

void MostrarYEsperar(QWidget* Formulario, bool SoloVisible) {
    if (!Formulario)
        return;
    QPointer<QWidget> ventana(Formulario);
    QEventLoop bucle;
    Vigia vigia(bucle, SoloVisible);
    QObject::connect(Formulario, &QObject::destroyed, &bucle, &QEventLoop::quit);
    Formulario->installEventFilter(&vigia);
    Formulario->show();
    if (ventana && ventana->isVisible())
        bucle.exec();
    if (ventana)
        ventana->removeEventFilter(&vigia);
}

} // namespace basicos
