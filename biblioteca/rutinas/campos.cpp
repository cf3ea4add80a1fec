#include "rutinas/campos.h"

#include "rutinas/avisos.h"
#include "rutinas/controles.h"
#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/formato.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace rutinas {

bool EnFormato = false;
QPointer<QWidget> UltimoCampo;
bool SinUltimoCampo = false;

namespace {

QLineEdit* EdicionDe(const QWidget* control) {
    if (auto* linea = qobject_cast<QLineEdit*>(const_cast<QWidget*>(control)))
        return linea;
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return combo->lineEdit();
    return nullptr;
}

// Pone EnFormato a true mientras vive, y lo devuelve a false pase lo que pase.
struct Formateando {
    Formateando() { EnFormato = true; }
    ~Formateando() { EnFormato = false; }
};

} // namespace

bool LeerTexto(const QWidget* control, QString& texto) {
    if (auto* linea = qobject_cast<const QLineEdit*>(control)) {
        texto = linea->text();
        return true;
    }
    if (auto* combo = qobject_cast<const QComboBox*>(control)) {
        texto = combo->currentText();
        return true;
    }
    return false;
}

bool PonerTexto(QWidget* control, const QString& texto) {
    if (auto* linea = qobject_cast<QLineEdit*>(control)) {
        linea->setText(texto);
        return true;
    }
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable()) {
            combo->setEditText(texto);
        } else {
            const int i = combo->findText(texto, Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (i >= 0)
                combo->setCurrentIndex(i);
        }
        return true;
    }
    return false;
}

int SelStart(const QWidget* control) {
    if (QLineEdit* linea = EdicionDe(control))
        return linea->hasSelectedText() ? linea->selectionStart() : linea->cursorPosition();
    return 0;
}

int SelLength(const QWidget* control) {
    if (QLineEdit* linea = EdicionDe(control))
        return linea->hasSelectedText() ? linea->selectionLength() : 0;
    return 0;
}

void SeleccionarTodo(QWidget* Control) {
    if (QLineEdit* linea = EdicionDe(Control))
        linea->setSelection(0, static_cast<int>(linea->text().size()));
}

