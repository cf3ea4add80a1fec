// Formato del fichero de contactos, su lectura, la ordenación y la regla de ubicación.
#include "Telefonos/nucleo/contactos.h"

#include "rutinas/nucleo/generales.h"

#include "qt_gtest.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Telefonos;

namespace {

const QByteArray Cabecera = QByteArray("\tNombre\tTel\x82"
                                       "fono\tFax\teMail");

Contacto C(const QString& nombre, const QString& tlf = {}, const QString& fax = {},
           const QString& correo = {}) {
    return {QString(), nombre, tlf, fax, correo};
}

QByteArray LeerDatos(const char* nombre) {
    QFile f(QStringLiteral(ZOQ_FUENTES "/biblioteca/Telefonos/tests/datos/") +
            QString::fromLatin1(nombre));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << nombre;
    return f.readAll();
}

} // namespace

TEST(FormatoContactos, SoloLaFilaVaciaSeEscribeComoCabeceraCrCuatroTabsYCrLf) {
    EXPECT_EQ(ComponerFichero({Contacto{}}), Cabecera + "\r\t\t\t\t\r\n");
    const TablaContactos leida = InterpretarFichero(Cabecera + "\r\t\t\t\t\r\n");
    ASSERT_EQ(leida.size(), 1u);
    EXPECT_EQ(leida[0], Contacto{});
}

TEST(FormatoContactos, AcentosEnPagina850ByteAByte) {
    // á a0, é 82, í a1, ó a2, ú a3, ñ a4, Ñ a5, ü 81, Á b5, É 90, ç 87.
    const TablaContactos filas{C(QStringLiteral("Ñúñez Güell, Ángel"), QStringLiteral("1"),
                                 QStringLiteral("2"), QStringLiteral("a@b.es")),
                               C(QStringLiteral("Éric Garçon áéíó"))};
    const QByteArray esperado = Cabecera + "\r\t\xa5\xa3\xa4"
                                           "ez G\x81"
                                           "ell, \xb5"
                                           "ngel\t1\t2\ta@b.es"
                                           "\r\t\x90"
                                           "ric Gar\x87"
                                           "on \xa0\x82\xa1\xa2\t\t\t\r\n";
    EXPECT_EQ(ComponerFichero(filas), esperado);
    EXPECT_EQ(InterpretarFichero(esperado), filas);
}

TEST(FormatoContactos, FicheroDeMuestraSeLeeYSeReescribeIgual) {
    const QByteArray muestra = LeerDatos("TELEFONO.DAT");
    const TablaContactos filas = InterpretarFichero(muestra);
    ASSERT_EQ(filas.size(), 5u);
    EXPECT_EQ(filas[0][ColNombre], QStringLiteral("Álvarez Peña, María"));
    EXPECT_EQ(filas[0][ColFax], QStringLiteral("91 555 12 35"));
    EXPECT_EQ(filas[1][ColCorreo], QString());
    EXPECT_EQ(filas[4][ColNombre], QStringLiteral("Ñuñez Güell, Raúl"));
    EXPECT_EQ(filas[4][ColCorreo], QStringLiteral("raul@nunez.com"));
    EXPECT_EQ(ComponerFichero(filas), muestra);
}

