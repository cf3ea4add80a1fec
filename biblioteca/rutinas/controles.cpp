#include "rutinas/controles.h"

#include <QFrame>
#include <QGroupBox>
#include <QPalette>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVariant>
#include <QWidget>

namespace rutinas {

QString Tag(const QWidget* control) {
    return control ? control->property(kPropiedadTag).toString() : QString();
}

void PonerTag(QWidget* control, const QString& tag) {
    if (control)
        control->setProperty(kPropiedadTag, tag);
}

namespace {

// Bits de la máscara de resolución de una paleta que corresponden al papel Base.
QPalette::ResolveMask MascaraBase() {
    static const QPalette::ResolveMask mascara = [] {
        QPalette p;
        p.setResolveMask(0);
        p.setBrush(QPalette::Base, Qt::red);
        return p.resolveMask();
    }();
    return mascara;
}

} // namespace

int BackColor(const QWidget* control) {
    if (!control)
        return kColorFondoSistema;
    const QPalette& p = control->palette();
    if ((p.resolveMask() & MascaraBase()) == 0)
        return kColorFondoSistema;
    const QColor c = p.color(QPalette::Active, QPalette::Base);
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

void PonerBackColor(QWidget* control, int color) {
    if (!control)
        return;
    QPalette p = control->palette();
    if (color < 0) {
        p.setResolveMask(p.resolveMask() & ~MascaraBase());
    } else {
        const QColor c(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
        p.setColor(QPalette::Base, c);
    }
    control->setPalette(p);
}

namespace {

bool EsContenedor(const QWidget* w) {
    const char* clase = w->metaObject()->className();
    return qstrcmp(clase, "QWidget") == 0 || qstrcmp(clase, "QFrame") == 0 ||
           qobject_cast<const QGroupBox*>(w) || qobject_cast<const QStackedWidget*>(w) ||
           qobject_cast<const QTabWidget*>(w);
}

void Recorrer(QWidget* padre, QList<QWidget*>& lista) {
    for (QObject* hijo : padre->children()) {
        auto* w = qobject_cast<QWidget*>(hijo);
        if (!w || w->isWindow())
            continue;
        if (!w->objectName().startsWith(QLatin1String("qt_")))
            lista.append(w);
        if (EsContenedor(w))
            Recorrer(w, lista);
    }
}

} // namespace

QList<QWidget*> ControlesDe(QWidget* formulario) {
    QList<QWidget*> lista;
    if (formulario)
        Recorrer(formulario, lista);
    return lista;
}

} // namespace rutinas
