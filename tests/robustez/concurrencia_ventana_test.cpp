// Dos ventanas de contactos, cada una en su proceso, añadiendo contactos sin pausa al mismo
// fichero: cada alta se graba o se rechaza con el mensaje de fichero modificado (y la ventana
// recarga), y ninguna alta aceptada se pierde. Los procesos son este mismo programa con el caso
// Trabajador y la variable ZOQ_TRABAJADOR.
#include "apoyo_robustez.h"

#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "Telefonos/Telefonos.h"
#include "qt_gtest.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace robustez;

#ifndef ZOQ_SEGUNDOS_CONCURRENCIA
#define ZOQ_SEGUNDOS_CONCURRENCIA 3
#endif

namespace {

const QString TextoModificado =
    QStringLiteral("Fichero de contactos fué modificado.;;Su cambio no pudo grabarse.");

std::set<QString> propiasEnLaRejilla(Telefonos::Ventana& v, const QString& quien) {
    std::set<QString> r;
    for (int f = 1; f < v.Telfs->Rows(); ++f) {
        const QString n = MiVisor::LeerCelda(*v.Telfs, f, Telefonos::ColNombre);
        if (n.startsWith(quien))
            r.insert(n);
    }
    return r;
}

} // namespace

TEST(ConcurrenciaVentana, Trabajador) {
    const QString quien = qEnvironmentVariable("ZOQ_TRABAJADOR");
    if (quien.isEmpty())
        GTEST_SKIP() << "solo como proceso de la prueba DosVentanas";
    const QString ruta = qEnvironmentVariable("ZOQ_TLF_PRUEBA");
    std::ofstream informe(qEnvironmentVariable("ZOQ_INFORME").toStdString());

    Telefonos::Ventana v(Telefonos::UbicacionContactos{ruta, false},
                         Telefonos::CrearCapaFicheros());
    QStringList mensajes;
    v.Mensaje = [&](const QString& texto, int, int, int) {
        mensajes << texto;
        return 1.0f;
    };
    v.show();
    QApplication::processEvents();

    std::set<QString> mias;
    int aceptadas = 0, rechazadas = 0;
    const auto fin =
        std::chrono::steady_clock::now() + std::chrono::seconds(ZOQ_SEGUNDOS_CONCURRENCIA);
    for (int n = 0; std::chrono::steady_clock::now() < fin; ++n) {
        const QString nombre = quien + QString::number(n);
        const qsizetype antes = mensajes.size();
        v.cmdNuevo->click();
        QTest::keyClicks(v.Tlf[0], nombre);
        QTest::keyClicks(v.Tlf[1], QStringLiteral("91 555 12 34"));
        v.cmdAceptar->click();
        if (mensajes.size() == antes) {
            mias.insert(nombre);
            ++aceptadas;
        } else {
            ASSERT_EQ(mensajes.size(), antes + 1);
            ASSERT_EQ(mensajes.back(), TextoModificado);
            ++rechazadas;
        }
        // Tras grabar, la rejilla es el fichero grabado; tras un rechazo, el recargado: en los
        // dos casos, con justo las altas aceptadas de este proceso.
        ASSERT_EQ(propiasEnLaRejilla(v, quien), mias)
            << "tras " << aceptadas << " altas aceptadas y " << rechazadas << " rechazadas";
    }
    informe << aceptadas << ' ' << rechazadas << '\n';
    for (const QString& m : mias)
        informe << m.toStdString() << '\n';
}

TEST(ConcurrenciaVentana, DosVentanasNoPierdenNingunaAltaAceptada) {
    Carpeta c("concurrencia-ventana");
    const std::string ruta = (c / "TELEFONO.DAT").string();
    const char* quienes[2] = {"A-", "B-"};
    int pids[2];
    for (int i = 0; i < 2; ++i) {
        const std::string informe = (c / (std::string("informe-") + quienes[i])).string();
        std::fflush(nullptr);
        pids[i] = ::fork();
        if (pids[i] == 0) {
            ::setenv("ZOQ_TRABAJADOR", quienes[i], 1);
            ::setenv("ZOQ_TLF_PRUEBA", ruta.c_str(), 1);
            ::setenv("ZOQ_INFORME", informe.c_str(), 1);
            ::execl("/proc/self/exe", "pruebas_robustez_ventana",
                    "--gtest_filter=ConcurrenciaVentana.Trabajador", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    std::set<QString> esperadas;
    int rechazadas = 0;
    for (int i = 0; i < 2; ++i) {
        const int estado = esperar(pids[i]);
        EXPECT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0) << quienes[i];
        std::ifstream informe(c / (std::string("informe-") + quienes[i]));
        int a = 0, r = 0;
        informe >> a >> r;
        informe.ignore();
        for (std::string linea; std::getline(informe, linea);)
            esperadas.insert(QString::fromStdString(linea));
        std::printf("Ventana %s: %d altas aceptadas y %d rechazadas con el mensaje\n", quienes[i],
                    a, r);
        EXPECT_GT(a, 0) << quienes[i];
        rechazadas += r;
    }
    EXPECT_GT(rechazadas, 0);
    std::set<QString> enFichero;
    Telefonos::AlmacenContactos almacen({QString::fromStdString(ruta), false});
    for (const Telefonos::Contacto& f : almacen.Cargar().filas)
        if (f != Telefonos::Contacto{})
            enFichero.insert(f[1]);
    EXPECT_EQ(enFichero, esperadas);
}
