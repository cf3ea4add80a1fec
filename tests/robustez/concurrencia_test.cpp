// Dos procesos grabando el fichero de contactos a la vez, sin pausa, durante unos segundos.
//
// Cada uno hace lo que hace la ventana de contactos: carga, cambia una fila suya (añade una
// nueva o borra una de las que añadió) y graba; si la grabación se rechaza porque el otro cambió
// el fichero, vuelve a cargar y lo intenta con lo que hay. Cada proceso solo toca sus filas, así
// que sabe exactamente cuáles de ellas ha de haber en el fichero: las que añadió en grabaciones
// aceptadas menos las que borró en grabaciones aceptadas. Que no se pierda ningún cambio aceptado
// (ni aparezca uno rechazado) es que cada carga, en cualquier momento, tenga justo esas filas
// suyas, y que al final el fichero tenga exactamente las de los dos.
#include "apoyo_robustez.h"

#include "Telefonos/nucleo/almacen.h"
#include "qt_gtest.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace robustez;
using Telefonos::AlmacenContactos;
using Grabacion = AlmacenContactos::Grabacion;

#ifndef ZOQ_SEGUNDOS_CONCURRENCIA
#define ZOQ_SEGUNDOS_CONCURRENCIA 3
#endif

namespace {

Telefonos::Contacto fila(const QString& nombre) {
    // El teléfono repite el nombre: una fila cortada o mezclada no pasa por buena.
    return {QString(), nombre, nombre, QString(), QString()};
}

struct Resultado {
    std::string fallo; // vacío si todo fue bien
    std::set<QString> mias;
    int aceptadas = 0, rechazadas = 0, cargas = 0;
};

// El trabajo de un proceso; el resultado se escribe en `informe` para el padre.
Resultado trabajar(const QString& ruta, const QString& quien, std::uint64_t semilla) {
    Resultado r;
    std::mt19937_64 azar(semilla);
    const QRegularExpression forma(QStringLiteral("^[AB]-[0-9]+$"));
    AlmacenContactos almacen({ruta, false});
    int siguiente = 0;
    const auto fin =
        std::chrono::steady_clock::now() + std::chrono::seconds(ZOQ_SEGUNDOS_CONCURRENCIA);
    while (std::chrono::steady_clock::now() < fin) {
        const AlmacenContactos::Carga carga = almacen.Cargar();
        ++r.cargas;
        if (carga.error) {
            r.fallo = "error " + std::to_string(carga.error) + " al cargar";
            return r;
        }
        Telefonos::TablaContactos filas;
        std::set<QString> propias;
        for (const Telefonos::Contacto& c : carga.filas) {
            if (c == Telefonos::Contacto{})
                continue;
            if (!forma.match(c[1]).hasMatch() || c != fila(c[1])) {
                r.fallo = "fila que nadie grabó: «" + c[1].toStdString() + "»";
                return r;
            }
            if (c[1].startsWith(quien))
                propias.insert(c[1]);
            filas.push_back(c);
        }
        if (propias != r.mias) {
            r.fallo = "tras " + std::to_string(r.aceptadas) + " grabaciones aceptadas, la carga " +
                      std::to_string(r.cargas) + " tiene " + std::to_string(propias.size()) +
                      " filas propias y debían ser " + std::to_string(r.mias.size());
            return r;
        }
        // Un cambio: borrar una fila propia (una vez de cada cuatro) o añadir una nueva.
        std::set<QString> mias = r.mias;
        if (!mias.empty() && azar() % 4 == 0) {
            auto quitar = mias.begin();
            std::advance(quitar, static_cast<long>(azar() % mias.size()));
            std::erase_if(filas, [&](const Telefonos::Contacto& c) { return c[1] == *quitar; });
            mias.erase(quitar);
        } else {
            const QString nueva = quien + QString::number(siguiente++);
            filas.push_back(fila(nueva));
            mias.insert(nueva);
        }
        switch (almacen.Grabar(filas).estado) {
        case Grabacion::Grabado:
            r.mias = std::move(mias);
            ++r.aceptadas;
            break;
        case Grabacion::Modificado:
            ++r.rechazadas;
            break;
        case Grabacion::Fallido:
            r.fallo = "grabación fallida";
            return r;
        }
    }
    return r;
}

void escribirInforme(const fs::path& ruta, const Resultado& r) {
    std::ofstream f(ruta);
    f << r.aceptadas << ' ' << r.rechazadas << ' ' << r.cargas << '\n' << r.fallo << '\n';
    for (const QString& m : r.mias)
        f << m.toStdString() << '\n';
}

Resultado leerInforme(const fs::path& ruta) {
    Resultado r;
    std::ifstream f(ruta);
    f >> r.aceptadas >> r.rechazadas >> r.cargas;
    f.ignore();
    std::getline(f, r.fallo);
    for (std::string linea; std::getline(f, linea);)
        r.mias.insert(QString::fromStdString(linea));
    return r;
}

} // namespace

TEST(Concurrencia, DosProcesosGrabandoContactosNoPierdenNingunCambioAceptado) {
    Carpeta c("concurrencia");
    const QString ruta = QString::fromStdString((c / "TELEFONO.DAT").string());
    const std::uint64_t s = semilla("Concurrencia");
    int pids[2];
    const char* quienes[2] = {"A-", "B-"};
    for (int i = 0; i < 2; ++i) {
        pids[i] = hijo([&, i] {
            const Resultado r = trabajar(ruta, QString::fromLatin1(quienes[i]), s + i);
            escribirInforme(c / (std::string("informe-") + quienes[i]), r);
            return r.fallo.empty() ? 0 : 1;
        });
    }
    Resultado r[2];
    for (int i = 0; i < 2; ++i) {
        const int estado = esperar(pids[i]);
        r[i] = leerInforme(c / (std::string("informe-") + quienes[i]));
        EXPECT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0)
            << quienes[i] << ": " << r[i].fallo;
        std::printf("Proceso %s: %d grabaciones aceptadas y %d rechazadas en %d s\n", quienes[i],
                    r[i].aceptadas, r[i].rechazadas, ZOQ_SEGUNDOS_CONCURRENCIA);
        EXPECT_GT(r[i].aceptadas, 0) << quienes[i];
    }
    // Sin rechazos no se habrían cruzado nunca: la prueba no probaría nada.
    EXPECT_GT(r[0].rechazadas + r[1].rechazadas, 0);

    AlmacenContactos almacen({ruta, false});
    std::set<QString> enFichero;
    for (const Telefonos::Contacto& f : almacen.Cargar().filas)
        if (f != Telefonos::Contacto{})
            enFichero.insert(f[1]);
    std::set<QString> esperadas = r[0].mias;
    esperadas.insert(r[1].mias.begin(), r[1].mias.end());
    EXPECT_EQ(enFichero, esperadas);
    // Y no queda ningún temporal.
    EXPECT_EQ(c.nombres(), (std::vector<std::string>{"TELEFONO.DAT", "informe-A-", "informe-B-"}));
}
