#include "Telefonos/Telefonos.h"

#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "MyBox/MyBox.h"
#include "Rueda/Rueda.h"
#include "Telefonos/nucleo/directorio.h"
#include "basicos/pantalla.h"
#include "rutinas/campos.h"
#include "rutinas/controles.h"
#include "rutinas/escalado.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

namespace Telefonos {

namespace {

// Textos de los mensajes de la ventana.
const QString TextoModificado =
    QStringLiteral("Fichero de contactos fué modificado.;;Su cambio no pudo grabarse.");
const QString TextoEliminar =
    QStringLiteral("¿ Confirma que desea ELIMINAR el contacto seleccionado ?");

// Iconos y juegos de botones del cuadro de mensaje de la suite.
constexpr int IconoParada = 1;
constexpr int IconoAviso = 2;
constexpr int SoloAceptar = 1;
constexpr int SiNo = 3;
constexpr int ReintentarCancelar = 6;
constexpr int RespuestaReintentar = 4;
constexpr int RespuestaNo = 7;

// Geometría de diseño, en twips, pasada a píxeles.
void Colocar(QWidget* w, double x, double y, double ancho, double alto) {
    w->setGeometry(basicos::PixelesX(x), basicos::PixelesY(y), basicos::PixelesX(ancho),
                   basicos::PixelesY(alto));
}

QPushButton* BotonConDibujo(QWidget* padre, const char* nombre, const QString& dibujo,
                            const QString& ayuda, const QString& leido) {
    auto* b = new QPushButton(padre);
    b->setAutoDefault(true); // Intro lo pulsa cuando tiene el foco
    b->setObjectName(QString::fromLatin1(nombre));
    b->setIcon(QIcon(QStringLiteral(":/Telefonos/iconos/") + dibujo + QStringLiteral(".svg")));
    b->setToolTip(ayuda);
    b->setAccessibleName(leido); // solo lleva dibujo: el lector dice lo que hace
    return b;
}

bool EsProgramaDeEscritorio() {
    // El programa residente de utilidades de la suite calcula sus propios factores.
    return QFileInfo(QCoreApplication::applicationFilePath())
               .completeBaseName()
               .compare(QStringLiteral("Zodivazod"), Qt::CaseInsensitive) == 0;
}

QPointer<Ventana>& Compartida() {
    static QPointer<Ventana> ventana;
    return ventana;
}

} // namespace

Ventana::Ventana(QWidget* padre) : Ventana(UbicarContactos(), CrearCapaFicheros(), padre) {}

Ventana::Ventana(UbicacionContactos ubicacion, std::shared_ptr<CapaFicheros> capa, QWidget* padre)
    : QWidget(padre, Qt::Window), almacen_(std::move(ubicacion), std::move(capa)) {
    Mensaje = [this](const QString& texto, int icono, int botones, int omision) {
        return MyBox::MyMsgBox(texto, QString(), icono, botones, omision, this);
    };
    AbrirDireccion = [](const QUrl& url) {
        return QDesktopServices::openUrl(url);
    };
    IniciarPrograma = [](const QString& programa, const QStringList& argumentos,
                         const QString& carpeta) {
        return QProcess::startDetached(programa, argumentos, carpeta);
    };
    Construir();
    Form_Load();
}

Ventana::~Ventana() {
    Rueda::Desenganchar(this);
}

void Ventana::Construir() {
    setObjectName(QStringLiteral("Telefonos"));
    setWindowTitle(QStringLiteral("Teléfonos"));
    setWindowIcon(QIcon(QStringLiteral(":/Telefonos/iconos/correo.svg")));
    const double ancho = 12000, alto = 6720;
    resize(basicos::PixelesX(ancho), basicos::PixelesY(alto));

    Telfs = new MiVisor::Rejilla(this);
    Telfs->setObjectName(QStringLiteral("Telfs"));
    Telfs->setAccessibleName(QStringLiteral("Contactos"));
    Colocar(Telfs, 120, 120, 11760, 4680);

    // Buscar.
    Marco[2] = new QGroupBox(QStringLiteral("Buscar"), this);
    Colocar(Marco[2], 120, 4920, 4080, 1680);
    BuscoTLF = new QLineEdit(Marco[2]);
    BuscoTLF->setObjectName(QStringLiteral("BuscoTLF"));
    BuscoTLF->setAccessibleName(QStringLiteral("Buscar"));
    BuscoTLF->setAccessibleDescription(QStringLiteral("Busca el contacto que empieza así"));
    BuscoTLF->setClearButtonEnabled(true);
    Colocar(BuscoTLF, 180, 600, 3720, 390);

    // Teléfono y fax del contacto elegido.
    NumeroTlf = new QLabel(this);
    NumeroFax = new QLabel(this);
    NumeroTlf->setObjectName(QStringLiteral("NumeroTlf"));
    NumeroFax->setObjectName(QStringLiteral("NumeroFax"));
    for (QLabel* l : {NumeroTlf, NumeroFax}) {
        QFont letra = l->font();
        letra.setBold(true);
        letra.setPointSizeF(letra.pointSizeF() * 1.3);
        l->setFont(letra);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    NumeroTlf->setToolTip(QStringLiteral("Teléfono"));
    NumeroFax->setToolTip(QStringLiteral("Fax"));
    Colocar(NumeroTlf, 4440, 5160, 2640, 420);
    Colocar(NumeroFax, 4440, 5820, 2640, 420);

    // Contactos y opciones.
    Marco[1] = new QGroupBox(QStringLiteral("Contactos"), this);
    Colocar(Marco[1], 7200, 4920, 2280, 1680);
    cmdNuevo = BotonConDibujo(Marco[1], "cmdNuevo", QStringLiteral("nuevo"),
                              QStringLiteral("Nuevo"), QStringLiteral("Nuevo contacto"));
    cmdEditar = BotonConDibujo(Marco[1], "cmdEditar", QStringLiteral("editar"),
                               QStringLiteral("Editar"), QStringLiteral("Editar el contacto"));
    cmdBorrar = BotonConDibujo(Marco[1], "cmdBorrar", QStringLiteral("borrar"),
                               QStringLiteral("Suprimir"), QStringLiteral("Suprimir el contacto"));
    Marco[0] = new QGroupBox(QStringLiteral("Opciones"), this);
    Colocar(Marco[0], 9600, 4920, 2280, 1680);
    cmdFax = BotonConDibujo(Marco[0], "cmdFax", QStringLiteral("fax"), QStringLiteral("Fax"),
                            QStringLiteral("Enviar un fax"));
    cmdEmail = BotonConDibujo(Marco[0], "cmdEmail", QStringLiteral("correo"),
                              QStringLiteral("eMail"), QStringLiteral("Enviar un correo"));
    cmdSalir = BotonConDibujo(Marco[0], "cmdSalir", QStringLiteral("salir"),
                              QStringLiteral("Salir"), QStringLiteral("Salir"));
    const std::array<QPushButton*, 6> botones{cmdNuevo, cmdEditar, cmdBorrar,
                                              cmdFax,   cmdEmail,  cmdSalir};
    for (std::size_t i = 0; i < botones.size(); ++i) {
        Colocar(botones[i], 120 + static_cast<double>(i % 3) * 720, 540, 660, 660);
        botones[i]->setIconSize(QSize(basicos::PixelesX(420), basicos::PixelesY(420)));
    }
    cmdEditar->setEnabled(false);
    cmdBorrar->setEnabled(false);
    Marco[0]->setObjectName(QStringLiteral("Marco0"));
    Marco[1]->setObjectName(QStringLiteral("Marco1"));
    Marco[2]->setObjectName(QStringLiteral("Marco2"));

    // Panel de entrada, oculto hasta Nuevo o Editar.
    auto* panel = new QGroupBox(this);
    LaEntrada = panel;
    LaEntrada->setObjectName(QStringLiteral("LaEntrada"));
    LaEntrada->setAutoFillBackground(true);
    Colocar(LaEntrada, 1440, 960, 9120, 3000);
    const std::array<QString, 4> titulos{QStringLiteral("Nombre"), QStringLiteral("Teléfono"),
                                         QStringLiteral("Fax"), QStringLiteral("eMail")};
    const std::array<QString, 4> descriptores{
        QStringLiteral("T(m) A(I) L(30)"), QStringLiteral("T(m) A(I) L(30)"),
        QStringLiteral("T(m) A(I) L(30)"), QStringLiteral("T(m) A(I) L(40)")};
    for (int i = 0; i < 4; ++i) {
        Label1[i] = new QLabel(titulos[i], LaEntrada);
        Label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        Colocar(Label1[i], 240, 300 + i * 540, 1200, 360);
        Tlf[i] = new QLineEdit(LaEntrada);
        Tlf[i]->setObjectName(QStringLiteral("Tlf_%1").arg(i));
        rutinas::PonerTag(Tlf[i], descriptores[i]);
        rutinas::ConectarCampo(Tlf[i]); // teclas, entrada y salida por el motor de campos
        Colocar(Tlf[i], 1440, 270 + i * 540, i == 3 ? 5760 : 4560, 390);
        Label1[i]->setBuddy(Tlf[i]);
    }
    cmdAceptar = BotonConDibujo(LaEntrada, "cmdAceptar", QStringLiteral("aceptar"),
                                QStringLiteral("Aceptar"), QStringLiteral("Guardar el contacto"));
    cmdCancelar =
        BotonConDibujo(LaEntrada, "cmdCancelar", QStringLiteral("cancelar"),
                       QStringLiteral("Cancelar"), QStringLiteral("Descartar los cambios"));
    Colocar(cmdAceptar, 7560, 270, 660, 660);
    Colocar(cmdCancelar, 8280, 270, 660, 660);
    for (QPushButton* b : {cmdAceptar, cmdCancelar})
        b->setIconSize(QSize(basicos::PixelesX(420), basicos::PixelesY(420)));
    FueModificado = new QLabel(QStringLiteral("Fichero ha sido modificado"), LaEntrada);
    FueModificado->setObjectName(QStringLiteral("FueModificado"));
    FueModificado->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    Colocar(FueModificado, 240, 2460, 6000, 360);
    FueModificado->hide();
    Indice = new QLabel(LaEntrada);
    Indice->setObjectName(QStringLiteral("Indice"));
    Indice->hide();
    LaEntrada->hide();

    // Orden de tabulación de la entrada: los cuatro campos y después Aceptar y Cancelar.
    setTabOrder(Tlf[0], Tlf[1]);
    setTabOrder(Tlf[1], Tlf[2]);
    setTabOrder(Tlf[2], Tlf[3]);
    setTabOrder(Tlf[3], cmdAceptar);
    setTabOrder(cmdAceptar, cmdCancelar);

    // Escape deja la edición de un contacto o, sin ella, cierra la ventana.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (LaEntrada->isVisible())
            cmdCancelar_Click();
        else
            cmdSalir_Click();
    });
    // Al abrirse, el foco está en la búsqueda: se escribe lo que se busca y las flechas (o el
    // tabulador hacia atrás) llevan a la rejilla.
    BuscoTLF->setFocus();

