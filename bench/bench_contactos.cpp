// Directorio de contactos con 100.000 contactos: carga y ordenación, una pulsación en
// "Buscar" y grabación; primero el núcleo solo y después la ventana con su rejilla.
#include "MiVisor/Rejilla.h"
#include "Telefonos/Telefonos.h"
#include "Telefonos/nucleo/almacen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace Telefonos;

namespace {

constexpr int Filas = 100000;

TablaContactos Generar() {
    static const char16_t* const apellidos[] = {u"García",   u"Núñez",  u"Ibáñez", u"López",
                                                u"Martínez", u"Ortega", u"Peña",   u"Álvarez",
                                                u"Sánchez",  u"Gómez",  u"Díaz",   u"Muñoz"};
    QRandomGenerator azar(2026);
    TablaContactos filas;
    filas.reserve(Filas);
    for (int i = 0; i < Filas; ++i) {
        const auto a = QString::fromUtf16(apellidos[azar.bounded(12)]);
        const auto b = QString::fromUtf16(apellidos[azar.bounded(12)]);
        const QString nombre =
            a + u' ' + b + QStringLiteral(", ") + QString::number(azar.bounded(1000000));
        const QString tlf = QStringLiteral("9%1").arg(azar.bounded(100000000), 8, 10, QChar(u'0'));
        filas.push_back({QString(), nombre, tlf, i % 3 ? QString() : tlf,
                         QStringLiteral("contacto%1@empresa.es").arg(i)});
    }
    return filas;
}

double Ms(QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ruta = dir.path() + QStringLiteral("/TELEFONO.DAT");
    {
        QFile f(ruta);
        f.open(QIODevice::WriteOnly);
        f.write(ComponerFichero(Generar()));
    }
    const qint64 bytes = QFile(ruta).size();

    AlmacenContactos almacen({ruta, false});
    QElapsedTimer t;
    t.start();
    TablaContactos filas = almacen.Cargar().filas;
    const double carga = Ms(t);
    t.restart();
    OrdenarPorNombre(filas);
    const double orden = Ms(t);

    t.restart();
    const auto r = almacen.Grabar(filas);
    const double grabar = Ms(t);

    std::printf("contactos: %d filas, %.1f MB en página 850\n", Filas,
                static_cast<double>(bytes) / 1e6);
    std::printf("núcleo\n");
    std::printf("  cargar (leer y convertir)   %8.1f ms\n", carga);
    std::printf("  ordenar por nombre          %8.1f ms\n", orden);
    std::printf("  cargar y ordenar            %8.1f ms  (objetivo < 500 ms)\n", carga + orden);
    std::printf("  grabar (temporal, fsync, sustitución) %6.1f ms  (objetivo < 300 ms)%s\n", grabar,
                r.estado == AlmacenContactos::Grabacion::Grabado ? "" : "  ¡FALLÓ!");

    // La ventana: la carga llena la rejilla y la ordena con las rutinas de la rejilla.
    Telefonos::Ventana ventana({ruta, false}, CrearCapaFicheros());
    ventana.Mensaje = [](const QString& texto, int, int, int) {
        std::printf("  mensaje inesperado: %s\n", qPrintable(texto));
        return 2.0f;
    };
    ventana.show();
    app.processEvents();
    t.restart();
    ventana.CargarContactos();
    ventana.Telfs->Refrescar();
    const double cargaVentana = Ms(t);
    t.restart();
    ventana.BuscoTLF->setText(QStringLiteral("g"));
    ventana.Telfs->Refrescar();
    const double tecla1 = Ms(t);
    t.restart();
    ventana.BuscoTLF->setText(QStringLiteral("ga"));
    ventana.Telfs->Refrescar();
    const double tecla2 = Ms(t);
    t.restart();
    ventana.BuscoTLF->setText(QStringLiteral("gar"));
    ventana.Telfs->Refrescar();
    const double tecla3 = Ms(t);
    int visibles = 0;
    for (int f = 1; f < ventana.Telfs->Rows(); ++f)
        visibles += ventana.Telfs->RowHeight(f) != 0;
    t.restart();
    ventana.BuscoTLF->clear();
    ventana.Telfs->Refrescar();
    const double teclaTodas = Ms(t);
    t.restart();
    ventana.GrabarContactos();
    const double grabarVentana = Ms(t);
    std::printf("ventana (rejilla)\n");
    std::printf("  cargar y ordenar            %8.1f ms  (objetivo < 500 ms)\n", cargaVentana);
    std::printf("  pulsación \"g\", \"ga\", \"gar\"  %6.1f / %.1f / %.1f ms  (%d filas a la "
                "vista; objetivo < 50 ms)\n",
                tecla1, tecla2, tecla3, visibles);
    std::printf("  borrar la búsqueda (todas)  %8.1f ms\n", teclaTodas);
    std::printf("  grabar (ordenar y escribir) %8.1f ms  (objetivo < 300 ms)\n", grabarVentana);
    return r.estado == AlmacenContactos::Grabacion::Grabado ? 0 : 1;
}
