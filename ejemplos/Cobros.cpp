#include "Cobros.h"

#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "MyBox/MyBox.h"
#include "Progreso/Progreso.h"
#include "basicos/pantalla.h"
#include "basicos/teclas_globales.h"
#include "rutinas/campos.h"
#include "rutinas/controles.h"
#include "rutinas/escalado.h"
#include "rutinas/nucleo/formato.h"

#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace Ejemplo {

namespace {

// Columnas de la rejilla: título, ancho en caracteres y alineación ("=" centro, ">" derecha).
constexpr auto Columnas = u"Fecha#10=;NIF#10;Importe#12>";
constexpr int ColFecha = 0, ColNif = 1, ColImporte = 2;

// Geometría del diseño, en twips, pasada a píxeles de esta pantalla.
void Colocar(QWidget* w, int x, int y, int ancho, int alto) {
    w->setGeometry(basicos::PixelesX(x), basicos::PixelesY(y), basicos::PixelesX(ancho),
                   basicos::PixelesY(alto));
}

QDate Fecha(const QString& texto) {
    return QDate::fromString(texto, QStringLiteral("dd/MM/yyyy"));
}

// Un campo del formulario: su etiqueta (que le da nombre para el lector de pantalla), su
// descriptor y su sitio, en twips como en el diseño de la suite.
//! [campo]
QLineEdit* Campo(QWidget* padre, const char* nombre, const QString& etiqueta,
                 const QString& descriptor, int arriba) {
    auto* rotulo = new QLabel(etiqueta, padre);
    Colocar(rotulo, 120, arriba, 1200, 315);
    auto* campo = new QLineEdit(padre);
    campo->setObjectName(QString::fromLatin1(nombre));
    Colocar(campo, 1380, arriba, 1800, 315);
    rotulo->setBuddy(campo);
    rutinas::PonerTag(campo, descriptor);
    return campo;
}
//! [campo]

} // namespace

FormCobros::FormCobros(QWidget* padre) : QWidget(padre, Qt::Window) {
    setObjectName(QStringLiteral("FormCobros"));
    setWindowTitle(QStringLiteral("Cobros"));

    //! [controles]
    // 1. Los controles, con la geometría del diseño en twips.
    txtImporte = Campo(this, "txtImporte", QStringLiteral("&Importe"),
                       QStringLiteral("T(N) L(12) A(D) D(2) +(100)"), 120);
    txtFecha =
        Campo(this, "txtFecha", QStringLiteral("&Fecha"), QStringLiteral("T(F) L(10) A(I)"), 540);
    txtNif = Campo(this, "txtNif", QStringLiteral("&NIF"), QStringLiteral("T(X) L(9) A(I)"), 960);
    // El importe se ve a la derecha: lo dice el control, como en el diseño de la suite (el
    // ajuste A del descriptor solo alinea los campos de cifras, T(D)).
    txtImporte->setAlignment(Qt::AlignRight);
    cmdAnadir = new QPushButton(QStringLiteral("&Añadir"), this);
    Colocar(cmdAnadir, 3360, 120, 1320, 390);
    cmdListar = new QPushButton(QStringLiteral("&Listar..."), this);
    Colocar(cmdListar, 3360, 540, 1320, 390);
    grdCobros = new MiVisor::Rejilla(this);
    grdCobros->setObjectName(QStringLiteral("grdCobros"));
    grdCobros->setAccessibleName(QStringLiteral("Cobros"));
    Colocar(grdCobros, 120, 1440, 4560, 2400);
    lblTotal = new QLabel(this);
    Colocar(lblTotal, 120, 3960, 4560, 315);
    resize(basicos::PixelesX(4800), basicos::PixelesY(4440));
    //! [controles]

    //! [escalado]
    // 2. Los títulos de la rejilla y el escalado a los factores de la aplicación (geometría,
    //    letra y anchos de columna).
    MiVisor::DefinirColumnas(*grdCobros, QString::fromUtf16(Columnas));
    grdCobros->setRows(1); // solo la de títulos: los cobros se añaden detrás
    rutinas::EscalarFormulario(this);
    rutinas::FuenteFormulario(this);
    //! [escalado]

    //! [conectar]
    // 3. El motor de campos: cada control con descriptor recibe sus teclas y su formato.
    rutinas::ConectarCampos(this);
    //! [conectar]

    //! [teclas]
    // 4. F4 (calculadora) y F8 (contactos) desde cualquier control del formulario.
    basicos::ConectarTeclasGlobales(this);
    //! [teclas]

    connect(cmdAnadir, &QPushButton::clicked, this, &FormCobros::cmdAnadir_Click);
    connect(cmdListar, &QPushButton::clicked, this, &FormCobros::cmdListar_Click);
}

void FormCobros::cmdAnadir_Click() {
    for (QLineEdit* campo : {txtImporte, txtFecha, txtNif})
        if (campo->text().trimmed().isEmpty()) {
            MyBox::MyMsgBox(QStringLiteral("Falta un dato del cobro."), windowTitle(), 2, 1, 1,
                            this);
            campo->setFocus();
            return;
        }
    //! [rejilla]
    // PonerCelda hace crecer la rejilla: la fila nueva es la que sigue a la última.
    const int fila = grdCobros->Rows();
    MiVisor::PonerCelda(*grdCobros, fila, ColFecha, txtFecha->text());
    MiVisor::PonerCelda(*grdCobros, fila, ColNif, txtNif->text());
    MiVisor::PonerCelda(*grdCobros, fila, ColImporte, txtImporte->text());
    grdCobros->setCol(ColFecha);
    MiVisor::OrdenarFechas(*grdCobros);
    //! [rejilla]
    for (QLineEdit* campo : {txtImporte, txtFecha, txtNif})
        campo->clear();
    txtImporte->setFocus();
}

void FormCobros::cmdListar_Click() {
    const QString hoy = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    //! [rango]
    const QString rango =
        MyBox::MyInputBox(QStringLiteral("Periodo de los cobros:"), windowTitle(), 8,
                          QStringLiteral("T(F) L(10) A(I) (/)"),
                          QStringLiteral("01/01/") + hoy.right(4) + u'\u0192' + hoy);
    const QStringList partes = rango.split(u'\u0192');
    if (partes.size() != 2) // no se aceptó
        return;
    //! [rango]
    const double total = SumarPeriodo(partes[0], partes[1]);
    lblTotal->setText(
        QStringLiteral("Total del periodo: %1").arg(rutinas::FormatearNumero(total, u"#,##0.00")));
}

double FormCobros::SumarPeriodo(const QString& desde, const QString& hasta) {
    const QDate inicio = Fecha(desde), fin = Fecha(hasta);
    const int filas = grdCobros->Rows() - 1; // sin la de títulos
    double total = 0;
    //! [progreso]
    Progreso::BarraProgreso(1, 0, false, 0, static_cast<float>(filas),
                            QStringLiteral("Sumando los cobros..."));
    for (int f = 1; f <= filas; ++f) {
        const QDate d = Fecha(MiVisor::LeerCelda(*grdCobros, f, ColFecha));
        if (d.isValid() && d >= inicio && d <= fin)
            total +=
                rutinas::LeerNumeroLocal(MiVisor::LeerCelda(*grdCobros, f, ColImporte)).value_or(0);
        Progreso::BarraProgreso(3, static_cast<float>(f));
    }
    Progreso::BarraProgreso(2);
    //! [progreso]
    return total;
}

} // namespace Ejemplo