    // Eventos.
    connect(BuscoTLF, &QLineEdit::textChanged, this, [this] { BuscoTLF_Change(); });
    connect(Telfs, &MiVisor::Rejilla::Click, this, [this] { Telfs_Click(); });
    connect(Telfs, &MiVisor::Rejilla::RowColChange, this, [this] { Telfs_RowColChange(); });
    connect(Telfs, &MiVisor::Rejilla::MouseDown, this, [this](int b) { Telfs_MouseDown(b); });
    connect(Telfs, &MiVisor::Rejilla::DblClick, this, [this] { Telfs_DblClick(); });
    connect(cmdNuevo, &QPushButton::clicked, this, [this] { cmdNuevo_Click(); });
    connect(cmdEditar, &QPushButton::clicked, this, [this] { cmdEditar_Click(); });
    connect(cmdAceptar, &QPushButton::clicked, this, [this] { cmdAceptar_Click(); });
    connect(cmdCancelar, &QPushButton::clicked, this, [this] { cmdCancelar_Click(); });
    connect(cmdBorrar, &QPushButton::clicked, this, [this] { cmdBorrar_Click(); });
    connect(cmdEmail, &QPushButton::clicked, this, [this] { cmdEmail_Click(); });
    connect(cmdFax, &QPushButton::clicked, this, [this] { cmdFax_Click(); });
    connect(cmdSalir, &QPushButton::clicked, this, [this] { cmdSalir_Click(); });
}

