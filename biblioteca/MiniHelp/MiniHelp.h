#pragma once
// Ventana de ayuda pequeña: un documento de ayuda (texto enriquecido) o una página web en un
// navegador incrustado, con una franja de título y un botón para cerrar.
//
// Como toda ventana de la suite tiene una instancia compartida que se crea (se carga) al
// usarla por primera vez y dura hasta que se descarga. Mostrarla, modal o no, es cosa de
// quien la llama: MiniHelp::Instancia().exec() o .show().

#include <QDialog>

class QPushButton;
class QTextEdit;

namespace MiniHelp {

class Navegador;

/// Franja de título: fondo azul claro, texto azul oscuro centrado.
class FranjaTitulo : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    /// Borra lo dibujado y dibuja `texto` centrado; la franja se hace visible.
    void Dibujar(const QString& texto);
    /// El texto dibujado.
    const QString& Texto() const { return texto_; }

protected:
    /// Pinta el fondo y el texto.
    void paintEvent(QPaintEvent*) override;

private:
    QString texto_;
};

/// La ventana de ayuda: un documento RTF o HTML, o una página web.
class Ventana : public QDialog {
    Q_OBJECT
public:
    /// Crea la ventana de ayuda, vacía y oculta.
    explicit Ventana(QWidget* padre = nullptr);
    ~Ventana() override;

    /// @name Controles, con los nombres de su diseño
    // @{
    QTextEdit* TextoAyuda = nullptr;   ///< el documento de ayuda
    Navegador* MiniWeb = nullptr;      ///< la página; se crea con el primer MiExplorer
    FranjaTitulo* MiVersion = nullptr; ///< la franja del título
    QPushButton* cmdCerrar = nullptr;  ///< cierra la ventana
    // @}

    /// Indicador de fallo de navegación: lo pone el suceso de error del navegador y solo se
    /// borra al cargar la ventana.
    bool FalloNavegacion = false;

    /// @name Operaciones de la ventana
    /// Las mismas que las funciones libres de este módulo, sobre esta ventana.
    // @{
    void CargarAyuda(const QString& Fichero);
    void MiExplorer(const QString& URL, bool& Problema);
    void TituloMiniWeb(const QString& Titulo);
    // @}

    /// Pulsación de cmdCerrar: descarga la ventana.
    void cmdCerrar_Click();

protected:
    /// Escape pulsa cmdCerrar.
    void reject() override;
    /// Cerrar es descargar.
    void closeEvent(QCloseEvent* evento) override;

private:
    void Form_Load();
    void CrearMiniWeb();
};

/// La instancia compartida; la carga si no lo está.
Ventana& Instancia();
/// true si la instancia compartida está cargada.
bool Cargada();
/// Descarga la instancia compartida (si lo está); el próximo uso la carga de nuevo.
void Descargar();

/// Carga el fichero de ayuda en `TextoAyuda`: texto enriquecido (RTF) o, además, HTML.
/// Lanza basicos::ErrorZoq si no se puede leer o no es de esas clases. El navegador y la
/// franja de título siguen ocultos.
void CargarAyuda(const QString& Fichero);

/// Abre la página `URL` en el navegador y espera, dejando correr los sucesos pendientes,
/// a que termine de cargarse. Si no se pudo abrir, `Problema` pasa a true y la ventana se
/// descarga; si se abrió, `Problema` queda como venía y se ven el navegador y, la primera vez,
/// el título por omisión. La primera página carga el módulo del navegador web; si falta (o
/// falta Qt WebEngine en el sistema) la ventana usa su visor local, que abre los ficheros de
/// ayuda del disco (RTF o HTML) y no las páginas de la red.
void MiExplorer(const QString& URL, bool& Problema);

/// Cambia el texto de la franja de título; vacío, el título por omisión.
void TituloMiniWeb(const QString& Titulo);

/// Título por omisión: "Programa <ejecutable>  -  Versión <mayor.menor.revisión>", con la
/// versión de la aplicación (QCoreApplication::applicationVersion) o, si no la tiene, la del
/// paquete.
QString TituloPrograma();

} // namespace MiniHelp
