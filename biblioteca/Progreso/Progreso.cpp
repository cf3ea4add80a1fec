#include "Progreso/Progreso.h"

#include "basicos/pantalla.h"
#include "rutinas/escalado.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QTime>
#include <QWindow>

#include <cmath>

namespace Progreso {

bool ProgresoEnEsquina = false;

namespace {

QPointer<Ventana>& compartida() {
    static QPointer<Ventana> v;
    return v;
}

Ventana::Reloj& reloj() {
    static Ventana::Reloj r;
    return r;
}

double ahora() {
    if (reloj())
        return reloj()();
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

// Medidas del diseño, en twips, a píxeles de la pantalla.
int px(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QLabel* etiqueta(QWidget* padre, const QString& texto, int x, int y, int ancho, int alto,
                 const QColor& color) {
    auto* l = new QLabel(texto, padre);
    l->setGeometry(px(x), px(y), px(ancho), px(alto));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}

constexpr int PasosBarra = 10000;

} // namespace

void Ventana::PonerReloj(Reloj r) {
    reloj() = std::move(r);
}

bool Ventana::Cargada() {
    return !compartida().isNull();
}

Ventana& Ventana::Instancia() {
    if (!compartida())
        compartida() = new Ventana();
    return *compartida();
}

Ventana::Ventana()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("Progreso");
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(px(6585), px(1350));
    basicos::RegistrarFuentes();
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    setFont(f);
    setAutoFillBackground(true);
    QPalette fondo = palette();
    fondo.setColor(QPalette::Window, QColor(0xC8, 0xE0, 0xF8));
    setPalette(fondo);

    auto* Picture2 = new QWidget(this);
    Picture2->setObjectName("Picture2");
    Picture2->setGeometry(px(60), px(60), px(6432), px(1215));
    Picture2->setAttribute(Qt::WA_TransparentForMouseEvents);

    const QColor azulOscuro(0, 0, 0x80), azul(0, 0, 0xFF), negro(Qt::black);
    BarraTitulo = etiqueta(Picture2, "Titulo", 600, 120, 5730, 180, azulOscuro);
    BarraTitulo->setObjectName("BarraTitulo");
    QFont negrita = BarraTitulo->font();
    negrita.setBold(true);
    BarraTitulo->setFont(negrita);
    auto* Image1 = new QLabel(Picture2);
    Image1->setObjectName("Image1");
    Image1->setGeometry(px(60), px(60), 32, 32);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
    etiqueta(Picture2, "Porcentaje", 600, 480, 855, 195, negro);
    BarraPor = etiqueta(Picture2, "0.00 %", 1560, 420, 915, 255, azul);
    BarraPor->setObjectName("BarraPor");
    etiqueta(Picture2, "Estimado", 2580, 480, 690, 195, negro);
    BarraEst = etiqueta(Picture2, "mm:ss", 3360, 420, 915, 255, azul);
    BarraEst->setObjectName("BarraEst");
    etiqueta(Picture2, "Transcurrido", 4380, 480, 990, 195, negro);
    BarraTra = etiqueta(Picture2, "mm:ss", 5400, 420, 915, 255, azul);
    BarraTra->setObjectName("BarraTra");
    Barra = new QProgressBar(Picture2);
    Barra->setObjectName("Barra");
    Barra->setGeometry(px(60), px(780), px(6315), px(315));
    Barra->setRange(0, PasosBarra);
    Barra->setValue(0);
    Barra->setTextVisible(false);
}

void Ventana::ponerBarra(float valor) {
    // La barra de Qt es entera: se reparte el rango real en PasosBarra pasos.
    const double ancho = static_cast<double>(estado_.maximo()) - estado_.minimo();
    const double fraccion = ancho > 0 ? (valor - estado_.minimo()) / ancho : 0;
    Barra->setValue(static_cast<int>(std::lround(fraccion * PasosBarra)));
}

void Ventana::Arrancar(float Minimo, float Maximo, const QString& Titulo) {
    estado_.iniciar(Minimo, Maximo, ahora());
    ponerBarra(estado_.minimo());
    BarraTitulo->setText(Titulo);
    setWindowTitle(Titulo); // no tiene marco: es el nombre con que la anuncia el lector
    // La ventana se escala una vez por carga: en el primer arranque. Volver a escalarla en cada
    // arranque la agrandaría cada vez.
    if (!escalada_) {
        float ancho = 0, alto = 0;
        rutinas::EscalarFormulario(this, ancho, alto, true);
        escalada_ = true;
    }
    show();
    if (ProgresoEnEsquina)
        move(0, 0);
    QCoreApplication::processEvents();
}

void Ventana::Actualizar(float Valor, bool ForzarVision) {
    if (const auto r = estado_.actualizar(Valor, ForzarVision, ahora())) {
        if (r->valorBarra)
            ponerBarra(*r->valorBarra);
        if (r->porcentaje)
            BarraPor->setText(*r->porcentaje);
        BarraTra->setText(r->transcurrido);
        if (r->estimado)
            BarraEst->setText(*r->estimado);
    }
    QCoreApplication::processEvents();
}

void Ventana::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    // Como en la barra de título: el sistema mueve la ventana. Donde no se puede (sin gestor
    // de ventanas), se sigue al ratón a mano.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    arrastrando_ = true;
    arrastre_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void Ventana::mouseMoveEvent(QMouseEvent* e) {
    if (arrastrando_)
        move(e->globalPosition().toPoint() - arrastre_);
}

void Ventana::mouseReleaseEvent(QMouseEvent*) {
    arrastrando_ = false;
}

void BarraProgreso(int Opcion, float Valor, bool ForzarVision, float Minimo, float Maximo,
                   const QString& Titulo) {
    switch (Opcion) {
    case 1:
        Ventana::Instancia().Arrancar(Minimo, Maximo, Titulo);
        break;
    case 2:
        if (Ventana::Cargada()) {
            Ventana& v = Ventana::Instancia();
            v.hide();
            QCoreApplication::processEvents();
            delete &v;
        }
        break;
    case 3:
        Ventana::Instancia().Actualizar(Valor, ForzarVision);
        break;
    case 4:
        Ventana::Instancia().hide();
        break;
    case 5:
        Ventana::Instancia().show();
        break;
    default:
        break;
    }
}

} // namespace Progreso