void Ventana::Form_Load() {
    rutinas::FuenteFormulario(this);
    float ancho = 0, alto = 0;
    rutinas::EscalarFormulario(this, ancho, alto, !EsProgramaDeEscritorio());
    basicos::CentrarFormulario(this);
    CargarContactos();
    RutaFax = BuscarProgramaFax();
    cmdFax->setEnabled(!RutaFax.isEmpty());
    // La rueda del ratón desplaza el control con el foco mientras la ventana está activa.
    Rueda::SeguirActivacion(this);
}

void Ventana::CargarContactos() {
    MiVisor::DefinirColumnas(*Telfs, QString::fromUtf16(DisposicionRejilla));
    AlmacenContactos::Carga carga = almacen_.Cargar();
    if (!carga.existe)
        return;
    if (carga.error) {
        Mensaje(QStringLiteral("Se ha producido error %1 al leer el fichero de contactos.")
                    .arg(carga.error),
                IconoParada, SoloAceptar, 1);
        return;
    }
    Cargando = true;
    const bool redibujar = Telfs->Redraw();
    Telfs->setRedraw(false);
    // La última fila primero: la rejilla crece una sola vez.
    const int n = static_cast<int>(carga.filas.size());
    for (int k = n; k >= 1; --k) {
        const Contacto& c = carga.filas[static_cast<std::size_t>(k - 1)];
        for (int col = 0; col < CamposContacto; ++col) {
            // Las celdas nuevas ya están vacías: la columna 0 casi nunca tiene nada.
            const QString& texto = c[static_cast<std::size_t>(col)];
            if (col > 0 || !texto.isEmpty())
                MiVisor::PonerCelda(*Telfs, k, col, texto);
        }
    }
    Telfs->setRedraw(redibujar);
    // Un fichero grabado por la suite ya viene ordenado; ordenar no cambiaría nada.
    if (!OrdenadasPorNombre(carga.filas))
        MiVisor::OrdenarColumna(*Telfs, ColNombre, false, -1);

    cmdBorrar->setEnabled(false);
    cmdEditar->setEnabled(false);
    NumeroTlf->clear();
    NumeroFax->clear();
    BuscoTLF->clear();
    Telfs->setRow(0);
    Telfs->setCol(0);
    Cargando = false;
}

