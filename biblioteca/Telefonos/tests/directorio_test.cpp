// Búsqueda, correo y fax de la ventana de contactos, sin ventanas.
#include "Telefonos/nucleo/directorio.h"

#include "qt_gtest.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Telefonos;

TEST(BusquedaContactos, SinMayusculasYAbarcandoCampos) {
    const Contacto garcia{"", "Garcia Pérez", "91 555 1233", "4900 000", "g@correo.es"};
    const Contacto GARCIA{"", "GARCIA", "", "", ""};
    const Contacto pena{"", "Peña, Ángel", "", "", "angel@pena.es"};
    struct Caso {
        const char* texto;
        bool garcia, GARCIA, pena;
    };
    const Caso casos[] = {
        {"", true, true, true},     // vacío: todas
        {"gar", true, true, false}, // sin distinguir mayúsculas
        {"GaRcIa", true, true, false},
        {"pérez", true, false, false}, // acentos en minúscula
        {"PEÑA", false, false, true},
        {"ángel", false, false, true},
        {"3349", true, false, false},    // teléfono que acaba en 33 y fax que empieza por 49
        {"pérez91", true, false, false}, // nombre y teléfono sin separador
        {"g@correo.es", true, false, false},
        {"zz", false, false, false},
    };
    for (const Caso& c : casos) {
        const Busqueda b(QString::fromUtf8(c.texto));
        EXPECT_EQ(b.Coincide(garcia), c.garcia) << c.texto;
        EXPECT_EQ(b.Coincide(GARCIA), c.GARCIA) << c.texto;
        EXPECT_EQ(b.Coincide(pena), c.pena) << c.texto;
    }
}

TEST(CorreoContactos, DireccionConYSinRemitente) {
    struct Caso {
        QString correo, remitente, direccion;
    };
    const Caso casos[] = {
        {"", "", "mailto:"},
        {"ana@x.es", "", "mailto:ana@x.es"},
        {"", "Talleres Ruiz S.L.", "mailto:?Subject=Envio realizado por Talleres Ruiz S.L."},
        {"ana@x.es", "Pepe", "mailto:ana@x.es?Subject=Envio realizado por Pepe"},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(DireccionCorreo(c.correo, c.remitente), c.direccion);
}

TEST(FaxContactos, ParametrosConBlancoFinal) {
    EXPECT_EQ(ParametrosFax("Ruiz & Hijos; S.A.", "91 555 12 35"),
              QStringLiteral("E(Ruiz & Hijos; S.A.) F(91 555 12 35) "));
    EXPECT_EQ(ParametrosFax("", ""), QStringLiteral("E() F() "));
}

TEST(FaxContactos, ElProgramaSeBuscaEnElPath) {
    QTemporaryDir vacio, conFax;
    const QString programa = conFax.path() + QStringLiteral("/Brunvel");
    {
        QFile f(programa);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", vacio.path().toUtf8() + ":" + conFax.path().toUtf8());
    EXPECT_EQ(BuscarProgramaFax(), QString()); // sin permiso de ejecución no cuenta
    QFile(programa).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(BuscarProgramaFax(), programa);
    qputenv("PATH", vacio.path().toUtf8());
    EXPECT_EQ(BuscarProgramaFax(), QString());
    qputenv("PATH", path);
}
