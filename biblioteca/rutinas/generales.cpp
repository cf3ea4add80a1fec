#include "rutinas/generales.h"

#include "basicos/nucleo/generales.h"

#include <QComboBox>
#include <QPointer>
#include <QPrinterInfo>
#include <QWidget>
#include <optional>

namespace rutinas {

Impresoras::~Impresoras() = default;

namespace {

class ImpresorasSistema : public Impresoras {
public:
    QStringList Nombres() const override { return QPrinterInfo::availablePrinterNames(); }
    QString Predeterminada() const override { return QPrinterInfo::defaultPrinterName(); }
};

struct EstadoImpresoras {
    std::unique_ptr<Impresoras> fuente = std::make_unique<ImpresorasSistema>();
    std::optional<QString> actual;
};

EstadoImpresoras& Estado() {
    static EstadoImpresoras estado;
    return estado;
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

QString ImpresoraActual() {
    EstadoImpresoras& e = Estado();
    if (!e.actual)
        e.actual = e.fuente->Predeterminada();
    return *e.actual;
}

void PonerImpresoraActual(const QString& nombre) {
    Estado().actual = nombre;
}

void PonerImpresoras(std::unique_ptr<Impresoras> impresoras) {
    EstadoImpresoras& e = Estado();
    e.fuente = impresoras ? std::move(impresoras) : std::make_unique<ImpresorasSistema>();
    e.actual.reset();
}

short IndiceImpresora() {
    return IndiceEnImpresoras(Estado().fuente->Nombres(), ImpresoraActual());
}

void PonerFoco(QWidget* Objeto) {
    const QPointer<QWidget> control(Objeto);
    if (!control || !control->isVisible() || !control->isEnabled() ||
        control->focusPolicy() == Qt::NoFocus)
        return;
    control->setFocus(Qt::OtherFocusReason);
}

} // namespace rutinas