void Ventana::GrabarContactos() {
    auto rechazar = [this] {
        Mensaje(TextoModificado, IconoParada, SoloAceptar, 1);
        CargarContactos();
    };
    if (almacen_.ModificadoDesdeCarga()) {
        rechazar();
        return;
    }
    auto filasDeLaRejilla = [this] {
        TablaContactos filas;
        filas.reserve(static_cast<std::size_t>(Telfs->Rows() - 1));
        for (int r = 1; r < Telfs->Rows(); ++r) {
            Contacto c;
            for (int col = 0; col < CamposContacto; ++col)
                c[static_cast<std::size_t>(col)] = MiVisor::LeerCelda(*Telfs, r, col);
            filas.push_back(std::move(c));
        }
        return filas;
    };
    // Se graba en orden de nombre; si la rejilla ya lo está, ordenarla no cambiaría nada.
    TablaContactos filas = filasDeLaRejilla();
    if (!OrdenadasPorNombre(filas)) {
        MiVisor::OrdenarColumna(*Telfs, ColNombre, false, -1);
        filas = filasDeLaRejilla();
    }
    for (;;) {
        const auto r = almacen_.Grabar(filas);
        switch (r.estado) {
        case AlmacenContactos::Grabacion::Grabado:
            return;
        case AlmacenContactos::Grabacion::Modificado:
            rechazar();
            return;
        case AlmacenContactos::Grabacion::Fallido:
            break;
        }
        const float respuesta =
            Mensaje(QStringLiteral("Se ha producido error %1 al grabar. ¿ Desea reintentarlo ?")
                        .arg(r.error),
                    IconoAviso, ReintentarCancelar, 1);
        if (respuesta != RespuestaReintentar)
            return;
    }
}

