// La ventana de contactos como la usa una persona: clics en la rejilla, teclas en los campos,
// botones; el fichero se comprueba en disco.
#include "Telefonos/Telefonos.h"

#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "Telefonos/nucleo/directorio.h"

#include "en_pantalla.h"
#include "qt_gtest.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using namespace Telefonos;

namespace {

Contacto C(const QString& nombre, const QString& tlf = {}, const QString& fax = {},
           const QString& correo = {}) {
    return {QString(), nombre, tlf, fax, correo};
}

struct MensajeVisto {
    QString texto;
    int icono, botones, omision;
};

class TelefonosTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::shared_ptr<CapaFicheros> capa = CrearCapaFicheros();
    std::unique_ptr<Ventana> v;
    std::vector<MensajeVisto> mensajes;
    std::vector<float> respuestas; // se consumen en orden; sin ellas, 1
    std::vector<QUrl> abiertas;
    struct Arranque {
        QString programa;
        QStringList argumentos;
        QString carpeta;
    };
    std::vector<Arranque> arranques;

    QString Ruta() const { return dir.path() + QStringLiteral("/TELEFONO.DAT"); }

    void Escribir(const TablaContactos& filas) {
        QFile f(Ruta());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ComponerFichero(filas));
    }
    TablaContactos EnDisco() const {
        QFile f(Ruta());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return InterpretarFichero(f.readAll());
    }
    QByteArray Bytes() const {
        QFile f(Ruta());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    void Abrir() {
        v = std::make_unique<Ventana>(UbicacionContactos{Ruta(), false}, capa);
        v->Mensaje = [this](const QString& t, int i, int b, int o) {
            mensajes.push_back({t, i, b, o});
            if (respuestas.empty())
                return 1.0f;
            const float r = respuestas.front();
            respuestas.erase(respuestas.begin());
            return r;
        };
        v->AbrirDireccion = [this](const QUrl& u) {
            abiertas.push_back(u);
            return true;
        };
        v->IniciarPrograma = [this](const QString& p, const QStringList& a, const QString& c) {
            arranques.push_back({p, a, c});
            return true;
        };
        v->show();
        QApplication::processEvents();
        v->Telfs->Refrescar();
    }

    QStringList Nombres() const {
        QStringList l;
        for (int r = 1; r < v->Telfs->Rows(); ++r)
            l << MiVisor::LeerCelda(*v->Telfs, r, ColNombre);
        return l;
    }
    QStringList Visibles() const {
        QStringList l;
        for (int r = 1; r < v->Telfs->Rows(); ++r)
            if (v->Telfs->RowHeight(r) != 0)
                l << MiVisor::LeerCelda(*v->Telfs, r, ColNombre);
        return l;
    }
    int FilaDe(const QString& nombre) const {
        for (int r = 1; r < v->Telfs->Rows(); ++r)
            if (MiVisor::LeerCelda(*v->Telfs, r, ColNombre) == nombre)
                return r;
        return -1;
    }
    QPoint Centro(int fila, int col) const {
        v->Telfs->Refrescar();
        return v->Telfs->visualRect(v->Telfs->indiceVista(fila, col)).center();
    }
    void Clic(int fila, int col, Qt::MouseButton boton = Qt::LeftButton) {
        QTest::mouseClick(v->Telfs->viewport(), boton, {}, Centro(fila, col));
    }
    void DobleClic(int fila, int col) {
        const QPoint p = Centro(fila, col);
        QTest::mouseClick(v->Telfs->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(v->Telfs->viewport(), Qt::LeftButton, {}, p);
    }
    // Teclea como una persona, letra a letra (también las que no son ASCII).
    static void Teclear(QWidget* w, const QString& texto) {
        w->setFocus();
        for (QChar c : texto)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
};

} // namespace

TEST_F(TelefonosTest, CargaOrdenadaPorNombreYVentanaEnReposo) {
    Escribir({C("Zapata", "1"), C("álvarez", "2"), C("Muñoz", "3"), C("Nuñez", "4")});
    Abrir();
    EXPECT_EQ(Nombres(), (QStringList{"álvarez", "Muñoz", "Nuñez", "Zapata"}));
    EXPECT_EQ(MiVisor::LeerCelda(*v->Telfs, 0, ColTelefono), QStringLiteral("Teléfono"));
    EXPECT_FALSE(v->cmdEditar->isEnabled());
    EXPECT_FALSE(v->cmdBorrar->isEnabled());
    EXPECT_TRUE(v->NumeroTlf->text().isEmpty());
    EXPECT_FALSE(v->LaEntrada->isVisible());
    EXPECT_TRUE(mensajes.empty());
}

TEST_F(TelefonosTest, SoloCabeceraOSinFicheroUnaFilaVaciaQueNoSeSelecciona) {
    for (bool conFichero : {true, false}) {
        if (conFichero)
            Escribir({});
        else
            QFile::remove(Ruta());
        Abrir();
        EXPECT_EQ(v->Telfs->Rows(), 2);
        EXPECT_EQ(Nombres(), QStringList{QString()});
        Clic(1, ColNombre);
        EXPECT_FALSE(v->cmdEditar->isEnabled()) << conFichero;
    }
}

TEST_F(TelefonosTest, BuscarSinMayusculasYAbarcandoCampos) {
    Escribir({C("Garcia", "91 233", "4900"), C("GARCIA PÉREZ"), C("López", "3"),
              C("Peña", "", "", "p@x.es")});
    Abrir();
    struct Caso {
        QString texto;
        QStringList visibles;
    };
    const Caso casos[] = {
        {"gar", {"Garcia", "GARCIA PÉREZ"}},
        {"349", {"Garcia"}}, // 33 del teléfono y 49 del fax... y el "3" de López no basta
        {"pérez", {"GARCIA PÉREZ"}},
        {"ña p@", {}},
        {"ñap@", {"Peña"}},
        {"", {"Garcia", "GARCIA PÉREZ", "López", "Peña"}},
    };
    for (const Caso& c : casos) {
        v->BuscoTLF->setText(c.texto);
        EXPECT_EQ(Visibles(), c.visibles) << c.texto.toStdString();
    }
}

TEST_F(TelefonosTest, ElegirUnaFilaMuestraSusNumerosYElCorreoLimpio) {
    Escribir({C("Ana", "91 111", "91 112", "  ana@x.es  "), C("Luis", "93 222", "93 223")});
    Abrir();
    CorreoElegido.clear();
    Clic(FilaDe("Luis"), ColNombre);
    EXPECT_EQ(v->NumeroTlf->text(), QStringLiteral("93 222"));
    EXPECT_EQ(v->NumeroFax->text(), QStringLiteral("93 223"));
    EXPECT_TRUE(v->cmdEditar->isEnabled());
    EXPECT_TRUE(v->cmdBorrar->isEnabled());
    EXPECT_TRUE(CorreoElegido.isEmpty());
    Clic(FilaDe("Ana"), ColCorreo);
    EXPECT_EQ(CorreoElegido, QStringLiteral("ana@x.es"));
    EXPECT_EQ(v->NumeroTlf->text(), QStringLiteral("91 111"));
    // Con el teclado cuenta la celda actual.
    v->Telfs->setFocus();
    QTest::keyClick(v->Telfs, Qt::Key_Down);
    EXPECT_EQ(v->NumeroTlf->text(), QStringLiteral("93 222"));
}

TEST_F(TelefonosTest, ClicDerechoEnElCorreoLoEligeYCierra) {
    Escribir({C("Ana", "1", "2", " ana@x.es "), C("Luis")});
    Abrir();
    CorreoElegido = QStringLiteral("anterior");
    Clic(FilaDe("Ana"), ColCorreo, Qt::RightButton);
    EXPECT_EQ(CorreoElegido, QStringLiteral("ana@x.es"));
    EXPECT_FALSE(v->isVisible());
}

TEST_F(TelefonosTest, NuevoEnDirectorioVacioUsaLaFila1) {
    Abrir();
    v->cmdNuevo->click();
    EXPECT_EQ(v->Indice->text(), QStringLiteral("1"));
    EXPECT_TRUE(v->LaEntrada->isVisible());
    EXPECT_FALSE(v->Telfs->isEnabled());
    EXPECT_FALSE(v->Marco[0]->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), v->Tlf[0]);
    Teclear(v->Tlf[0], QStringLiteral("Íñigo Ruiz"));
    Teclear(v->Tlf[1], QStringLiteral("976 000 111"));
    v->cmdAceptar->click();
    EXPECT_EQ(EnDisco(), (TablaContactos{C("Íñigo Ruiz", "976 000 111")}));
    EXPECT_FALSE(v->LaEntrada->isVisible());
    EXPECT_TRUE(v->Telfs->isEnabled());
    EXPECT_TRUE(v->Marco[1]->isEnabled());
}

