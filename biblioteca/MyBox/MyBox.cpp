#include "MyBox/MyBox.h"

#include "MiVisor/Rejilla.h"
#include "MiniHelp/MiniHelp.h"
#include "MyBox/nucleo/rango.h"
#include "basicos/nucleo/error.h"
#include "basicos/nucleo/generales.h"
#include "basicos/pantalla.h"
#include "rutinas/avisos.h"
#include "rutinas/campos.h"
#include "rutinas/controles.h"
#include "rutinas/escalado.h"
#include "rutinas/generales.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>
#include <QWindow>
#include <algorithm>

namespace MyBox {

namespace {

QPointer<Ventana> instancia;

EstadoCuadro ultima; // la última respuesta: sobrevive a la descarga del cuadro

using basicos::PixelesX;
using basicos::PixelesY;

float TwipsX(int pixeles) {
    return static_cast<float>(basicos::TwipsX(pixeles));
}
float TwipsY(int pixeles) {
    return static_cast<float>(basicos::TwipsY(pixeles));
}

// Geometría de diseño (twips, respecto al área de la ventana) pasada a píxeles dentro del
// contenedor, que está en (60, 60).
void Colocar(QWidget* w, int x, int y, int ancho, int alto) {
    w->setGeometry(PixelesX(x - 60), PixelesY(y - 60), PixelesX(ancho), PixelesY(alto));
}

// Los campos del cuadro pasan por el motor de campos (rutinas::ConectarCampo), pero nunca
// quedan como UltimoCampo: SinUltimoCampo es true mientras el motor atiende su salida (lo pone
// AntesDelMotor y lo quita DespuesDelMotor; los filtros se atienden del último instalado al
// primero).
class AntesDelMotor : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* evento) override {
        if (evento->type() == QEvent::FocusOut)
            rutinas::SinUltimoCampo = true;
        return false;
    }
};

class DespuesDelMotor : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* evento) override {
        if (evento->type() == QEvent::FocusOut)
            rutinas::SinUltimoCampo = false;
        return false;
    }
};

QString IconoRecurso(int numero) {
    return QStringLiteral(":/MyBox/iconos/%1.svg").arg(numero, 2, 10, QLatin1Char('0'));
}

// Un icono que no está en la lista es un error de quien llama; se comprueba antes de cargar
// la ventana, para que no quede nada a medias.
void ComprobarIcono(int ElIcono) {
    if (ElIcono < 1 || ElIcono > NumeroIconos)
        throw basicos::ErrorZoq(QStringLiteral("El icono %1 no existe: los iconos van del 1 al %2.")
                                    .arg(ElIcono)
                                    .arg(NumeroIconos));
}

// El texto partido en líneas que caben en `ancho` píxeles con esa letra: cada línea que no
// cabe se parte por los blancos o, en una palabra más larga que el ancho (una ruta), por
// donde haga falta. Las líneas que caben quedan como estaban.
QString PartirParaAncho(const QString& texto, const QFont& letra, int ancho) {
    const QFontMetrics medidas(letra);
    const QString salto = QStringLiteral("\r\n");
    QStringList lineas;
    for (const QString& linea : texto.split(salto)) {
        if (medidas.horizontalAdvance(linea) <= ancho) {
            lineas << linea;
            continue;
        }
        QTextLayout composicion(linea, letra);
        QTextOption opcion;
        opcion.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        composicion.setTextOption(opcion);
        composicion.beginLayout();
        for (QTextLine l = composicion.createLine(); l.isValid(); l = composicion.createLine()) {
            l.setLineWidth(ancho);
            // El blanco donde se parte no se ve ni al final de una línea ni al principio de
            // la siguiente.
            QString trozo = linea.mid(l.textStart(), l.textLength());
            while (trozo.endsWith(u' '))
                trozo.chop(1);
            while (l.textStart() > 0 && trozo.startsWith(u' '))
                trozo.remove(0, 1);
            lineas << trozo;
        }
        composicion.endLayout();
    }
    return lineas.join(salto);
}

