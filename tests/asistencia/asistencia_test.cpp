// Las ventanas como las oye un lector de pantalla. Los programas arrancan con el puente AT-SPI de
// Qt encendido, en un bus de sesión propio con su bus de accesibilidad (at-spi-bus-launcher), y
// la prueba los recorre y los maneja desde fuera por AT-SPI (libatspi), como Orca, el acceso por
// conmutador o el control por voz: cada ventana que se abre llega como ventana (o diálogo) con su
// título, todo control interactivo a la vista tiene nombre, los botones son botones y su acción
// de pulsar hace lo que un clic; la pantalla de la calculadora se lee y anuncia cada resultado.
#include "qt_gtest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#if ZOQ_CON_ATSPI
#include <atspi/atspi.h>
#include <csignal>
#include <dbus/dbus.h>
#include <unistd.h>
#endif

namespace {

// Una ventana que aparece y lo que se hace en ella.
struct Paso {
    const char* papel;  // como la anuncia AT-SPI: "frame", "dialog", "alert"
    const char* titulo; // su nombre, sin los blancos de los extremos
    const char* pulsar; // botón que se pulsa por su acción de AT-SPI; nullptr: se cierra sola
};

// Un caso: en el programa, la entrada del menú del muestrario (o el botón de la ventana
// principal) que abre las ventanas de los pasos, y lo que la ventana principal enseña al final.
struct Caso {
    const char* entrada;
    std::vector<Paso> pasos;
    const char* resultado; // texto que acaba apareciendo en una etiqueta; nullptr: nada
};

// Las ventanas de un programa, en el orden en que se abren.
struct Grupo {
    const char* nombre; // nombre del caso de la prueba
    const char* programa;
    Paso principal; // la ventana con que arranca
    std::vector<Caso> casos;
};

void PrintTo(const Grupo& grupo, std::ostream* os) {
    *os << grupo.nombre;
}

const char* const kMuestrario = "Muestrario de ventanas ZOQ";

const std::vector<Grupo>& Grupos() {
    static const Paso muestrario{"frame", kMuestrario, nullptr};
    static const std::vector<Grupo> grupos = {
        {"Mensajes",
         ZOQ_MUESTRARIO,
         muestrario,
         {
             {"Información (Aceptar)",
              {{"dialog", "Copia de seguridad", "Aceptar"}},
              "Respuesta 1 (Aceptar)"},
             {"Aviso (Aceptar, Cancelar)",
              {{"dialog", "Borrar apuntes", "Cancelar"}},
              "Respuesta 2 (Cancelar)"},
             {"Pregunta (Sí, No)", {{"dialog", "Listado de facturas", "No"}}, "Respuesta 7 (No)"},
             {"Pregunta (Sí, No, Cancelar), foco en No",
              {{"dialog", "Clientes", "Si"}},
              "Respuesta 6 (Si)"},
             {"Error (Abortar, Reintentar, Ignorar)",
              {{"dialog", "Error de escritura", "Abortar"}},
              "Respuesta 3 (Abortar)"},
             {"Reintentar, Cancelar",
              {{"dialog", "Impresión", "Reintentar"}},
              "Respuesta 4 (Reintentar)"},
             {"Centrado sobre el muestrario",
              {{"dialog", "Colocación", "Aceptar"}},
              "Respuesta 1 (Aceptar)"},
             {"Arriba del todo (Top = 100)",
              {{"dialog", "Colocación", "Aceptar"}},
              "Respuesta 1 (Aceptar); Top = 100"},
             {"Los diez iconos", {{"dialog", "Iconos", "Cancelar"}}, "Visto hasta el icono 1"},
             // El aviso estándar de Qt llega como alerta: el lector lo lee entero al aparecer.
             {"Icono inexistente (error)",
              {{"alert", kMuestrario, "Aceptar"}},
              "Error: El icono 11 no existe"},
         }},
        {"Entrada",
         ZOQ_MUESTRARIO,
         muestrario,
         {
             {"Texto en mayúsculas", {{"dialog", "Alta de cliente", "Aceptar"}}, "Devolvió «»"},
             {"Importe con dos decimales", {{"dialog", "Cobros", "Aceptar"}}, "Devolvió «1234.50»"},
             {"Fecha", {{"dialog", "Asientos", "Cancelar"}}, "Devolvió «»"},
             {"NIF (\"?\" pone la letra)", {{"dialog", "Proveedores", "Cancelar"}}, "Devolvió «»"},
             {"Rango de importes",
              {{"dialog", "Listado de facturas", "Aceptar"}},
              "Devolvió «1.00ƒ1000.00»"},
             {"Rango de fechas",
              {{"dialog", "Diario", "Aceptar"}},
              "Devolvió «01/01/2026ƒ31/12/2026»"},
             {"Rango de códigos (texto)", {{"dialog", "Inventario", "Cancelar"}}, "Devolvió «»"},
             {"Lista de opciones", {{"dialog", "Facturas", "Aceptar"}}, "Devolvió «A - General»"},
             {"Lista desde un fichero", {{"dialog", "Cobros", "Cancelar"}}, "Devolvió «»"},
             {"Con botón de ayuda",
              {{"dialog", "Plan contable", "Ayuda"},
               {"dialog", "Ayuda", "Cerrar la ayuda"},
               {"dialog", "Plan contable", "Cancelar"}},
              "Devolvió «»"},
         }},
        {"Ayuda",
         ZOQ_MUESTRARIO,
         muestrario,
         {
             {"Documento de ayuda (RTF)",
              {{"dialog", "Ayuda", "Cerrar la ayuda"}},
              "Ayuda cerrada"},
             {"Documento de ayuda (HTML)",
              {{"dialog", "Ayuda", "Cerrar la ayuda"}},
              "Ayuda cerrada"},
             {"Página web (fichero local)",
              {{"dialog", "Ayuda", "Cerrar la ayuda"}},
              "Problema = false"},
             // La página no se abre: la ventana se descarga sin llegar a verse.
             {"Página que no se puede abrir", {}, "Problema = true"},
         }},
        {"Escritorio",
         ZOQ_MUESTRARIO,
         muestrario,
         {
             {"Calculadora (F4)", {{"frame", "Calculadora", "Salir"}}, "Calculadora cerrada"},
             {"Directorio de contactos (F8, fichero de ejemplo)",
              {{"frame", "Teléfonos", "Salir"}},
              "CorreoElegido = \"\""},
             {"Directorio de contactos (F8, el de este puesto)",
              {{"frame", "Teléfonos", "Salir"}},
              "CorreoElegido = \"\""},
         }},
        {"Rejillas",
         ZOQ_MUESTRARIO,
         muestrario,
         {
             {"Visor de tabla (solo mostrar)", {{"dialog", "Clientes", "Aceptar"}}, "Devolvió «»"},
             {"Visor para elegir (devuelve el código)",
              {{"dialog", "Clientes", "Cancelar"}},
              "Devolvió «»"},
             {"Editor de tablas (fichero de ejemplo)",
              {{"dialog", "Edición de Tablas", "Salir"}},
              "Editor cerrado"},
         }},
        {"ProgresoEImpresora",
         ZOQ_MUESTRARIO,
         muestrario,
         {
             {"Barra de progreso (3.000 pasos)",
              {{"frame", "Recalculando saldos...", nullptr}},
              "Terminado"},
             {"Selección de impresora",
              {{"dialog", "Selección de Impresora", "Cancelar"}},
              "ImpresionCancelada = true"},
             {"Selección de impresora (propuesta apaisada)",
              {{"dialog", "Selección de Impresora", "Aceptar"}},
              "ImpresionCancelada = false"},
         }},
        {"Cobros",
         ZOQ_EJEMPLO_COBROS,
         {"frame", "Cobros", nullptr},
         {
             {"Añadir", {{"dialog", "Cobros", "Aceptar"}}, nullptr},
             {"Listar...", {{"dialog", "Cobros", "Aceptar"}}, "Total del periodo"},
         }},
        // La calculadora por sí misma; 7 + 3 = en su caso propio, abajo.
        {"Zodivazod", ZOQ_ZODIVAZOD, {"frame", "Calculadora", nullptr}, {}},
    };
    return grupos;
}

#if ZOQ_CON_ATSPI

// --- libatspi, con limpieza automática --------------------------------------------------------

struct Soltar {
    void operator()(void* objeto) const {
        if (objeto != nullptr)
            g_object_unref(objeto);
    }
};
using Nodo = std::unique_ptr<AtspiAccessible, Soltar>;

QString Cadena(gchar* texto) {
    QString r = QString::fromUtf8(texto);
    g_free(texto);
    return r;
}

QString Nombre(AtspiAccessible* nodo) {
    return Cadena(atspi_accessible_get_name(nodo, nullptr)).trimmed();
}

QString Papel(AtspiAccessible* nodo) {
    return Cadena(atspi_accessible_get_role_name(nodo, nullptr));
}

bool AlaVista(AtspiAccessible* nodo) {
    std::unique_ptr<AtspiStateSet, Soltar> estados(atspi_accessible_get_state_set(nodo));
    return estados && atspi_state_set_contains(estados.get(), ATSPI_STATE_SHOWING);
}

std::vector<Nodo> Hijos(AtspiAccessible* nodo) {
    std::vector<Nodo> hijos;
    const int n = atspi_accessible_get_child_count(nodo, nullptr);
    for (int i = 0; i < n; ++i)
        if (AtspiAccessible* hijo = atspi_accessible_get_child_at_index(nodo, i, nullptr))
            hijos.emplace_back(hijo);
    return hijos;
}

// El primer descendiente a la vista (o el nodo mismo) que cumple la condición.
Nodo Buscar(AtspiAccessible* nodo, const std::function<bool(AtspiAccessible*)>& condicion) {
    if (!AlaVista(nodo))
        return nullptr;
    if (condicion(nodo))
        return Nodo(static_cast<AtspiAccessible*>(g_object_ref(nodo)));
    for (Nodo& hijo : Hijos(nodo))
        if (Nodo hallado = Buscar(hijo.get(), condicion))
            return hallado;
    return nullptr;
}

Nodo BuscarPorNombre(AtspiAccessible* nodo, const QString& papel, const QString& nombre) {
    return Buscar(nodo,
                  [&](AtspiAccessible* n) { return Papel(n) == papel && Nombre(n) == nombre; });
}

QStringList Acciones(AtspiAccessible* nodo) {
    QStringList nombres;
    std::unique_ptr<AtspiAction, Soltar> accion(atspi_accessible_get_action_iface(nodo));
    if (!accion)
        return nombres;
    const int n = atspi_action_get_n_actions(accion.get(), nullptr);
    for (int i = 0; i < n; ++i)
        nombres << Cadena(atspi_action_get_action_name(accion.get(), i, nullptr));
    return nombres;
}

QString TextoDe(AtspiAccessible* nodo) {
    std::unique_ptr<AtspiText, Soltar> texto(atspi_accessible_get_text_iface(nodo));
    return texto ? Cadena(atspi_text_get_text(texto.get(), 0, -1, nullptr)) : QString();
}

// Los papeles que se pulsan, se eligen o se escriben: el lector tiene que poder nombrarlos.
bool EsInteractivo(const QString& papel) {
    static const QStringList papeles = {
        "push button", "toggle button", "check box",  "radio button",  "combo box",
        "text",        "spin button",   "slider",     "list",          "list box",
        "table",       "tree",          "tree table", "page tab list", "menu item"};
    return papeles.contains(papel);
}

// Anota cada control interactivo a la vista sin nombre, con su camino desde la ventana.
void RevisarNombres(AtspiAccessible* nodo, const QString& camino, QStringList& faltas) {
    if (!AlaVista(nodo))
        return;
    const QString papel = Papel(nodo);
    const QString aqui = camino + u'/' + papel + u'«' + Nombre(nodo) + u'»';
    if (EsInteractivo(papel) && Nombre(nodo).isEmpty())
        faltas << aqui;
    // Las celdas de una tabla o una lista y las partes de un texto no son controles.
    if (papel == "table" || papel == "list" || papel == "list box" || papel == "tree" ||
        papel == "tree table" || papel == "text")
        return;
    for (Nodo& hijo : Hijos(nodo))
        RevisarNombres(hijo.get(), aqui, faltas);
}

// Espera a que la condición se cumpla atendiendo los avisos del bus; false si no llega.
bool Esperar(const std::function<bool()>& condicion, int ms = 10000) {
    QElapsedTimer reloj;
    reloj.start();
    while (!condicion()) {
        if (reloj.elapsed() > ms)
            return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        QThread::msleep(30);
    }
    return true;
}

// --- El bus de la asistencia ---------------------------------------------------------------

// Espera a que el lanzador tenga su nombre en el bus de sesión y le pide la dirección del bus
// de accesibilidad; vacía si no llega.
QString DireccionAccesibilidad(const QString& sesion) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* conexion = dbus_connection_open_private(sesion.toUtf8().constData(), &error);
    QString direccion;
    if (conexion != nullptr && dbus_bus_register(conexion, &error)) {
        QElapsedTimer reloj;
        reloj.start();
        while (!dbus_bus_name_has_owner(conexion, "org.a11y.Bus", nullptr) &&
               reloj.elapsed() < 10000)
            QThread::msleep(50);
        DBusMessage* pregunta = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                             "org.a11y.Bus", "GetAddress");
        DBusMessage* respuesta =
            dbus_connection_send_with_reply_and_block(conexion, pregunta, 10000, &error);
        const char* texto = nullptr;
        if (respuesta != nullptr &&
            dbus_message_get_args(respuesta, &error, DBUS_TYPE_STRING, &texto, DBUS_TYPE_INVALID))
            direccion = QString::fromUtf8(texto);
        if (respuesta != nullptr)
            dbus_message_unref(respuesta);
        dbus_message_unref(pregunta);
    }
    if (conexion != nullptr) {
        dbus_connection_close(conexion);
        dbus_connection_unref(conexion);
    }
    dbus_error_free(&error);
    return direccion;
}