void PulsarTab() {
    QTimer::singleShot(0, qApp, [] {
        QWidget* foco = QApplication::focusWidget();
        if (!foco)
            return;
        QKeyEvent pulsar(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        QCoreApplication::sendEvent(foco, &pulsar);
        if (QWidget* ahora = QApplication::focusWidget()) {
            QKeyEvent soltar(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
            QCoreApplication::sendEvent(ahora, &soltar);
        }
    });
}

void SeleccionarEnLista(QComboBox* Combo, const QString& Valor) {
    if (!Combo)
        return;
    QStringList entradas;
    entradas.reserve(Combo->count());
    for (int i = 0; i < Combo->count(); ++i)
        entradas.append(Combo->itemText(i));
    const int i = IndiceEnLista(entradas, Valor);
    if (i >= 0)
        Combo->setCurrentIndex(i);
}

void ValorOmision(QWidget* Control) {
    const QString valor = LeerDatoTag(Tag(Control), QStringLiteral("+"));
    if (auto* linea = qobject_cast<QLineEdit*>(Control)) {
        linea->setText(valor);
    } else if (auto* casilla = qobject_cast<QCheckBox*>(Control)) {
        const int v = EnteroCorto(ValorNumerico(valor));
        casilla->setCheckState(v == 1   ? Qt::Checked
                               : v == 2 ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
    } else if (auto* combo = qobject_cast<QComboBox*>(Control)) {
        if (combo->isEditable())
            combo->setEditText(valor);
        else
            SeleccionarEnLista(combo, valor);
    }
    PulsarTab();
}

void TeclaCampo(QWidget* Control, int& KeyAscii) {
    EstadoCampo estado;
    estado.tag = Tag(Control);
    LeerTexto(Control, estado.texto);
    estado.selStart = SelStart(Control);
    estado.selLength = SelLength(Control);
    const DecisionTecla d = DecidirTecla(estado, KeyAscii);
    KeyAscii = d.tecla;
    switch (d.accion) {
    case AccionTecla::Ninguna:
        break;
    case AccionTecla::EnviarTab:
    case AccionTecla::PulsarTab:
        PulsarTab();
        break;
    case AccionTecla::ValorOmision:
        ValorOmision(Control);
        break;
    }
}

void EntrarCampo(QWidget* Control) {
    if (!Control)
        return;
    PonerTag(Control,
             PonerDatoTag(Tag(Control), QStringLiteral("P"), QString::number(BackColor(Control))));
    PonerBackColor(Control, kColorEdicion);
    QString texto;
    if (!LeerTexto(Control, texto)) {
        AvisoSimple(QStringLiteral("El objeto no acepta esta propiedad o método") +
                    QCoreApplication::applicationName());
        return;
    }
    {
        Formateando f;
        PonerTexto(Control, FormatoEdicion(texto, Tag(Control)).trimmed());
    }
    SeleccionarTodo(Control);
}

void SalirCampo(QWidget* Control) {
    if (!Control)
        return;
    const QString color = LeerDatoTag(Tag(Control), QStringLiteral("P"));
    if (!color.isEmpty())
        PonerBackColor(Control, static_cast<int>(static_cast<long long>(ValorNumerico(color))));
    QString texto;
    if (LeerTexto(Control, texto)) {
        const QString visible = FormatoVisual(texto, Tag(Control));
        Formateando f;
        PonerTexto(Control, visible);
    }
    if (!SinUltimoCampo)
        UltimoCampo = Control;
}

namespace {

// Engancha un control al motor: teclas a TeclaCampo y foco a EntrarCampo y SalirCampo.
class FiltroCampo : public QObject {
public:
    explicit FiltroCampo(QObject* padre) : QObject(padre) {
        setObjectName(QStringLiteral("FiltroCampo"));
    }

    bool eventFilter(QObject* objeto, QEvent* evento) override {
        auto* control = qobject_cast<QWidget*>(objeto);
        if (!control || reenviando_)
            return false;
        switch (evento->type()) {
        case QEvent::KeyPress:
            return Tecla(control, static_cast<QKeyEvent*>(evento));
        case QEvent::InputMethod:
            return Compuesta(control, static_cast<QInputMethodEvent*>(evento));
        case QEvent::FocusIn:
            if (TieneTexto(control) && CuentaElFoco(static_cast<QFocusEvent*>(evento)))
                EntrarCampo(control);
            return false;
        case QEvent::FocusOut:
            if (TieneTexto(control) && CuentaElFoco(static_cast<QFocusEvent*>(evento)))
                SalirCampo(control);
            return false;
        default:
            return false;
        }
    }

private:
    // Una casilla no tiene texto que formatear: de ella solo se atienden las teclas.
    static bool TieneTexto(const QWidget* control) {
        QString texto;
        return LeerTexto(control, texto);
    }

    // Un menú emergente o el paso a otra ventana no son entrar ni salir del campo: el
    // usuario vuelve a él a seguir editando.
    static bool CuentaElFoco(const QFocusEvent* e) {
        return e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason;
    }

    // Un carácter compuesto con tecla muerta ("´" y "a" dan "á") llega por el método de
    // entrada y no como pulsación: se atiende igual que si se hubiera tecleado.
    bool Compuesta(QWidget* control, QInputMethodEvent* e) {
        if (!e->preeditString().isEmpty() || e->commitString().size() != 1 ||
            e->replacementLength() != 0 || !EdicionDe(control))
            return false;
        const QChar c = e->commitString().at(0);
        if (!c.isPrint())
            return false;
        return Atender(control, c.unicode(), Qt::NoModifier);
    }

    bool Tecla(QWidget* control, QKeyEvent* e) {
        // Los atajos (Ctrl+C, Alt+letra...) y las teclas sin carácter (flechas, Supr, Tab,
        // Esc) siguen su camino de siempre.
        if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        int codigo = 0;
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
            codigo = 13;
        else if (e->text().size() == 1 && e->text().at(0).isPrint())
            codigo = e->text().at(0).unicode();
        if (codigo == 0)
            return false;
        // Una casilla o un combinado de lista fija solo atienden Intro y "+".
        if (!EdicionDe(control) && codigo != 13 && codigo != u'+')
            return false;
        return Atender(control, codigo, e->modifiers());
    }

    // Pasa la tecla por TeclaCampo; true si el control no debe recibir la original.
    bool Atender(QWidget* control, int codigo, Qt::KeyboardModifiers modificadores) {
        const int pulsada = codigo;
        TeclaCampo(control, codigo);
        if (codigo == pulsada)
            return false;
        if (codigo != 0) {
            // Tecla cambiada: entra su sustituta.
            const QString texto(QChar(static_cast<char16_t>(codigo)));
            QKeyEvent sustituta(QEvent::KeyPress,
                                QChar(static_cast<char16_t>(codigo)).toUpper().unicode(),
                                modificadores, texto);
            reenviando_ = true;
            QCoreApplication::sendEvent(control, &sustituta);
            reenviando_ = false;
        }
        return true;
    }

    bool reenviando_ = false;
};

} // namespace

void ConectarCampo(QWidget* Control) {
    if (!Control ||
        Control->findChild<QObject*>(QStringLiteral("FiltroCampo"), Qt::FindDirectChildrenOnly))
        return;
    Control->installEventFilter(new FiltroCampo(Control));
}

void ConectarCampos(QWidget* Formulario) {
    for (QWidget* c : ControlesDe(Formulario)) {
        if (Tag(c).contains(QLatin1String("T(")))
            ConectarCampo(c);
    }
}

} // namespace rutinas
