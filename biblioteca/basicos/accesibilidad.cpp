#include "basicos/accesibilidad.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <algorithm>

namespace basicos {

namespace {

// Ventana de primer nivel hecha sobre un QWidget: ventana, o diálogo mientras es modal. Si deja
// de ser ventana (se mete en otra), es un panel más, como cualquier QWidget.
class VentanaAccesible : public QAccessibleWidget {
public:
    explicit VentanaAccesible(QWidget* ventana) : QAccessibleWidget(ventana) {}

    QAccessible::Role role() const override {
        if (!widget()->isWindow())
            return QAccessible::Client;
        return widget()->isModal() ? QAccessible::Dialog : QAccessible::Window;
    }
};

// La etiqueta de un valor: su texto es el valor que se ve, de solo lectura y sin selección.
class EtiquetaDeValorAccesible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit EtiquetaDeValorAccesible(EtiquetaDeValor* etiqueta)
        : QAccessibleWidget(etiqueta, QAccessible::StaticText) {}

    QString text(QAccessible::Text tipo) const override {
        if (tipo == QAccessible::Value ||
            (tipo == QAccessible::Name && widget()->accessibleName().isEmpty()))
            return Valor();
        return QAccessibleWidget::text(tipo);
    }

    void* interface_cast(QAccessible::InterfaceType tipo) override {
        if (tipo == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(tipo);
    }

    QString text(int inicio, int fin) const override {
        const QString valor = Valor();
        if (fin < 0 || fin > valor.size())
            fin = static_cast<int>(valor.size());
        inicio = std::clamp(inicio, 0, fin);
        return valor.mid(inicio, fin - inicio);
    }
    int characterCount() const override { return static_cast<int>(Valor().size()); }
    QString attributes(int, int* inicio, int* fin) const override {
        *inicio = 0;
        *fin = characterCount();
        return {};
    }
    void selection(int, int* inicio, int* fin) const override { *inicio = *fin = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}

private:
    QString Valor() const { return static_cast<const EtiquetaDeValor*>(widget())->ValorLeido(); }
};

// Qt pregunta a las fábricas clase por clase, de la del objeto a QObject; la suya propia, que
// conoce sus controles y los QWidget sin más, va antes que esta (se instala al crear la
// aplicación, después de cargarse la biblioteca). Aquí solo llegan, pues, las clases que Qt no
// conoce: las de la biblioteca y las de las aplicaciones, y solo se atienden en la clase del
// propio objeto.
QAccessibleInterface* Fabrica(const QString& clase, QObject* objeto) {
    if (objeto == nullptr || !objeto->isWidgetType() ||
        clase != QLatin1String(objeto->metaObject()->className()))
        return nullptr;
    if (auto* etiqueta = qobject_cast<EtiquetaDeValor*>(objeto))
        return new EtiquetaDeValorAccesible(etiqueta);
    auto* widget = static_cast<QWidget*>(objeto);
    if (objeto->metaObject()->superClass() == &QWidget::staticMetaObject && widget->isWindow())
        return new VentanaAccesible(widget);
    return nullptr;
}

// Al cargarse la biblioteca, antes de que exista la aplicación.
[[maybe_unused]] const bool kInstalada = (QAccessible::installFactory(Fabrica), true);

} // namespace

QString EtiquetaDeValor::ValorLeido() const {
    return text().trimmed();
}

void EtiquetaDeValor::PonerValor(const QString& valor) {
    const QString antes = ValorLeido();
    setText(valor);
    const QString ahora = ValorLeido();
    if (ahora == antes)
        return;
    QAccessibleTextUpdateEvent cambio(this, 0, antes, ahora);
    QAccessible::updateAccessibility(&cambio);
}

} // namespace basicos