// Un bus de sesión propio (dbus-run-session) con el lanzador del bus de accesibilidad, en un
// grupo de procesos propio que se para entero al acabar. El lanzador va sin pantalla, para que
// no deje la dirección de su bus en la pantalla de pruebas compartida, y con su propia carpeta
// de ejecución, para que su bus no pise el de otra sesión.
class BusAsistencia {
public:
    bool Arrancar(QString& motivo) {
        const QString lanzador = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
        if (!QFileInfo(lanzador).isExecutable()) {
            motivo = lanzador + QStringLiteral(" no está (paquete at-spi2-core)");
            return false;
        }
        QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
        entorno.remove(QStringLiteral("DISPLAY"));
        entorno.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
        entorno.insert(QStringLiteral("XDG_RUNTIME_DIR"), carpeta_.path());
        proceso_.setProcessEnvironment(entorno);
        proceso_.setChildProcessModifier([] { setsid(); });
        proceso_.start(QStringLiteral("dbus-run-session"),
                       {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                        QStringLiteral("echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec ") + lanzador +
                            QStringLiteral(" --launch-immediately")});
        if (!carpeta_.isValid() || !proceso_.waitForStarted(5000)) {
            motivo = QStringLiteral("dbus-run-session no arranca (paquete dbus)");
            return false;
        }
        if (!proceso_.canReadLine() && !proceso_.waitForReadyRead(10000)) {
            motivo = QStringLiteral("el bus de sesión no dice su dirección");
            return false;
        }
        sesion_ = QString::fromUtf8(proceso_.readLine()).trimmed();
        accesibilidad_ = DireccionAccesibilidad(sesion_);
        if (accesibilidad_.isEmpty()) {
            motivo = QStringLiteral("at-spi-bus-launcher no da el bus de accesibilidad");
            return false;
        }
        qputenv("AT_SPI_BUS_ADDRESS", accesibilidad_.toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", sesion_.toUtf8());
        atspi_init();
        atspi_set_timeout(5000, 15000);
        escritorio_.reset(atspi_get_desktop(0));
        if (!escritorio_) {
            motivo = QStringLiteral("no hay escritorio de AT-SPI");
            return false;
        }
        // Sin caché: cada pregunta va al programa, que es quien sabe cómo está ahora.
        atspi_accessible_set_cache_mask(escritorio_.get(), ATSPI_CACHE_NONE);
        return true;
    }

    ~BusAsistencia() {
        escritorio_.reset();
        if (proceso_.state() == QProcess::NotRunning)
            return;
        // El grupo entero: el bus de sesión, el lanzador, el bus de accesibilidad y el registro.
        ::kill(-static_cast<pid_t>(proceso_.processId()), SIGTERM);
        if (!proceso_.waitForFinished(5000)) {
            ::kill(-static_cast<pid_t>(proceso_.processId()), SIGKILL);
            proceso_.waitForFinished(2000);
        }
    }

    AtspiAccessible* Escritorio() const { return escritorio_.get(); }

    /// El entorno de un programa que se oye por este bus, con el puente AT-SPI de Qt encendido.
    QProcessEnvironment EntornoPrograma() const {
        QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
        entorno.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sesion_);
        entorno.remove(QStringLiteral("AT_SPI_BUS_ADDRESS")); // Qt lo busca por el bus de sesión
        entorno.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        entorno.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return entorno;
    }

private:
    QTemporaryDir carpeta_;
    QProcess proceso_;
    QString sesion_, accesibilidad_;
    Nodo escritorio_;
};

