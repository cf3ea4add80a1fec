#include "rutinas/avisos.h"

#include "rutinas/nucleo/descriptor.h"

#include <QApplication>
#include <QMessageBox>

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
    QMessageBox caja(icono, TituloAplicacion(), texto, QMessageBox::Ok,
                     QApplication::activeWindow());
    caja.exec();
}

// Al cargarse la biblioteca, el aviso ya sale en pantalla.
[[maybe_unused]] const bool kInstalado = (InstalarAvisos(), true);

} // namespace

void AvisoCritico(const QString& texto) {
    Cuadro(QMessageBox::Critical, texto);
}

void AvisoSimple(const QString& texto) {
    Cuadro(QMessageBox::NoIcon, texto);
}

void InstalarAvisos() {
    PonerAvisadorFaltaDato([](const QString& texto) { AvisoCritico(texto); });
}

} // namespace rutinas
