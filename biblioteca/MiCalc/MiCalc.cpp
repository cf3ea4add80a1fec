#include "MiCalc/MiCalc.h"

#include "Impresora/ImpresoraActual.h"
#include "MyBox/MyBox.h"
#include "basicos/nucleo/temporales.h"
#include "basicos/pantalla.h"
#include "basicos/teclas_globales.h"
#include "rutinas/escalado.h"
#include "rutinas/nucleo/formato.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QTextOption>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace MiCalc {

namespace {

// Diseño de la ventana, en twips.
constexpr int Margen = 120;
constexpr int AnchoTecla = 600, AltoTecla = 480, Hueco = 60;
constexpr int AnchoPanel = Margen + 5 * AnchoTecla + 4 * Hueco; // 3360
constexpr int AltoPanel = 5 * AltoTecla + 4 * Hueco;            // 2640
constexpr int ArribaPanel = 1260;
constexpr int AnchoDiseno = AnchoPanel + Margen;             // 3480
constexpr int AltoDiseno = ArribaPanel + AltoPanel + Margen; // 4020
constexpr int AnchoPapel = 3000;

QRect Rectangulo(int izquierda, int arriba, int ancho, int alto) {
    return QRect(basicos::PixelesX(izquierda), basicos::PixelesY(arriba), basicos::PixelesX(ancho),
                 basicos::PixelesY(alto));
}

QFont Letra(const QString& familia, int puntos, bool negrita, QFont::StyleHint estilo) {
    QFont letra(familia, puntos, negrita ? QFont::Bold : QFont::Normal);
    letra.setStyleHint(estilo);
    return letra;
}

// La letra `base`, o una menor en la misma proporción si con ella `texto` (el más ancho) no
// cabe en `ancho` píxeles: el número se ve entero, nunca cortado.
QFont LetraQueCabe(const QFont& base, const QString& texto, int ancho) {
    const int necesita = QFontMetrics(base).horizontalAdvance(texto);
    if (necesita <= ancho || ancho <= 0)
        return base;
    QFont letra = base;
    qreal puntos = base.pointSizeF() * ancho / necesita;
    letra.setPointSizeF(std::max<qreal>(puntos, 1));
    // El redondeo de las medidas puede dejarla un poco ancha: se afina.
    while (puntos > 1 && QFontMetrics(letra).horizontalAdvance(texto) > ancho) {
        puntos *= 0.95;
        letra.setPointSizeF(std::max<qreal>(puntos, 1));
    }
    return letra;
}

// La impresión del rollo en un dispositivo de páginas (una impresora o un PDF).
template <class Hoja> bool PintarRollo(Hoja& hoja, const QStringList& lineas) {
    QFont letra(QStringLiteral("Courier"), 10);
    letra.setStyleHint(QFont::TypeWriter);
    letra.setFixedPitch(true);
    QPainter pintor;
    if (!pintor.begin(&hoja))
        return false;
    pintor.setFont(letra);
    const QFontMetrics medidas(pintor.font(), &hoja);
    const int alto = hoja.pageLayout().paintRectPixels(hoja.resolution()).height();
    int y = medidas.ascent();
    for (const QString& linea : lineas) {
        if (y + medidas.descent() > alto) {
            hoja.newPage();
            y = medidas.ascent();
        }
        pintor.drawText(0, y, linea);
        y += medidas.lineSpacing();
    }
    return pintor.end();
}

void Colorear(QWidget* control, QPalette::ColorRole papel, const QColor& color) {
    QPalette paleta = control->palette();
    paleta.setColor(papel, color);
    control->setPalette(paleta);
}

} // namespace

Arranque Arranque::DelProceso() {
    QStringList argumentos = QCoreApplication::arguments();
    if (!argumentos.isEmpty())
        argumentos.removeFirst();
    return {argumentos.join(QLatin1Char(' ')),
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()};
}

