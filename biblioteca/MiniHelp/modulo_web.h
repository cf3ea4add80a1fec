#pragma once
// Lo que ofrece el módulo del navegador web de la ayuda (MiniHelp/web): solo interfaces, para
// que el módulo no dependa más que de Qt y la biblioteca lo cargue cuando lo necesita.

#include <QString>
#include <QtPlugin>
#include <functional>

class QWidget;

namespace MiniHelp {

/// Una vista de páginas web. Su control es hijo del padre que se dio al crearla y muere con
/// él, y con él la vista.
class VistaWeb {
public:
    /// El control que muestra la página.
    virtual QWidget* Control() = 0;
    /// Empieza a abrir la dirección; Ocupado() es true hasta que termina, bien o mal.
    virtual void Navegar(const QString& direccion) = 0;
    /// true mientras se abre la última dirección pedida.
    virtual bool Ocupado() const = 0;
    /// Lo que se llama cuando una navegación falla (sin página de error); vacío, nada.
    virtual void AlFallar(std::function<void()> alFallar) = 0;

protected:
    ~VistaWeb() = default;
};

/// Lo que exporta el módulo de páginas web: crea las vistas que usa la ventana de ayuda.
class FabricaNavegador {
public:
    virtual ~FabricaNavegador() = default;
    /// Crea una vista web, hija de `padre`.
    virtual VistaWeb* CrearVista(QWidget* padre) = 0;
};

} // namespace MiniHelp

#define ZOQ_FABRICA_NAVEGADOR_IID "es.zoq.MiniHelp.FabricaNavegador/1"
Q_DECLARE_INTERFACE(MiniHelp::FabricaNavegador, ZOQ_FABRICA_NAVEGADOR_IID)
