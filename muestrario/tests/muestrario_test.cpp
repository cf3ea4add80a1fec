// El muestrario en una pantalla real, manejado con el teclado.
#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "Muestrario.h"
#include "en_pantalla.h"
#include "frmTablas/frmTablas.h"
#include "qt_gtest.h"
#include "rutinas/nucleo/descriptor.h"

#include <QAccessible>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

TEST(MuestrarioEnPantalla, CadaMenuSeAbreConSuPropiaTeclaAlt) {
    Muestrario ventana;
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    QSet<QString> teclas;
    for (QAction* accion : ventana.menuBar()->actions()) {
        const QString tecla = QKeySequence::mnemonic(accion->text()).toString();
        ASSERT_FALSE(tecla.isEmpty()) << qPrintable(accion->text());
        EXPECT_FALSE(teclas.contains(tecla))
            << qPrintable(accion->text()) << " repite " << qPrintable(tecla);
        teclas.insert(tecla);

        QTest::keyClick(&ventana, QKeySequence(tecla)[0].key(), Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget(); }, 2000));
        EXPECT_EQ(QApplication::activePopupWidget(), accion->menu()) << qPrintable(accion->text());
        if (QWidget* abierto = QApplication::activePopupWidget())
            abierto->close();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }, 2000));

        // Dentro del menú, tampoco se repiten.
        QSet<QString> dentro;
        for (QAction* entrada : accion->menu()->actions()) {
            const QString t = QKeySequence::mnemonic(entrada->text()).toString();
            EXPECT_TRUE(t.isEmpty() || !dentro.contains(t)) << qPrintable(entrada->text());
            dentro.insert(t);
        }
    }
}

TEST(MuestrarioEnPantalla, ElEditorDeTablasPideUnSoloClicPorBoton) {
    Muestrario ventana;
    ventana.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    const auto entradas = EntradasMuestrario();
    const auto editor = std::find_if(entradas.begin(), entradas.end(), [](const auto& e) {
        return e.texto == QStringLiteral("Editor de tablas (fichero de ejemplo)");
    });
    ASSERT_NE(editor, entradas.end());
    QStringList avisos, filas;
    const rutinas::Avisador antes =
        rutinas::PonerAvisadorFaltaDato([&avisos](const QString& t) { avisos << t; });
    QTimer::singleShot(0, [&filas] {
        frmTablas::Ventana& v = frmTablas::Instancia();
        if (QTest::qWaitForWindowActive(&v)) {
            QTest::mouseClick(v.Elemento, Qt::LeftButton);
            for (QChar c : QStringLiteral("Zamora"))
                QTest::keyClick(v.Elemento, c.toLatin1());
            QTest::mouseClick(v.cmdAceptar, Qt::LeftButton); // sale del campo y acepta: un clic
            for (int f = 1; f < v.VisorTabla->Rows(); ++f)
                filas << MiVisor::LeerCelda(*v.VisorTabla, f, 0);
        }
        v.VisorTabla->setTag(QString());
        v.cmdSalir_Click();
    });
    editor->abrir(&ventana);
    rutinas::PonerAvisadorFaltaDato(antes);
    EXPECT_TRUE(avisos.isEmpty()) << qPrintable(avisos.join(u' '));
    ASSERT_FALSE(filas.isEmpty());
    EXPECT_EQ(filas.last(), QStringLiteral("Zamora"));
}

namespace {

// Los papeles que se pueden pulsar o escribir: necesitan nombre y un sitio en el tabulador.
bool EsInteractivo(QAccessible::Role papel) {
    switch (papel) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::PageTabList:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return false;
    }
}

