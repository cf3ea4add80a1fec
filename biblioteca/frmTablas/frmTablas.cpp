#include "frmTablas/frmTablas.h"

#include "MiVisor/MiVisor.h"
#include "MiVisor/MsgBoxPlataforma.h"
#include "MiVisor/Rejilla.h"
#include "MyBox/MyBox.h"
#include "basicos/pantalla.h"
#include "frmTablas/nucleo/fichero_tabla.h"
#include "rutinas/campos.h"
#include "rutinas/controles.h"
#include "rutinas/escalado.h"
#include "rutinas/generales.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QInputDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace frmTablas {

namespace {

const QString TituloEditor = QStringLiteral("Editor de Tablas de XRN");
// Separación de diseño entre los botones, en twips.
constexpr double SeparacionBotones = 247;
const QString Modificado_ = QStringLiteral("MODIFICADO");

QPointer<Ventana>& compartida() {
    static QPointer<Ventana> v;
    return v;
}

FuncionInputBox& inputBox() {
    static FuncionInputBox f;
    return f;
}

// Lo aprendido de cada fichero en esta sesión: en qué codificación se leyó y si existe pero
// no se pudo leer (entonces no se graba encima, para no perderlo).
QHash<QString, Codificacion>& codificaciones() {
    static QHash<QString, Codificacion> c;
    return c;
}
QSet<QString>& ilegibles() {
    static QSet<QString> s;
    return s;
}
QString clave(const QString& ruta) {
    return QFileInfo(ruta).absoluteFilePath();
}

QString PreguntarRuta(const QString& pregunta, const QPoint& donde) {
    if (inputBox())
        return inputBox()(pregunta, TituloEditor, donde);
    QInputDialog caja;
    caja.setWindowTitle(TituloEditor);
    caja.setLabelText(pregunta);
    caja.move(donde);
    return caja.exec() == QDialog::Accepted ? caja.textValue() : QString();
}

// Posiciones y medidas en twips sobre los controles (que van en píxeles).
int tw(int px) {
    return static_cast<int>(std::lround(basicos::TwipsX(px)));
}
int px(double twips) {
    return basicos::PixelesX(twips);
}
int pxY(double twips) {
    return basicos::PixelesY(twips);
}
void colocar(QWidget* w, int x, int y, int ancho, int alto) {
    w->setGeometry(px(x), pxY(y), px(ancho), pxY(alto));
}

bool cargar(const QString& ruta, MiVisor::Rejilla& rejilla) {
    MiVisor::VaciarRejilla(rejilla);
    if (!Capa().Existe(ruta))
        return true;
    QString error;
    const auto datos = Capa().Leer(ruta, error);
    if (!datos) {
        ilegibles().insert(clave(ruta));
        MiVisor::MsgBox(QStringLiteral("No se pudo leer el fichero %1 (%2).\nNo se grabará "
                                       "encima, para no perder lo que contiene.")
                            .arg(ruta, error),
                        16, TituloEditor, rejilla.window());
        return false;
    }
    ilegibles().remove(clave(ruta));
    const ContenidoTabla tabla = DecodificarTabla(*datos);
    codificaciones().insert(clave(ruta), tabla.codificacion);
    const bool redibujar = rejilla.Redraw();
    rejilla.setRedraw(false);
    for (int i = 0; i < tabla.lineas.size(); ++i)
        MiVisor::PonerCelda(rejilla, i + 1, 0, tabla.lineas[i]);
    rejilla.setRedraw(redibujar);
    return true;
}

bool grabar(const QString& accion, const QString& ruta, MiVisor::Rejilla& rejilla) {
    // Un fichero que no se pudo leer no se graba encima mientras siga sin poder leerse, salvo
    // que el usuario acepte reemplazarlo; si ya se puede leer (o ya no está), se graba.
    if (ilegibles().contains(clave(ruta))) {
        QString error;
        if (!Capa().Existe(ruta) || Capa().Leer(ruta, error)) {
            ilegibles().remove(clave(ruta));
        } else if (MiVisor::MsgBox(QStringLiteral("El fichero %1 no se puede leer (%2).\nSi se "
                                                  "graba, se perderá lo que contiene. ¿ Desea "
                                                  "reemplazarlo por esta tabla ?")
                                       .arg(ruta, error),
                                   305, TituloEditor, rejilla.window()) != 1) {
            return false;
        }
    }
    if (accion == QLatin1String("GRABAR") && Capa().Existe(ruta) &&
        MiVisor::MsgBox(QStringLiteral("Fichero ") + ruta +
                            QStringLiteral(" existe en disco. Se Sobreescribirá."),
                        49, TituloEditor, rejilla.window()) == 2)
        return false;
    // Solo se quedan fuera las filas vacías o de solo espacios; un tabulador es un dato.
    QStringList lineas;
    for (int f = 1; f < rejilla.Rows(); ++f) {
        const QString texto = MiVisor::LeerCelda(rejilla, f, 0);
        if (texto.count(u' ') != texto.size())
            lineas << texto;
    }
    Codificacion usada;
    const QByteArray datos =
        CodificarTabla(lineas, codificaciones().value(clave(ruta), Codificacion::Utf8), &usada);
    const bool habia = Capa().Existe(ruta);
    const QString error = Capa().Grabar(ruta, datos);
    if (!error.isEmpty()) {
        MiVisor::MsgBox(
            QStringLiteral("No se pudo grabar el fichero %1 (%2).").arg(ruta, error) +
                (habia ? QStringLiteral("\nEl fichero anterior queda como estaba.") : QString()),
            16, TituloEditor, rejilla.window());
        return false;
    }
    codificaciones().insert(clave(ruta), usada);
    ilegibles().remove(clave(ruta));
    return true;
}

} // namespace