TEST_F(TelefonosTest, NuevoAnadeEditarCambiaYSeGrabaOrdenado) {
    Escribir({C("Marta", "1")});
    Abrir();
    v->cmdNuevo->click();
    EXPECT_EQ(v->Indice->text(), QStringLiteral("2"));
    Teclear(v->Tlf[0], QStringLiteral("Alberto"));
    v->cmdAceptar->click();
    EXPECT_EQ(EnDisco(), (TablaContactos{C("Alberto"), C("Marta", "1")}));
    EXPECT_EQ(Nombres(), (QStringList{"Alberto", "Marta"}));

    Clic(FilaDe("Marta"), ColTelefono);
    v->cmdEditar->click();
    EXPECT_EQ(v->Tlf[0]->text(), QStringLiteral("Marta"));
    EXPECT_EQ(v->Tlf[1]->text(), QStringLiteral("1"));
    v->Tlf[1]->setFocus();
    v->Tlf[1]->selectAll();
    Teclear(v->Tlf[1], QStringLiteral("942 55"));
    v->cmdAceptar->click();
    EXPECT_EQ(EnDisco(), (TablaContactos{C("Alberto"), C("Marta", "942 55")}));
    EXPECT_TRUE(mensajes.empty());
}

TEST_F(TelefonosTest, TrasAceptarNoQuedaElegidoNingunContactoEnPantalla) {
    Escribir({C("Marta", "1"), C("Zoe", "2")});
    Abrir();
    ASSERT_TRUE(QTest::qWaitForWindowActive(v.get()));
    v->cmdNuevo->click();
    Teclear(v->Tlf[0], QStringLiteral("Alberto"));
    v->cmdAceptar->click();
    QTest::qWait(100);
    EXPECT_EQ(QApplication::focusWidget(), v->Telfs);
    // El foco en la rejilla no es una elección: nada que editar ni suprimir.
    EXPECT_FALSE(v->cmdEditar->isEnabled());
    EXPECT_FALSE(v->cmdBorrar->isEnabled());
    EXPECT_TRUE(v->NumeroTlf->text().isEmpty());
    // Con el teclado sí se elige.
    QTest::keyClick(v->Telfs, Qt::Key_Down);
    EXPECT_TRUE(v->cmdBorrar->isEnabled());
    EXPECT_EQ(EnDisco(), (TablaContactos{C("Alberto"), C("Marta", "1"), C("Zoe", "2")}));
}

