#include "MiniHelp/MiniHelp.h"

#include "MiniHelp/documento_ayuda.h"
#include "MiniHelp/navegador.h"
#include "MiniHelp/nucleo/titulo.h"
#include "basicos/pantalla.h"
#include "rutinas/escalado.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTextEdit>
#include <QVersionNumber>

#ifndef ZOQ_VERSION
#define ZOQ_VERSION "0.0.0"
#endif

namespace MiniHelp {

namespace {

QPointer<Ventana> instancia;

using basicos::PixelesX;
using basicos::PixelesY;

// Posiciones y tamaños del diseño, en twips.
QRect Rect(float x, float y, float ancho, float alto) {
    return QRect(PixelesX(x), PixelesY(y), PixelesX(ancho), PixelesY(alto));
}

const QColor fondoExplorador(128, 128, 255);

} // namespace

// --- Franja de título ---------------------------------------------------------------------

void FranjaTitulo::Dibujar(const QString& texto) {
    texto_ = texto;
    show();
    update();
}

void FranjaTitulo::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(200, 225, 255));
    p.setPen(QColor(0, 0, 128));
    const QFontMetrics m(font());
    const int ancho = m.horizontalAdvance(texto_);
    const int alto = m.height();
    p.drawText(QPoint((width() - ancho) / 2, (height() - alto) / 2 + m.ascent()), texto_);
}

// --- Ventana ----------------------------------------------------------------------------

Ventana::Ventana(QWidget* padre) : QDialog(padre) {
    setObjectName(QStringLiteral("MiniHelp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral(" "));
    // Sin título a la vista, pero el lector de pantalla la anuncia por su nombre.
    setAccessibleName(QStringLiteral("Ayuda"));
    resize(PixelesX(8310), PixelesY(8205));

    TextoAyuda = new QTextEdit(this);
    TextoAyuda->setObjectName(QStringLiteral("TextoAyuda"));
    TextoAyuda->setReadOnly(true);
    TextoAyuda->setAccessibleName(QStringLiteral("Texto de la ayuda"));
    TextoAyuda->setGeometry(Rect(60, 60, 8175, 8055));

    MiVersion = new FranjaTitulo(this);
    MiVersion->setObjectName(QStringLiteral("MiVersion"));
    MiVersion->setGeometry(Rect(1140, 240, 5835, 375));
    MiVersion->hide();

    cmdCerrar = new QPushButton(this);
    cmdCerrar->setObjectName(QStringLiteral("cmdCerrar"));
    cmdCerrar->setIcon(QIcon(QStringLiteral(":/MiniHelp/cerrar.svg")));
    cmdCerrar->setIconSize(QSize(PixelesX(370), PixelesY(370)));
    cmdCerrar->setToolTip(QStringLiteral("Cerrar"));
    cmdCerrar->setAccessibleName(QStringLiteral("Cerrar la ayuda"));
    cmdCerrar->setAutoDefault(false);
    cmdCerrar->setGeometry(Rect(7320, 180, 555, 555));
    connect(cmdCerrar, &QPushButton::clicked, this, &Ventana::cmdCerrar_Click);

    Form_Load();
}

Ventana::~Ventana() = default;

void Ventana::Form_Load() {
    rutinas::FuenteFormulario(this);
    float ancho = 0;
    float alto = 0;
    rutinas::EscalarFormulario(this, ancho, alto, true);
    setFixedSize(size());
    // Se abre en el centro del área de trabajo.
    basicos::CentrarFormulario(this);
    FalloNavegacion = false;
}

void Ventana::CrearMiniWeb() {
    if (MiniWeb)
        return;
    MiniWeb = CrearNavegador(this);
    MiniWeb->setObjectName(QStringLiteral("MiniWeb"));
    // Se crea después de la carga: su sitio de diseño lleva ya la escala de la suite.
    MiniWeb->setGeometry(Rect(rutinas::EscalaX(120), rutinas::EscalaY(840), rutinas::EscalaX(8115),
                              rutinas::EscalaY(7215)));
    MiniWeb->hide();
    connect(MiniWeb, &Navegador::ErrorNavegacion, this, [this] { FalloNavegacion = true; });
    // El botón de cerrar y la franja quedan por encima del navegador.
    MiVersion->raise();
    cmdCerrar->raise();
}

void Ventana::CargarAyuda(const QString& Fichero) {
    CargarFicheroAyuda(Fichero, *TextoAyuda->document());
}

void Ventana::MiExplorer(const QString& URL, bool& Problema) {
    QPalette paleta = TextoAyuda->palette();
    paleta.setColor(QPalette::Base, fondoExplorador);
    TextoAyuda->setPalette(paleta);

    QPointer<Ventana> yo(this);
    {
        // Puntero de espera mientras se carga la página (la primera vez, también el módulo
        // del navegador).
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const auto restaurar = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        CrearMiniWeb();
        QPointer<Navegador> web(MiniWeb);
        web->Navegar(URL);
        while (yo && web && web->Ocupado())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!yo || !web)
            return;
    }
    if (FalloNavegacion) {
        Problema = true;
        cmdCerrar_Click();
        return;
    }
    if (MiniWeb->isHidden())
        TituloMiniWeb(QString());
    MiniWeb->show();
}

void Ventana::TituloMiniWeb(const QString& Titulo) {
    MiVersion->Dibujar(Titulo.isEmpty() ? TituloPrograma() : Titulo);
}

void Ventana::cmdCerrar_Click() {
    close();
}

void Ventana::closeEvent(QCloseEvent* evento) {
    // Cerrar es descargar: el próximo uso carga una ventana nueva.
    if (instancia == this)
        instancia = nullptr;
    evento->accept();
}

void Ventana::reject() {
    cmdCerrar->click();
}

// --- Operaciones sobre la instancia compartida ---------------------------------------------

Ventana& Instancia() {
    if (!instancia)
        instancia = new Ventana;
    return *instancia;
}

bool Cargada() {
    return !instancia.isNull();
}

void Descargar() {
    if (instancia)
        instancia->cmdCerrar_Click();
}

void CargarAyuda(const QString& Fichero) {
    Instancia().CargarAyuda(Fichero);
}

void MiExplorer(const QString& URL, bool& Problema) {
    Instancia().MiExplorer(URL, Problema);
}

void TituloMiniWeb(const QString& Titulo) {
    Instancia().TituloMiniWeb(Titulo);
}

QString TituloPrograma() {
    QVersionNumber version = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    if (version.isNull())
        version = QVersionNumber::fromString(QStringLiteral(ZOQ_VERSION));
    const QString ejecutable =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return TituloPorOmision(ejecutable, version);
}

} // namespace MiniHelp
