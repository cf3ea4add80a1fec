#include "Rueda/Rueda.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextEdit>
#include <QWheelEvent>

namespace Rueda {

namespace {

// El control con lista que corresponde al que tiene el foco, o nullptr si el foco está en un
// control de otra clase (un botón, una casilla...).
QWidget* ControlConLista(QWidget* foco) {
    if (!foco)
        return nullptr;
    // El texto de un cuadro combinado editable es parte del cuadro combinado.
    if (qobject_cast<QLineEdit*>(foco) && qobject_cast<QComboBox*>(foco->parentWidget()))
        return foco->parentWidget();
    if (qobject_cast<QLineEdit*>(foco) || qobject_cast<QComboBox*>(foco) ||
        qobject_cast<QAbstractItemView*>(foco) || qobject_cast<QTextEdit*>(foco) ||
        qobject_cast<QPlainTextEdit*>(foco))
        return foco;
    return nullptr;
}

// Una línea arriba o abajo en la barra vertical del control.
void DesplazarLinea(QWidget* control, bool abajo) {
    QScrollBar* barra = nullptr;
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // Solo su lista, y solo si está abierta.
        if (combo->view() && combo->view()->isVisible())
            barra = combo->view()->verticalScrollBar();
    } else if (auto* area = qobject_cast<QAbstractScrollArea*>(control)) {
        barra = area->verticalScrollBar();
    }
    // Un cuadro de texto de una línea no tiene desplazamiento vertical.
    if (barra)
        barra->triggerAction(abajo ? QAbstractSlider::SliderSingleStepAdd
                                   : QAbstractSlider::SliderSingleStepSub);
}

// ¿Está el control dentro de la ventana? Sigue también a las ventanas emergentes, como la
// lista abierta de un cuadro combinado, cuyo padre es el cuadro.
bool Dentro(QWidget* control, QWidget* ventana) {
    for (QWidget* w = control; w; w = w->parentWidget())
        if (w == ventana)
            return true;
    return false;
}

class FiltroRueda : public QObject {
public:
    using QObject::QObject;

    QPointer<QWidget> ventana;

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (evento->type() != QEvent::Wheel || reenviando_ || !ventana)
            return false;
        auto* destino = qobject_cast<QWidget*>(objeto);
        auto* rueda = static_cast<QWheelEvent*>(evento);
        const int delta = rueda->angleDelta().y();
        if (!destino || delta == 0 || !Dentro(destino, ventana))
            return false;

        // Una línea al control con el foco de la ventana, sea cual sea el tamaño del paso.
        QWidget* foco = ventana->focusWidget();
        if (QWidget* control = ControlConLista(foco))
            DesplazarLinea(control, delta < 0);

        // La ventana recibe el evento después; el control bajo el puntero, no.
        if (destino == ventana.data())
            return false;
        const QPointF local = ventana->mapFromGlobal(rueda->globalPosition());
        QWheelEvent copia(local, rueda->globalPosition(), rueda->pixelDelta(), rueda->angleDelta(),
                          rueda->buttons(), rueda->modifiers(), rueda->phase(), rueda->inverted(),
                          rueda->source());
        reenviando_ = true;
        QCoreApplication::sendEvent(ventana.data(), &copia);
        reenviando_ = false;
        evento->accept();
        return true;
    }

private:
    bool reenviando_ = false;
};

FiltroRueda* Filtro() {
    static QPointer<FiltroRueda> filtro;
    if (!filtro)
        filtro = new FiltroRueda(QCoreApplication::instance());
    return filtro;
}

// Sigue la activación de una ventana.
class Seguidor : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        auto* ventana = qobject_cast<QWidget*>(objeto);
        if (ventana && evento->type() == QEvent::WindowActivate)
            Enganchar(ventana);
        else if (ventana &&
                 (evento->type() == QEvent::WindowDeactivate || evento->type() == QEvent::Hide))
            Desenganchar(ventana);
        return false;
    }
};

} // namespace

void Enganchar(QWidget* ventana) {
    if (!ventana || !QCoreApplication::instance())
        return;
    FiltroRueda* f = Filtro();
    f->ventana = ventana;
    QCoreApplication::instance()->installEventFilter(f);
}

void Desenganchar(QWidget* ventana) {
    if (!QCoreApplication::instance())
        return;
    FiltroRueda* f = Filtro();
    if (f->ventana && f->ventana != ventana)
        return;
    f->ventana = nullptr;
    QCoreApplication::instance()->removeEventFilter(f);
}

QWidget* VentanaEnganchada() {
    if (!QCoreApplication::instance())
        return nullptr;
    return Filtro()->ventana;
}

void SeguirActivacion(QWidget* ventana) {
    if (!ventana)
        return;
    ventana->installEventFilter(new Seguidor(ventana));
    QObject::connect(ventana, &QObject::destroyed, [ventana] { Desenganchar(ventana); });
    if (ventana->isActiveWindow())
        Enganchar(ventana);
}

} // namespace Rueda