// El mensaje entero a la vista: las líneas que no caben a lo ancho se parten y, si no caben
// encima de los botones, el cuadro crece hacia abajo lo que haga falta.
void AjustarMensaje(Ventana& v) {
    const int margen = PixelesX(120);
    const int ancho = v.Contenedor->width() - v.Mensaje->x() - margen;
    v.Mensaje->setText(PartirParaAncho(v.Mensaje->text(), v.Mensaje->font(), ancho));
    v.Mensaje->adjustSize();
    const int falta = v.Mensaje->geometry().bottom() + PixelesY(120) - v.Boton[0]->y();
    if (falta <= 0)
        return;
    for (QWidget* w : {static_cast<QWidget*>(v.Boton[0]), static_cast<QWidget*>(v.Boton[1]),
                       static_cast<QWidget*>(v.Boton[2]), static_cast<QWidget*>(v.Ayuda)})
        w->move(w->x(), w->y() + falta);
    v.Contenedor->resize(v.Contenedor->width(), v.Contenedor->height() + falta);
    v.setFixedSize(v.width(), v.height() + falta);
}

} // namespace

const EstadoCuadro& Estado() {
    return ultima;
}

CuadroDeLaLlamada::CuadroDeLaLlamada() {
    if (Cargada() && instancia->isVisible()) {
        QWidget* encima = QApplication::activeModalWidget();
        ventana_ = new Ventana(encima ? encima : instancia.data());
    } else {
        ventana_ = &Instancia();
    }
}

CuadroDeLaLlamada::~CuadroDeLaLlamada() {
    delete ventana_.data();
}

Ventana::Ventana(QWidget* padre) : QDialog(padre) {
    setObjectName(QStringLiteral("MyBox"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("MyBox"));
    resize(PixelesX(7455), PixelesY(2175));

    Contenedor = new QWidget(this);
    Contenedor->setObjectName(QStringLiteral("Contenedor"));
    Contenedor->setGeometry(PixelesX(60), PixelesY(60), PixelesX(7335), PixelesY(2055));

    Imagen = new QLabel(Contenedor);
    Imagen->setObjectName(QStringLiteral("Imagen"));
    Colocar(Imagen, 180, 120, 435, 435);
    Imagen->setAlignment(Qt::AlignCenter);

    Mensaje = new QLabel(QStringLiteral("Mensaje"), Contenedor);
    Mensaje->setObjectName(QStringLiteral("Mensaje"));
    Mensaje->setTextFormat(Qt::PlainText); // un mensaje nunca es HTML
    Colocar(Mensaje, 720, 240, 0, 0);
    Mensaje->adjustSize();

    const int xBoton[3] = {5880, 4440, 3000};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(QStringLiteral("Boton%1").arg(i + 1), Contenedor);
        b->setObjectName(QStringLiteral("Boton_%1").arg(i));
        // Pulsadores sin más: se ven igual que los de estilo interruptor del diseño (que nunca
        // quedan hundidos) y la tecnología de asistencia los ve como botones, cuya acción de
        // pulsar contesta el cuadro como un clic.
        b->setAutoDefault(false);
        Colocar(b, xBoton[i], 1560, 1340, 372);
        b->installEventFilter(this);
        connect(b, &QPushButton::clicked, this, [this, i] { Boton_Click(i); });
        Boton[i] = b;
    }

    Ayuda = new QPushButton(Contenedor);
    Ayuda->setObjectName(QStringLiteral("Ayuda"));
    Ayuda->setIcon(QIcon(QStringLiteral(":/MyBox/iconos/ayuda.svg")));
    Ayuda->setIconSize(QSize(PixelesX(370), PixelesY(370)));
    Ayuda->setToolTip(QStringLiteral("Ayuda"));
    Ayuda->setAccessibleName(QStringLiteral("Ayuda"));
    Ayuda->setAccessibleDescription(QStringLiteral("Abre la ayuda de este dato"));
    Ayuda->setAutoDefault(false);
    Colocar(Ayuda, 60, 1380, 555, 555);
    Ayuda->hide();
    connect(Ayuda, &QPushButton::clicked, this, &Ventana::Ayuda_Click);

    CampoTexto = new QLineEdit(Contenedor);
    CampoTexto->setObjectName(QStringLiteral("CampoTexto"));
    Colocar(CampoTexto, 180, 960, 6915, 312);
    CampoTexto->hide();

    CampoHasta = new QLineEdit(Contenedor);
    CampoHasta->setObjectName(QStringLiteral("CampoHasta"));
    Colocar(CampoHasta, 3660, 1140, 3435, 312);
    CampoHasta->hide();

    auto etiqueta = [this](const QString& nombre, int x) {
        auto* e = new QLabel(nombre, Contenedor);
        e->setObjectName(QStringLiteral("eti") + nombre);
        QPalette paleta = e->palette();
        paleta.setColor(QPalette::WindowText, QColor(0, 0, 192));
        e->setPalette(paleta);
        Colocar(e, x, 660, 0, 0);
        e->adjustSize();
        e->hide();
        return e;
    };
    etiDesde = etiqueta(QStringLiteral("Desde"), 240);
    etiHasta = etiqueta(QStringLiteral("Hasta"), 3720);

    ConectarCampoDelCuadro(CampoTexto);
    ConectarCampoDelCuadro(CampoHasta);

    cbxTabla = new QComboBox(Contenedor);
    cbxTabla->setObjectName(QStringLiteral("cbxTabla"));
    cbxTabla->setEditable(false);
    cbxTabla->installEventFilter(this);
    cbxTabla->hide();

    auto* visor = new MiVisor::Rejilla(Contenedor);
    visor->setObjectName(QStringLiteral("VisorMini"));
    visor->setAccessibleName(QStringLiteral("Tabla"));
    visor->setSelectionBehavior(QAbstractItemView::SelectRows);
    Colocar(visor, 720, 60, 6495, 1425);
    visor->hide();
    connect(visor, &MiVisor::Rejilla::Click, this, &Ventana::VisorMini_Click);
    connect(visor, &MiVisor::Rejilla::DblClick, this, &Ventana::VisorMini_DblClick);
    connect(visor, &MiVisor::Rejilla::RowColChange, this, &Ventana::VisorMini_RowColChange);
    visor->installEventFilter(this);
    VisorMini = visor;

    // Orden de tabulación del diseño.
    ordenTab_ = {CampoTexto, Boton[2], Boton[1], Boton[0], CampoHasta, Ayuda, cbxTabla};
    PonerTabIndex(CampoTexto, 0);

    Form_Load();
}