TEST_F(TelefonosTest, AceptarSinNombreNoHaceNadaYCancelarNoGraba) {
    Escribir({C("Marta")});
    const QByteArray antes = Bytes();
    Abrir();
    v->cmdNuevo->click();
    Teclear(v->Tlf[1], QStringLiteral("123"));
    v->cmdAceptar->click();
    EXPECT_TRUE(v->LaEntrada->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), v->Tlf[0]);
    v->cmdCancelar->click();
    EXPECT_FALSE(v->LaEntrada->isVisible());
    EXPECT_EQ(Bytes(), antes);
    EXPECT_EQ(v->Telfs->Rows(), 2);
}

TEST_F(TelefonosTest, SuprimirPreguntaYSoloBorraSiNoSeDiceNo) {
    Escribir({C("Ana"), C("Luis")});
    Abrir();
    Clic(FilaDe("Luis"), ColNombre);
    respuestas = {7};
    v->cmdBorrar->click();
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].texto,
              QStringLiteral("¿ Confirma que desea ELIMINAR el contacto seleccionado ?"));
    EXPECT_EQ(mensajes[0].icono, 2);
    EXPECT_EQ(mensajes[0].botones, 3);
    EXPECT_NE(mensajes[0].omision, 1); // primer foco en "No"
    EXPECT_EQ(EnDisco().size(), 2u);
    respuestas = {6};
    v->cmdBorrar->click();
    EXPECT_EQ(EnDisco(), TablaContactos{C("Ana")});
    EXPECT_FALSE(v->cmdBorrar->isEnabled());
    // La única fila que queda se vacía en lugar de quitarse.
    Clic(FilaDe("Ana"), ColNombre);
    respuestas = {6};
    v->cmdBorrar->click();
    EXPECT_EQ(Bytes(), ComponerFichero({Contacto{}}));
}

