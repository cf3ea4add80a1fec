#include "rutinas/campos.h"

#include "rutinas/avisos.h"
#include "rutinas/controles.h"
#include "rutinas/nucleo/descriptor.h"
#include "rutinas/nucleo/formato.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopedValueRollback>
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

// La entrada "Pegar" del menú de un campo (con su nombre de objeto, "edit-paste"); nula si no
// la tiene.
QAction* AccionPegar(QMenu* menu) {
    const QString pegar = QLineEdit::tr("&Paste");
    for (QAction* accion : menu->actions()) {
        if (accion->objectName() == u"edit-paste" || accion->text().startsWith(pegar)) {
            accion->setObjectName(QStringLiteral("edit-paste"));
            return accion;
        }
    }
    return nullptr;
}

// Propiedad del campo con la fecha que se borró al salir, hasta que se vuelve a entrar en él.
constexpr char kFechaBorrada[] = "zoq_fecha_borrada";

// La fecha ya se borró (así sale de un campo de fecha lo que no es una fecha); se dice después
// del cambio de foco en curso, que un cuadro modal no puede interrumpir, y el foco vuelve al
// campo para escribirla bien.
void AvisarFechaQueNoExiste(QWidget* control, const QString& fecha) {
    control->setProperty(kFechaBorrada, fecha);
    QPointer<QWidget> campo(control);
    QTimer::singleShot(0, qApp, [campo, fecha] {
        if (!campo || !campo->isVisible())
            return;
        AvisoAtencion(
            QStringLiteral("La fecha «%1» no existe y se ha borrado del campo.").arg(fecha));
        if (campo && campo->isVisible())
            campo->setFocus(Qt::OtherFocusReason);
    });
}

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

namespace {

// Control siguiente a `desde` en el orden de tabulación de su ventana que puede tomar el foco
// con Tab; nulo si no hay otro.
QWidget* SiguienteEnTabulacion(QWidget* desde) {
    for (QWidget* w = desde->nextInFocusChain(); w && w != desde; w = w->nextInFocusChain()) {
        if (w->window() == desde->window() && w->isVisible() && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            return w;
    }
    return nullptr;
}

void EnviarTab(QWidget* destino) {
    QKeyEvent pulsar(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    QCoreApplication::sendEvent(destino, &pulsar);
    if (QWidget* ahora = QApplication::focusWidget()) {
        QKeyEvent soltar(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        QCoreApplication::sendEvent(ahora, &soltar);
    }
}

// Espera a que la ventana vuelva a estar activa (al cerrarse un cuadro modal la activación
// llega después) y entonces mueve el foco.
class TabPendiente : public QObject {
    Q_OBJECT
public:
    TabPendiente(QWidget* ventana, QWidget* campo) : QObject(ventana), campo_(campo) {
        ventana->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::WindowActivate) {
            QPointer<QWidget> campo = campo_;
            QTimer::singleShot(0, qApp, [campo] { MoverFocoTrasCampo(campo); });
            deleteLater();
        }
        return false;
    }
    static void MoverFocoTrasCampo(QWidget* campo);

private:
    QPointer<QWidget> campo_;
};

void TabPendiente::MoverFocoTrasCampo(QWidget* campo) {
    if (!campo || !campo->isVisible())
        return;
    QWidget* ventana = campo->window();
    if (!ventana->isActiveWindow()) {
        // Uno solo por ventana: vale lo que pidió el último campo.
        if (auto* pendiente =
                ventana->findChild<TabPendiente*>(QString(), Qt::FindDirectChildrenOnly))
            pendiente->campo_ = campo;
        else
            new TabPendiente(ventana, campo);
        return;
    }
    if (QApplication::focusWidget() == campo) {
        EnviarTab(campo); // lo que haría la tecla Tab en el campo
    } else if (QWidget* siguiente = SiguienteEnTabulacion(campo)) {
        siguiente->setFocus(Qt::TabFocusReason);
    }
}

} // namespace

void PulsarTab() {
    QTimer::singleShot(0, qApp, [] {
        if (QWidget* foco = QApplication::focusWidget())
            EnviarTab(foco);
    });
}

void PulsarTab(QWidget* Control) {
    if (!Control) {
        PulsarTab();
        return;
    }
    QPointer<QWidget> campo(Control);
    QTimer::singleShot(0, qApp, [campo] { TabPendiente::MoverFocoTrasCampo(campo); });
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
    PulsarTab(Control);
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
        PulsarTab(Control);
        break;
    case AccionTecla::ValorOmision:
        ValorOmision(Control);
        break;
    }
}

void EntrarCampo(QWidget* Control) {
    if (!Control)
        return;
    Control->setProperty(kFechaBorrada, QVariant());
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
        const QScopedValueRollback formateando(EnFormato, true);
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
        {
            const QScopedValueRollback formateando(EnFormato, true);
            PonerTexto(Control, visible);
        }
        if (FechaQueNoExiste(texto, Tag(Control)))
            AvisarFechaQueNoExiste(Control, texto.trimmed());
    }
    if (!SinUltimoCampo)
        UltimoCampo = Control;
}