MiCalc::MiCalc(const Arranque& arranque)
    : motor_(static_cast<Pantalla&>(*this), static_cast<Papel&>(*this),
             static_cast<AjusteDecimales&>(*this), static_cast<Portapapeles&>(*this)) {
    setObjectName(QStringLiteral("MiCalc"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Calculadora"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint);
    PedirRutaRollo = [this](const QString& propuesta) {
        QFileDialog dialogo(this, QStringLiteral("Guardar el rollo"), propuesta,
                            QStringLiteral("Texto (*.txt);;Todos los ficheros (*)"));
        dialogo.setOption(QFileDialog::DontUseNativeDialog);
        dialogo.setAcceptMode(QFileDialog::AcceptSave);
        dialogo.setDefaultSuffix(QStringLiteral("txt"));
        return dialogo.exec() == QDialog::Accepted && !dialogo.selectedFiles().isEmpty()
                   ? dialogo.selectedFiles().constFirst()
                   : QString();
    };
    PrepararImpresora = [this](QPrinter& impresora) {
        QPrintDialog dialogo(&impresora, this);
        dialogo.setWindowTitle(QStringLiteral("Imprimir el rollo"));
        return dialogo.exec() == QDialog::Accepted;
    };
    Avisar = [this](const QString& texto) {
        MyBox::MyMsgBox(texto, QString(), 1, 1, 1, this);
    };
    CrearControles();
    CrearAccionesRollo();
    Form_Load(arranque);
}

void MiCalc::CrearAccionesRollo() {
    // Con el ratón, en el menú del papel y del fondo de la ventana; con el teclado, sus atajos
    // o la tecla de menú (o Mayúsculas+F10).
    GuardarRollo_ = new QAction(QStringLiteral("&Guardar el rollo…"), this);
    GuardarRollo_->setObjectName(QStringLiteral("GuardarRollo"));
    GuardarRollo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(GuardarRollo_, &QAction::triggered, this, &MiCalc::GuardarRollo_Click);
    ImprimirRollo_ = new QAction(QStringLiteral("&Imprimir el rollo…"), this);
    ImprimirRollo_->setObjectName(QStringLiteral("ImprimirRollo"));
    ImprimirRollo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(ImprimirRollo_, &QAction::triggered, this, &MiCalc::ImprimirRollo_Click);
    for (QAction* accion : {GuardarRollo_, ImprimirRollo_}) {
        accion->setShortcutVisibleInContextMenu(true);
        accion->setEnabled(false); // sin nada en el papel no hay rollo que guardar
        addAction(accion);
        Papel_->addAction(accion);
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);
    Papel_->setContextMenuPolicy(Qt::ActionsContextMenu);
    // En la pantalla el botón derecho pega.
    Pantalla_->setContextMenuPolicy(Qt::PreventContextMenu);
}

MiCalc::~MiCalc() = default;

MiCalc* MiCalc::Instancia() {
    for (QWidget* ventana : QApplication::topLevelWidgets()) {
        auto* calculadora = qobject_cast<MiCalc*>(ventana);
        if (calculadora != nullptr && !calculadora->cerrada_ && !calculadora->cerrarAlVolver_)
            return calculadora;
    }
    return new MiCalc;
}

QString MiCalc::Evaluar(const QString& Expresion) {
    Q_UNUSED(Expresion);
    return QString();
}

void MiCalc::CrearControles() {
    basicos::RegistrarFuentes();
    setGeometry(Rectangulo(0, 0, AnchoDiseno, AltoDiseno));

    Papel_ = new QPlainTextEdit(this);
    Papel_->setObjectName(QStringLiteral("Papel"));
    Papel_->setGeometry(Rectangulo(AnchoDiseno, Margen, AnchoPapel, AltoDiseno - 2 * Margen));
    Papel_->setFont(Letra(QStringLiteral("Courier"), 9, false, QFont::TypeWriter));
    Papel_->setReadOnly(true);
    Papel_->setFocusPolicy(Qt::NoFocus);
    Papel_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Alineado a la derecha y sin partir líneas: el operador va siempre tras su número. Una
    // línea que no cabe hace menor la letra (AjustarLetraPapel); nunca hace falta desplazarlo
    // a lo ancho.
    QTextOption alineado(Qt::AlignRight);
    alineado.setWrapMode(QTextOption::NoWrap);
    Papel_->document()->setDefaultTextOption(alineado);
    Papel_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Papel_->hide();

    Panel_ = new QWidget(this);
    Panel_->setObjectName(QStringLiteral("Panel"));
    Panel_->setGeometry(Rectangulo(0, ArribaPanel, AnchoPanel, AltoPanel));
    Panel_->setFocusPolicy(Qt::StrongFocus);

    Pegar_ = new QPushButton(QStringLiteral("Pegar"), this);
    Pegar_->setObjectName(QStringLiteral("Pegar"));
    Pegar_->setGeometry(Rectangulo(Margen, 750, 840, 390));
    Pegar_->setAccessibleDescription(
        QStringLiteral("Pone en la pantalla el número del portapapeles"));
    connect(Pegar_, &QPushButton::clicked, this, &MiCalc::Pegar_Click);

    const QColor cifras(0xf4, 0xf4, 0xf0), operadores(0xdd, 0xe3, 0xea),
        especiales(0xe6, 0xdd, 0xc8), borrar(0xe8, 0xc4, 0xbc);
    for (int i = 0; i < int(Teclas.size()); ++i) {
        const Tecla& t = Teclas[i];
        auto* boton = new QPushButton(QString(QLatin1Char(t.rotulo)), Panel_);
        boton->setObjectName(QStringLiteral("tecla_%1").arg(i));
        boton->setGeometry(
            Rectangulo(Margen + t.columna * (AnchoTecla + Hueco), t.fila * (AltoTecla + Hueco),
                       t.columnas * AnchoTecla + (t.columnas - 1) * Hueco, AltoTecla));
        boton->setFont(Letra(QStringLiteral("Tahoma"), 11, true, QFont::SansSerif));
        boton->setToolTip(QString::fromUtf8(t.ayuda));
        const QChar k = QLatin1Char(t.rotulo);
        boton->setAccessibleName(QString::fromUtf8(t.nombre));
        boton->setAccessibleDescription(QStringLiteral("Tecla «%1»").arg(k));
        Colorear(boton, QPalette::Button,
                 k.isDigit() || k == QLatin1Char('.')   ? cifras
                 : k == QLatin1Char('C')                ? borrar
                 : QStringLiteral("NIEPS<").contains(k) ? especiales
                                                        : operadores);
        connect(boton, &QPushButton::clicked, this, [this, i] { tecla_Click(i); });
        tecla_[i] = boton;
    }

    FijarUp_ = new QToolButton(this);
    FijarUp_->setObjectName(QStringLiteral("FijarUp"));
    FijarUp_->setGeometry(Rectangulo(1620, 750, 540, 390));
    FijarUp_->setCheckable(true);
    FijarUp_->setIcon(QIcon(QStringLiteral(":/MiCalc/fijar.svg")));
    FijarUp_->setToolTip(QStringLiteral("Siempre visible NO"));
    FijarUp_->setAccessibleName(QStringLiteral("Siempre visible"));
    FijarUp_->setAccessibleDescription(
        QStringLiteral("Mantiene la calculadora por encima de las demás ventanas"));
    connect(FijarUp_, &QToolButton::clicked, this, &MiCalc::FijarUp_Click);

    decimales_ = new QPushButton(QStringLiteral("2d"), this);
    decimales_->setObjectName(QStringLiteral("decimales"));
    decimales_->setGeometry(Rectangulo(1020, 750, 540, 390));
    decimales_->setToolTip(QStringLiteral("Número decimales"));
    decimales_->setAccessibleName(QStringLiteral("Número de decimales"));
    decimales_->setAccessibleDescription(
        QStringLiteral("Cambia los decimales con que se muestran los resultados"));
    connect(decimales_, &QPushButton::clicked, this, &MiCalc::decimales_Click);

    // El símbolo de página de la letra de símbolos original, como icono.
    VerPapel_ = new QPushButton(this);
    VerPapel_->setObjectName(QStringLiteral("VerPapel"));
    VerPapel_->setGeometry(Rectangulo(2220, 750, 540, 390));
    VerPapel_->setIcon(QIcon(QStringLiteral(":/MiCalc/papel.svg")));
    VerPapel_->setToolTip(QStringLiteral("Ver/Ocultar papel"));
    VerPapel_->setAccessibleName(QStringLiteral("Ver u ocultar el rollo"));
    VerPapel_->setAccessibleDescription(
        QStringLiteral("Muestra u oculta el rollo de papel con las operaciones hechas"));
    connect(VerPapel_, &QPushButton::clicked, this, &MiCalc::VerPapel_Click);

    Salir_ = new QToolButton(this);
    Salir_->setObjectName(QStringLiteral("Salir"));
    Salir_->setGeometry(Rectangulo(2820, 750, 540, 390));
    Salir_->setText(QStringLiteral("X"));
    Salir_->setFont(Letra(QStringLiteral("Tahoma"), 9, true, QFont::SansSerif));
    Salir_->setToolTip(QStringLiteral("Salir"));
    Salir_->setAccessibleName(QStringLiteral("Salir"));
    Salir_->setAccessibleDescription(QStringLiteral("Cierra la calculadora"));
    connect(Salir_, &QToolButton::clicked, this, &QWidget::close);

    Pantalla_ = new basicos::EtiquetaDeValor(this);
    Pantalla_->setObjectName(QStringLiteral("Pantalla"));
    Pantalla_->setGeometry(Rectangulo(Margen, Margen, AnchoPanel - Margen, 540));
    Pantalla_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Pantalla_->setFont(Letra(QStringLiteral("Courier"), 14, true, QFont::TypeWriter));
    Pantalla_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Pantalla_->setAutoFillBackground(true);
    Colorear(Pantalla_, QPalette::Window, QColor(0xe8, 0xf0, 0xdc));
    Pantalla_->setText(motor_.Representar(motor_.OrigenPantalla()));
    Pantalla_->setToolTip(motor_.OrigenPantalla());
    Pantalla_->installEventFilter(this);
    Pantalla_->setAccessibleName(QStringLiteral("Pantalla"));
    Panel_->setAccessibleName(QStringLiteral("Teclado de la calculadora"));
    Papel_->setAccessibleName(QStringLiteral("Rollo de papel"));

    // Las teclas se escriben en cualquier control; el tabulador recorre los botones en el orden
    // en que se ven (fila de arriba y después el teclado, fila a fila) y la barra espaciadora
    // pulsa el que tiene el foco.
    for (QWidget* control : findChildren<QWidget*>()) {
        if (control != Panel_)
            control->setFocusPolicy(
                qobject_cast<QAbstractButton*>(control) != nullptr ? Qt::TabFocus : Qt::NoFocus);
        control->installEventFilter(this);
    }
    std::vector<QWidget*> orden{Panel_, Pegar_, decimales_, FijarUp_, VerPapel_, Salir_};
    std::vector<int> teclas(tecla_.size());
    for (int i = 0; i < int(teclas.size()); ++i)
        teclas[i] = i;
    std::stable_sort(teclas.begin(), teclas.end(), [](int a, int b) {
        return std::pair(Teclas[a].fila, Teclas[a].columna) <
               std::pair(Teclas[b].fila, Teclas[b].columna);
    });
    for (int i : teclas)
        orden.push_back(tecla_[i]);
    for (std::size_t i = 1; i < orden.size(); ++i)
        setTabOrder(orden[i - 1], orden[i]);
}

void MiCalc::Form_Load(const Arranque& arranque) {
    const QString linea = arranque.lineaOrdenes + QLatin1Char(' ');
    if (linea.startsWith(QLatin1Char('+'))) {
        double f = rutinas::ValorNumerico(QStringView(linea).mid(1));
        if (f == 0)
            f = 1;
        const basicos::MedidasPantalla medidas = basicos::Medidas();
        float ancho = float(AnchoDiseno * f / medidas.twipsPorPixelX);
        float alto = float(AltoDiseno * f / medidas.twipsPorPixelY);
        rutinas::EscalarFormulario(this, ancho, alto, false);
        FijarUp_->show();
    } else if (arranque.ejecutable != QLatin1String(NombreResidente)) {
        float ancho = 0, alto = 0;
        rutinas::EscalarFormulario(this, ancho, alto, true);
        FijarUp_->hide();
    } else {
        FijarUp_->show();
    }
    // Los iconos crecen con sus botones.
    for (QAbstractButton* boton :
         {static_cast<QAbstractButton*>(FijarUp_), static_cast<QAbstractButton*>(VerPapel_)}) {
        const int lado = boton->height() * 3 / 5;
        boton->setIconSize(QSize(lado, lado));
    }
    letraPantalla_ = Pantalla_->font();
    letraPapel_ = Papel_->font();
    // Con el papel oculto, la ventana mide el panel más el margen.
    PonerAncho(Panel_->width() + basicos::PixelesX(rutinas::EscalaY(Margen)));
    basicos::CentrarFormulario(this);
    DevolverFoco();
}

void MiCalc::PonerAncho(int pixeles) {
    setFixedSize(pixeles, height());
}

void MiCalc::AjustarLetraPapel() {
    // El ancho de las líneas sin la barra de desplazamiento, que puede aparecer después.
    const int ancho = Papel_->width() - 2 * Papel_->frameWidth() -
                      Papel_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                      2 * static_cast<int>(std::ceil(Papel_->document()->documentMargin())) - 2;
    QString masAncha;
    for (const QString& linea : RolloAlineado(motor_.Rollo()))
        if (linea.size() > masAncha.size())
            masAncha = linea;
    const QFont letra = LetraQueCabe(letraPapel_, masAncha, ancho);
    if (letra != Papel_->font())
        Papel_->setFont(letra);
}

void MiCalc::DevolverFoco() {
    Panel_->setFocus(Qt::OtherFocusReason);
}

bool MiCalc::AtenderTeclado(QEvent* evento) {
    auto* tecla = static_cast<QKeyEvent*>(evento);
    if (evento->type() == QEvent::KeyPress) {
        int codigo = 0;
        switch (tecla->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            codigo = 13;
            break;
        case Qt::Key_Backspace:
            codigo = 8;
            break;
        case Qt::Key_Escape:
            codigo = 27;
            break;
        case Qt::Key_Menu:
            MostrarMenuRollo();
            return true;
        case Qt::Key_F10:
            if (tecla->modifiers() & Qt::ShiftModifier) {
                MostrarMenuRollo();
                return true;
            }
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return false; // recorre los botones
        case Qt::Key_Space:
            if (auto* boton = qobject_cast<QAbstractButton*>(focusWidget())) {
                boton->click();
                return true;
            }
            break;
        default:
            if (tecla->text().size() == 1)
                codigo = tecla->text().at(0).unicode();
            break;
        }
        if (codigo != 0)
            Form_KeyPress(codigo);
        return true;
    }
    if (evento->type() == QEvent::KeyRelease) {
        if (!tecla->isAutoRepeat()) {
            const short codigo = basicos::CodigoTecla(tecla->key());
            if (codigo != 0)
                Form_KeyUp(codigo, 0);
        }
        return true;
    }
    return false;
}

bool MiCalc::eventFilter(QObject* objeto, QEvent* evento) {
    switch (evento->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return AtenderTeclado(evento);
    case QEvent::MouseButtonPress:
        if (objeto == Pantalla_) {
            Pantalla_MouseDown(static_cast<QMouseEvent*>(evento)->button());
            return true;
        }
        return false;
    default:
        return false;
    }
}

void MiCalc::keyPressEvent(QKeyEvent* evento) {
    AtenderTeclado(evento);
}

void MiCalc::keyReleaseEvent(QKeyEvent* evento) {
    AtenderTeclado(evento);
}

void MiCalc::mousePressEvent(QMouseEvent* evento) {
    // Arrastrar el fondo mueve la ventana, como su barra de título.
    if (evento->button() == Qt::LeftButton && windowHandle() != nullptr)
        windowHandle()->startSystemMove();
}

void MiCalc::Form_KeyPress(int KeyAscii) {
    if (KeyAscii == 27) {
        close();
        return;
    }
    QChar k = KeyAscii == 13  ? QLatin1Char('=')
              : KeyAscii == 8 ? QLatin1Char('<')
                              : QChar(KeyAscii);
    if (QStringLiteral("nicsep").contains(k))
        k = k.toUpper();
    for (int i = 0; i < int(Teclas.size()); ++i) {
        if (k == QLatin1Char(Teclas[i].rotulo))
            tecla_Click(i);
    }
}

void MiCalc::Form_KeyUp(short KeyCode, short Shift) {
    if (KeyCode == basicos::TeclaF8 && fijada_) {
        FijarUp_->setChecked(false);
        FijarUp_Click();
    }
    ++esperando_;
    basicos::TeclasGlobales(KeyCode, Shift, QStringLiteral("MiCalc"));
    if (--esperando_ == 0 && cerrarAlVolver_)
        close();
}

void MiCalc::closeEvent(QCloseEvent* evento) {
    if (esperando_ > 0) {
        evento->ignore();
        cerrarAlVolver_ = true;
        hide();
        return;
    }
    cerrada_ = true;
    QWidget::closeEvent(evento);
}

void MiCalc::tecla_Click(int indice) {
    motor_.Pulsar(QLatin1Char(Teclas.at(indice).rotulo));
    DevolverFoco();
}

void MiCalc::decimales_Click() {
    DevolverFoco();
    motor_.CambiarDecimales();
}

void MiCalc::FijarUp_Click() {
    DevolverFoco();
    fijada_ = !fijada_;
    FijarUp_->setChecked(fijada_);
    FijarUp_->setToolTip(fijada_ ? QStringLiteral("Siempre visible SI")
                                 : QStringLiteral("Siempre visible NO"));
    // Cambiar la marca recrea la ventana nativa y la oculta: se vuelve a mostrar sin activarla,
    // en el mismo sitio y con el mismo tamaño.
    const bool visible = isVisible();
    const QPoint sitio = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, fijada_);
    if (visible) {
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        move(sitio);
        show();
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

void MiCalc::VerPapel_Click() {
    const int margen = basicos::PixelesX(rutinas::EscalaY(Margen));
    if (Papel_->isVisible()) {
        Papel_->hide();
        PonerAncho(Panel_->width() + margen);
    } else {
        Papel_->show();
        PonerAncho(margen + Panel_->width() + Papel_->width() + margen);
    }
    DevolverFoco();
}

void MiCalc::Pantalla_MouseDown(Qt::MouseButton boton) {
    if (boton == Qt::LeftButton)
        VerPapel_Click();
    else
        Pegar_Click();
}

void MiCalc::Pegar_Click() {
    QString texto = QGuiApplication::clipboard()->text();
    if (texto.contains(QLatin1Char(','))) {
        texto.remove(QLatin1Char('.'));
        texto.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    for (QChar c : texto) {
        if (c.unicode() >= 32)
            Form_KeyPress(c.unicode());
    }
    DevolverFoco();
}

void MiCalc::MostrarMenuRollo() {
    QMenu::exec({GuardarRollo_, ImprimirRollo_}, Panel_->mapToGlobal(Panel_->rect().center()),
                nullptr, this);
    DevolverFoco();
}

QString MiCalc::GuardarRollo(const QString& ruta) const {
    const int error = basicos::SustituirFichero(ruta, TextoRollo(motor_.Rollo()).toUtf8());
    return error ? basicos::DescripcionError(error) : QString();
}

QString MiCalc::ImprimirRollo(QPrinter& impresora) const {
    const QStringList lineas = RolloAlineado(motor_.Rollo());
    if (impresora.outputFormat() == QPrinter::PdfFormat) {
        // A un fichero: el PDF se compone en memoria y se graba de una vez, de modo que un
        // fallo (disco lleno, carpeta que no existe) se sabe y deja el fichero anterior entero.
        QBuffer pdf;
        pdf.open(QIODevice::WriteOnly);
        {
            QPdfWriter escritor(&pdf);
            escritor.setPageLayout(impresora.pageLayout());
            escritor.setResolution(impresora.resolution());
            escritor.setTitle(impresora.docName());
            if (!PintarRollo(escritor, lineas))
                return QStringLiteral("no se pudo componer el PDF");
        }
        const int error = basicos::SustituirFichero(impresora.outputFileName(), pdf.data());
        return error ? basicos::DescripcionError(error) : QString();
    }
    const QString rechazo = Impresora::RechazoDeLaCola(impresora.printerName());
    if (!rechazo.isEmpty())
        return rechazo;
    if (!PintarRollo(impresora, lineas))
        return QStringLiteral("no se pudo abrir la impresora");
    return Impresora::RechazoDelTrabajo();
}

void MiCalc::GuardarRollo_Click() {
    DevolverFoco();
    if (motor_.Rollo().isEmpty())
        return;
    QString carpeta = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (carpeta.isEmpty() || !QFileInfo(carpeta).isDir())
        carpeta = QDir::homePath();
    const QString ruta = PedirRutaRollo(carpeta + QStringLiteral("/rollo.txt"));
    if (ruta.isEmpty())
        return;
    const bool habia = QFileInfo(ruta).isFile();
    const QString error = GuardarRollo(ruta);
    if (!error.isEmpty())
        Avisar(QStringLiteral("No se pudo guardar el rollo en %1 (%2).").arg(ruta, error) +
               (habia ? QStringLiteral(";El fichero anterior queda como estaba.") : QString()));
    DevolverFoco();
}

void MiCalc::ImprimirRollo_Click() {
    DevolverFoco();
    if (motor_.Rollo().isEmpty())
        return;
    QPrinter impresora(QPrinter::HighResolution);
    impresora.setDocName(QStringLiteral("Rollo de la calculadora"));
    if (!PrepararImpresora(impresora)) {
        DevolverFoco();
        return;
    }
    const QString error = ImprimirRollo(impresora);
    if (!error.isEmpty())
        Avisar(QStringLiteral("No se pudo imprimir el rollo en %1 (%2).")
                   .arg(impresora.outputFormat() == QPrinter::PdfFormat ? impresora.outputFileName()
                                                                        : impresora.printerName(),
                        error));
    DevolverFoco();
}

void MiCalc::Mostrar(const QString& texto, const QString& origen) {
    // Un número largo se ve entero, con una letra menor.
    Pantalla_->setFont(LetraQueCabe(letraPantalla_, texto,
                                    Pantalla_->contentsRect().width() - 2 * Pantalla_->margin()));
    Pantalla_->PonerValor(texto); // el lector de pantalla dice cada resultado
    Pantalla_->setToolTip(origen);
}

void MiCalc::Anotar(const QString& linea) {
    Papel_->appendPlainText(linea);
    AjustarLetraPapel();
    Papel_->verticalScrollBar()->setValue(Papel_->verticalScrollBar()->maximum());
    GuardarRollo_->setEnabled(true);
    ImprimirRollo_->setEnabled(true);
}

void MiCalc::Borrar() {
    Papel_->clear();
    Papel_->setFont(letraPapel_);
    GuardarRollo_->setEnabled(false);
    ImprimirRollo_->setEnabled(false);
}

int MiCalc::Decimales() const {
    return int(rutinas::ValorNumerico(decimales_->text()));
}

void MiCalc::FijarDecimales(int decimales) {
    decimales_->setText(QString::number(decimales) + QLatin1Char('d'));
}

void MiCalc::Copiar(const QString& texto) {
    QClipboard* portapapeles = QGuiApplication::clipboard();
    portapapeles->clear();
    portapapeles->setText(texto);
}

} // namespace MiCalc
