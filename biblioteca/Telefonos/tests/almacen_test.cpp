// El almacén de contactos: cambios ajenos, grabación que nunca pierde el fichero, permisos.
#include "Telefonos/nucleo/almacen.h"

#include "qt_gtest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Telefonos;
using Grabacion = AlmacenContactos::Grabacion;

namespace {

Contacto C(const QString& nombre, const QString& tlf = {}) {
    return {QString(), nombre, tlf, QString(), QString()};
}

class AlmacenTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ruta() const { return dir.path() + QStringLiteral("/TELEFONO.DAT"); }
    UbicacionContactos ubicacion() const { return {ruta(), false}; }

    void Escribir(const QByteArray& datos) {
        QFile f(ruta());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(datos);
    }
    QByteArray Leer() const {
        QFile f(ruta());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no existe>");
    }
    // Ningún temporal queda en la carpeta tras grabar o fallar.
    QStringList Sobrantes() const {
        QStringList l =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        l.removeAll(QStringLiteral("TELEFONO.DAT"));
        return l;
    }
};

} // namespace

TEST_F(AlmacenTest, SinFicheroUnaFilaVaciaYLaPrimeraGrabacionLoCrea) {
    AlmacenContactos a(ubicacion());
    const auto carga = a.Cargar();
    EXPECT_FALSE(carga.existe);
    EXPECT_EQ(carga.filas, TablaContactos{Contacto{}});
    EXPECT_FALSE(a.FechaFichero());
    EXPECT_EQ(a.Grabar({C("Ana")}).estado, Grabacion::Grabado);
    EXPECT_EQ(Leer(), ComponerFichero({C("Ana")}));
    EXPECT_TRUE(a.FechaFichero());
    EXPECT_FALSE(a.ModificadoDesdeCarga());
}

TEST_F(AlmacenTest, LaGrabacionDeOtroRechazaLaPropiaYNoTocaElFichero) {
    Escribir(ComponerFichero({C("Ana")}));
    AlmacenContactos a(ubicacion()), b(ubicacion());
    a.Cargar();
    b.Cargar();
    ASSERT_EQ(a.Grabar({C("Ana"), C("Luis")}).estado, Grabacion::Grabado);
    const QByteArray deA = Leer();
    EXPECT_TRUE(b.ModificadoDesdeCarga());
    EXPECT_EQ(b.Grabar({C("Ana"), C("Pepe")}).estado, Grabacion::Modificado);
    EXPECT_EQ(Leer(), deA);
    // Tras recargar, b ve lo de a y ya puede grabar.
    EXPECT_EQ(b.Cargar().filas, (TablaContactos{C("Ana"), C("Luis")}));
    EXPECT_EQ(b.Grabar({C("Ana"), C("Luis"), C("Pepe")}).estado, Grabacion::Grabado);
    EXPECT_EQ(Sobrantes(), QStringList());
}

TEST_F(AlmacenTest, DosGrabacionesDentroDelMismoSegundoTambienSeDetectan) {
    // Mismo tamaño, mismo segundo: solo la resolución completa (y el fichero físico) lo delatan.
    Escribir(ComponerFichero({C("Ana", "1")}));
    AlmacenContactos a(ubicacion()), b(ubicacion());
    a.Cargar();
    ASSERT_EQ(a.Grabar({C("Ana", "2")}).estado, Grabacion::Grabado);
    b.Cargar();
    ASSERT_EQ(a.Grabar({C("Ana", "3")}).estado, Grabacion::Grabado);
    EXPECT_EQ(b.Grabar({C("Ana", "4")}).estado, Grabacion::Modificado);
    EXPECT_EQ(Leer(), ComponerFichero({C("Ana", "3")}));
}

TEST_F(AlmacenTest, UnProgramaAntiguoQueReescribeEnSitioTambienSeDetecta) {
    Escribir(ComponerFichero({C("Ana", "1")}));
    AlmacenContactos a(ubicacion());
    a.Cargar();
    // Alguien edita en sitio un rato después (las fechas del sistema de ficheros avanzan a
    // saltos de unos milisegundos): mismo fichero físico, mismo tamaño.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Escribir(ComponerFichero({C("Ana", "2")}));
    EXPECT_TRUE(a.ModificadoDesdeCarga());
    EXPECT_EQ(a.Grabar({C("Ana", "9")}).estado, Grabacion::Modificado);
    EXPECT_EQ(Leer(), ComponerFichero({C("Ana", "2")}));
}

TEST_F(AlmacenTest, UnFicheroQueApareceTrasCargarSinFicheroNoSePisa) {
    AlmacenContactos a(ubicacion());
    a.Cargar();
    Escribir(ComponerFichero({C("De otro")}));
    EXPECT_EQ(a.Grabar({C("Mío")}).estado, Grabacion::Modificado);
    EXPECT_EQ(Leer(), ComponerFichero({C("De otro")}));
}

TEST_F(AlmacenTest, UnFicheroQueNoSePudoLeerNoSePisa) {
    Escribir(ComponerFichero({C("Ana")}));
    auto capa = CrearCapaFicheros();
    capa->inyectarFallo = [](Paso p) {
        return p == Paso::Leer ? EIO : 0;
    };
    AlmacenContactos a(ubicacion(), capa);
    const auto carga = a.Cargar();
    EXPECT_EQ(carga.error, 57);
    EXPECT_EQ(carga.filas, TablaContactos{Contacto{}});
    capa->inyectarFallo = nullptr;
    EXPECT_EQ(a.Grabar({C("Luis")}).estado, Grabacion::Modificado);
    EXPECT_EQ(Leer(), ComponerFichero({C("Ana")}));
}