bool FechaBorradaAlSalir(const QWidget* Control) {
    return Control && Control->property(kFechaBorrada).isValid();
}

namespace {

// Engancha un control al motor: teclas a TeclaCampo y foco a EntrarCampo y SalirCampo.
class FiltroCampo : public QObject {
    Q_OBJECT
public:
    // Un campo que ya tiene el foco al engancharse está en edición con lo que tenga. El filtro
    // atiende también a la línea de edición de un combinado, que recibe el ratón y lo soltado.
    explicit FiltroCampo(QWidget* control)
        : QObject(control), control_(control), enEdicion_(control->hasFocus()) {
        control->installEventFilter(this);
        if (QLineEdit* linea = EdicionDe(control); linea && linea != control)
            linea->installEventFilter(this);
    }

    bool eventFilter(QObject* objeto, QEvent* evento) override {
        QWidget* control = control_;
        if (reenviando_)
            return false;
        if (objeto != control)
            return objeto == EdicionDe(control) && Pegado(control, evento);
        switch (evento->type()) {
        case QEvent::KeyPress:
            return Tecla(control, static_cast<QKeyEvent*>(evento));
        case QEvent::InputMethod:
            return Compuesta(control, static_cast<QInputMethodEvent*>(evento));
        case QEvent::FocusIn:
            // Toda llegada del foco cuenta, también la de la activación de la ventana (así
            // recibe el foco el primer campo al abrirse); volver a un campo que no se dejó
            // (de otra ventana o de un menú emergente) no es entrar otra vez.
            if (TieneTexto(control) && !enEdicion_) {
                enEdicion_ = true;
                EntrarCampo(control);
            }
            return false;
        case QEvent::FocusOut:
            // Irse a otra ventana o a un menú emergente no es salir: el campo sigue siendo el
            // del foco de su ventana y el usuario vuelve a él a seguir editando.
            if (TieneTexto(control) && enEdicion_ &&
                CuentaLaSalida(static_cast<QFocusEvent*>(evento))) {
                enEdicion_ = false;
                SalirCampo(control);
            }
            return false;
        case QEvent::WindowActivate:
            // Mientras la ventana no estaba activa (con un cuadro encima, por ejemplo), su foco
            // ha pasado a otro control sin que este lo perdiera: se sale ahora.
            if (TieneTexto(control) && enEdicion_ && control->window()->focusWidget() != control) {
                enEdicion_ = false;
                SalirCampo(control);
            }
            return false;
        default:
            return Pegado(control, evento);
        }
    }

private:
    // Una casilla no tiene texto que formatear: de ella solo se atienden las teclas.
    static bool TieneTexto(const QWidget* control) {
        QString texto;
        return LeerTexto(control, texto);
    }