TEST_F(TelefonosTest, FicheroCambiadoPorOtroAvisaNoSePisaYSeRecarga) {
    Escribir({C("Ana")});
    Abrir();
    // Otro programa graba después de que la ventana cargase.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    AlmacenContactos otro({Ruta(), false});
    otro.Cargar();
    ASSERT_EQ(otro.Grabar({C("Ana"), C("Berta")}).estado, AlmacenContactos::Grabacion::Grabado);
    const QByteArray deOtro = Bytes();

    v->cmdNuevo->click();
    EXPECT_TRUE(v->FueModificado->isVisible());
    Teclear(v->Tlf[0], QStringLiteral("Carlos"));
    v->cmdAceptar->click();
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].texto,
              QStringLiteral("Fichero de contactos fué modificado.;;Su cambio no pudo grabarse."));
    EXPECT_EQ(mensajes[0].icono, 1);
    EXPECT_EQ(mensajes[0].botones, 1);
    EXPECT_EQ(Bytes(), deOtro);
    EXPECT_EQ(Nombres(), (QStringList{"Ana", "Berta"}));
    // Ya recargado, el siguiente cambio se graba.
    v->cmdNuevo->click();
    EXPECT_FALSE(v->FueModificado->isVisible());
    Teclear(v->Tlf[0], QStringLiteral("Carlos"));
    v->cmdAceptar->click();
    EXPECT_EQ(EnDisco(), (TablaContactos{C("Ana"), C("Berta"), C("Carlos")}));
}

TEST_F(TelefonosTest, UnFalloAlGrabarPreguntaSiReintentarYNuncaDejaElFicheroAMedias) {
    Escribir({C("Ana")});
    const QByteArray antes = Bytes();
    Abrir();
    int fallos = 2;
    capa->inyectarFallo = [&](Paso p) {
        return p == Paso::Escribir && fallos-- > 0 ? ENOSPC : 0;
    };
    respuestas = {4, 4}; // reintentar dos veces: la segunda vez ya hay sitio
    v->cmdNuevo->click();
    Teclear(v->Tlf[0], QStringLiteral("Luis"));
    v->cmdAceptar->click();
    ASSERT_EQ(mensajes.size(), 2u);
    EXPECT_EQ(mensajes[0].texto,
              QStringLiteral("Se ha producido error 61 al grabar. ¿ Desea reintentarlo ?"));
    EXPECT_EQ(mensajes[0].icono, 2);
    EXPECT_EQ(mensajes[0].botones, 6);
    EXPECT_EQ(mensajes[0].omision, 1);
    EXPECT_EQ(EnDisco(), (TablaContactos{C("Ana"), C("Luis")}));

    // Cancelar tras el fallo: el fichero queda como estaba.
    mensajes.clear();
    const QByteArray grabado = Bytes();
    capa->inyectarFallo = [](Paso p) {
        return p == Paso::Sustituir ? EACCES : 0;
    };
    respuestas = {2};
    v->cmdNuevo->click();
    Teclear(v->Tlf[0], QStringLiteral("Pepe"));
    v->cmdAceptar->click();
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].texto,
              QStringLiteral("Se ha producido error 70 al grabar. ¿ Desea reintentarlo ?"));
    EXPECT_EQ(Bytes(), grabado);
    (void)antes;
}

