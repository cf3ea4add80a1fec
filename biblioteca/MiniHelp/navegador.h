#pragma once
// El navegador incrustado de la ventana de ayuda, tras una interfaz pequeña. El que abre
// cualquier dirección vive en un módulo aparte (un complemento de Qt, el único que enlaza Qt
// WebEngine; ver modulo_web.h), que se carga con la primera página: los programas que no abren
// ninguna no cargan el motor del navegador. Sin ese módulo en la compilación (ZOQ_WEBENGINE
// apagado) solo se abren ficheros locales.

#include <QString>
#include <QWidget>

namespace MiniHelp {

/// El navegador de la ventana de ayuda: el módulo web si se pudo cargar, o el visor de texto.
class Navegador : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    /// @name Empieza a abrir la dirección
    // @{
    /// Empieza a abrir la dirección; Ocupado() es true hasta que termina, bien o mal.
    virtual void Navegar(const QString& direccion) = 0;
    virtual bool Ocupado() const = 0;
    // @}

signals:
    /// La navegación falló; no se muestra página de error.
    void ErrorNavegacion();
};

/// Crea el navegador de la compilación; con el módulo web, lo carga la primera vez y después
/// lo reutiliza (la primera carga lleva un rato: quien llama pone el puntero de espera).
/// nullptr si el módulo o el motor del navegador faltan en el sistema.
Navegador* CrearNavegador(QWidget* padre);

/// true si la compilación lleva el módulo web (abre páginas de la red).
bool HayNavegadorWeb();

/// Carpeta del módulo web: la de la variable ZOQ_CARPETA_MODULOS si está puesta y, si no, la
/// carpeta zoq/modulos junto a la biblioteca, tanto en la compilación como instalada.
QString CarpetaModulos();

/// Fichero del módulo web dentro de CarpetaModulos(); vacío sin módulo web.
QString RutaModuloWeb();

/// true si el módulo web ya está cargado en el proceso.
bool ModuloWebCargado();

} // namespace MiniHelp