void Ventana::BuscoTLF_Change() {
    if (Cargando || !almacen_.Existe())
        return;
    const Busqueda busqueda(BuscoTLF->text());
    const bool redibujar = Telfs->Redraw();
    Telfs->setRedraw(false);
    for (int r = 1; r < Telfs->Rows(); ++r) {
        const bool ver = busqueda.Coincide(
            MiVisor::LeerCelda(*Telfs, r, ColNombre), MiVisor::LeerCelda(*Telfs, r, ColTelefono),
            MiVisor::LeerCelda(*Telfs, r, ColFax), MiVisor::LeerCelda(*Telfs, r, ColCorreo));
        const int alto = ver ? -1 : 0;
        if (Telfs->RowHeight(r) != alto)
            Telfs->setRowHeight(r, alto);
    }
    Telfs->setRedraw(redibujar);
}

void Ventana::Seleccionar(int fila, int col) {
    if (Cargando || fila < 1 || fila >= Telfs->Rows())
        return;
    if (MiVisor::LeerCelda(*Telfs, fila, ColNombre).isEmpty())
        return;
    if (col == ColCorreo)
        CorreoElegido = MiVisor::LeerCelda(*Telfs, fila, ColCorreo).trimmed();
    cmdEditar->setEnabled(true);
    cmdBorrar->setEnabled(true);
    NumeroTlf->setText(MiVisor::LeerCelda(*Telfs, fila, ColTelefono));
    NumeroFax->setText(MiVisor::LeerCelda(*Telfs, fila, ColFax));
}

void Ventana::Telfs_Click() {
    Seleccionar(Telfs->MouseRow(), Telfs->MouseCol());
}

void Ventana::Telfs_RowColChange() {
    // Con el teclado cuenta la celda actual (la del puntero puede ser otra fila).
    Seleccionar(Telfs->Row(), Telfs->Col());
}

void Ventana::Telfs_MouseDown(int boton) {
    if (boton != 2 || Cargando)
        return;
    const int fila = Telfs->MouseRow();
    if (fila < 1 || fila >= Telfs->Rows() || MiVisor::LeerCelda(*Telfs, fila, ColNombre).isEmpty())
        return;
    if (Telfs->MouseCol() == ColCorreo)
        CorreoElegido = MiVisor::LeerCelda(*Telfs, fila, ColCorreo).trimmed();
    QCoreApplication::processEvents();
    close();
}

void Ventana::Telfs_DblClick() {
    const int fila = Telfs->MouseRow();
    if (fila < 1 || fila >= Telfs->Rows())
        return;
    switch (Telfs->MouseCol()) {
    case ColCorreo:
        EscribirCorreo(true);
        break;
    case ColFax:
        EnviarFax(true);
        break;
    default:
        cmdEditar_Click();
        break;
    }
}

void Ventana::cmdNuevo_Click() {
    for (QLineEdit* t : Tlf)
        t->clear();
    const int ultima = Telfs->Rows() - 1;
    const bool soloVacia = MiVisor::LeerCelda(*Telfs, ultima, ColNombre).isEmpty();
    Indice->setText(QString::number(soloVacia ? 1 : Telfs->Rows()));
    AbrirEntrada();
}

