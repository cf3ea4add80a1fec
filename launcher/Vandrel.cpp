#include "Vandrel.h"

#include <QMessageBox>

Vandrel::Vandrel(QWidget* padre) : QWidget(padre) {
    setObjectName(QStringLiteral("Vandrel"));
    setWindowTitle(QStringLiteral("RuntimeZOQ"));
    setAttribute(Qt::WA_DeleteOnClose);
}

void Vandrel::Form_Load() {
    // Estilo 16 del cuadro de mensajes: icono de parada crítica y un solo botón Aceptar.
    QMessageBox aviso(QMessageBox::Critical, QStringLiteral("Aviso de Runtime ZOQ"),
                      QStringLiteral("Programa no ejecutable. Instalador de Runtime."),
                      QMessageBox::Ok);
    aviso.exec();
    close();
}
