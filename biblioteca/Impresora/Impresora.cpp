#include "Impresora/Impresora.h"

#include "Impresora/ImpresoraActual.h"
#include "rutinas/escalado.h"
#include "rutinas/generales.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include <cmath>

namespace Impresora {

QString ImpresoraElegida;
QString OrientacionElegida;
bool ImpresionCancelada = false;

namespace {

QPointer<Ventana>& compartida() {
    static QPointer<Ventana> v;
    return v;
}

// Medidas del diseño, en twips, a píxeles.
int px(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

} // namespace

Ventana& Instancia() {
    if (!compartida())
        compartida() = new Ventana();
    return *compartida();
}

bool Cargada() {
    return !compartida().isNull();
}

void ProponerApaisado() {
    Instancia().ModoPapel_Click();
}

Ventana::Ventana() : QDialog(nullptr) {
    setObjectName("Impresora");
    setWindowTitle(QStringLiteral("  Selección de Impresora"));
    setModal(true);
    resize(px(4455), px(1800));

    MisIconos[1] = QIcon(QStringLiteral(":/Impresora/papel-vertical.svg"));
    MisIconos[2] = QIcon(QStringLiteral(":/Impresora/papel-apaisado.svg"));
    MisIconos[3] = QIcon(QStringLiteral(":/Impresora/papel-interrogacion.svg"));

    MarcoImpresora = new QGroupBox(this);
    MarcoImpresora->setObjectName("MarcoImpresora");
    MarcoImpresora->setGeometry(px(60), px(0), px(4335), px(1740));
    Etiqueta = new QLabel(QStringLiteral("Impresoras"), MarcoImpresora);
    Etiqueta->setObjectName("Etiqueta");
    Etiqueta->move(px(600), px(240));
    Imagen = new QLabel(MarcoImpresora);
    Imagen->setObjectName("Imagen");
    Imagen->setGeometry(px(120), px(120), 32, 32);
    Imagen->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    ListaImpresoras = new QComboBox(MarcoImpresora);
    ListaImpresoras->setObjectName("ListaImpresoras");
    ListaImpresoras->setAccessibleName(QStringLiteral("Impresora"));
    ListaImpresoras->setGeometry(px(120), px(600), px(4095), ListaImpresoras->sizeHint().height());
    ModoPapel = new QToolButton(MarcoImpresora);
    ModoPapel->setObjectName("ModoPapel");
    ModoPapel->setAccessibleName(QStringLiteral("Orientación del papel"));
    ModoPapel->setAccessibleDescription(QStringLiteral("Cambia entre vertical y apaisado"));
    ModoPapel->setGeometry(px(1800), px(960), px(735), px(735));
    ModoPapel->setIconSize(QSize(32, 32));
    cmdAceptar = new QPushButton(QStringLiteral("Aceptar"), MarcoImpresora);
    cmdAceptar->setObjectName("cmdAceptar");
    cmdAceptar->setGeometry(px(120), px(1080), px(1575), px(492));
    cmdAceptar->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    cmdCancelar = new QPushButton(QStringLiteral("Cancelar"), MarcoImpresora);
    cmdCancelar->setObjectName("cmdCancelar");
    cmdCancelar->setGeometry(px(2640), px(1080), px(1575), px(492));
    cmdCancelar->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    // Intro acepta desde la lista y el botón del papel; en un botón con el foco, lo pulsa.
    cmdAceptar->setAutoDefault(true);
    cmdCancelar->setAutoDefault(true);
    cmdAceptar->setDefault(true);
    // El tabulador recorre los controles como se ven: la lista y, debajo, de izquierda a
    // derecha, Aceptar, el papel y Cancelar. El foco empieza en la lista (showEvent).
    setTabOrder(ListaImpresoras, cmdAceptar);
    setTabOrder(cmdAceptar, ModoPapel);
    setTabOrder(ModoPapel, cmdCancelar);

    connect(ModoPapel, &QToolButton::clicked, this, &Ventana::ModoPapel_Click);
    connect(ListaImpresoras, &QComboBox::activated, this, &Ventana::ListaImpresoras_Click);
    connect(cmdAceptar, &QPushButton::clicked, this, &Ventana::cmdAceptar_Click);
    connect(cmdCancelar, &QPushButton::clicked, this, &Ventana::cmdCancelar_Click);

    Form_Load();
}

void Ventana::Form_Load() {
    rutinas::FuenteFormulario(this);
    float ancho = 0, alto = 0;
    rutinas::EscalarFormulario(this, ancho, alto, true);
    const int indice = rutinas::IndiceImpresora();
    ListaImpresoras->clear();
    ListaImpresoras->addItems(NombresImpresoras());
    if (ListaImpresoras->count() > 0)
        ListaImpresoras->setCurrentIndex(indice);
    ListaImpresoras->setToolTip(ImpresoraActual().printerName());

    papel_ = EstadoPapel{};
    papel_.tag = TagInicial(OrientacionActual());
    ModoPapel->setIcon(MisIconos[static_cast<int>(papel_.dibujo)]);
    ModoPapel->setToolTip(papel_.ayuda);
    ModoPapel_Click();
}

void Ventana::ModoPapel_Click() {
    papel_ = AlternarPapel(papel_);
    ModoPapel->setIcon(MisIconos[static_cast<int>(papel_.dibujo)]);
    ModoPapel->setToolTip(papel_.ayuda);
}

void Ventana::ListaImpresoras_Click() {
    ListaImpresoras->setToolTip(ListaImpresoras->currentText());
}

void Ventana::cmdAceptar_Click() {
    ImpresionCancelada = false;
    ImpresoraElegida = ListaImpresoras->currentText();
    OrientacionElegida = papel_.tag;
    Descargar();
}

void Ventana::cmdCancelar_Click() {
    ImpresionCancelada = true;
    Descargar();
}

void Ventana::reject() {
    cmdCancelar_Click();
}

void Ventana::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    ListaImpresoras->setFocus(Qt::TabFocusReason);
    setAttribute(Qt::WA_KeyboardFocusChange);
}

void Ventana::Descargar() {
    QDialog::done(ImpresionCancelada ? Rejected : Accepted);
    compartida().clear();
    deleteLater();
    QCoreApplication::processEvents();
}

} // namespace Impresora