    static bool CuentaLaSalida(const QFocusEvent* e) {
        return e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason;
    }

    // Lo que llega por el método de entrada (una letra compuesta con tecla muerta, un texto
    // entero de un método de entrada) pasa por el mismo filtro que lo tecleado, carácter a
    // carácter. El texto en composición (aún sin confirmar) llega tal cual.
    bool Compuesta(QWidget* control, QInputMethodEvent* e) {
        QLineEdit* linea = EdicionDe(control);
        if (!linea || e->commitString().isEmpty())
            return false;
        if (e->replacementLength() > 0) {
            // El método de entrada sustituye parte del texto: se quita antes de filtrar.
            linea->setSelection(linea->cursorPosition() + e->replacementStart(),
                                e->replacementLength());
            const QScopedValueRollback reenviando(reenviando_, true);
            linea->del();
        }
        Caracteres(control, e->commitString(), Qt::NoModifier);
        if (!e->preeditString().isEmpty()) {
            QInputMethodEvent composicion(e->preeditString(), e->attributes());
            const QScopedValueRollback reenviando(reenviando_, true);
            QCoreApplication::sendEvent(control, &composicion);
        }
        return true;
    }

    // Lo que se pega o se suelta sobre el campo pasa por DecidirPegado; true si se atendió.
    bool Pegado(QWidget* control, QEvent* evento) {
        QLineEdit* linea = EdicionDe(control);
        if (!linea || linea->isReadOnly())
            return false;
        switch (evento->type()) {
        case QEvent::ContextMenu: {
            // El menú de siempre, con su "Pegar" por las reglas del campo.
            if (linea->contextMenuPolicy() != Qt::DefaultContextMenu)
                return false;
            QMenu* menu = linea->createStandardContextMenu();
            if (QAction* pegar = AccionPegar(menu)) {
                QObject::disconnect(pegar, &QAction::triggered, linea, nullptr);
                QPointer<QWidget> vivo(control);
                connect(pegar, &QAction::triggered, this, [this, vivo] {
                    if (vivo)
                        PegarSeleccion(vivo, QGuiApplication::clipboard()->text());
                });
            }
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(static_cast<QContextMenuEvent*>(evento)->globalPos());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            // El botón central pega la selección de X donde se pulsó (ahí dejó el cursor).
            QClipboard* portapapeles = QGuiApplication::clipboard();
            if (static_cast<QMouseEvent*>(evento)->button() != Qt::MiddleButton ||
                !portapapeles->supportsSelection())
                return false;
            linea->deselect();
            PegarSeleccion(control, portapapeles->text(QClipboard::Selection));
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(evento);
            if (!e->mimeData()->hasText() || e->source() == linea)
                return false;
            e->setDropAction(Qt::CopyAction);
            e->accept();
            {
                // El campo deja de enseñar dónde caería lo soltado.
                QDragLeaveEvent fuera;
                const QScopedValueRollback reenviando(reenviando_, true);
                QCoreApplication::sendEvent(linea, &fuera);
            }
            linea->setCursorPosition(linea->cursorPositionAt(e->position().toPoint()));
            PegarSeleccion(control, e->mimeData()->text());
            return true;
        }
        default:
            return false;
        }
    }

    // Pega `texto` en lugar de la selección (o en el cursor), entero o nada.
    void PegarSeleccion(QWidget* control, const QString& texto) {
        QLineEdit* linea = EdicionDe(control);
        EstadoCampo estado;
        estado.tag = Tag(control);
        estado.texto = linea->text();
        estado.selStart = SelStart(control);
        estado.selLength = SelLength(control);
        const DecisionPegado d = DecidirPegado(estado, texto);
        if (!d.admitido) {
            AvisoAtencion(d.aviso);
            return;
        }
        if (d.insertado.isEmpty())
            return;
        linea->setSelection(estado.selStart, estado.selLength);
        linea->insert(d.insertado);
        if (d.lleno)
            PulsarTab(control);
    }

