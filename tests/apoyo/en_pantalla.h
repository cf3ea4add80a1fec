#pragma once
// Ayudas de los casos «EnPantalla» (pantalla X real con gestor de ventanas, ver
// cmake/ZoqPruebas.cmake): esperar a que una ventana se active y teclear en la ventana activa
// o pedir su cierre al gestor de ventanas, como lo haría el usuario.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace en_pantalla {

/// Espera (hasta `ms`) a que la ventana activa sea una distinta de `salvo` y la devuelve;
/// nula si no llega.
inline QWidget* EsperarOtraActiva(const QWidget* salvo = nullptr, int ms = 5000) {
    auto otra = [salvo] {
        QWidget* activa = QApplication::activeWindow();
        return activa && activa != salvo ? activa : nullptr;
    };
    return QTest::qWaitFor([&] { return otra() != nullptr; }, ms) ? otra() : nullptr;
}

/// Pulsa la tecla en el control con el foco de la ventana activa (o en la ventana misma).
inline void Pulsar(Qt::Key tecla, Qt::KeyboardModifiers modificadores = Qt::NoModifier) {
    QWidget* destino = QApplication::focusWidget();
    if (!destino)
        destino = QApplication::activeWindow();
    if (destino)
        QTest::keyClick(destino, tecla, modificadores);
}

/// Teclea en el servidor X con xdotool, como el usuario: «ctrl+v», «F4», «Return»... (los
/// nombres de tecla de xdotool). La tecla va a la ventana y al control que tengan el foco; se
/// deja al programa un momento para recibirla. false si no se pudo teclear.
inline bool TeclearEnX(const QString& teclas) {
    const bool tecleado =
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), teclas}) == 0;
    QTest::qWait(50);
    return tecleado;
}

/// Pulsa con el ratón de verdad (xdotool) el botón `boton` (1 izquierdo, 2 central, 3 derecho)
/// en el centro del control. false si no se pudo.
inline bool PulsarConElRaton(const QWidget* control, int boton = 1) {
    const QPoint centro = control->mapToGlobal(control->rect().center());
    const bool pulsado =
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("mousemove"), QString::number(centro.x()),
                           QString::number(centro.y()), QStringLiteral("click"),
                           QString::number(boton)}) == 0;
    QTest::qWait(50);
    return pulsado;
}

/// Pide al gestor de ventanas que cierre la ventana activa (Alt+F4 de openbox, tecleado en
/// el servidor X con xdotool). false si no se pudo teclear.
inline bool CerrarConElGestor() {
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("key"), QStringLiteral("alt+F4")}) == 0;
}

/// Mientras existe, el «usuario» lee cada cuadro de mensaje estándar que se abre (anota su
/// texto) y lo cierra con Intro: en la pantalla X, tecleado de verdad cuando el cuadro ya está
/// activo; en «offscreen», enviado al cuadro.
class LeerAvisos {
public:
    LeerAvisos() {
        QObject::connect(&reloj_, &QTimer::timeout, [this] {
            auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!caja || caja == ultima_)
                return; // ninguno, o ya se pulsó Intro y se está cerrando
            if (QGuiApplication::platformName() != u"xcb") {
                ultima_ = caja;
                textos << caja->text();
                QTest::keyClick(caja, Qt::Key_Return);
            } else if (QApplication::activeWindow() == caja) {
                ultima_ = caja;
                textos << caja->text();
                TeclearEnX(QStringLiteral("Return"));
            }
        });
        reloj_.start(20);
    }
    /// Espera a que se haya leído el aviso número `n` (desde 1).
    bool Esperar(qsizetype n = 1, int ms = 5000) {
        return QTest::qWaitFor([&] { return textos.size() >= n; }, ms);
    }
    QStringList textos; ///< lo que decían, en orden

private:
    QTimer reloj_;
    QPointer<QMessageBox> ultima_;
};

} // namespace en_pantalla
