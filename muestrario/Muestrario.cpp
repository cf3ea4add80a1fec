#include "Muestrario.h"

#include "basicos/nucleo/error.h"
#include "basicos/teclas_globales.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <map>

#ifndef MUESTRARIO_DATOS
#define MUESTRARIO_DATOS ""
#endif

QString DatosMuestrario(const QString& nombre) {
    // Junto al programa instalado, o en las fuentes cuando se ejecuta desde la compilación.
    const QString junto = QCoreApplication::applicationDirPath() + QStringLiteral("/datos/");
    const QString base =
        QFileInfo::exists(junto + nombre) ? junto : QStringLiteral(MUESTRARIO_DATOS "/");
    return QDir::cleanPath(base + nombre);
}

Muestrario::Muestrario(QWidget* padre) : QMainWindow(padre) {
    setObjectName(QStringLiteral("Muestrario"));
    setWindowTitle(QStringLiteral("Muestrario de ventanas ZOQ"));
    resize(640, 420);

    resultado_ = new QLabel(QStringLiteral("Elija en los menús la ventana que quiere probar.\n\n"
                                           "Aquí verá lo que devolvió."),
                            this);
    resultado_->setAlignment(Qt::AlignCenter);
    resultado_->setWordWrap(true);
    resultado_->setMargin(24);
    setCentralWidget(resultado_);

    std::map<QString, QMenu*> menus;
    for (auto& entrada : EntradasMuestrario()) {
        QMenu*& menu = menus[entrada.menu];
        if (!menu)
            menu = menuBar()->addMenu(entrada.menu);
        QAction* accion = menu->addAction(entrada.texto);
        connect(accion, &QAction::triggered, this, [this, entrada] {
            try {
                resultado_->setText(entrada.texto + QStringLiteral("\n\n") + entrada.abrir(this));
            } catch (const basicos::ErrorZoq& e) {
                QMessageBox::warning(this, windowTitle(), e.Descripcion());
                resultado_->setText(entrada.texto + QStringLiteral("\n\nError: ") +
                                    e.Descripcion());
            }
        });
    }
    QMenu* salir = menuBar()->addMenu(QStringLiteral("&Salir"));
    salir->addAction(QStringLiteral("Salir del muestrario"), QKeySequence::Quit, this,
                     &QWidget::close);
    basicos::ConectarTeclasGlobales(this);
}