    bool Tecla(QWidget* control, QKeyEvent* e) {
        if (e->matches(QKeySequence::Paste) && EdicionDe(control) &&
            !EdicionDe(control)->isReadOnly()) {
            PegarSeleccion(control, QGuiApplication::clipboard()->text());
            return true;
        }
        // Los atajos (Ctrl+C, Alt+letra...) y las teclas sin carácter (flechas, Supr, Tab,
        // Esc) siguen su camino de siempre.
        if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        int codigo = 0;
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
            codigo = 13;
        else if (e->text().size() == 1 && e->text().at(0).isPrint())
            codigo = e->text().at(0).unicode();
        if (codigo == 0) {
            // Una tecla que trae varios caracteres (o uno de fuera del plano básico) los
            // entrega uno a uno al filtro.
            if (e->text().size() > 1 && EdicionDe(control)) {
                Caracteres(control, e->text(), e->modifiers());
                return true;
            }
            return false;
        }
        // Una casilla o un combinado de lista fija solo atienden Intro y "+".
        if (!EdicionDe(control) && codigo != 13 && codigo != u'+')
            return false;
        return Atender(control, codigo, e->modifiers());
    }

    // Pasa cada carácter imprimible del texto por TeclaCampo y deja entrar lo que este deja.
    // Un carácter de fuera del plano básico va al filtro como su primera mitad (un código que
    // ningún tipo con caracteres fijos admite) y, si pasa tal cual, entra entero.
    void Caracteres(QWidget* control, const QString& texto, Qt::KeyboardModifiers modificadores) {
        QPointer<QWidget> vivo(control);
        for (const char32_t cp : texto.toUcs4()) {
            if (!vivo)
                return;
            const QString original = QString::fromUcs4(&cp, 1);
            if (!QChar::isPrint(cp))
                continue;
            const int clave =
                QChar::requiresSurrogates(cp) ? QChar::highSurrogate(cp) : static_cast<int>(cp);
            int codigo = clave;
            TeclaCampo(control, codigo);
            if (codigo == 0)
                continue;
            Insertar(control, codigo == clave ? original : QString(QChar(char16_t(codigo))),
                     modificadores);
        }
    }

    // Pasa la tecla por TeclaCampo; true si el control no debe recibir la original.
    bool Atender(QWidget* control, int codigo, Qt::KeyboardModifiers modificadores) {
        const int pulsada = codigo;
        TeclaCampo(control, codigo);
        if (codigo == pulsada)
            return false;
        if (codigo != 0) // tecla cambiada: entra su sustituta
            Insertar(control, QString(QChar(static_cast<char16_t>(codigo))), modificadores);
        return true;
    }

    void Insertar(QWidget* control, const QString& texto, Qt::KeyboardModifiers modificadores) {
        const int tecla =
            texto.size() == 1 ? int(texto.at(0).toUpper().unicode()) : int(Qt::Key_unknown);
        QKeyEvent sustituta(QEvent::KeyPress, tecla, modificadores, texto);
        const QScopedValueRollback reenviando(reenviando_, true);
        QCoreApplication::sendEvent(control, &sustituta);
    }

    QWidget* control_; // el campo (el filtro es suyo)
    bool reenviando_ = false;
    bool enEdicion_; // entre EntrarCampo y su SalirCampo
};

} // namespace

void ConectarCampo(QWidget* Control) {
    if (!Control || Control->findChild<FiltroCampo*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    new FiltroCampo(Control);
}

void ConectarCampos(QWidget* Formulario) {
    for (QWidget* c : ControlesDe(Formulario)) {
        if (Tag(c).contains(QLatin1String("T(")))
            ConectarCampo(c);
    }
}

} // namespace rutinas

#include "campos.moc"