FuncionInputBox PonerInputBox(FuncionInputBox funcion) {
    return std::exchange(inputBox(), std::move(funcion));
}

bool CargarGrabar(const QString& accion, QString& ruta, MiVisor::Rejilla& rejilla) {
    const bool cargarlo = accion == QLatin1String("CARGAR");
    const bool grabarlo = accion == QLatin1String("GRABAR") || accion == QLatin1String("REGRABAR");
    if (ruta.isEmpty()) {
        const QString respuesta =
            PreguntarRuta(QStringLiteral("Path y Nombre del fichero a ") + accion,
                          rejilla.mapToGlobal(QPoint(0, 0)));
        if (respuesta.isEmpty())
            return false;
        ruta = respuesta;
    }
    if (cargarlo)
        return cargar(ruta, rejilla);
    if (grabarlo)
        return grabar(accion, ruta, rejilla);
    return false;
}

Ventana& Instancia() {
    if (!compartida())
        compartida() = new Ventana();
    return *compartida();
}

bool Cargada() {
    return !compartida().isNull();
}

Ventana::Ventana() : QDialog(nullptr) {
    setObjectName("frmTablas");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Edición de Tablas"));
    resize(px(4080), pxY(5460));

    VisorTabla = new MiVisor::Rejilla(this);
    VisorTabla->setAccessibleName(QStringLiteral("Tabla"));
    VisorTabla->setObjectName("VisorTabla");
    VisorTabla->setSelectionBehavior(QAbstractItemView::SelectRows);
    VisorTabla->setSelectionMode(QAbstractItemView::SingleSelection);
    colocar(VisorTabla, 60, 60, 3780, 3840);

    Marco = new QGroupBox(this);
    Marco->setObjectName("Marco");
    colocar(Marco, 80, 3960, 3920, 1380);
    Elemento = new QLineEdit(Marco);
    Elemento->setObjectName("Elemento");
    Elemento->setAccessibleName(QStringLiteral("Elemento"));
    Elemento->setAccessibleDescription(
        QStringLiteral("El dato de la fila elegida, o el de una fila nueva"));
    colocar(Elemento, 60, 240, 3780, 315);
    cmdAceptar = new QPushButton(QStringLiteral("Aceptar"), Marco);
    cmdAceptar->setObjectName("cmdAceptar");
    colocar(cmdAceptar, 60, 780, 1095, 420);
    cmdGrabar = new QPushButton(QStringLiteral("Grabar"), Marco);
    cmdGrabar->setObjectName("cmdGrabar");
    colocar(cmdGrabar, 1402, 780, 1095, 420);
    cmdSalir = new QPushButton(QStringLiteral("Salir"), Marco);
    cmdSalir->setObjectName("cmdSalir");
    colocar(cmdSalir, 2745, 780, 1095, 420);
    // Intro pulsa el botón que tiene el foco (en el campo, Intro pasa a "Aceptar").
    for (QPushButton* b : {cmdAceptar, cmdGrabar, cmdSalir})
        b->setAutoDefault(true);

    // Elegir con el teclado cambia la celda actual; con el ratón vale también la fila que ya es
    // la actual (la 1 al abrir, o la recién aceptada), que no la cambia.
    connect(VisorTabla, &MiVisor::Rejilla::RowColChange, this, &Ventana::VisorTabla_SelChange);
    connect(VisorTabla, &MiVisor::Rejilla::Click, this, [this] {
        if (VisorTabla->MouseRow() >= 1)
            VisorTabla_SelChange();
    });
    connect(Elemento, &QLineEdit::textChanged, this, &Ventana::Elemento_Change);
    rutinas::ConectarCampo(Elemento); // teclas, entrada y salida del foco por el motor de campos
    connect(cmdAceptar, &QPushButton::clicked, this, &Ventana::cmdAceptar_Click);
    connect(cmdGrabar, &QPushButton::clicked, this, &Ventana::cmdGrabar_Click);
    connect(cmdSalir, &QPushButton::clicked, this, &Ventana::cmdSalir_Click);

    Form_Load();
}

