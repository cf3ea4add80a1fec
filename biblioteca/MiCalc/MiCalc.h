#pragma once
// La calculadora de sobremesa en su ventana: pantalla, 24 teclas, rollo de papel que se
// muestra u oculta, decimales, "siempre visible", pegar y salir. Se abre con F4 desde
// cualquier ventana de la suite (basicos::TeclasGlobales) y es la ventana del programa
// residente Zodivazod.

#include "MiCalc/nucleo/motor.h"
#include "basicos/accesibilidad.h"

#include <QFont>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QLabel;
class QPrinter;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace MiCalc {

/// Cómo se arrancó el proceso: decide el tamaño de la calculadora y si puede fijarse encima.
struct Arranque {
    /// Los argumentos del programa unidos por un blanco (sin el nombre del programa).
    QString lineaOrdenes;
    /// Nombre del ejecutable sin carpeta ni extensión.
    QString ejecutable;

    /// Los del proceso en curso.
    static Arranque DelProceso();
};

/// Nombre del programa residente de escritorio.
inline constexpr const char* NombreResidente = "Zodivazod";

/// La ventana "Calculadora". Se destruye al cerrarse (con ella el cálculo y el papel).
class MiCalc : public QWidget,
               private Pantalla,
               private Papel,
               private AjusteDecimales,
               private Portapapeles {
    Q_OBJECT
public:
    /// Crea la ventana y hace su carga: escala según el arranque y se centra.
    explicit MiCalc(const Arranque& arranque = Arranque::DelProceso());
    ~MiCalc() override;

    /// La calculadora abierta (sin contar una que se está cerrando), o una nueva si no hay.
    static MiCalc* Instancia();

    /// No evalúa nada: devuelve siempre un texto vacío.
    QString Evaluar(const QString& Expresion);

    /// Atiende la pulsación de un carácter como el teclado de la ventana: Intro es "=",
    /// retroceso "<", "n i c s e p" sus teclas en mayúscula, Esc cierra; lo que no es tecla
    /// no hace nada.
    void Form_KeyPress(int KeyAscii);
    /// Al soltar una tecla: con F8 y la ventana fijada encima, se suelta antes; después,
    /// las teclas globales de la suite.
    void Form_KeyUp(short KeyCode, short Shift);

    /// Pega el texto del portapapeles tecleándolo: si lleva ",", se quitan los "." y las ","
    /// pasan a "." (1.234,56 teclea 1234.56). Los caracteres de control no se teclean.
    void Pegar_Click();
    /// Muestra u oculta el papel y ajusta el ancho de la ventana.
    void VerPapel_Click();
    /// Siguiente número de decimales (2 a 5).
    void decimales_Click();
    /// Fija o suelta la ventana por encima de las demás.
    void FijarUp_Click();

    /// «Guardar el rollo…» (Ctrl+G): pide dónde y graba en un fichero de texto las líneas del
    /// papel como se ven. Un fallo se avisa y deja el fichero anterior entero.
    void GuardarRollo_Click();
    /// «Imprimir el rollo…» (Ctrl+P): el cuadro de impresión y el papel impreso con letra de
    /// paso fijo. Un fallo (una cola que no admite trabajos, un fichero que no se puede
    /// grabar) se avisa.
    void ImprimirRollo_Click();
    /// Graba el rollo en `ruta` de una sola vez (UTF-8). Devuelve "" o el motivo del fallo.
    QString GuardarRollo(const QString& ruta) const;
    /// Imprime el rollo en la impresora ya preparada: en su cola o, si imprime a un fichero
    /// PDF, en ese fichero, que se graba de una vez. Devuelve "" o el motivo del fallo.
    QString ImprimirRollo(QPrinter& impresora) const;

    /// Puntos donde la ventana sale de sí misma; las pruebas los sustituyen.
    /// Pide la ruta del fichero del rollo (cuadro de guardar); vacía si se cancela.
    std::function<QString(const QString& propuesta)> PedirRutaRollo;
    /// Cuadro de impresión sobre la impresora; false si se cancela.
    std::function<bool(QPrinter&)> PrepararImpresora;
    /// Aviso de un fallo al usuario.
    std::function<void(const QString&)> Avisar;

    /// true mientras la ventana está fijada por encima de las demás.
    bool Fijada() const { return fijada_; }

    /// @name Controles, a la vista de las pruebas
    // @{
    QLabel* pantalla() const { return Pantalla_; }                     ///< la pantalla
    QPlainTextEdit* papel() const { return Papel_; }                   ///< el rollo de papel
    QWidget* panel() const { return Panel_; }                          ///< el panel de las teclas
    QPushButton* tecla(int indice) const { return tecla_.at(indice); } ///< la tecla `indice`
    QToolButton* fijarUp() const { return FijarUp_; }                  ///< «siempre visible»
    QPushButton* botonDecimales() const { return decimales_; }         ///< los decimales
    QPushButton* verPapel() const { return VerPapel_; }                ///< ver u ocultar el papel
    QPushButton* pegar() const { return Pegar_; }                      ///< pegar
    QToolButton* salir() const { return Salir_; }                      ///< cerrar
    QAction* guardarRollo() const { return GuardarRollo_; }            ///< guardar el rollo
    QAction* imprimirRollo() const { return ImprimirRollo_; }          ///< imprimir el rollo
    const Motor& motor() const { return motor_; }                      ///< el motor del cálculo
    // @}

protected:
    /// Las teclas de cualquier control van a la ventana; una pulsación en la pantalla
    /// muestra el papel (botón izquierdo) o pega (otro botón).
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    /// Teclado de la ventana: ver Form_KeyPress.
    void keyPressEvent(QKeyEvent* evento) override;
    /// Al soltar una tecla: ver Form_KeyUp.
    void keyReleaseEvent(QKeyEvent* evento) override;
    /// Arrastrar el fondo mueve la ventana.
    void mousePressEvent(QMouseEvent* evento) override;
    /// Mientras espera a otra ventana abierta desde ella, cerrarla la oculta y se cierra al
    /// volver.
    void closeEvent(QCloseEvent* evento) override;

private:
    void CrearControles();
    void CrearAccionesRollo();
    void MostrarMenuRollo();
    void Form_Load(const Arranque& arranque);
    void tecla_Click(int indice);
    void Pantalla_MouseDown(Qt::MouseButton boton);
    void DevolverFoco();
    void PonerAncho(int pixeles);
    void AjustarLetraPapel();
    bool AtenderTeclado(QEvent* evento);

    // Lo que el motor mueve.
    void Mostrar(const QString& texto, const QString& origen) override;
    void Anotar(const QString& linea) override;
    void Borrar() override;
    int Decimales() const override;
    void FijarDecimales(int decimales) override;
    void Copiar(const QString& texto) override;

    QPlainTextEdit* Papel_ = nullptr;
    QWidget* Panel_ = nullptr;
    QPushButton* Pegar_ = nullptr;
    std::array<QPushButton*, 24> tecla_{};
    QToolButton* FijarUp_ = nullptr;
    QPushButton* decimales_ = nullptr;
    QPushButton* VerPapel_ = nullptr;
    QToolButton* Salir_ = nullptr;
    basicos::EtiquetaDeValor* Pantalla_ = nullptr;
    QAction* GuardarRollo_ = nullptr;
    QAction* ImprimirRollo_ = nullptr;
    // Letras de la pantalla y del papel tras escalar la ventana: un número que no cabe se
    // enseña entero con una letra menor.
    QFont letraPantalla_;
    QFont letraPapel_;

    Motor motor_;
    bool fijada_ = false;
    // Mientras espera a una ventana abierta desde su tecla soltada (F8), la calculadora no se
    // destruye: si se cierra, se oculta y se cierra de verdad al volver.
    int esperando_ = 0;
    bool cerrarAlVolver_ = false;
    // Cerrada y a punto de destruirse: ya no es la calculadora abierta.
    bool cerrada_ = false;
};

} // namespace MiCalc
