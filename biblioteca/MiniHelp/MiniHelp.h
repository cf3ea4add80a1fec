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
    /// @name Franja de título
    // @{
    /// La franja pinta el título de la ventana de ayuda con el texto que se le da.
    using QWidget::QWidget;
    /// Borra lo dibujado y dibuja `texto` centrado; la franja se hace visible.
    void Dibujar(const QString& texto);
    const QString& Texto() const { return texto_; }
    // @}

protected:
    /// @name Eventos de Qt
    // @{
    /// Lo que la ventana hace con los eventos de Qt que atiende.
    void paintEvent(QPaintEvent*) override;
    // @}

private:
    QString texto_;
};

/// La ventana de ayuda: un documento RTF o HTML, o una página web.
class Ventana : public QDialog {
    Q_OBJECT
public:
    /// @name Construcción
    // @{
    /// Crea la ventana de ayuda, vacía y oculta.
    explicit Ventana(QWidget* padre = nullptr);
    ~Ventana() override;
    // @}

    /// @name Controles, con los nombres de su diseño
    // @{
    /// Controles, con los nombres de su diseño.
    QTextEdit* TextoAyuda = nullptr;
    Navegador* MiniWeb = nullptr; ///< se crea con el primer MiExplorer (si hay navegador)
    FranjaTitulo* MiVersion = nullptr;
    QPushButton* cmdCerrar = nullptr;
    // @}

    /// Indicador de fallo de navegación: lo pone el suceso de error del navegador y solo se
    /// borra al cargar la ventana.
    bool FalloNavegacion = false;

    /// @name Operaciones de la ventana
    // @{
    /// Las mismas que las funciones libres de este módulo, sobre esta ventana.
    void CargarAyuda(const QString& Fichero);
    void MiExplorer(const QString& URL, bool& Problema);
    void TituloMiniWeb(const QString& Titulo);
    // @}

    /// @name Acciones de los controles
    // @{
    /// Lo que hace cada control al pulsarlo.
    void cmdCerrar_Click();
    // @}

protected:
    /// @name Eventos de Qt
    // @{
    /// Lo que la ventana hace con los eventos de Qt que atiende.
    void reject() override; // Escape pulsa cmdCerrar
    void closeEvent(QCloseEvent* evento) override;
    // @}

private:
    void Form_Load();
    bool CrearMiniWeb();
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
/// falta Qt WebEngine en el sistema) la página no se puede abrir. En una compilación sin el
/// módulo solo se abren ficheros locales.
void MiExplorer(const QString& URL, bool& Problema);

/// Cambia el texto de la franja de título; vacío, el título por omisión.
void TituloMiniWeb(const QString& Titulo);

/// Título por omisión: "Programa <ejecutable>  -  Versión <mayor.menor.revisión>", con la
/// versión de la aplicación (QCoreApplication::applicationVersion) o, si no la tiene, la del
/// paquete.
QString TituloPrograma();

} // namespace MiniHelp
