#include "rutinas/generales.h"

#include "Impresora/ImpresoraActual.h"
#include "basicos/nucleo/generales.h"

#include <QComboBox>
#include <QPointer>
#include <QPrinter>
#include <QWidget>

namespace rutinas {

Impresoras::~Impresoras() = default;

namespace {

// La impresora actual es la que guarda el módulo de la ventana de impresora.
class ImpresorasBiblioteca : public Impresoras {
public:
    QStringList Nombres() const override { return Impresora::NombresImpresoras(); }
    QString Actual() const override { return Impresora::ImpresoraActual().printerName(); }
};

std::unique_ptr<Impresoras>& Fuente() {
    static std::unique_ptr<Impresoras> fuente = std::make_unique<ImpresorasBiblioteca>();
    return fuente;
}

} // namespace

void LlenarLista(const QString& Lista, QComboBox* Combo) {
    if (!Combo)
        return;
    Combo->clear();
    if (Lista.startsWith(u'@')) {
        QStringList lineas;
        bool leido = false;
        basicos::LeerLineas(Lista.mid(1), lineas, 0, leido);
        if (leido)
            Combo->addItems(lineas.mid(1));
        return;
    }
    Combo->addItems(PartirLista(Lista));
}

void PonerImpresoras(std::unique_ptr<Impresoras> impresoras) {
    Fuente() = impresoras ? std::move(impresoras) : std::make_unique<ImpresorasBiblioteca>();
}

short IndiceImpresora() {
    return IndiceEnImpresoras(Fuente()->Nombres(), Fuente()->Actual());
}

void PonerFoco(QWidget* Objeto) {
    const QPointer<QWidget> control(Objeto);
    if (!control || !control->isVisible() || !control->isEnabled() ||
        control->focusPolicy() == Qt::NoFocus)
        return;
    control->setFocus(Qt::OtherFocusReason);
}

} // namespace rutinas
