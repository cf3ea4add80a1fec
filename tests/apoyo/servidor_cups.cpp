#include "servidor_cups.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool escribir(const QString& ruta, const QString& texto) {
    QFile f(ruta);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(texto.toUtf8()) >= 0;
}

sockaddr_in local(int puerto) {
    sockaddr_in dir{};
    dir.sin_family = AF_INET;
    dir.sin_port = htons(static_cast<uint16_t>(puerto));
    dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return dir;
}

bool atiende(int puerto) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return false;
    sockaddr_in dir = local(puerto);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&dir), sizeof dir) == 0;
    ::close(s);
    return ok;
}

} // namespace

int ServidorCups::PuertoLibre() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return 0;
    sockaddr_in dir = local(0);
    socklen_t largo = sizeof dir;
    int puerto = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&dir), sizeof dir) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&dir), &largo) == 0)
        puerto = ntohs(dir.sin_port);
    ::close(s);
    return puerto;
}

void ServidorCups::SinServidor() {
    qputenv("CUPS_SERVER", QByteArray("127.0.0.1:") + QByteArray::number(PuertoLibre()));
}

QString ServidorCups::Arrancar() {
    if (!QFile::exists("/usr/sbin/cupsd"))
        return "no está cupsd (paquete «cups» de Debian)";
    carpeta_ = std::make_unique<QTemporaryDir>();
    if (!carpeta_->isValid())
        return "no se pudo crear la carpeta temporal";
    const QString d = carpeta_->path();
    for (const char* sub : {"spool", "cache", "state", "tmp", "ppd"})
        QDir(d).mkpath(sub);
    const int puerto = PuertoLibre();
    direccion_ = QStringLiteral("127.0.0.1:%1").arg(puerto);

    const QString ficheros = QStringLiteral("ServerRoot %1\n"
                                            "RequestRoot %1/spool\n"
                                            "CacheDir %1/cache\n"
                                            "StateDir %1/state\n"
                                            "TempDir %1/tmp\n"
                                            "DataDir /usr/share/cups\n"
                                            "ServerBin /usr/lib/cups\n"
                                            "DocumentRoot /usr/share/cups/doc-root\n"
                                            "AccessLog %1/access_log\n"
                                            "ErrorLog %1/error_log\n"
                                            "PageLog %1/page_log\n"
                                            "FileDevice Yes\n"
                                            "Sandboxing Relaxed\n"
                                            "User lp\n"
                                            "Group lp\n"
                                            "SystemGroup root\n")
                                 .arg(d);
    const QString servidor = QStringLiteral("Listen %1\n"
                                            "LogLevel warn\n"
                                            "Browsing No\n"
                                            "BrowseLocalProtocols none\n"
                                            "WebInterface No\n"
                                            "DefaultAuthType None\n"
                                            "DefaultPolicy abierta\n"
                                            "<Policy abierta>\n"
                                            "  <Limit All>\n"
                                            "    Order allow,deny\n"
                                            "    Allow all\n"
                                            "  </Limit>\n"
                                            "</Policy>\n"
                                            "<Location />\n"
                                            "  Order allow,deny\n"
                                            "  Allow all\n"
                                            "</Location>\n")
                                 .arg(direccion_);
    if (!escribir(d + "/cups-files.conf", ficheros) || !escribir(d + "/cupsd.conf", servidor))
        return "no se pudo escribir la configuración de cupsd";

    cupsd_ = std::make_unique<QProcess>();
    cupsd_->setProcessChannelMode(QProcess::MergedChannels);
    cupsd_->start("/usr/sbin/cupsd", {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
    if (!cupsd_->waitForStarted(5000))
        return "cupsd no arrancó: " + cupsd_->errorString();
    QElapsedTimer reloj;
    reloj.start();
    while (!atiende(puerto)) {
        if (cupsd_->state() != QProcess::Running || reloj.elapsed() > 15000) {
            QFile registro(d + "/error_log");
            registro.open(QIODevice::ReadOnly);
            return "cupsd no atiende en " + direccion_ + ": " +
                   QString::fromUtf8(cupsd_->readAll() + registro.readAll());
        }
        QThread::msleep(50);
    }
    qputenv("CUPS_SERVER", direccion_.toUtf8());
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    return {};
}

QString ServidorCups::administrar(const QString& orden, const QStringList& argumentos) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("/usr/sbin/" + orden, QStringList{"-h", direccion_} + argumentos);
    if (!p.waitForFinished(15000) || p.exitCode() != 0)
        return orden + " " + argumentos.join(' ') + ": " + QString::fromUtf8(p.readAll());
    return {};
}

QString ServidorCups::lpadmin(const QStringList& argumentos) {
    return administrar("lpadmin", argumentos);
}

QString ServidorCups::RechazarTrabajos(const QString& nombre) {
    return administrar("cupsreject", {nombre});
}

QString ServidorCups::CrearCola(const QString& nombre, const QStringList& opciones) {
    QStringList args{"-p", nombre, "-E", "-v", "file:///dev/null"};
    for (const QString& o : opciones)
        args << "-o" << o;
    return lpadmin(args);
}

QString ServidorCups::CrearColaFichero(const QString& nombre, const QString& salida) {
    // La impresora PDF genérica de cups-filters: el trabajo pasa por pdftopdf y sale en PDF.
    // (Una cola en crudo hacia un fichero no escribe nada: sin filtros nadie lo copia.)
    const QString ppd = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";
    if (!QFile::exists(ppd))
        return "no está " + ppd + " (paquete «cups-filters» de Debian)";
    return lpadmin({"-p", nombre, "-E", "-P", ppd, "-v", QUrl::fromLocalFile(salida).toString()});
}

QString ServidorCups::PonerOmision(const QString& nombre) {
    return lpadmin({"-d", nombre});
}

void ServidorCups::Parar() {
    if (cupsd_ && cupsd_->state() != QProcess::NotRunning) {
        cupsd_->terminate();
        if (!cupsd_->waitForFinished(10000)) {
            cupsd_->kill();
            cupsd_->waitForFinished(5000);
        }
    }
    cupsd_.reset();
    if (!direccion_.isEmpty())
        SinServidor();
    direccion_.clear();
}
