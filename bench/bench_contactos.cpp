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
#include <ctime>

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

// Cronómetro de tiempo real y de CPU del hilo: en una máquina cargada el tiempo real crece
// con la espera; el de CPU dice lo que cuesta la operación.
class Crono {
public:
    Crono() { restart(); }
    void restart() {
        real_.start();
        cpu0_ = Cpu();
    }
    double Ms() const { return static_cast<double>(real_.nsecsElapsed()) / 1e6; }
    double CpuMs() const { return Cpu() - cpu0_; }
    QString Texto() const {
        return QStringLiteral("%1 ms (CPU %2 ms)").arg(Ms(), 7, 'f', 1).arg(CpuMs(), 6, 'f', 1);
    }

private:
    static double Cpu() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    }
    QElapsedTimer real_;
    double cpu0_ = 0;
};

void Linea(const char* que, const QString& cifras, const char* objetivo = "") {
    std::printf("  %-44s %s%s\n", que, qPrintable(cifras), objetivo);
}

void EscribirFichero(const QString& ruta, const QByteArray& datos) {
    QFile f(ruta);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(datos);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ruta = dir.path() + QStringLiteral("/TELEFONO.DAT");
    const QByteArray desordenado = ComponerFichero(Generar());
    EscribirFichero(ruta, desordenado);
    std::printf("contactos: %d filas, %.1f MB en página 850 (por ser desordenadas)\n", Filas,
                static_cast<double>(desordenado.size()) / 1e6);

    std::printf("núcleo\n");
    AlmacenContactos almacen({ruta, false});
    Crono t;
    TablaContactos filas = almacen.Cargar().filas;
    Linea("cargar (leer y convertir)", t.Texto());
    Crono t2;
    OrdenarPorNombre(filas);
    Linea("ordenar por nombre", t2.Texto());
    Linea("cargar y ordenar", t.Texto(), "  (objetivo < 500 ms)");
    t.restart();
    const auto r = almacen.Grabar(filas);
    Linea("grabar (temporal, fsync, sustitución)", t.Texto(), "  (objetivo < 300 ms)");
    if (r.estado != AlmacenContactos::Grabacion::Grabado)
        std::printf("  ¡la grabación falló!\n");

    // La ventana: la carga llena la rejilla y la ordena con las rutinas de la rejilla.
    std::printf("ventana (rejilla)\n");
    EscribirFichero(ruta, desordenado);
    Telefonos::Ventana ventana({ruta, false}, CrearCapaFicheros());
    ventana.Mensaje = [](const QString& texto, int, int, int) {
        std::printf("  mensaje inesperado: %s\n", qPrintable(texto));
        return 2.0f;
    };
    ventana.show();
    app.processEvents();
    EscribirFichero(ruta, desordenado);
    t.restart();
    ventana.CargarContactos();
    ventana.Telfs->Refrescar();
    Linea("cargar y ordenar (desordenado)", t.Texto(), "  (objetivo < 500 ms)");
    t.restart();
    ventana.GrabarContactos();
    Linea("grabar", t.Texto(), "  (objetivo < 300 ms)");
    t.restart();
    ventana.CargarContactos();
    ventana.Telfs->Refrescar();
    Linea("cargar (fichero grabado por la suite)", t.Texto(), "  (objetivo < 500 ms)");
    for (const char* texto : {"g", "ga", "gar", "garcía l"}) {
        t.restart();
        ventana.BuscoTLF->setText(QString::fromUtf8(texto));
        ventana.Telfs->Refrescar();
        const QString cifras = t.Texto();
        int visibles = 0;
        for (int f = 1; f < ventana.Telfs->Rows(); ++f)
            visibles += ventana.Telfs->RowHeight(f) != 0;
        Linea(qPrintable(QStringLiteral("pulsación hasta \"%1\" (%2 a la vista)")
                             .arg(QString::fromUtf8(texto))
                             .arg(visibles)),
              cifras, "  (objetivo < 50 ms)");
    }
    t.restart();
    ventana.BuscoTLF->clear();
    ventana.Telfs->Refrescar();
    Linea("borrar la búsqueda (todas a la vista)", t.Texto(), "  (objetivo < 50 ms)");
    return r.estado == AlmacenContactos::Grabacion::Grabado ? 0 : 1;
}
