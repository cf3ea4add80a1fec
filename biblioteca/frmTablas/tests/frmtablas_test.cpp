// El editor de tablas como lo usa una aplicación: carga, elección, cambios y grabación.
#include "frmTablas/frmTablas.h"

#include "MiVisor/MiVisor.h"
#include "MiVisor/MsgBoxPlataforma.h"
#include "MiVisor/Rejilla.h"
#include "MyBox/MyBox.h"
#include "basicos/pantalla.h"
#include "frmTablas/nucleo/fichero_tabla.h"

#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace frmTablas;

namespace {

QByteArray leer(const QString& ruta) {
    QFile f(ruta);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void escribir(const QString& ruta, const QByteArray& datos) {
    QFile f(ruta);
    f.open(QIODevice::WriteOnly);
    f.write(datos);
}

QStringList columna0(const MiVisor::Rejilla& r) {
    QStringList l;
    for (int f = 1; f < r.Rows(); ++f)
        l << r.TextMatrix(f, 0);
    return l;
}

class EditorTablas : public ::testing::Test {
protected:
    void SetUp() override {
        ruta = dir.filePath("provincias.txt");
        MiVisor::PonerMsgBox([this](const QString& texto, int estilo, const QString&) {
            mensajes << texto;
            estilos << estilo;
            return respuestaMsgBox;
        });
        PonerInputBox([this](const QString& pregunta, const QString& titulo, const QPoint&) {
            preguntas << pregunta + "|" + titulo;
            return rutaTecleada;
        });
    }
    void TearDown() override {
        if (Cargada()) {
            Instancia().VisorTabla->setTag(QString());
            Instancia().cmdSalir_Click();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        MiVisor::PonerMsgBox({});
        PonerInputBox({});
    }
    Ventana& abrir(bool cargar = true) {
        Ventana& v = Instancia();
        // Las columnas y el descriptor del muestrario.
        v.Dimensionar(nullptr, ruta, "Provincia#24", "T(m) A(I) L(24)", cargar);
        v.show();
        return v;
    }
    void elegirFila(Ventana& v, int fila) {
        v.VisorTabla->Refrescar();
        QTest::mouseClick(v.VisorTabla->viewport(), Qt::LeftButton, {},
                          v.VisorTabla->visualRect(v.VisorTabla->indiceVista(fila, 0)).center());
    }

    QTemporaryDir dir;
    QString ruta;
    QStringList mensajes, preguntas;
    QList<int> estilos;
    int respuestaMsgBox = 1;
    QString rutaTecleada;
};

TEST_F(EditorTablas, DimensionarCargaElFicheroSinMarcarloModificado) {
    escribir(ruta, "Soria\r\nTeruel\r\n\r\nCuenca");
    Ventana& v = abrir();
    EXPECT_EQ(columna0(*v.VisorTabla), (QStringList{"Soria", "Teruel", "", "Cuenca"}));
    EXPECT_EQ(v.VisorTabla->TextMatrix(0, 0), QStringLiteral("Provincia"));
    EXPECT_FALSE(v.Modificado());
    EXPECT_EQ(v.windowTitle(), QStringLiteral("Edición de Tablas"));
    EXPECT_EQ(v.VisorTabla->width(), basicos::PixelesX(24 * 120 + 320));
}

TEST_F(EditorTablas, ElegirSinCambiarNoModificaYTeclearSi) {
    escribir(ruta, "Soria\r\nTeruel\r\n");
    Ventana& v = abrir();
    elegirFila(v, 2);
    EXPECT_EQ(v.Elemento->text(), QStringLiteral("Teruel"));
    EXPECT_EQ(v.FilaEdicion, 2);
    EXPECT_FALSE(v.Modificado());
    QTest::keyClick(v.Elemento, Qt::Key_S);
    EXPECT_TRUE(v.Modificado());
    v.cmdAceptar_Click();
    EXPECT_EQ(columna0(*v.VisorTabla), (QStringList{"Soria", "Teruels"}));
    EXPECT_EQ(v.FilaEdicion, 0);
    EXPECT_EQ(v.Elemento->text(), QString());
}

TEST_F(EditorTablas, SeEligeTambienLaFilaQueYaEsLaActualEnPantalla) {
    escribir(ruta, "Soria\r\nTeruel\r\n");
    Ventana& v = abrir();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
    elegirFila(v, 1); // la fila 1 es la actual desde que se abrió
    EXPECT_EQ(v.Elemento->text(), QStringLiteral("Soria"));
    EXPECT_EQ(v.FilaEdicion, 1);
    elegirFila(v, 2);
    QTest::keyClick(v.Elemento, Qt::Key_End);
    QTest::keyClick(v.Elemento, Qt::Key_X);
    QTest::mouseClick(v.cmdAceptar, Qt::LeftButton);
    EXPECT_EQ(v.Elemento->text(), QString());
    elegirFila(v, 2); // la recién aceptada sigue siendo la actual
    EXPECT_EQ(v.Elemento->text(), QStringLiteral("Teruelx"));
    EXPECT_EQ(v.FilaEdicion, 2);
}

TEST_F(EditorTablas, LosTresBotonesSeVenConSuSeparacionEnPantalla) {
    for (const char* titulos : {"Código#10", "Provincia#24", "Provincia#40"}) {
        Ventana& v = Instancia();
        v.Dimensionar(nullptr, ruta, QString::fromUtf8(titulos), "T(m) A(I) L(10)", false);
        v.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
        const QRect a = v.cmdAceptar->geometry(), g = v.cmdGrabar->geometry(),
                    s = v.cmdSalir->geometry();
        const int separacion = basicos::PixelesX(247) - 1;
        EXPECT_GE(g.left() - a.right(), separacion) << titulos;
        EXPECT_GE(s.left() - g.right(), separacion) << titulos;
        EXPECT_TRUE(v.Marco->rect().contains(s)) << titulos;
        EXPECT_LE(v.Marco->geometry().right(), v.width()) << titulos;
        if (QString(titulos) == "Provincia#40") { // cabe: "Salir" acaba donde el campo
            EXPECT_NEAR(s.right(), v.Elemento->geometry().right(), 1) << titulos;
        }
        v.VisorTabla->setTag(QString());
        v.cmdSalir_Click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(EditorTablas, ElegirOtraFilaConElMismoTextoNoTragaLaSiguienteEdicion) {
    escribir(ruta, "Soria\r\nSoria\r\n");
    Ventana& v = abrir();
    elegirFila(v, 1);
    elegirFila(v, 2);
    QTest::keyClick(v.Elemento, Qt::Key_X);
    EXPECT_TRUE(v.Modificado());
}

TEST_F(EditorTablas, AceptarSinElegirAnadeAlFinalYLasFilasEnBlancoNoSeGraban) {
    escribir(ruta, "Soria\r\n");
    Ventana& v = abrir();
    v.Elemento->setText("Ávila");
    v.cmdAceptar_Click();
    v.cmdAceptar_Click(); // vacío: también se añade
    MiVisor::PonerCelda(*v.VisorTabla, 5, 0, "  ");
    MiVisor::PonerCelda(*v.VisorTabla, 6, 0, " León ");
    MiVisor::PonerCelda(*v.VisorTabla, 7, 0, "\t"); // solo tabuladores: no es una fila en blanco
    EXPECT_EQ(columna0(*v.VisorTabla),
              (QStringList{"Soria", "Ávila", "", "", "  ", " León ", "\t"}));
    v.cmdGrabar_Click();
    EXPECT_FALSE(v.Modificado());
    EXPECT_EQ(leer(ruta), QByteArray("Soria\r\n\xC3\x81vila\r\n León \r\n\t\r\n"));
    EXPECT_TRUE(mensajes.isEmpty()); // REGRABAR no pregunta
}

TEST_F(EditorTablas, GrabarSobreUnoQueExistePreguntaYCancelarNoToca) {
    escribir(ruta, "viejo\r\n");
    MiVisor::Rejilla r;
    MiVisor::DefinirColumnas(r, "Provincia");
    MiVisor::PonerCelda(r, 1, 0, "nuevo");
    respuestaMsgBox = 2;
    EXPECT_FALSE(CargarGrabar("GRABAR", ruta, r));
    ASSERT_EQ(mensajes.size(), 1);
    EXPECT_EQ(mensajes[0], "Fichero " + ruta + " existe en disco. Se Sobreescribirá.");
    EXPECT_EQ(estilos[0], 49);
    EXPECT_EQ(leer(ruta), QByteArray("viejo\r\n"));
    respuestaMsgBox = 1;
    EXPECT_TRUE(CargarGrabar("GRABAR", ruta, r));
    EXPECT_EQ(leer(ruta), QByteArray("nuevo\r\n"));
    EXPECT_FALSE(CargarGrabar("BORRAR", ruta, r)); // acción desconocida: nada
}

TEST_F(EditorTablas, SinRutaLaPideCadaVez) {
    ruta.clear();
    Ventana& v = abrir(false);
    v.Elemento->setText("Soria");
    v.cmdAceptar_Click();
    rutaTecleada = dir.filePath("tecleada.txt");
    v.cmdGrabar_Click();
    v.cmdGrabar_Click();
    EXPECT_EQ(preguntas,
              QStringList(2, "Path y Nombre del fichero a REGRABAR|Editor de Tablas de XRN"));
    EXPECT_EQ(leer(rutaTecleada), QByteArray("Soria\r\n"));

    QString vacia;
    rutaTecleada.clear(); // el usuario no contesta: no se hace nada
    EXPECT_FALSE(CargarGrabar("CARGAR", vacia, *v.VisorTabla));
    EXPECT_EQ(columna0(*v.VisorTabla), (QStringList{"", "Soria"}));
}

TEST_F(EditorTablas, SeGrabaEnLaCodificacionEnQueSeLeyo) {
    escribir(ruta, "Pe\xF1\xEDscola\nC\xE1\x63\x65res\n");
    Ventana& v = abrir();
    EXPECT_EQ(columna0(*v.VisorTabla), (QStringList{"Peñíscola", "Cáceres"}));
    v.cmdGrabar_Click();
    EXPECT_EQ(leer(ruta), QByteArray("Pe\xF1\xEDscola\r\nC\xE1\x63\x65res\r\n"));
}

// Capa de ficheros que falla al leer o al grabar.
struct CapaQueFalla : CapaFicherosTabla {
    bool fallarLectura = false, fallarGrabacion = false;
    int grabaciones = 0;
    std::optional<QByteArray> Leer(const QString& r, QString& error) override {
        if (fallarLectura) {
            error = "Error de entrada/salida";
            return std::nullopt;
        }
        return CapaFicherosTabla::Leer(r, error);
    }
    QString Grabar(const QString& r, const QByteArray& d) override {
        ++grabaciones;
        return fallarGrabacion ? QStringLiteral("No queda espacio en el disco")
                               : CapaFicherosTabla::Grabar(r, d);
    }
};

TEST_F(EditorTablas, UnFicheroQueNoSePuedeLeerSeAvisaYNoSeGrabaEncima) {
    escribir(ruta, "valioso\r\n");
    CapaQueFalla capa;
    capa.fallarLectura = true;
    PonerCapa(&capa);
    Ventana& v = abrir();
    ASSERT_EQ(mensajes.size(), 1);
    EXPECT_TRUE(mensajes[0].startsWith("No se pudo leer el fichero " + ruta));
    v.Elemento->setText("otro");
    v.cmdAceptar_Click();
    respuestaMsgBox = 2; // no reemplazarlo
    v.cmdGrabar_Click();
    EXPECT_EQ(capa.grabaciones, 0);
    ASSERT_EQ(mensajes.size(), 2);
    EXPECT_TRUE(mensajes[1].contains("¿ Desea reemplazarlo por esta tabla ?"));
    EXPECT_EQ(estilos[1], 305); // Aceptar y Cancelar, Cancelar por omisión
    EXPECT_TRUE(v.Modificado());
    EXPECT_EQ(leer(ruta), QByteArray("valioso\r\n"));

    // Quitado el obstáculo, se graba sin perder lo editado.
    capa.fallarLectura = false;
    v.cmdGrabar_Click();
    PonerCapa(nullptr);
    EXPECT_EQ(mensajes.size(), 2);
    EXPECT_FALSE(v.Modificado());
    EXPECT_EQ(leer(ruta), QByteArray("otro\r\n"));
}

TEST_F(EditorTablas, UnFicheroIlegibleSeReemplazaSiElUsuarioLoAcepta) {
    escribir(ruta, "ilegible\r\n");
    CapaQueFalla capa;
    capa.fallarLectura = true;
    PonerCapa(&capa);
    Ventana& v = abrir();
    v.Elemento->setText("nuevo");
    v.cmdAceptar_Click();
    v.cmdGrabar_Click(); // respuesta 1: reemplazarlo
    v.Elemento->setText("otro");
    v.cmdAceptar_Click();
    v.cmdGrabar_Click(); // ya es suyo: no vuelve a preguntar
    PonerCapa(nullptr);
    EXPECT_EQ(capa.grabaciones, 2);
    EXPECT_EQ(mensajes.size(), 2);
    EXPECT_EQ(leer(ruta), QByteArray("nuevo\r\notro\r\n"));
}

TEST_F(EditorTablas, UnaGrabacionFallidaSeAvisaYLosCambiosSiguenPendientes) {
    escribir(ruta, "Soria\r\n");
    CapaQueFalla capa;
    capa.fallarGrabacion = true;
    PonerCapa(&capa);
    Ventana& v = abrir();
    v.Elemento->setText("Teruel");
    v.cmdAceptar_Click();
    v.cmdGrabar_Click();
    PonerCapa(nullptr);
    ASSERT_EQ(mensajes.size(), 1);
    EXPECT_TRUE(mensajes[0].contains("No queda espacio en el disco"));
    EXPECT_TRUE(mensajes[0].endsWith("El fichero anterior queda como estaba."));
    EXPECT_TRUE(v.Modificado());
    EXPECT_EQ(leer(ruta), QByteArray("Soria\r\n"));

    // Sin fichero anterior, no se dice que queda como estaba.
    QString nueva = dir.filePath("no-existe/nueva.txt");
    ASSERT_FALSE(CargarGrabar("REGRABAR", nueva, *v.VisorTabla));
    ASSERT_EQ(mensajes.size(), 2);
    EXPECT_TRUE(mensajes[1].startsWith("No se pudo grabar el fichero " + nueva));
    EXPECT_FALSE(mensajes[1].contains("anterior")) << mensajes[1].toStdString();
}

TEST_F(EditorTablas, EnPantalla_IntroPulsaElBotonConElFoco) {
    // Solo con el teclado: elegir con las flechas, cambiar el elemento, Intro (pasa a
    // "Aceptar") e Intro (lo pone en la rejilla); moverse después por la rejilla no lo pierde.
    // Intro en "Grabar" graba y en "Salir" cierra.
    escribir(ruta, "Soria\r\nTeruel\r\n");
    Ventana& v = abrir();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
    v.VisorTabla->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.VisorTabla->hasFocus(); }));
    for (const char* tecla : {"Down", "End", "x", "Return", "Return"})
        ASSERT_TRUE(en_pantalla::TeclearEnX(QString::fromLatin1(tecla)));
    EXPECT_EQ(columna0(*v.VisorTabla), (QStringList{"Soria", "Teruelx"}));
    EXPECT_TRUE(v.Elemento->hasFocus());
    for (const char* tecla : {"shift+Tab", "Up"})
        ASSERT_TRUE(en_pantalla::TeclearEnX(QString::fromLatin1(tecla)));
    EXPECT_EQ(v.Elemento->text(), QStringLiteral("Soria"));
    EXPECT_EQ(columna0(*v.VisorTabla), (QStringList{"Soria", "Teruelx"}));
    for (const char* tecla : {"Tab", "Tab", "Return"}) // de "Elemento" a "Grabar"
        ASSERT_TRUE(en_pantalla::TeclearEnX(QString::fromLatin1(tecla)));
    EXPECT_EQ(leer(ruta), QByteArray("Soria\r\nTeruelx\r\n"));
    EXPECT_FALSE(v.Modificado());
    for (const char* tecla : {"Tab", "Return"}) // "Salir"
        ASSERT_TRUE(en_pantalla::TeclearEnX(QString::fromLatin1(tecla)));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Cargada());
}

TEST_F(EditorTablas, SalirConCambiosPreguntaYCancelarSeQueda) {
    Ventana& v = abrir();
    v.Elemento->setText("x");
    QString texto;
    QTimer::singleShot(0, [&texto] {
        texto = MyBox::Instancia().Mensaje->text();
        MyBox::Instancia().Boton[0]->click(); // "Cancelar"
    });
    v.cmdSalir_Click();
    EXPECT_TRUE(Cargada());
    EXPECT_EQ(texto,
              QStringLiteral("Datos han sido modificados.\r\n\r\n¿ Desea salir sin grabar ?"));
    QTimer::singleShot(0, [] { MyBox::Instancia().Boton[1]->click(); }); // "Aceptar"
    v.cmdSalir_Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Cargada());
}

} // namespace