Ventana::~Ventana() = default;

void Ventana::Form_Load() {
    Ayuda->hide();
    rutinas::FuenteFormulario(this);
    float ancho = 0;
    float alto = 0;
    rutinas::EscalarFormulario(this, ancho, alto, true);
    // El tamaño queda fijo: el cuadro no se estira.
    setFixedSize(size());
}

void Ventana::ConectarCampoDelCuadro(QWidget* campo) {
    campo->installEventFilter(new DespuesDelMotor(campo));
    rutinas::ConectarCampo(campo);
    campo->installEventFilter(new AntesDelMotor(campo));
}

void Ventana::PonerIcono(int ElIcono) {
    ComprobarIcono(ElIcono);
    const int lado = std::min(Imagen->width(), Imagen->height());
    Imagen->setPixmap(QIcon(IconoRecurso(ElIcono)).pixmap(QSize(lado, lado), devicePixelRatio()));
    Imagen->setProperty("NumeroIcono", ElIcono);
}

void Ventana::PonerTabIndex(QWidget* control, int indice) {
    auto it = std::find(ordenTab_.begin(), ordenTab_.end(), control);
    if (it != ordenTab_.end())
        ordenTab_.erase(it);
    indice = std::clamp(indice, 0, static_cast<int>(ordenTab_.size()));
    ordenTab_.insert(ordenTab_.begin() + indice, control);
    for (std::size_t i = 1; i < ordenTab_.size(); ++i)
        QWidget::setTabOrder(ordenTab_[i - 1], ordenTab_[i]);
}

QWidget* Ventana::PrimerFoco() const {
    for (QWidget* w : ordenTab_)
        if (!w->isHidden() && w->isEnabled() && w->focusPolicy() != Qt::NoFocus)
            return w;
    return nullptr;
}