TEST_F(AlmacenTest, UnFalloEnCualquierPasoDejaElFicheroEnteroYSePuedeReintentar) {
    struct Caso {
        Paso paso;
        int errnoInyectado;
        int numero;
    };
    const Caso casos[] = {
        {Paso::Bloquear, EWOULDBLOCK, 70}, {Paso::Crear, EACCES, 70},
        {Paso::Escribir, ENOSPC, 61},      {Paso::Escribir, EDQUOT, 61},
        {Paso::Sincronizar, EIO, 57},      {Paso::Sustituir, EROFS, 70},
        {Paso::Sustituir, EBUSY, 75},
    };
    for (const Caso& c : casos) {
        const QByteArray anterior = ComponerFichero({C("Ana"), C("Luis")});
        Escribir(anterior);
        auto capa = CrearCapaFicheros();
        AlmacenContactos a(ubicacion(), capa);
        a.Cargar();
        capa->inyectarFallo = [&](Paso p) {
            return p == c.paso ? c.errnoInyectado : 0;
        };
        const auto r = a.Grabar({C("Ana")});
        EXPECT_EQ(r.estado, Grabacion::Fallido) << static_cast<int>(c.paso);
        EXPECT_EQ(r.error, c.numero) << static_cast<int>(c.paso);
        EXPECT_EQ(Leer(), anterior) << static_cast<int>(c.paso);
        EXPECT_EQ(Sobrantes(), QStringList()) << static_cast<int>(c.paso);
        // Reintentar, ya sin el fallo, graba.
        capa->inyectarFallo = nullptr;
        EXPECT_EQ(a.Grabar({C("Ana")}).estado, Grabacion::Grabado);
        EXPECT_EQ(Leer(), ComponerFichero({C("Ana")}));
    }
}

TEST_F(AlmacenTest, CarpetaInexistenteDaError76YLaDeUsuarioSeCrea) {
    const QString sub = dir.path() + QStringLiteral("/no/existe/TELEFONO.DAT");
    AlmacenContactos a({sub, false});
    a.Cargar();
    const auto r = a.Grabar({C("Ana")});
    EXPECT_EQ(r.estado, Grabacion::Fallido);
    EXPECT_EQ(r.error, 76);
    AlmacenContactos b({sub, true});
    b.Cargar();
    EXPECT_EQ(b.Grabar({C("Ana")}).estado, Grabacion::Grabado);
    EXPECT_TRUE(QFile::exists(sub));
}

TEST_F(AlmacenTest, ConservaPermisosPropietarioYGrupo) {
    Escribir(ComponerFichero({C("Ana")}));
    const QByteArray nativa = QFile::encodeName(ruta());
    ASSERT_EQ(::chmod(nativa.constData(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(nativa.constData(), 4321, 4322), 0);
    }
    AlmacenContactos a(ubicacion());
    a.Cargar();
    ASSERT_EQ(a.Grabar({C("Luis")}).estado, Grabacion::Grabado);
    struct stat st;
    ASSERT_EQ(::stat(nativa.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }
}

TEST_F(AlmacenTest, UnEnlaceSimbolicoSigueSiendoEnlace) {
    QTemporaryDir otra;
    const QString real = otra.path() + QStringLiteral("/TELEFONO.DAT");
    {
        QFile f(real);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ComponerFichero({C("Ana")}));
    }
    ASSERT_TRUE(QFile::link(real, ruta()));
    AlmacenContactos a(ubicacion());
    a.Cargar();
    ASSERT_EQ(a.Grabar({C("Luis")}).estado, Grabacion::Grabado);
    EXPECT_TRUE(QFileInfo(ruta()).isSymLink());
    EXPECT_EQ(Leer(), ComponerFichero({C("Luis")}));
    EXPECT_FALSE(a.ModificadoDesdeCarga());
}

TEST_F(AlmacenTest, DosProgramasGrabandoALaVezNoPierdenNingunContacto) {
    // Cada uno carga, añade, graba y, si lo rechazan, recarga y vuelve a intentarlo.
    Escribir(ComponerFichero({Contacto{}}));
    constexpr int Cada = 40;
    auto trabajar = [this](const QString& quien) {
        AlmacenContactos a(ubicacion());
        for (int i = 0; i < Cada; ++i) {
            for (;;) {
                TablaContactos filas = a.Cargar().filas;
                if (filas.size() == 1 && filas[0] == Contacto{})
                    filas.clear();
                filas.push_back(C(quien + QString::number(i)));
                const auto r = a.Grabar(filas);
                if (r.estado == Grabacion::Grabado)
                    break;
                ASSERT_EQ(r.estado, Grabacion::Modificado);
            }
        }
    };
    std::thread uno(trabajar, QStringLiteral("A"));
    std::thread otro(trabajar, QStringLiteral("B"));
    uno.join();
    otro.join();
    AlmacenContactos final(ubicacion());
    EXPECT_EQ(final.Cargar().filas.size(), 2u * Cada);
}