TEST(FormatoContactos, FinesDeLineaYCeldasQueFaltanOSobran) {
    struct Caso {
        const char* nombre;
        QByteArray datos;
        TablaContactos filas;
    };
    const Caso casos[] = {
        {"solo cabecera con CR LF", Cabecera + "\r\n", {Contacto{}}},
        {"solo cabecera sin fin de línea", Cabecera, {Contacto{}}},
        {"vacío", QByteArray(), {Contacto{}}},
        {"líneas con CR", Cabecera + "\r\tA\t1\r\tB\t2\r\n", {C("A", "1"), C("B", "2")}},
        {"líneas con CR LF", Cabecera + "\r\n\tA\t1\r\n\tB\t2\r\n", {C("A", "1"), C("B", "2")}},
        {"líneas con LF", Cabecera + "\n\tA\t1\n\tB\t2\n", {C("A", "1"), C("B", "2")}},
        {"último sin fin de línea", Cabecera + "\r\tA\r\tB", {C("A"), C("B")}},
        {"celdas de más", Cabecera + "\r\tA\t1\t2\tc@d\tsobra\tmás\r\n", {C("A", "1", "2", "c@d")}},
        {"NUL como blanco", Cabecera + QByteArray("\r\tA\0B\r\n", 7), {C("A B")}},
        {"línea vacía en medio", Cabecera + "\r\tA\r\r\tB\r\n", {C("A"), Contacto{}, C("B")}},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(InterpretarFichero(c.datos), c.filas) << c.nombre;
}

TEST(FormatoContactos, LoQueLaPagina850NoTieneSaleComoInterrogacion) {
    EXPECT_EQ(ComponerFichero({C(QStringLiteral("Caf\u00e9 \u20ac 5 \u4e2d"))}),
              Cabecera + "\r\tCaf\x82 ? 5 ?\t\t\t\r\n");
}

TEST(FormatoContactos, ConLaConversionApagadaSeEscribeYLeeSinConvertir) {
    rutinas::SinConversionOem = true;
    const QByteArray bytes = ComponerFichero({C(QStringLiteral("Peña"))});
    const TablaContactos leidas = InterpretarFichero(bytes);
    rutinas::SinConversionOem = false;
    EXPECT_EQ(bytes, QByteArray("\tNombre\tTel\xe9"
                                "fono\tFax\teMail\r\tPe\xf1"
                                "a\t\t\t\r\n"));
    EXPECT_EQ(leidas, TablaContactos{C(QStringLiteral("Peña"))});
}

TEST(FormatoContactos, LoQueNoCabeEnUnCampoSaleComoBlanco) {
    // Un TAB o un salto dentro de un campo descolocaría todas las columnas del fichero.
    const TablaContactos filas{C(QStringLiteral("A\tB"), QStringLiteral("1\r2"),
                                 QStringLiteral("3\n4"), QString(QChar(u'\0')))};
    EXPECT_EQ(ComponerFichero(filas), Cabecera + "\r\tA B\t1 2\t3 4\t \r\n");
    EXPECT_EQ(InterpretarFichero(ComponerFichero(filas)),
              (TablaContactos{C("A B", "1 2", "3 4", " ")}));
}

TEST(OrdenContactos, PorNombreEnEspanolSinDistinguirMayusculas) {
    TablaContactos filas{C("Zapata"), C("ñandú"),  C("Nuñez"),  C("Ángel"),   C("angel", "2"),
                         C("Oscar"),  C("garcía"), C("GARCIA"), C("Álvarez"), C("")};
    OrdenarPorNombre(filas);
    QStringList nombres;
    for (const Contacto& c : filas)
        nombres << c[ColNombre];
    // Las mayúsculas no separan; el acento solo desempata; la Ñ va tras la N.
    EXPECT_EQ(nombres, (QStringList{"", "Álvarez", "angel", "Ángel", "GARCIA", "garcía", "Nuñez",
                                    "ñandú", "Oscar", "Zapata"}))
        << nombres.join(u',').toStdString();
}

TEST(OrdenContactos, LoOrdenadoSeReconoceOrdenado) {
    // Un nombre hecho solo de caracteres que el orden ignora vale lo que el vacío: la
    // comprobación del orden ha de verlo igual que la ordenación, o las filas ordenadas se
    // tomarían por desordenadas cada vez.
    const QString ignorable(QChar(0x1A));
    TablaContactos filas{C(""), C(ignorable), C(""), C("b"), C(ignorable + "a")};
    OrdenarPorNombre(filas);
    EXPECT_TRUE(OrdenadasPorNombre(filas));
    EXPECT_TRUE(OrdenadasPorNombre(TablaContactos{C(ignorable), C("")}));
    EXPECT_FALSE(OrdenadasPorNombre(TablaContactos{C("b"), C("")}));
}

TEST(UbicacionContactos, ReglaDeTlfYCarpetasDelSistema) {
    QTemporaryDir comun;
    const QString noExiste = comun.path() + QStringLiteral("/no-existe");
    struct Caso {
        QString tlf, comun;
        QString ruta;
        bool crear;
    };
    const Caso casos[] = {
        {"/datos/zoq", comun.path(), "/datos/zoq/TELEFONO.DAT", false},
        {"/datos/zoq/", comun.path(), "/datos/zoq/TELEFONO.DAT", false},
        {"/", comun.path(), "/TELEFONO.DAT", false},
        {"", comun.path(), comun.path() + "/TELEFONO.DAT", false},
        {"", comun.path() + "/", comun.path() + "/TELEFONO.DAT", false},
        {"", noExiste, "/home/u/.local/share/zoq/TELEFONO.DAT", true},
    };
    for (const Caso& c : casos) {
        const UbicacionContactos u =
            UbicarContactos(c.tlf, c.comun, QStringLiteral("/home/u/.local/share/zoq"));
        EXPECT_EQ(u.ruta, c.ruta) << c.tlf.toStdString() << " " << c.comun.toStdString();
        EXPECT_EQ(u.crearCarpeta, c.crear) << c.tlf.toStdString();
    }
}

TEST(UbicacionContactos, TomaTlfDelEntorno) {
    qputenv("TLF", "/srv/compartido/");
    EXPECT_EQ(UbicarContactos().ruta, QStringLiteral("/srv/compartido/TELEFONO.DAT"));
    qunsetenv("TLF");
    qputenv("XDG_DATA_HOME", "/tmp/datos-xdg");
    const UbicacionContactos u = UbicarContactos();
    if (!u.crearCarpeta) {
        EXPECT_EQ(u.ruta, QStringLiteral("/var/lib/zoq/TELEFONO.DAT"));
    } else {
        EXPECT_EQ(u.ruta, QStringLiteral("/tmp/datos-xdg/zoq/TELEFONO.DAT"));
    }
    qunsetenv("XDG_DATA_HOME");
}