void Ventana::BotonesYPosicion(int LosBotones, int BotonOmision, float& Top, float& Left,
                               QWidget* Formulario) {
    juego_ = LosBotones;
    if (LosBotones >= 1 && LosBotones <= 6) {
        const JuegoBotones juego = BotonesDelJuego(LosBotones);
        for (int i = 0; i < 3; ++i) {
            Boton[i]->setText(juego.titulos[i]);
            Boton[i]->setVisible(juego.visibles[i]);
        }
        if (const auto inicial = BotonInicial(LosBotones, BotonOmision))
            PonerTabIndex(Boton[*inicial], 0);
    }
    // Los juegos 3 y 5 no tienen respuesta para el cierre desde el marco.
    setWindowFlag(Qt::WindowCloseButtonHint, RespuestaAlCerrar(LosBotones).has_value());

    const QRect pantalla = QGuiApplication::primaryScreen()->geometry();
    std::optional<RectanguloTwips> sobre;
    if (Formulario) {
        const QRect r = Formulario->frameGeometry();
        sobre =
            RectanguloTwips{TwipsX(r.x()), TwipsY(r.y()), TwipsX(r.width()), TwipsY(r.height())};
    }
    CalcularPosicion(Top, Left, TwipsX(width()), TwipsY(height()), TwipsX(pantalla.width()),
                     TwipsY(pantalla.height()), sobre);
    move(PixelesX(Left), PixelesY(Top));
}

EstadoCuadro Ventana::Mostrar(EstadoCuadro inicial) {
    estado_ = inicial;
    QPointer<Ventana> yo(this);
    // La ventana que estaba activa vuelve a serlo al cerrarse el cuadro (el cuadro no es suyo,
    // y no todo gestor de ventanas le devuelve la activación): su foco sigue donde estaba.
    const QPointer<QWidget> anterior = QApplication::activeWindow();
    exec();
    if (anterior && anterior != this && anterior->isVisible())
        anterior->activateWindow();
    // Destruida durante la espera (con la ventana sobre la que estaba): no hubo respuesta.
    if (!yo)
        return inicial;
    // Si se salió sin descargar (no debería), se descarga aquí para que el próximo uso empiece
    // con el diseño.
    if (!descargada_)
        Descargar();
    ultima = estado_;
    return estado_;
}

void Ventana::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    if (QWidget* w = PrimerFoco())
        w->setFocus(Qt::TabFocusReason);
    // El control del primer foco se ve con el foco desde el principio (el estilo solo lo
    // marca tras moverse con el teclado): en un botón, es el que pulsará Intro.
    setAttribute(Qt::WA_KeyboardFocusChange);
}

void Ventana::Boton_Click(int Index) {
    // Un clic que llega mientras se atiende otro se descarta.
    if (enPulsacion_)
        return;
    enPulsacion_ = true;
    QPushButton* b = Boton[Index];

    // Un campo cuya fecha se acaba de borrar por no existir no da el cuadro por contestado: el
    // usuario ha de leer el aviso y escribirla otra vez.
    if (CodigoDeTitulo(b->text()) == Aceptar &&
        (rutinas::FechaBorradaAlSalir(CampoTexto) || rutinas::FechaBorradaAlSalir(CampoHasta))) {
        enPulsacion_ = false;
        return;
    }

    if (const auto codigo = CodigoDeTitulo(b->text()))
        estado_.respuesta = static_cast<float>(*codigo);

    if (!rutinas::Tag(CampoTexto).isEmpty())
        estado_.texto = CampoTexto->text();

    estado_.textoHasta.clear();
    if (!CampoHasta->isHidden()) {
        if (!DesdeHastaOk() && estado_.respuesta == static_cast<float>(Aceptar)) {
            enPulsacion_ = false;
            return;
        }
        estado_.textoHasta = CampoHasta->text();
    }
    if (!cbxTabla->isHidden())
        estado_.texto = cbxTabla->currentText();

    Ayuda->hide();
    QPointer<Ventana> yo(this);
    Descargar();
    QCoreApplication::processEvents();
    if (yo)
        yo->enPulsacion_ = false;
}