void Ventana::Form_Load() {
    rutinas::FuenteFormulario(this);
    float ancho = 0, alto = 0;
    rutinas::EscalarFormulario(this, ancho, alto, true);
    FilaEdicion = 0;
    IgnorarCambio = false;
}

void Ventana::Dimensionar(QWidget* Formulario, const QString& TagFormulario,
                          const QString& TituloVisor, const QString& TagElemento, bool Cargar) {
    rutinas::PonerTag(this, TagFormulario);
    MiVisor::DefinirColumnas(*VisorTabla, TituloVisor);
    const int anchoVisor = VisorTabla->ColWidth(0) + 320;
    VisorTabla->resize(px(anchoVisor), VisorTabla->height());
    // Los botones se colocan sobre el ancho de la rejilla: "Grabar" centrado bajo el campo y
    // "Salir" alineado a su derecha. Si la tabla es más estrecha de lo que piden los tres
    // botones con su separación de diseño, se colocan sobre ese mínimo y la ventana se
    // ensancha con él, para que no se monten unos sobre otros.
    const int anchoBoton = tw(cmdGrabar->width());
    const int izquierdaCampo = tw(Elemento->x());
    const int separacion = static_cast<int>(std::lround(rutinas::EscalaX(SeparacionBotones)));
    const int finAceptar = tw(cmdAceptar->x()) + tw(cmdAceptar->width());
    const int anchoBotones =
        std::max(2 * (finAceptar + separacion - izquierdaCampo) + anchoBoton,
                 2 * (separacion + izquierdaCampo + anchoBoton - 60) + anchoBoton);
    const int anchoColocacion = std::max(anchoVisor, anchoBotones);
    const int anchoVentana = anchoColocacion + 300;
    if (Formulario)
        move(Formulario->pos());
    resize(px(anchoVentana), height());
    Marco->resize(px(anchoVentana - 160), Marco->height());
    Elemento->resize(px(anchoVisor), Elemento->height());
    cmdSalir->move(px(anchoColocacion - tw(cmdSalir->width()) + 60), cmdSalir->y());
    cmdGrabar->move(px(izquierdaCampo + (anchoColocacion - anchoBoton) / 2.0), cmdGrabar->y());
    rutinas::PonerTag(Elemento, TagElemento);
    if (Cargar) {
        QString ruta = rutinas::Tag(this);
        CargarGrabar(QStringLiteral("CARGAR"), ruta, *VisorTabla);
        VisorTabla->setTag(QString());
    }
}

bool Ventana::Modificado() const {
    return VisorTabla->Tag() == Modificado_;
}

void Ventana::VisorTabla_SelChange() {
    const int fila = VisorTabla->Row();
    if (fila == 0)
        return;
    const QString texto = MiVisor::LeerCelda(*VisorTabla, fila, 0);
    // Con el mismo texto el campo no avisa de cambio, y la marca quedaría puesta para la
    // siguiente edición del usuario, que entonces no contaría.
    IgnorarCambio = texto != Elemento->text();
    Elemento->setText(texto);
    FilaEdicion = fila;
    rutinas::PonerFoco(Elemento);
}

void Ventana::Elemento_Change() {
    // Lo que escribe el propio motor al entrar o salir del campo no es una edición.
    if (rutinas::EnFormato)
        return;
    if (IgnorarCambio)
        IgnorarCambio = false;
    else
        VisorTabla->setTag(Modificado_);
}

void Ventana::cmdAceptar_Click() {
    const int fila = FilaEdicion <= 0 ? VisorTabla->Rows() : FilaEdicion;
    MiVisor::PonerCelda(*VisorTabla, fila, 0, Elemento->text());
    FilaEdicion = 0;
    VisorTabla->setTag(Modificado_);
    Elemento->clear();
    rutinas::PonerFoco(Elemento);
}

void Ventana::cmdGrabar_Click() {
    QString ruta = rutinas::Tag(this);
    // La marca de cambios solo se quita si de verdad se grabó.
    if (CargarGrabar(QStringLiteral("REGRABAR"), ruta, *VisorTabla))
        VisorTabla->setTag(QString());
}

void Ventana::cmdSalir_Click() {
    rutinas::PonerFoco(Elemento);
    if (Modificado() &&
        MyBox::MyMsgBox(QStringLiteral("Datos han sido modificados.;;¿ Desea salir sin grabar ?"),
                        QString(), 3, 2, 2, this) == 2)
        return;
    saliendo_ = true;
    QDialog::done(Accepted); // cierra la ventana, que se destruye
}

void Ventana::closeEvent(QCloseEvent* e) {
    // Cerrar desde el marco pregunta igual que "Salir".
    if (!saliendo_) {
        e->ignore();
        cmdSalir_Click();
        return;
    }
    if (compartida() == this)
        compartida().clear();
    e->accept();
}

void Ventana::reject() {
    cmdSalir_Click();
}

} // namespace frmTablas