// Recorre el árbol accesible de una ventana y anota si no llega como ventana (diálogo si es
// modal; alerta, el aviso estándar) con nombre, cada control interactivo sin nombre o que el
// tabulador no alcanza y cada botón que llega como otra cosa (una casilla que se marca).
void RevisarAccesibilidad(QWidget* ventana, QStringList& faltas) {
    QSet<QWidget*> tabulador;
    for (QWidget* w = ventana->nextInFocusChain(); w != ventana; w = w->nextInFocusChain())
        if (ventana->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisible())
            tabulador.insert(w);
    const QString titulo = ventana->windowTitle() + u'/' + ventana->objectName();
    QAccessibleInterface* propia = QAccessible::queryAccessibleInterface(ventana);
    const QAccessible::Role papel = propia->role();
    const bool modal = ventana->isModal() || ventana == QApplication::activeModalWidget();
    if (papel != (modal ? QAccessible::Dialog : QAccessible::Window) &&
        !(modal && papel == QAccessible::AlertMessage))
        faltas << QStringLiteral("ni ventana ni diálogo (papel %1): ").arg(papel) + titulo;
    if (propia->text(QAccessible::Name).trimmed().isEmpty())
        faltas << QStringLiteral("ventana sin nombre: ") + titulo;
    std::function<void(QAccessibleInterface*)> recorrer = [&](QAccessibleInterface* i) {
        if (i == nullptr || i->state().invisible)
            return;
        auto* w = qobject_cast<QWidget*>(i->object());
        // El botón de borrar de una línea de texto es parte de ella (se borra con el teclado).
        if (w != nullptr && qobject_cast<QLineEdit*>(w->parentWidget()) != nullptr)
            return;
        if (EsInteractivo(i->role()) && w != nullptr) {
            const QString quien = titulo + u'/' + w->metaObject()->className() + u'/' +
                                  w->objectName() + u'/' + i->text(QAccessible::Name);
            if (i->text(QAccessible::Name).trimmed().isEmpty())
                faltas << QStringLiteral("sin nombre: ") + quien;
            if (!i->state().disabled && !tabulador.contains(w))
                faltas << QStringLiteral("fuera del tabulador: ") + quien;
            if (qobject_cast<QPushButton*>(w) != nullptr && i->role() != QAccessible::PushButton)
                faltas << QStringLiteral("botón que no es botón: ") + quien;
        }
        if (i->role() == QAccessible::Table || i->role() == QAccessible::List)
            return; // las celdas no son controles
        for (int n = 0; n < i->childCount(); ++n)
            recorrer(i->child(n));
    };
    recorrer(QAccessible::queryAccessibleInterface(ventana));
}

} // namespace

TEST(MuestrarioEnPantalla, CadaVentanaTieneNombresYSeRecorreConElTabulador) {
    Muestrario muestrario;
    muestrario.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&muestrario));
    QStringList faltas, vistas;
    RevisarAccesibilidad(&muestrario, faltas);
    // Mientras cada entrada tiene su ventana abierta, un reloj revisa la de arriba y la cierra.
    QTimer reloj;
    reloj.setInterval(150);
    QObject::connect(&reloj, &QTimer::timeout, [&] {
        QWidget* arriba = QApplication::activeModalWidget();
        if (arriba == nullptr)
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w != &muestrario && w->isVisible() && w->windowType() != Qt::ToolTip &&
                    w->windowType() != Qt::Popup)
                    arriba = w;
        if (arriba == nullptr || arriba == &muestrario)
            return;
        const QString nombre = arriba->windowTitle() + u'/' + arriba->objectName();
        if (!vistas.contains(nombre)) {
            vistas << nombre;
            RevisarAccesibilidad(arriba, faltas);
        }
        QTest::keyClick(arriba, Qt::Key_Escape);
        if (arriba->isVisible())
            arriba->close();
        if (arriba->isVisible()) // sin Cancelar: Sí, No...
            if (auto* boton = arriba->findChild<QPushButton*>())
                boton->click();
    });
    reloj.start();
    for (const EntradaMuestrario& entrada : EntradasMuestrario()) {
        try {
            entrada.abrir(&muestrario);
        } catch (const std::exception&) {
            // el muestrario lo enseña como error (icono inexistente)
        }
    }
    reloj.stop();
    EXPECT_GE(vistas.size(), 10) << qPrintable(vistas.join(u'\n'));
    faltas.removeDuplicates();
    EXPECT_TRUE(faltas.isEmpty()) << qPrintable(faltas.join(u'\n'));
}