void Ventana::Ayuda_Click() {
    try {
        MiniHelp::CargarAyuda(rutinas::Tag(Ayuda));
        MiniHelp::Instancia().exec();
    } catch (const basicos::ErrorZoq& e) {
        MiniHelp::Descargar();
        rutinas::AvisoCritico(e.Descripcion());
    }
    rutinas::PonerFoco(rutinas::UltimoCampo);
}

bool Ventana::DesdeHastaOk() const {
    return RangoEnOrden(CampoTexto->text(), CampoHasta->text(), rutinas::Tag(CampoTexto),
                        rutinas::Tag(CampoHasta));
}

void Ventana::Descargar() {
    // La ventana deja de ser la instancia compartida y se oculta; la destruye la operación
    // que la mostró (CuadroDeLaLlamada).
    descargada_ = true;
    if (instancia == this)
        instancia = nullptr;
    hide();
}

bool Ventana::eventFilter(QObject* objeto, QEvent* evento) {
    if (evento->type() == QEvent::KeyPress) {
        const auto* tecla = static_cast<QKeyEvent*>(evento);
        const bool intro = tecla->key() == Qt::Key_Return || tecla->key() == Qt::Key_Enter;
        if (objeto == VisorMini && tecla->modifiers() == Qt::NoModifier &&
            (intro || tecla->key() == Qt::Key_Space)) {
            VisorMini_KeyPress(intro ? 13 : u' ');
            return true;
        }
        if (objeto == cbxTabla && intro) {
            // Como en un campo del cuadro: Intro pasa al control siguiente ("Aceptar").
            focusNextChild();
            return true;
        }
        for (auto* b : Boton) {
            if (objeto == b && (tecla->key() == Qt::Key_Return || tecla->key() == Qt::Key_Enter)) {
                b->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(objeto, evento);
}

void Ventana::mousePressEvent(QMouseEvent* evento) {
    // Una pulsación sobre la superficie de la ventana la arrastra, como sobre el título.
    if (evento->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
    QDialog::mousePressEvent(evento);
}

void Ventana::closeEvent(QCloseEvent* evento) {
    // Cierre desde el marco: la respuesta del cuadro estándar, nunca la de la vez anterior.
    const auto respuesta = RespuestaAlCerrar(juego_);
    if (!respuesta) {
        evento->ignore();
        return;
    }
    estado_.respuesta = static_cast<float>(*respuesta);
    estado_.texto.clear();
    estado_.textoHasta.clear();
    Ayuda->hide();
    descargada_ = true;
    if (instancia == this)
        instancia = nullptr;
    evento->accept(); // se oculta y acaba la espera modal
}

void Ventana::reject() {}

Ventana& Instancia() {
    if (!instancia)
        instancia = new Ventana;
    return *instancia;
}

bool Cargada() {
    return !instancia.isNull();
}

float MyMsgBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono, int LosBotones,
               int BotonOmision, float& Top, float& Left, QWidget* Formulario) {
    ComprobarIcono(ElIcono);
    const CuadroDeLaLlamada v;
    v->Mensaje->setText(TextoConSaltos(ElMensaje));
    AjustarMensaje(*v);
    v->setWindowTitle(ElTitulo);
    v->PonerIcono(ElIcono);
    v->BotonesYPosicion(LosBotones, BotonOmision, Top, Left, Formulario);
    return v->Mostrar(Estado()).respuesta;
}

float MyMsgBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono, int LosBotones,
               int BotonOmision, QWidget* Formulario) {
    float Top = -1;
    float Left = -1;
    return MyMsgBox(ElMensaje, ElTitulo, ElIcono, LosBotones, BotonOmision, Top, Left, Formulario);
}

QString MyInputBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono,
                   const QString& TagDelCampo, const QString& DatoInicial, float& Top, float& Left,
                   QWidget* Formulario, const QString& FicheroAyuda) {
    ComprobarIcono(ElIcono);
    const CuadroDeLaLlamada v;
    v->Mensaje->setText(TextoConSaltos(ElMensaje));
    v->Mensaje->adjustSize();
    v->setWindowTitle(ElTitulo);
    v->PonerIcono(ElIcono);

    if (!FicheroAyuda.isEmpty()) {
        const bool hay = basicos::Existe(FicheroAyuda);
        v->Ayuda->setVisible(hay);
        if (hay)
            rutinas::PonerTag(v->Ayuda, FicheroAyuda);
    }

    v->BotonesYPosicion(2, 1, Top, Left, Formulario);

    // El campo se llama como la pregunta del cuadro; en un rango, «Desde» y «Hasta».
    const QString pregunta = v->Mensaje->text().simplified();
    v->CampoTexto->setAccessibleName(pregunta);
    v->CampoTexto->setAccessibleDescription(QString());
    v->CampoHasta->setAccessibleName(QStringLiteral("Hasta"));
    v->CampoHasta->setAccessibleDescription(pregunta);
    v->cbxTabla->setAccessibleName(pregunta);

    enum class Modo { Valor, Rango, Lista };
    const Modo modo = TagDelCampo == u"TABLA"                      ? Modo::Lista
                      : TagDelCampo.endsWith(QLatin1String("(/)")) ? Modo::Rango
                                                                   : Modo::Valor;
    switch (modo) {
    case Modo::Valor:
        rutinas::PonerTag(v->CampoTexto, TagDelCampo);
        v->CampoTexto->setText(DatoInicial);
        v->CampoTexto->show();
        v->PonerTabIndex(v->CampoTexto, 0);
        break;
    case Modo::Rango: {
        v->CampoTexto->resize(v->CampoHasta->width(), v->CampoTexto->height());
        v->CampoTexto->setAccessibleName(QStringLiteral("Desde"));
        v->CampoTexto->setAccessibleDescription(pregunta);
        rutinas::PonerTag(v->CampoTexto, TagDelCampo);
        rutinas::PonerTag(v->CampoHasta, TagDelCampo);
        v->PonerTabIndex(v->CampoTexto, 0);
        v->PonerTabIndex(v->CampoHasta, 1);
        if (const auto partes = PartirRango(DatoInicial)) {
            v->CampoTexto->setText(rutinas::FormatoVisual(partes->first, TagDelCampo));
            v->CampoHasta->setText(rutinas::FormatoVisual(partes->second, TagDelCampo));
        }
        v->CampoHasta->move(v->CampoHasta->x(), v->CampoTexto->y());
        v->etiDesde->show();
        v->etiHasta->show();
        v->CampoTexto->show();
        v->CampoHasta->show();
        break;
    }
    case Modo::Lista:
        rutinas::LlenarLista(DatoInicial, v->cbxTabla);
        v->cbxTabla->setGeometry(v->CampoTexto->x(), v->CampoTexto->y(), v->CampoTexto->width(),
                                 v->cbxTabla->sizeHint().height());
        v->cbxTabla->show();
        v->PonerTabIndex(v->cbxTabla, 0);
        break;
    }

    const EstadoCuadro llamada = v->Mostrar(Estado());

    if (llamada.respuesta != static_cast<float>(Aceptar))
        return QString();
    switch (modo) {
    case Modo::Valor:
        return rutinas::FormatoEdicion(llamada.texto, TagDelCampo);
    case Modo::Rango:
        return UnirRango(rutinas::FormatoEdicion(llamada.texto, TagDelCampo),
                         rutinas::FormatoEdicion(llamada.textoHasta, TagDelCampo));
    case Modo::Lista:
        break;
    }
    return llamada.texto;
}

QString MyInputBox(const QString& ElMensaje, const QString& ElTitulo, int ElIcono,
                   const QString& TagDelCampo, const QString& DatoInicial, QWidget* Formulario,
                   const QString& FicheroAyuda) {
    float Top = -1;
    float Left = -1;
    return MyInputBox(ElMensaje, ElTitulo, ElIcono, TagDelCampo, DatoInicial, Top, Left, Formulario,
                      FicheroAyuda);
}

bool DesdeHastaOk() {
    return Cargada() ? Instancia().DesdeHastaOk() : true;
}

} // namespace MyBox
