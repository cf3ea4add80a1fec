// Lo que cuesta abrir la primera página web de la ayuda (carga del módulo del navegador y del
// motor, y la página) y una segunda (solo la página). Lo lanza bench_arranque en su pantalla
// virtual.
#include "MiniHelp/MiniHelp.h"
#include "MiniHelp/navegador.h"
#include "basicos/aplicacion.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Memoria residente de un proceso (su fichero status de /proc), en MB.
double ResidenteMb(const QString& status = QStringLiteral("/proc/self/status")) {
    QFile estado(status);
    if (!estado.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& linea : estado.readAll().split('\n'))
        if (linea.startsWith("VmRSS:"))
            return linea.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Memoria residente de los procesos hijos y sus descendientes (los del motor del navegador),
// en MB.
double ResidenteDescendientesMb() {
    QMap<qint64, qint64> padres; // pid → pid del padre
    for (const QString& nombre : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numero = false;
        const qint64 pid = nombre.toLongLong(&numero);
        if (!numero)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (nombre) estado ppid ...": el nombre puede llevar espacios y paréntesis.
        const QByteArray linea = stat.readAll();
        const QList<QByteArray> campos = linea.mid(linea.lastIndexOf(')') + 2).split(' ');
        padres.insert(pid, campos.value(1).toLongLong());
    }
    double total = 0;
    const qint64 yo = QCoreApplication::applicationPid();
    for (auto it = padres.cbegin(); it != padres.cend(); ++it) {
        qint64 p = it.value();
        while (p > 1 && p != yo)
            p = padres.value(p, 0);
        if (p == yo)
            total += ResidenteMb(QStringLiteral("/proc/%1/status").arg(it.key()));
    }
    return total;
}

QString Cifra(double valor) {
    return QString::number(valor, 'f', 1).replace(u'.', u',');
}

} // namespace

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    basicos::PrepararAplicacion(aplicacion);

    QTemporaryDir carpeta;
    const QString pagina = carpeta.filePath(QStringLiteral("ayuda.html"));
    QFile f(pagina);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write("<html><body><h1>Ayuda</h1><p>P\xc3\xa1gina de prueba.</p></body></html>") < 0) {
        std::fprintf(stderr, "no se pudo escribir %s\n", qPrintable(pagina));
        return 1;
    }
    f.close();

    MiniHelp::Instancia().show();
    QCoreApplication::processEvents();
    const double antes = ResidenteMb();
    double ms[2] = {0, 0};
    for (double& tiempo : ms) {
        bool problema = false;
        QElapsedTimer reloj;
        reloj.start();
        MiniHelp::MiExplorer(pagina, problema);
        tiempo = static_cast<double>(reloj.nsecsElapsed()) / 1e6;
        if (problema) {
            std::printf("  la página de ayuda no se abrió (¿falta el módulo web en %s?)\n",
                        qPrintable(MiniHelp::CarpetaModulos()));
            return 1;
        }
    }
    const double despues = ResidenteMb();
    const double motor = ResidenteDescendientesMb();
    std::printf("Primera página web de la ayuda: %s ms (módulo, motor y página); la segunda, "
                "%s ms.\n",
                qPrintable(Cifra(ms[0])), qPrintable(Cifra(ms[1])));
    std::printf("Memoria residente: %s MB antes, %s MB después (+%s MB).\n",
                qPrintable(Cifra(antes)), qPrintable(Cifra(despues)),
                qPrintable(Cifra(despues - antes)));
    std::printf("Procesos del motor del navegador: %s MB residentes más.\n",
                qPrintable(Cifra(motor)));
    MiniHelp::Descargar();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
