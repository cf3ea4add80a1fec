#include "basicos/nucleo/temporales.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace basicos {

namespace {

const QByteArray Marca = ".zoq-";
const QByteArray Terminacion = ".tmp";
constexpr int Azar = 6; // las X de mkostemps

// Un nombre largo se acorta en el temporal: el resultado ha de caber en un nombre de fichero.
constexpr qsizetype NombreMaximo = 200;

struct Partes {
    QByteArray carpeta; // nativa, sin la barra final
    QByteArray prefijo; // ".NOMBRE.zoq-"
};

Partes PartesDe(const QString& destino) {
    const QFileInfo info(destino);
    Partes p;
    p.carpeta = QFile::encodeName(info.absolutePath());
    p.prefijo = '.' + QFile::encodeName(info.fileName()).left(NombreMaximo) + Marca;
    return p;
}

bool Mismo(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Cerrojo exclusivo sin esperar: 0, EWOULDBLOCK si lo tiene otro, u otro errno si el sistema
// de ficheros no los admite.
int Cerrojo(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

} // namespace

int EscribirTodo(int fd, const QByteArray& datos) {
    const char* p = datos.constData();
    qsizetype falta = datos.size();
    while (falta > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(falta));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        falta -= n;
    }
    return 0;
}

Temporal CrearTemporal(const QString& destino) {
    const Partes p = PartesDe(destino);
    Temporal t;
    for (int intento = 0; intento < 16; ++intento) {
        QByteArray plantilla = p.carpeta + '/' + p.prefijo + QByteArray(Azar, 'X') + Terminacion;
        const int fd =
            ::mkostemps(plantilla.data(), static_cast<int>(Terminacion.size()), O_CLOEXEC);
        if (fd < 0) {
            t.error = errno;
            return t;
        }
        // Entre la creación y el cerrojo, otra grabación que barriera lo tomaría por abandonado:
        // si lo ha cerrojado o ya borrado, se prueba otro nombre.
        const int e = Cerrojo(fd);
        struct stat abierto, enCarpeta;
        const bool sigue = ::fstat(fd, &abierto) == 0 &&
                           ::stat(plantilla.constData(), &enCarpeta) == 0 &&
                           Mismo(abierto, enCarpeta);
        if (e != EWOULDBLOCK && sigue) {
            t.descriptor = fd;
            t.ruta = plantilla;
            return t;
        }
        ::close(fd);
    }
    t.error = EEXIST;
    return t;
}

void BarrerTemporales(const QString& destino) {
    const Partes p = PartesDe(destino);
    DIR* dir = ::opendir(p.carpeta.constData());
    if (!dir)
        return;
    // Un temporal que es otro nombre del propio destino (quedó entre el enlace que crea el
    // fichero y el borrado del temporal) se quita sin más: su cerrojo es el del destino.
    struct stat delDestino;
    const bool hayDestino = ::stat(QFile::encodeName(destino).constData(), &delDestino) == 0;
    const qsizetype largo = p.prefijo.size() + Azar + Terminacion.size();
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray nombre(e->d_name);
        if (nombre.size() != largo || !nombre.startsWith(p.prefijo) ||
            !nombre.endsWith(Terminacion))
            continue;
        const QByteArray ruta = p.carpeta + '/' + nombre;
        struct stat previo; // lo que no es un fichero normal ni se abre
        if (::lstat(ruta.constData(), &previo) != 0 || !S_ISREG(previo.st_mode))
            continue;
        const int fd = ::open(ruta.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Solo un fichero normal que nadie tiene bajo cerrojo, y el mismo que sigue en la carpeta.
        struct stat abierto, enCarpeta;
        if (::fstat(fd, &abierto) == 0 && S_ISREG(abierto.st_mode) &&
            ((hayDestino && Mismo(abierto, delDestino)) || Cerrojo(fd) == 0) &&
            ::lstat(ruta.constData(), &enCarpeta) == 0 && Mismo(abierto, enCarpeta))
            ::unlink(ruta.constData());
        ::close(fd);
    }
    ::closedir(dir);
}

int DestinoDeGrabacion(const QString& destino, QString& real) {
    // La ruta se recorre aquí componente a componente, como la recorre el sistema: así la regla
    // de las carpetas compartidas se aplica a cada enlace que se encuentra, esté en medio de la
    // ruta (una carpeta) o al final (el fichero). El renombrado final no sigue enlaces, y el
    // sistema puede no tener la protección puesta.
    constexpr int MaximoEnlaces = 40; // como el sistema
    int enlaces = 0;
    // Los componentes que quedan por recorrer, el siguiente al final.
    QList<QByteArray> quedan;
    const auto anadirPartes = [&quedan](const QByteArray& ruta) {
        const QList<QByteArray> partes = ruta.split('/');
        for (auto p = partes.crbegin(); p != partes.crend(); ++p)
            if (!p->isEmpty())
                quedan.append(*p);
    };
    const auto unir = [](const QByteArray& a, const QByteArray& b) {
        return a.isEmpty() ? b : a.endsWith('/') ? a + b : a + '/' + b;
    };
    const QByteArray pedida = QFile::encodeName(destino);
    // Lo recorrido: sin enlaces, "/" si es absoluta, vacío si es la carpeta actual.
    QByteArray hecha = pedida.startsWith('/') ? QByteArray("/") : QByteArray();
    anadirPartes(pedida);
    struct stat st {};
    while (!quedan.isEmpty()) {
        const QByteArray parte = quedan.takeLast();
        if (parte == ".")
            continue;
        if (parte == "..") {
            // Lo recorrido no tiene enlaces: su carpeta superior es la de verdad.
            const qsizetype barra = hecha.lastIndexOf('/');
            if (hecha.isEmpty() || hecha.mid(barra + 1) == "..")
                hecha = unir(hecha, "..");
            else if (hecha != "/")
                hecha = barra < 0 ? QByteArray() : barra == 0 ? QByteArray("/") : hecha.left(barra);
            continue;
        }
        const QByteArray siguiente = unir(hecha, parte);
        if (::lstat(siguiente.constData(), &st) != 0 ||
            (!S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode))) {
            // Lo que no existe o no es una carpeta acaba el recorrido: el resto, tal cual (si
            // queda algo, la grabación fallará como en el sistema).
            hecha = siguiente;
            while (!quedan.isEmpty())
                hecha = unir(hecha, quedan.takeLast());
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            hecha = siguiente;
            continue;
        }
        if (++enlaces > MaximoEnlaces)
            return ELOOP;
        struct stat dueno;
        if (::stat(hecha.isEmpty() ? "." : hecha.constData(), &dueno) != 0)
            return errno;
        const bool compartida = (dueno.st_mode & S_ISVTX) && (dueno.st_mode & S_IWOTH);
        if (compartida && st.st_uid != ::geteuid() && st.st_uid != dueno.st_uid)
            return EACCES;
        QByteArray lleva(256, '\0');
        for (;;) {
            const ssize_t n =
                ::readlink(siguiente.constData(), lleva.data(), static_cast<size_t>(lleva.size()));
            if (n < 0)
                return errno;
            if (n < lleva.size()) {
                lleva.truncate(n);
                break;
            }
            lleva.resize(lleva.size() * 2);
        }
        if (lleva.isEmpty())
            return ENOENT;
        // Un destino relativo lo es a la carpeta del enlace, que es lo recorrido.
        if (lleva.startsWith('/'))
            hecha = "/";
        anadirPartes(lleva);
    }
    // Lo que hay al final: solo un fichero normal (o nada) se sustituye.
    if (hecha.isEmpty())
        hecha = ".";
    if (::lstat(hecha.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (!S_ISREG(st.st_mode))
            return EINVAL;
    }
    real = QFile::decodeName(hecha);
    return 0;
}

int SustituirFichero(const QString& destinoPedido, const QByteArray& datos) {
    // Un enlace simbólico que se puede seguir se sigue: se sustituye el fichero al que lleva, y
    // el enlace queda.
    QString destino;
    if (const int e = DestinoDeGrabacion(destinoPedido, destino))
        return e;
    const QByteArray nativa = QFile::encodeName(destino);
    struct stat anterior;
    const bool existe = ::stat(nativa.constData(), &anterior) == 0;
    if (existe && S_ISDIR(anterior.st_mode))
        return EISDIR;
    if (existe && !S_ISREG(anterior.st_mode))
        return EINVAL;

    BarrerTemporales(destino);
    Temporal t = CrearTemporal(destino);
    if (t.descriptor < 0)
        return t.error;
    auto fallo = [&t](int e) {
        ::unlink(t.ruta.constData());
        ::close(t.descriptor);
        return e;
    };
    if (const int e = EscribirTodo(t.descriptor, datos))
        return fallo(e);
    if (existe) {
        if (::fchown(t.descriptor, anterior.st_uid, anterior.st_gid) != 0)
            (void)!::fchown(t.descriptor, static_cast<uid_t>(-1), anterior.st_gid);
        ::fchmod(t.descriptor, anterior.st_mode & 07777);
    } else {
        const mode_t mascara = ::umask(0);
        ::umask(mascara);
        ::fchmod(t.descriptor, 0666 & ~mascara);
    }
    if (::fsync(t.descriptor) != 0)
        return fallo(errno);
    // Se renombra con el temporal aún abierto: su cerrojo dura hasta que deja de ser temporal,
    // y nadie que barra lo toma por abandonado entre medias.
    if (::rename(t.ruta.constData(), nativa.constData()) != 0)
        return fallo(errno);
    ::close(t.descriptor); // ya volcado: el cierre no puede perder nada
    const int dir = ::open(QFile::encodeName(QFileInfo(destino).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

QString DescripcionError(int e) {
    switch (e) {
    case ENOSPC:
        return QStringLiteral("no queda espacio en el disco");
    case EDQUOT:
        return QStringLiteral("se ha agotado la cuota de disco");
    case EACCES:
    case EPERM:
        return QStringLiteral("permiso denegado");
    case EROFS:
        return QStringLiteral("el disco es de solo lectura");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("la carpeta no existe");
    case EISDIR:
        return QStringLiteral("es una carpeta");
    case EINVAL:
        return QStringLiteral("no es un fichero normal (es un dispositivo, una tubería u otra "
                              "cosa)");
    case ELOOP:
        return QStringLiteral("demasiados enlaces simbólicos seguidos");
    case EIO:
        return QStringLiteral("error de entrada y salida del dispositivo");
    case ENAMETOOLONG:
        return QStringLiteral("el nombre es demasiado largo");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("demasiados ficheros abiertos");
    default:
        return QStringLiteral("error %1 del sistema").arg(e);
    }
}

} // namespace basicos
