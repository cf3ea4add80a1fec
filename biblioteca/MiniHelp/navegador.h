#pragma once
// El navegador incrustado de la ventana de ayuda, tras una interfaz pequeña. El que abre
// cualquier dirección vive en un módulo aparte (un complemento de Qt, el único que enlaza Qt
// WebEngine; ver modulo_web.h), que se carga con la primera página: los programas que no abren
// ninguna no cargan el motor del navegador. Si el módulo no está instalado o no se puede cargar
// (falta Qt WebEngine en el sistema), la ventana usa el visor local, que abre los ficheros de
// ayuda del disco.

#include <QString>
#include <QWidget>

namespace MiniHelp {

/// El navegador de la ventana de ayuda: el módulo web si se pudo cargar, o el visor de texto.
class Navegador : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    /// Empieza a abrir la dirección; Ocupado() es true hasta que termina, bien o mal.
    virtual void Navegar(const QString& direccion) = 0;
    /// true mientras se abre la última dirección pedida.
    virtual bool Ocupado() const = 0;

signals:
    /// La navegación falló; no se muestra página de error.
    void ErrorNavegacion();
};

/// Crea el navegador: el del módulo web, que se carga la primera vez y después se reutiliza
/// (la primera carga lleva un rato: quien llama pone el puntero de espera); si el módulo falta
/// o no se puede cargar, el visor local, que solo abre ficheros de ayuda (RTF o HTML).
Navegador* CrearNavegador(QWidget* padre);

/// Carpeta del módulo web: la de la variable ZOQ_CARPETA_MODULOS si está puesta y, si no, la
/// carpeta zoq/modulos junto a la biblioteca, tanto en la compilación como instalada.
QString CarpetaModulos();

/// Fichero del módulo web dentro de CarpetaModulos() (exista o no).
QString RutaModuloWeb();

/// true si el módulo web ya está cargado en el proceso.
bool ModuloWebCargado();

} // namespace MiniHelp
