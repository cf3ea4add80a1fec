#pragma once
// El navegador incrustado de la ventana de ayuda, tras una interfaz pequeña: con Qt WebEngine
// abre cualquier dirección; sin él (compilación sin ZOQ_WEBENGINE) solo ficheros locales.

#include <QWidget>
#include <memory>

namespace MiniHelp {

class Navegador : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    /// Empieza a abrir la dirección; Ocupado() es true hasta que termina, bien o mal.
    virtual void Navegar(const QString& direccion) = 0;
    virtual bool Ocupado() const = 0;

signals:
    /// La navegación falló; no se muestra página de error.
    void ErrorNavegacion();
};

/// Crea el navegador de la compilación.
Navegador* CrearNavegador(QWidget* padre);

/// true si la compilación lleva Qt WebEngine (abre páginas de la red).
bool HayNavegadorWeb();

} // namespace MiniHelp
