#include "rutinas/avisos.h"

#include "rutinas/nucleo/descriptor.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace rutinas {

QString TituloAplicacion() {
    return QGuiApplication::applicationDisplayName();
}

namespace {

void Cuadro(QMessageBox::Icon icono, const QString& texto) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qWarning("%s", qUtf8Printable(texto));
        return;
    }
    QPointer<QWidget> ventana = QApplication::activeWindow();
    QMessageBox caja(icono, TituloAplicacion(), texto, QMessageBox::Ok, ventana);
    caja.exec();
    // La ventana que avisó vuelve a ser la activa (y su campo recibe el foco otra vez): no todo
    // gestor de ventanas devuelve la activación al cerrarse un cuadro.
    if (ventana && ventana->isVisible())
        ventana->activateWindow();
}

// Al cargarse la biblioteca, el aviso ya sale en pantalla.
[[maybe_unused]] const bool kInstalado = (InstalarAvisos(), true);

} // namespace

void AvisoCritico(const QString& texto) {
    Cuadro(QMessageBox::Critical, texto);
}

void AvisoAtencion(const QString& texto) {
    Cuadro(QMessageBox::Warning, texto);
}

void AvisoSimple(const QString& texto) {
    Cuadro(QMessageBox::NoIcon, texto);
}

void InstalarAvisos() {
    PonerAvisadorFaltaDato([](const QString& texto) { AvisoCritico(texto); });
}

} // namespace rutinas