TEST_F(TelefonosTest, CorreoConElBotonYConDobleClic) {
    Escribir({C("Ana", "1", "2", "ana@x.es")});
    Abrir();
    RemitenteCorreo = QStringLiteral("Talleres Ruiz");
    v->cmdEmail->click();
    ASSERT_EQ(abiertas.size(), 1u);
    EXPECT_EQ(abiertas[0].toString(QUrl::PrettyDecoded),
              QStringLiteral("mailto:?Subject=Envio realizado por Talleres Ruiz"));
    EXPECT_FALSE(v->isVisible());

    Abrir();
    RemitenteCorreo.clear();
    DobleClic(FilaDe("Ana"), ColCorreo);
    ASSERT_EQ(abiertas.size(), 2u);
    EXPECT_EQ(abiertas[1].toString(), QStringLiteral("mailto:ana@x.es"));
    EXPECT_FALSE(v->isVisible());
}

TEST_F(TelefonosTest, FaxConDobleClicYDobleClicEnOtraColumnaEdita) {
    Escribir({C("Ruiz & Hijos; S.A.", "1", "91 555 12 35")});
    Abrir();
    v->RutaFax = dir.path() + QStringLiteral("/Brunvel/Brunvel");
    DobleClic(1, ColFax);
    ASSERT_EQ(arranques.size(), 1u);
    EXPECT_EQ(arranques[0].programa, v->RutaFax);
    EXPECT_EQ(arranques[0].argumentos,
              QStringList{QStringLiteral("E(Ruiz & Hijos; S.A.) F(91 555 12 35) ")});
    EXPECT_EQ(arranques[0].carpeta, dir.path() + QStringLiteral("/Brunvel"));
    EXPECT_FALSE(v->isVisible());

    Abrir();
    DobleClic(1, ColTelefono);
    EXPECT_TRUE(v->LaEntrada->isVisible());
    EXPECT_EQ(v->Tlf[0]->text(), QStringLiteral("Ruiz & Hijos; S.A."));
    EXPECT_EQ(arranques.size(), 1u);
}

TEST_F(TelefonosTest, ElProgramaDeFaxDeVerdadRecibeLosParametrosIntactos) {
    // Un Brunvel de prueba en el PATH que apunta sus argumentos y su carpeta.
    QTemporaryDir bin;
    const QString salida = bin.path() + QStringLiteral("/salida.txt");
    const QString programa = bin.path() + QStringLiteral("/Brunvel");
    {
        QFile f(programa);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\nprintf '%s|%s|%d' \"$1\" \"$(pwd)\" \"$#\" > '%1'\n")
                    .arg(salida)
                    .toUtf8());
    }
    QFile(programa).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ":" + path);
    Escribir({C("O'Brien $(rm -rf /) `x`", "1", "91 2")});
    Abrir();
    qputenv("PATH", path);
    EXPECT_TRUE(v->cmdFax->isEnabled());
    v->IniciarPrograma = [](const QString& p, const QStringList& a, const QString& c) {
        return Ventana(UbicacionContactos{}, CrearCapaFicheros()).IniciarPrograma(p, a, c);
    };
    DobleClic(1, ColFax);
    for (int i = 0; i < 200 && !QFile::exists(salida); ++i)
        QTest::qWait(10);
    QFile f(salida);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()),
              QStringLiteral("E(O'Brien $(rm -rf /) `x`) F(91 2) |") + bin.path() +
                  QStringLiteral("|1"));
}

