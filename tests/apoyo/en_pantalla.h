#pragma once
// Ayudas de los casos «EnPantalla» (pantalla X real con gestor de ventanas, ver
// cmake/ZoqPruebas.cmake): esperar a que una ventana se active y teclear en la ventana activa
// o pedir su cierre al gestor de ventanas, como lo haría el usuario.
#include <QApplication>
#include <QProcess>
#include <QTest>
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

/// Pide al gestor de ventanas que cierre la ventana activa (Alt+F4 de openbox, tecleado en
/// el servidor X con xdotool). false si no se pudo teclear.
inline bool CerrarConElGestor() {
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("key"), QStringLiteral("alt+F4")}) == 0;
}

} // namespace en_pantalla