void Ventana::cmdEditar_Click() {
    const int fila = Telfs->Row();
    for (int i = 0; i < 4; ++i)
        Tlf[static_cast<std::size_t>(i)]->setText(MiVisor::LeerCelda(*Telfs, fila, i + 1));
    Indice->setText(QString::number(fila));
    AbrirEntrada();
}

void Ventana::AbrirEntrada() {
    LaEntrada->show();
    LaEntrada->raise();
    for (QGroupBox* m : Marco)
        m->setEnabled(false);
    Telfs->setEnabled(false);
    Tlf[0]->setFocus();
    FueModificado->hide();
    if (almacen_.ModificadoDesdeCarga())
        FueModificado->show();
}

void Ventana::cmdAceptar_Click() {
    if (Tlf[0]->text().isEmpty()) {
        Tlf[0]->setFocus();
        return;
    }
    const int fila = Indice->text().toInt();
    for (int i = 0; i < 4; ++i)
        MiVisor::PonerCelda(*Telfs, fila, i + 1, Tlf[static_cast<std::size_t>(i)]->text());
    Telfs->setCol(0);
    GrabarContactos();
    cmdBorrar->setEnabled(false);
    cmdEditar->setEnabled(false);
    LaEntrada->hide();
    NumeroTlf->clear();
    NumeroFax->clear();
    cmdCancelar_Click();
}

void Ventana::cmdCancelar_Click() {
    LaEntrada->hide();
    Telfs->setEnabled(true);
    for (QGroupBox* m : Marco)
        m->setEnabled(true);
    Telfs->setFocus();
}

void Ventana::cmdBorrar_Click() {
    const float respuesta = Mensaje(TextoEliminar, IconoAviso, SiNo, 2);
    if (respuesta == RespuestaNo)
        return;
    MiVisor::QuitarFila(*Telfs, Telfs->Row());
    GrabarContactos();
    cmdEditar->setEnabled(false);
    cmdBorrar->setEnabled(false);
    NumeroTlf->clear();
    NumeroFax->clear();
    Telfs->setFocus();
}

void Ventana::EscribirCorreo(bool deLaFila) {
    Telfs->setFocus();
    const QString correo =
        deLaFila ? MiVisor::LeerCelda(*Telfs, Telfs->Row(), ColCorreo) : QString();
    AbrirDireccion(QUrl(DireccionCorreo(correo, RemitenteCorreo), QUrl::TolerantMode));
    close();
}

void Ventana::EnviarFax(bool deLaFila) {
    Telfs->setFocus();
    const QString programa = RutaFax.isEmpty() ? QString::fromUtf16(ProgramaFax) : RutaFax;
    const QString carpeta = RutaFax.isEmpty() ? QString() : QFileInfo(RutaFax).absolutePath();
    QStringList argumentos;
    if (deLaFila) {
        const int fila = Telfs->Row();
        argumentos << ParametrosFax(MiVisor::LeerCelda(*Telfs, fila, ColNombre),
                                    MiVisor::LeerCelda(*Telfs, fila, ColFax));
    }
    if (!IniciarPrograma(programa, argumentos, carpeta))
        Mensaje(QStringLiteral("No se ha podido iniciar el programa de fax %1.")
                    .arg(QString::fromUtf16(ProgramaFax)),
                IconoParada, SoloAceptar, 1);
    close();
}

void Ventana::cmdEmail_Click() {
    EscribirCorreo(false);
}

void Ventana::cmdFax_Click() {
    EnviarFax(false);
}

void Ventana::cmdSalir_Click() {
    close();
}

Ventana& Instancia() {
    QPointer<Ventana>& v = Compartida();
    if (!v) {
        v = new Ventana;
        v->setAttribute(Qt::WA_DeleteOnClose);
    }
    return *v;
}

bool Cargada() {
    return !Compartida().isNull();
}

} // namespace Telefonos