// La acción de pulsar de un nodo, enviada sin esperar respuesta: la entrada de un menú que
// abre un cuadro modal no contesta hasta que el cuadro se cierra.
bool EnviarAccion(AtspiAccessible* nodo, int indice) {
    DBusConnection* bus = atspi_get_a11y_bus();
    AtspiObject* objeto = ATSPI_OBJECT(nodo);
    if (bus == nullptr || objeto->app == nullptr)
        return false;
    DBusMessage* mensaje = dbus_message_new_method_call(objeto->app->bus_name, objeto->path,
                                                        "org.a11y.atspi.Action", "DoAction");
    if (mensaje == nullptr)
        return false;
    dbus_int32_t i = indice;
    dbus_message_append_args(mensaje, DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
    dbus_message_set_no_reply(mensaje, TRUE);
    const bool enviado = dbus_connection_send(bus, mensaje, nullptr);
    dbus_connection_flush(bus);
    dbus_message_unref(mensaje);
    return enviado;
}

// Lo que se anunció como texto nuevo (object:text-changed:insert): quién y qué.
struct Anuncio {
    QString quien;
    QString texto;
};

void AlAnunciar(AtspiEvent* suceso, void* datos) {
    auto* anuncios = static_cast<std::vector<Anuncio>*>(datos);
    QString texto;
    if (G_VALUE_HOLDS_STRING(&suceso->any_data))
        texto = QString::fromUtf8(g_value_get_string(&suceso->any_data));
    anuncios->push_back({suceso->source ? Nombre(suceso->source) : QString(), texto});
    g_boxed_free(ATSPI_TYPE_EVENT, suceso);
}

// Un programa arrancado con el puente AT-SPI de Qt encendido, en la pantalla de pruebas.
class Programa {
public:
    Programa(const QString& ruta, const BusAsistencia& bus) {
        QProcessEnvironment entorno = bus.EntornoPrograma();
        entorno.insert(QStringLiteral("TLF"), carpeta_.path()); // un directorio de contactos aparte
        proceso_.setProcessEnvironment(entorno);
        proceso_.setProcessChannelMode(QProcess::ForwardedChannels);
        proceso_.start(ruta, {});
        proceso_.waitForStarted(10000);
    }
    ~Programa() {
        aplicacion_.reset();
        if (proceso_.state() == QProcess::NotRunning)
            return;
        proceso_.terminate();
        if (!proceso_.waitForFinished(5000)) {
            proceso_.kill();
            proceso_.waitForFinished(2000);
        }
    }

    // La aplicación del programa en el escritorio de AT-SPI (por su número de proceso).
    AtspiAccessible* Aplicacion(AtspiAccessible* escritorio) {
        if (!aplicacion_)
            Esperar([&] {
                for (Nodo& app : Hijos(escritorio))
                    if (atspi_accessible_get_process_id(app.get(), nullptr) ==
                        static_cast<guint>(proceso_.processId())) {
                        aplicacion_ = std::move(app);
                        return true;
                    }
                return false;
            });
        return aplicacion_.get();
    }

    // true si el programa terminó por sí mismo, sin fallo, dentro del plazo.
    bool Termino(int ms) {
        if (proceso_.state() != QProcess::NotRunning && !proceso_.waitForFinished(ms))
            return false;
        return proceso_.exitStatus() == QProcess::NormalExit && proceso_.exitCode() == 0;
    }

private:
    QTemporaryDir carpeta_;
    QProcess proceso_;
    Nodo aplicacion_;
};

// Espera a que el programa tenga a la vista una ventana de primer nivel con ese papel y ese
// título; la última, si hay varias.
Nodo EsperarVentana(AtspiAccessible* aplicacion, const QString& papel, const QString& titulo,
                    int ms = 10000) {
    Nodo ventana;
    Esperar(
        [&] {
            for (Nodo& hija : Hijos(aplicacion))
                if (AlaVista(hija.get()) && Papel(hija.get()) == papel &&
                    Nombre(hija.get()) == titulo)
                    ventana = std::move(hija);
            return ventana != nullptr;
        },
        ms);
    return ventana;
}

// Las ventanas de primer nivel a la vista, como «papel «título»», para los mensajes.
QString VentanasALaVista(AtspiAccessible* aplicacion) {
    QStringList vistas;
    for (Nodo& hija : Hijos(aplicacion))
        if (AlaVista(hija.get()))
            vistas << Papel(hija.get()) + QStringLiteral(" «") + Nombre(hija.get()) + u'»';
    return vistas.join(QStringLiteral(", "));
}

// Pulsa el botón por su acción de AT-SPI, después de comprobar que es un botón (y no una
// casilla que se marca).
void Pulsar(AtspiAccessible* ventana, const QString& boton) {
    Nodo nodo = Buscar(
        ventana, [&](AtspiAccessible* n) { return EsInteractivo(Papel(n)) && Nombre(n) == boton; });
    ASSERT_NE(nodo, nullptr) << "no hay «" << boton.toStdString() << "» a la vista";
    EXPECT_EQ(Papel(nodo.get()), QStringLiteral("push button")) << boton.toStdString();
    const QStringList acciones = Acciones(nodo.get());
    const auto pulsar = acciones.indexOf(QStringLiteral("Press"));
    ASSERT_GE(pulsar, 0) << boton.toStdString() << ": " << acciones.join(u' ').toStdString();
    ASSERT_TRUE(EnviarAccion(nodo.get(), static_cast<int>(pulsar)));
}

// La ventana llega con su papel y su título; sus controles a la vista, con nombre.
Nodo ComprobarVentana(AtspiAccessible* aplicacion, const Paso& paso, const QString& programa) {
    const QString papel = QString::fromUtf8(paso.papel), titulo = QString::fromUtf8(paso.titulo);
    Nodo ventana = EsperarVentana(aplicacion, papel, titulo);
    EXPECT_NE(ventana, nullptr) << "se esperaba " << paso.papel << " «" << paso.titulo
                                << "»; a la vista: " << VentanasALaVista(aplicacion).toStdString();
    if (!ventana)
        return nullptr;
    std::printf("VENTANA %s | %s | %s\n", qPrintable(programa), paso.papel, paso.titulo);
    QStringList faltas;
    RevisarNombres(ventana.get(), QString(), faltas);
    EXPECT_TRUE(faltas.isEmpty()) << "sin nombre:\n" << faltas.join(u'\n').toStdString();
    return ventana;
}

// Espera a que una etiqueta de la ventana diga el texto (como el lector la leería). Si no
// llega, lo que dicen sus etiquetas.
::testing::AssertionResult EtiquetaDice(AtspiAccessible* ventana, const QString& texto) {
    QStringList dicen;
    const bool dice = Esperar([&] {
        dicen.clear();
        return Buscar(ventana, [&](AtspiAccessible* n) {
                   if (Papel(n) != "label")
                       return false;
                   dicen << Nombre(n);
                   return dicen.last().contains(texto);
               }) != nullptr;
    });
    if (dice)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "se esperaba «" << texto.toStdString() << "»; las etiquetas dicen «"
           << dicen.join(QStringLiteral("», «")).toStdString() << "»";
}

#endif // ZOQ_CON_ATSPI

// El bus y el oyente de los anuncios, uno por grupo de casos.
class AsistenciaEnPantalla : public ::testing::Test {
protected:
#if ZOQ_CON_ATSPI
    // Uno por proceso (libatspi no cambia de bus): lo para el entorno global al acabar.
    static void SetUpTestSuite() {
        if (bus_ != nullptr || !motivo_.isEmpty())
            return;
        bus_ = new BusAsistencia;
        if (!bus_->Arrancar(motivo_)) {
            delete bus_;
            bus_ = nullptr;
            return;
        }
        // Se escucha antes de que arranque ningún programa: el puente de Qt solo envía los
        // sucesos que alguien escucha, y lo pregunta al arrancar.
        oyente_ = atspi_event_listener_new(AlAnunciar, &anuncios_, nullptr);
        atspi_event_listener_register(oyente_, "object:text-changed:insert", nullptr);
    }

public:
    static void Parar() {
        if (oyente_ != nullptr)
            g_object_unref(oyente_);
        oyente_ = nullptr;
        delete bus_;
        bus_ = nullptr;
    }

protected:
    void SetUp() override {
        if (bus_ == nullptr) {
            std::printf("OMITIDA: %s\n", qPrintable(motivo_));
            GTEST_SKIP() << motivo_.toStdString();
        }
        anuncios_.clear();
    }

    static inline BusAsistencia* bus_ = nullptr;
    static inline QString motivo_;
    static inline AtspiEventListener* oyente_ = nullptr;
    static inline std::vector<Anuncio> anuncios_;
#else
    void SetUp() override {
        std::printf("OMITIDA: compilada sin libatspi (paquete libatspi2.0-dev)\n");
        GTEST_SKIP() << "sin libatspi";
    }
#endif
};

#if ZOQ_CON_ATSPI
class PararBus : public ::testing::Environment {
public:
    void TearDown() override { AsistenciaEnPantalla::Parar(); }
};
[[maybe_unused]] ::testing::Environment* const kPararBus =
    ::testing::AddGlobalTestEnvironment(new PararBus);
#endif

// Las ventanas de un programa, por la tabla.
class VentanasEnPantalla : public AsistenciaEnPantalla,
                           public ::testing::WithParamInterface<Grupo> {};

#if ZOQ_CON_ATSPI

TEST_P(VentanasEnPantalla, PapelTituloNombresYBotones) {
    const Grupo& grupo = GetParam();
    Programa programa(QString::fromUtf8(grupo.programa), *bus_);
    AtspiAccessible* aplicacion = programa.Aplicacion(bus_->Escritorio());
    ASSERT_NE(aplicacion, nullptr) << "el programa no aparece en AT-SPI";
    const QString nombre = QString::fromUtf8(grupo.nombre);
    Nodo principal = ComprobarVentana(aplicacion, grupo.principal, nombre);
    ASSERT_NE(principal, nullptr);

    for (const Caso& caso : grupo.casos) {
        SCOPED_TRACE(caso.entrada);
        // Lo que abre el caso: una entrada de menú (muestrario; las de los menús cerrados no
        // están a la vista) o un botón de la ventana.
        const QString entrada = QString::fromUtf8(caso.entrada);
        std::function<Nodo(AtspiAccessible*)> buscar = [&](AtspiAccessible* n) -> Nodo {
            if ((Papel(n) == "menu item" || Papel(n) == "push button") && Nombre(n) == entrada)
                return Nodo(static_cast<AtspiAccessible*>(g_object_ref(n)));
            for (Nodo& hijo : Hijos(n))
                if (Nodo hallado = buscar(hijo.get()))
                    return hallado;
            return nullptr;
        };
        Nodo abre = buscar(principal.get());
        ASSERT_NE(abre, nullptr);
        const auto pulsar = Acciones(abre.get()).indexOf(QStringLiteral("Press"));
        ASSERT_GE(pulsar, 0);
        ASSERT_TRUE(EnviarAccion(abre.get(), static_cast<int>(pulsar)));

        for (const Paso& paso : caso.pasos) {
            Nodo ventana = ComprobarVentana(aplicacion, paso, nombre);
            if (!ventana)
                return;                   // lo demás esperaría a ventanas que no llegan
            if (paso.pulsar == nullptr) { // se cierra sola
                EXPECT_TRUE(Esperar([&] { return !AlaVista(ventana.get()); }, 30000));
            } else {
                Pulsar(ventana.get(), QString::fromUtf8(paso.pulsar));
            }
        }
        if (caso.resultado != nullptr) {
            EXPECT_TRUE(EtiquetaDice(principal.get(), QString::fromUtf8(caso.resultado)));
        }
        // Nada más abierto antes del caso siguiente.
        EXPECT_TRUE(Esperar([&] {
            const std::vector<Nodo> hijas = Hijos(aplicacion);
            return std::count_if(hijas.begin(), hijas.end(),
                                 [](const Nodo& h) { return AlaVista(h.get()); }) == 1;
        })) << VentanasALaVista(aplicacion).toStdString();
    }
}

// La calculadora por AT-SPI: 7 + 3 = con las acciones de sus teclas. La pantalla se lee como
// texto y cada resultado se anuncia, y también la línea nueva del rollo.
TEST_F(AsistenciaEnPantalla, LaCalculadoraSeLeeYAnunciaCadaResultado) {
    Programa programa(QStringLiteral(ZOQ_ZODIVAZOD), *bus_);
    AtspiAccessible* aplicacion = programa.Aplicacion(bus_->Escritorio());
    ASSERT_NE(aplicacion, nullptr);
    Nodo ventana =
        EsperarVentana(aplicacion, QStringLiteral("frame"), QStringLiteral("Calculadora"));
    ASSERT_NE(ventana, nullptr) << VentanasALaVista(aplicacion).toStdString();
    Nodo pantalla =
        BuscarPorNombre(ventana.get(), QStringLiteral("label"), QStringLiteral("Pantalla"));
    ASSERT_NE(pantalla, nullptr);
    EXPECT_EQ(TextoDe(pantalla.get()), QStringLiteral("0,00"));

    for (const char* tecla : {"7", "Sumar", "3", "Igual"})
        Pulsar(ventana.get(), QString::fromUtf8(tecla));
    EXPECT_TRUE(Esperar([&] { return TextoDe(pantalla.get()) == QStringLiteral("10,00 ="); }))
        << TextoDe(pantalla.get()).toStdString();

    auto anunciado = [](const QString& quien, const QString& texto) {
        return Esperar([&] {
            return std::any_of(anuncios_.begin(), anuncios_.end(), [&](const Anuncio& a) {
                return a.quien == quien && a.texto.contains(texto);
            });
        });
    };
    EXPECT_TRUE(anunciado(QStringLiteral("Pantalla"), QStringLiteral("7,00 +")));
    EXPECT_TRUE(anunciado(QStringLiteral("Pantalla"), QStringLiteral("10,00 =")));
    EXPECT_TRUE(anunciado(QStringLiteral("Rollo de papel"), QStringLiteral("10,00 =")));

    Pulsar(ventana.get(), QStringLiteral("Salir"));
    EXPECT_TRUE(programa.Termino(10000)) << "«Salir» no cerró bien la calculadora";
}

#else

TEST_P(VentanasEnPantalla, PapelTituloNombresYBotones) {}
TEST_F(AsistenciaEnPantalla, LaCalculadoraSeLeeYAnunciaCadaResultado) {}

#endif // ZOQ_CON_ATSPI

INSTANTIATE_TEST_SUITE_P(Programas, VentanasEnPantalla, ::testing::ValuesIn(Grupos()),
                         [](const ::testing::TestParamInfo<Grupo>& info) {
                             return std::string(info.param.nombre);
                         });

} // namespace
