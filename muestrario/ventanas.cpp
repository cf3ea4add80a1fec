// Las entradas del muestrario: una por ventana y caso representativo.
#include "Muestrario.h"

#include "Impresora/Impresora.h"
#include "MiniHelp/MiniHelp.h"
#include "MyBox/MyBox.h"
#include "Progreso/Progreso.h"
#include "Telefonos/Telefonos.h"
#include "Telefonos/nucleo/directorio.h"
#include "basicos/teclas_globales.h"
#include "frmTablas/frmTablas.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

namespace {

QString Respuesta(float codigo) {
    static const char* const nombres[] = {"ninguna",    "Aceptar", "Cancelar", "Abortar",
                                          "Reintentar", "Ignorar", "Si",       "No"};
    const int n = static_cast<int>(codigo);
    return QStringLiteral("Respuesta %1 (%2)")
        .arg(n)
        .arg(QString::fromUtf8(n >= 0 && n <= 7 ? nombres[n] : "?"));
}

QString Mensaje(const QString& texto, const QString& titulo, int icono, int botones, int omision,
                QWidget* sobre = nullptr) {
    return Respuesta(MyBox::MyMsgBox(texto, titulo, icono, botones, omision, sobre));
}

QString Entrada(const QString& texto, const QString& titulo, int icono, const QString& tag,
                const QString& inicial = QString(), const QString& ayuda = QString()) {
    const QString r = MyBox::MyInputBox(texto, titulo, icono, tag, inicial, nullptr, ayuda);
    return QStringLiteral("Devolvió «%1»").arg(r);
}

// Abre el directorio de contactos y espera a que se cierre, como la tecla F8 de la suite.
QString Contactos(const QString& remitente, QWidget* ventana) {
    Telefonos::RemitenteCorreo = remitente;
    Telefonos::CorreoElegido.clear();
    basicos::TeclasGlobales(basicos::TeclaF8, 0, ventana->objectName());
    return QStringLiteral("CorreoElegido = \"%1\"").arg(Telefonos::CorreoElegido);
}

// El directorio sobre una copia del fichero de ejemplo, en una carpeta temporal (TLF).
QString ContactosDeEjemplo(QWidget* ventana) {
    static QTemporaryDir carpeta;
    const QString copia = carpeta.path() + QStringLiteral("/TELEFONO.DAT");
    if (!QFile::exists(copia)) {
        QFile::copy(DatosMuestrario(QStringLiteral("TELEFONO.DAT")), copia);
        QFile(copia).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    const QByteArray tlf = qgetenv("TLF");
    qputenv("TLF", carpeta.path().toLocal8Bit());
    const QString r = Contactos(QStringLiteral("Muestrario ZOQ"), ventana);
    qputenv("TLF", tlf);
    return r + QStringLiteral(" (fichero: ") + copia + u')';
}

QString Ayuda(const QString& fichero) {
    MiniHelp::CargarAyuda(fichero);
    MiniHelp::Instancia().exec();
    return QStringLiteral("Ayuda cerrada");
}

QString Pagina(const QString& direccion) {
    // Se llena y después se muestra: la ventana no está a la vista mientras la página carga, y
    // cerrarla no puede adelantarse a la carga.
    bool problema = false;
    MiniHelp::MiExplorer(direccion, problema);
    if (problema)
        return QStringLiteral("Problema = true: la página no se pudo abrir");
    MiniHelp::Instancia().exec();
    return QStringLiteral("Problema = false");
}

// Tabla de ejemplo para los visores: código, nombre, fecha de alta e importe.
std::vector<QStringList> ClientesDeEjemplo() {
    return {{"4300001", "Ángel Martínez", "12/03/2024", "1.234,50"},
            {"4300002", "Nuria Peñalver", "05/11/2023", "87,00"},
            {"4300003", "angel ortiz", "28/02/2025", "-45,30"},
            {"4300004", "Zoe Núñez", "01/01/2022", "10.000,00"}};
}

QString Visor(const QString& devolver, QWidget* ventana) {
    const QString r = MyBox::MyVisorBox(
        QStringLiteral("Clientes"), QStringLiteral("Código#9;Nombre#22;Alta#10=;Importe#11>"),
        ClientesDeEjemplo(), devolver.isEmpty() ? 10 : 7, devolver, ventana);
    return QStringLiteral("Devolvió «%1»").arg(r);
}

// El editor sobre un fichero de tabla de ejemplo en una carpeta temporal.
QString EditorDeTablas(QWidget* ventana) {
    static QTemporaryDir carpeta;
    const QString ruta = carpeta.path() + QStringLiteral("/PROVINCIAS.TXT");
    if (!QFile::exists(ruta)) {
        QFile f(ruta);
        if (f.open(QIODevice::WriteOnly))
            f.write("Soria\r\nTeruel\r\nCuenca\r\nÁvila\r\nLeón\r\n");
    }
    frmTablas::Ventana& editor = frmTablas::Instancia();
    editor.Dimensionar(ventana, ruta, QStringLiteral("Provincia#24"),
                       QStringLiteral("T(m) A(I) L(24)"), true);
    editor.exec();
    return QStringLiteral("Editor cerrado (fichero: ") + ruta + u')';
}

QString ProgresoDeEjemplo() {
    Progreso::BarraProgreso(1, 0, false, 0, 3000, QStringLiteral("Recalculando saldos..."));
    for (int i = 1; i <= 3000; ++i) {
        QThread::msleep(1);
        Progreso::BarraProgreso(3, static_cast<float>(i));
    }
    Progreso::BarraProgreso(2);
    return QStringLiteral("Terminado");
}

QString ElegirImpresora(bool apaisado) {
    Impresora::Instancia();
    if (apaisado)
        Impresora::ProponerApaisado();
    Impresora::Instancia().exec();
    return QStringLiteral("ImpresoraElegida = \"%1\", OrientacionElegida = \"%2\", "
                          "ImpresionCancelada = %3")
        .arg(Impresora::ImpresoraElegida, Impresora::OrientacionElegida,
             Impresora::ImpresionCancelada ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace

std::vector<EntradaMuestrario> EntradasMuestrario() {
    const QString mensajes = QStringLiteral("&Mensajes");
    const QString entrada = QStringLiteral("&Entrada");
    const QString ayuda = QStringLiteral("A&yuda");
    const QString escritorio = QStringLiteral("Es&critorio");
    const QString rejillas = QStringLiteral("&Rejillas");
    const QString impresion = QStringLiteral("&Progreso e impresora");
    return {
        // --- MyMsgBox ---
        {mensajes, QStringLiteral("Información (Aceptar)"),
         [](QWidget*) {
             return Mensaje(QStringLiteral("La copia de seguridad ha terminado.;"
                                           "Se copiaron 1.234 ficheros."),
                            QStringLiteral("Copia de seguridad"), 10, 1, 1);
         }},
        {mensajes, QStringLiteral("Aviso (Aceptar, Cancelar)"),
         [](QWidget*) {
             return Mensaje(QStringLiteral("Se van a borrar los apuntes del ejercicio 2025.;"
                                           "¿Desea continuar?"),
                            QStringLiteral("Borrar apuntes"), 2, 2, 2);
         }},
        {mensajes, QStringLiteral("Pregunta (Sí, No)"),
         [](QWidget*) {
             return Mensaje(QStringLiteral("¿Imprimir también las facturas anuladas?"),
                            QStringLiteral("Listado de facturas"), 4, 3, 1);
         }},
        {mensajes, QStringLiteral("Pregunta (Sí, No, Cancelar), foco en No"),
         [](QWidget*) {
             return Mensaje(QStringLiteral("El cliente 4300012 ha cambiado.;"
                                           "¿Guardar los cambios antes de salir?"),
                            QStringLiteral("Clientes"), 4, 4, 2);
         }},
        {mensajes, QStringLiteral("Error (Abortar, Reintentar, Ignorar)"),
         [](QWidget*) {
             return Mensaje(QStringLiteral("No se puede escribir en la unidad de red.;"
                                           "Compruebe la conexión."),
                            QStringLiteral("Error de escritura"), 1, 5, 2);
         }},
        {mensajes, QStringLiteral("Reintentar, Cancelar"),
         [](QWidget*) {
             return Mensaje(QStringLiteral("La impresora no responde."),
                            QStringLiteral("Impresión"), 3, 6, 1);
         }},
        {mensajes, QStringLiteral("Centrado sobre el muestrario"),
         [](QWidget* ventana) {
             return Mensaje(QStringLiteral("Este cuadro se centra sobre la ventana que lo pide."),
                            QStringLiteral("Colocación"), 7, 1, 1, ventana);
         }},
        {mensajes, QStringLiteral("Arriba del todo (Top = 100)"),
         [](QWidget*) {
             float top = 100, left = -1;
             const float r = MyBox::MyMsgBox(
                 QStringLiteral("A 100 twips del borde superior, centrado a lo ancho."),
                 QStringLiteral("Colocación"), 8, 1, 1, top, left);
             return Respuesta(r) + QStringLiteral("; Top = %1, Left = %2").arg(top).arg(left);
         }},
        {mensajes, QStringLiteral("Los diez iconos"),
         [](QWidget*) {
             static const char* const dibujos[] = {"parada",   "aviso",      "rayo",   "pregunta",
                                                   "correcto", "incorrecto", "buscar", "calendario",
                                                   "carpeta",  "información"};
             for (int i = 1; i <= 10; ++i) {
                 const float r = MyBox::MyMsgBox(
                     QStringLiteral("Icono %1: %2").arg(i).arg(QString::fromUtf8(dibujos[i - 1])),
                     QStringLiteral("Iconos"), i, 2, 1);
                 if (r != 1)
                     return QStringLiteral("Visto hasta el icono %1").arg(i);
             }
             return QStringLiteral("Vistos los diez iconos");
         }},
        {mensajes, QStringLiteral("Icono inexistente (error)"),
         [](QWidget*) {
             return Mensaje(QStringLiteral("No debería verse"), QStringLiteral("Error"), 11, 1, 1);
         }},
        // --- MyInputBox ---
        {entrada, QStringLiteral("Texto en mayúsculas"),
         [](QWidget*) {
             return Entrada(QStringLiteral("Nombre o razón social del cliente:"),
                            QStringLiteral("Alta de cliente"), 10,
                            QStringLiteral("T(M) L(40) A(I)"));
         }},
        {entrada, QStringLiteral("Importe con dos decimales"),
         [](QWidget*) {
             return Entrada(QStringLiteral("Importe del cobro (con \"+\" se pone 100,00):"),
                            QStringLiteral("Cobros"), 10,
                            QStringLiteral("T(N) L(12) A(D) D(2) +(100)"),
                            QStringLiteral("1234.5"));
         }},
        {entrada, QStringLiteral("Fecha"),
         [](QWidget*) {
             return Entrada(
                 QStringLiteral("Fecha del asiento (escriba solo el día si es de este mes):"),
                 QStringLiteral("Asientos"), 8, QStringLiteral("T(F) L(10) A(I)"));
         }},
        {entrada, QStringLiteral("NIF (\"?\" pone la letra)"),
         [](QWidget*) {
             return Entrada(
                 QStringLiteral("NIF del proveedor;(teclee el número y \"?\" para la letra)"),
                 QStringLiteral("Proveedores"), 7, QStringLiteral("T(X) L(9) A(I)"));
         }},
        {entrada, QStringLiteral("Rango de importes"),
         [](QWidget*) {
             return Entrada(QStringLiteral("Importes de las facturas que se listan:"),
                            QStringLiteral("Listado de facturas"), 7,
                            QStringLiteral("T(N) L(12) A(D) D(2) (/)"), QStringLiteral("1ƒ1000"));
         }},
        {entrada, QStringLiteral("Rango de fechas"),
         [](QWidget*) {
             return Entrada(QStringLiteral("Periodo del listado:"), QStringLiteral("Diario"), 8,
                            QStringLiteral("T(F) L(10) A(I) (/)"),
                            QStringLiteral("01/01/2026ƒ31/12/2026"));
         }},
        {entrada, QStringLiteral("Rango de códigos (texto)"),
         [](QWidget*) {
             return Entrada(QStringLiteral("Códigos de artículo:"), QStringLiteral("Inventario"), 7,
                            QStringLiteral("T(M) L(10) A(I) (/)"), QStringLiteral("Aƒ"));
         }},
        {entrada, QStringLiteral("Lista de opciones"),
         [](QWidget*) {
             return Entrada(QStringLiteral("Serie de facturación:"), QStringLiteral("Facturas"), 9,
                            QStringLiteral("TABLA"),
                            QStringLiteral("A - General;B - Rectificativas;C - Exportación"));
         }},
        {entrada, QStringLiteral("Lista desde un fichero"),
         [](QWidget*) {
             return Entrada(QStringLiteral("Forma de pago:"), QStringLiteral("Cobros"), 9,
                            QStringLiteral("TABLA"),
                            QStringLiteral("@") +
                                DatosMuestrario(QStringLiteral("formas-pago.txt")));
         }},
        {entrada, QStringLiteral("Con botón de ayuda"),
         [](QWidget*) {
             return Entrada(
                 QStringLiteral("Código de cuenta (pulse el botón de ayuda si lo necesita):"),
                 QStringLiteral("Plan contable"), 4, QStringLiteral("T(C) L(8) A(I)"), QString(),
                 DatosMuestrario(QStringLiteral("ayuda.rtf")));
         }},
        // --- MiniHelp ---
        {ayuda, QStringLiteral("Documento de ayuda (RTF)"),
         [](QWidget*) {
             return Ayuda(DatosMuestrario(QStringLiteral("ayuda.rtf")));
         }},
        {ayuda, QStringLiteral("Documento de ayuda (HTML)"),
         [](QWidget*) {
             return Ayuda(DatosMuestrario(QStringLiteral("ayuda.html")));
         }},
        {ayuda, QStringLiteral("Página web (fichero local)"),
         [](QWidget*) {
             return Pagina(
                 QUrl::fromLocalFile(DatosMuestrario(QStringLiteral("ayuda.html"))).toString());
         }},
        {ayuda, QStringLiteral("Página que no se puede abrir"),
         [](QWidget*) {
             return Pagina(QStringLiteral("http://127.0.0.1:9/"));
         }},
        // --- Calculadora: como desde una aplicación, con F4 (también F4 en el muestrario) ---
        {escritorio, QStringLiteral("Calculadora (F4)"),
         [](QWidget* ventana) {
             basicos::TeclasGlobales(basicos::TeclaF4, 0, ventana->objectName());
             return QStringLiteral("Calculadora cerrada. En el portapapeles: ") +
                    QGuiApplication::clipboard()->text();
         }},
        // --- Telefonos: como desde una aplicación, con F8 ---
        {escritorio, QStringLiteral("Directorio de contactos (F8, fichero de ejemplo)"),
         [](QWidget* ventana) {
             return ContactosDeEjemplo(ventana);
         }},
        {escritorio, QStringLiteral("Directorio de contactos (F8, el de este puesto)"),
         [](QWidget* ventana) {
             return Contactos(QString(), ventana);
         }},
        // --- Rejillas: MyVisorBox y frmTablas ---
        {rejillas, QStringLiteral("Visor de tabla (solo mostrar)"),
         [](QWidget* ventana) {
             return Visor(QString(), ventana);
         }},
        {rejillas, QStringLiteral("Visor para elegir (devuelve el código)"),
         [](QWidget* ventana) {
             return Visor(QStringLiteral("Código"), ventana);
         }},
        {rejillas, QStringLiteral("Editor de tablas (fichero de ejemplo)"),
         [](QWidget* ventana) {
             return EditorDeTablas(ventana);
         }},
        // --- Progreso e impresora ---
        {impresion, QStringLiteral("Barra de progreso (3.000 pasos)"),
         [](QWidget*) {
             return ProgresoDeEjemplo();
         }},
        {impresion, QStringLiteral("Selección de impresora"),
         [](QWidget*) {
             return ElegirImpresora(false);
         }},
        {impresion, QStringLiteral("Selección de impresora (propuesta apaisada)"),
         [](QWidget*) {
             return ElegirImpresora(true);
         }},
    };
}
