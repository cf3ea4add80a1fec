#include "basicos/esperar.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

namespace basicos {

namespace {

// Termina el bucle cuando la ventana queda descargada: un cierre aceptado (la ventana queda
// oculta, lo estuviera ya o no) o su destrucción; con SoloVisible, también al ocultarse.
// Si el cierre se acepta no se sabe hasta que la ventana lo ha atendido: se mira después.
class Vigia : public QObject {
public:
    Vigia(QEventLoop& bucle, QWidget* ventana, bool soloVisible)
        : bucle_(bucle), ventana_(ventana), soloVisible_(soloVisible) {}

    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Close) {
            QMetaObject::invokeMethod(
                &bucle_,
                [this] {
                    if (!ventana_ || ventana_->isHidden())
                        bucle_.quit();
                },
                Qt::QueuedConnection);
        } else if (e->type() == QEvent::Hide && soloVisible_) {
            bucle_.quit();
        }
        return false;
    }

private:
    QEventLoop& bucle_;
    QPointer<QWidget> ventana_;
    bool soloVisible_;
};

} // namespace

void MostrarYEsperar(QWidget* Formulario, bool SoloVisible) {
    if (!Formulario)
        return;
    QPointer<QWidget> ventana(Formulario);
    QEventLoop bucle;
    Vigia vigia(bucle, Formulario, SoloVisible);
    QObject::connect(Formulario, &QObject::destroyed, &bucle, &QEventLoop::quit);
    Formulario->installEventFilter(&vigia);
    Formulario->show();
    if (ventana && ventana->isVisible())
        bucle.exec();
    if (ventana)
        ventana->removeEventFilter(&vigia);
}

} // namespace basicos