TEST_F(TelefonosTest, SinProgramaDeFaxElBotonEstaApagadoYElDobleClicAvisa) {
    Escribir({C("Ana", "1", "2")});
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8());
    Abrir();
    qputenv("PATH", path);
    EXPECT_FALSE(v->cmdFax->isEnabled());
    v->IniciarPrograma = [](const QString&, const QStringList&, const QString&) {
        return false;
    };
    DobleClic(1, ColFax);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].texto,
              QStringLiteral("No se ha podido iniciar el programa de fax Brunvel."));
}

TEST_F(TelefonosTest, LaColumnaReservadaDeOtroProgramaSeConserva) {
    Escribir({{QStringLiteral("dato ajeno"), QStringLiteral("Ana"), {}, {}, {}}});
    Abrir();
    v->cmdNuevo->click();
    Teclear(v->Tlf[0], QStringLiteral("Berta"));
    v->cmdAceptar->click();
    EXPECT_EQ(EnDisco(),
              (TablaContactos{{QStringLiteral("dato ajeno"), QStringLiteral("Ana"), {}, {}, {}},
                              C("Berta")}));
}

TEST_F(TelefonosTest, EnPantalla_ConElTecladoElFocoSeVeEIntroYEscapeHacenLoEsperado) {
    Escribir({C("Marta", "1"), C("Zoe", "2")});
    Abrir();
    ASSERT_TRUE(QTest::qWaitForWindowActive(v.get()));
    // Al abrirse, el foco está en la búsqueda.
    EXPECT_TRUE(QTest::qWaitFor([&] { return v->BuscoTLF->hasFocus(); }));
    const QImage sinFoco = v->Telfs->grab().toImage();
    // En la rejilla sin fila actual, el foco se ve; elegir es cosa de las flechas.
    ASSERT_TRUE(en_pantalla::TeclearEnX("shift+Tab"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->Telfs->hasFocus(); }));
    EXPECT_EQ(v->Telfs->Row(), 0);
    EXPECT_NE(v->Telfs->grab().toImage(), sinFoco);
    EXPECT_FALSE(v->cmdEditar->isEnabled());
    ASSERT_TRUE(en_pantalla::TeclearEnX("Down"));
    EXPECT_TRUE(v->cmdEditar->isEnabled());
    EXPECT_EQ(v->NumeroTlf->text(), QStringLiteral("1"));

    // Nuevo con Intro, los campos con Intro y Aceptar con Intro.
    v->cmdNuevo->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(en_pantalla::TeclearEnX("Return"));
    ASSERT_TRUE(v->LaEntrada->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return v->Tlf[0]->hasFocus(); }));
    QTest::keyClicks(v->Tlf[0], QStringLiteral("Ana"));
    for (int i = 0; i < 5; ++i) // cuatro campos y "Aceptar"
        ASSERT_TRUE(en_pantalla::TeclearEnX("Return"));
    EXPECT_FALSE(v->LaEntrada->isVisible());
    EXPECT_EQ(EnDisco(), (TablaContactos{C("Ana"), C("Marta", "1"), C("Zoe", "2")}));

    // Escape deja la edición sin grabar y, después, cierra la ventana.
    v->cmdNuevo->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(en_pantalla::TeclearEnX("Return"));
    QTest::keyClicks(v->Tlf[0], QStringLiteral("Luis"));
    ASSERT_TRUE(en_pantalla::TeclearEnX("Escape"));
    EXPECT_FALSE(v->LaEntrada->isVisible());
    EXPECT_TRUE(v->isVisible());
    ASSERT_TRUE(en_pantalla::TeclearEnX("Escape"));
    EXPECT_FALSE(v->isVisible());
    EXPECT_EQ(EnDisco().size(), 3u);
}
