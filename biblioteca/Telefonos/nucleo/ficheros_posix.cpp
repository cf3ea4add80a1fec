#include "Telefonos/nucleo/ficheros.h"

#include "basicos/nucleo/temporales.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Telefonos {

CapaFicheros::~CapaFicheros() = default;

int ErrorDeEjecucion(int e) {
    switch (e) {
    case 0:
        return 0;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return 61; // disco lleno
    case EACCES:
    case EPERM:
    case EROFS:
    case EWOULDBLOCK:
        return 70; // permiso denegado (también un fichero bloqueado)
    case ENOENT:
    case ENOTDIR:
        return 76; // ruta no encontrada
    case EIO:
        return 57; // error de E/S del dispositivo
    case EMFILE:
    case ENFILE:
        return 67; // demasiados ficheros
    case ENXIO:
    case ENODEV:
    case EHOSTDOWN:
    case ENETUNREACH:
    case ESTALE:
        return 68; // dispositivo no disponible
    case ENAMETOOLONG:
        return 52; // nombre de fichero incorrecto
    case EXDEV:
        return 74; // no se puede renombrar entre unidades
    case ENOMEM:
        return 7; // memoria agotada
    default:
        return 75; // error de acceso a la ruta o al fichero
    }
}

namespace {

// Descriptor que se cierra solo.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Cierra comprobando el resultado (en algunos sistemas de ficheros el error llega aquí).
    int cerrar() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0 ? 0 : errno;
    }

private:
    int fd_;
};

FirmaFichero FirmaDe(const struct stat& st) {
    FirmaFichero f;
    f.segundos = st.st_mtim.tv_sec;
    f.nanosegundos = st.st_mtim.tv_nsec;
    f.tamano = st.st_size;
    f.dispositivo = st.st_dev;
    f.nodo = st.st_ino;
    return f;
}

QByteArray Nativa(const QString& ruta) {
    return QFile::encodeName(ruta);
}

// Los programas antiguos no toman el cerrojo, y los de este paquete lo tienen solo un
// instante: se espera un poco y, si no llega, se informa como fichero bloqueado.
int Bloquear(int fd) {
    using namespace std::chrono;
    const auto limite = steady_clock::now() + seconds(5);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        const int e = errno;
        if (e == EINTR)
            continue;
        if (e != EWOULDBLOCK)
            return e == ENOLCK || e == EINVAL || e == ENOTSUP ? 0 : e; // sin cerrojos: se sigue
        if (steady_clock::now() >= limite)
            return EWOULDBLOCK;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

mode_t MascaraActual() {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

class CapaPosix final : public CapaFicheros {
public:
    Lectura Leer(const QString& ruta) override {
        Lectura r;
        if (const int e = FalloInyectado(Paso::Leer)) {
            r.existe = true;
            r.error = ErrorDeEjecucion(e);
            return r;
        }
        Descriptor fd(::open(Nativa(ruta).constData(), O_RDONLY | O_CLOEXEC));
        if (!fd) {
            if (errno == ENOENT)
                return r; // no hay fichero: no es un error
            r.existe = true;
            r.error = ErrorDeEjecucion(errno);
            return r;
        }
        r.existe = true;
        struct stat st;
        if (::fstat(fd.get(), &st) != 0) {
            r.error = ErrorDeEjecucion(errno);
            return r;
        }
        if (!S_ISREG(st.st_mode)) {
            r.error = ErrorDeEjecucion(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
            return r;
        }
        r.datos.resize(static_cast<qsizetype>(st.st_size));
        qsizetype leido = 0;
        for (;;) {
            if (leido == r.datos.size())
                r.datos.resize(leido + 65536);
            const ssize_t n = ::read(fd.get(), r.datos.data() + leido,
                                     static_cast<size_t>(r.datos.size() - leido));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                r.error = ErrorDeEjecucion(errno);
                r.datos.clear();
                return r;
            }
            if (n == 0)
                break;
            leido += n;
        }
        r.datos.truncate(leido);
        // La firma se toma del mismo descriptor, tras leer: corresponde a lo leído.
        if (::fstat(fd.get(), &st) != 0) {
            r.error = ErrorDeEjecucion(errno);
            return r;
        }
        r.firma = FirmaDe(st);
        return r;
    }

    std::optional<FirmaFichero> Firma(const QString& ruta) override {
        struct stat st;
        if (::stat(Nativa(ruta).constData(), &st) != 0)
            return std::nullopt;
        return FirmaDe(st);
    }

    Sustitucion Sustituir(const QString& rutaPedida, const QByteArray& datos,
                          const std::optional<FirmaFichero>& esperada, bool crearCarpeta) override {
        Sustitucion r;
        auto fallo = [&r](int e) {
            r.estado = Sustitucion::Estado::Fallo;
            r.error = ErrorDeEjecucion(e);
            return r;
        };
        // Un enlace simbólico que se puede seguir se sigue: se sustituye el fichero al que
        // apunta, no el enlace. Lo que no es un fichero normal no se toca.
        QString ruta;
        if (const int e = basicos::DestinoDeGrabacion(rutaPedida, ruta))
            return fallo(e);
        const QString carpeta = QFileInfo(ruta).absolutePath();
        if (crearCarpeta && !QFileInfo(carpeta).isDir())
            QDir().mkpath(carpeta);
        const QByteArray nativa = Nativa(ruta);

        // Cerrojo sobre el fichero actual mientras se comprueba y se sustituye.
        Descriptor cerrojo(::open(nativa.constData(), O_RDONLY | O_CLOEXEC));
        if (!cerrojo && errno != ENOENT)
            return fallo(errno);
        if (cerrojo) {
            int e = FalloInyectado(Paso::Bloquear);
            if (!e)
                e = Bloquear(cerrojo.get());
            if (e)
                return fallo(e);
        }

        // Comprobación de cambios, ya con el cerrojo.
        struct stat actual;
        const bool existe = ::stat(nativa.constData(), &actual) == 0;
        if (!existe && errno != ENOENT)
            return fallo(errno);
        if (existe && (!esperada || FirmaDe(actual) != *esperada)) {
            r.estado = Sustitucion::Estado::Modificado;
            return r;
        }

        // El contenido nuevo se escribe en un temporal al lado; antes se quitan los que dejaron
        // grabaciones interrumpidas.
        basicos::BarrerTemporales(ruta);
        if (const int e = FalloInyectado(Paso::Crear))
            return fallo(e);
        basicos::Temporal t = basicos::CrearTemporal(ruta);
        if (t.descriptor < 0)
            return fallo(t.error);
        Descriptor tmp(t.descriptor);
        const QByteArray& plantilla = t.ruta;
        struct Borrador { // el temporal no sobrevive a un fallo
            const char* ruta;
            bool activo = true;
            ~Borrador() {
                if (activo)
                    ::unlink(ruta);
            }
        } borrador{plantilla.constData()};

        int e = FalloInyectado(Paso::Escribir);
        if (!e)
            e = basicos::EscribirTodo(tmp.get(), datos);
        if (e)
            return fallo(e);

        // Permisos, propietario y grupo: los del fichero anterior; si no había, los de un
        // fichero recién creado (en una carpeta compartida con el bit setgid, también
        // escribible por el grupo).
        if (existe) {
            if (::fchown(tmp.get(), actual.st_uid, actual.st_gid) != 0)
                (void)!::fchown(tmp.get(), static_cast<uid_t>(-1), actual.st_gid);
            ::fchmod(tmp.get(), actual.st_mode & 07777);
        } else {
            mode_t modo = 0666 & ~MascaraActual();
            struct stat dir;
            if (::stat(Nativa(carpeta).constData(), &dir) == 0 && (dir.st_mode & S_ISGID))
                modo |= 0660;
            ::fchmod(tmp.get(), modo);
        }

        e = FalloInyectado(Paso::Sincronizar);
        if (!e && ::fsync(tmp.get()) != 0)
            e = errno;
        if (e)
            return fallo(e);
        struct stat nuevo;
        if (::fstat(tmp.get(), &nuevo) != 0)
            return fallo(errno);

        // Sustitución en un solo paso, con el temporal aún abierto: su cerrojo dura hasta que
        // deja de ser temporal, y nadie que barra lo toma por abandonado entre medias. Si no
        // había fichero, sin pisar uno que aparezca ahora.
        if (const int ei = FalloInyectado(Paso::Sustituir))
            return fallo(ei);
        if (existe) {
            if (::rename(plantilla.constData(), nativa.constData()) != 0)
                return fallo(errno);
            borrador.activo = false;
        } else if (::link(plantilla.constData(), nativa.constData()) != 0) {
            if (errno == EEXIST) {
                r.estado = Sustitucion::Estado::Modificado;
                return r;
            }
            // Sistemas de ficheros sin enlaces duros.
            if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS && errno != EMLINK)
                return fallo(errno);
            if (::rename(plantilla.constData(), nativa.constData()) != 0)
                return fallo(errno);
            borrador.activo = false;
        }
        // Con link() el temporal sobra: lo quita el borrador, antes de soltar el cerrojo.
        if (borrador.activo) {
            ::unlink(plantilla.constData());
            borrador.activo = false;
        }
        tmp.cerrar(); // ya volcado: el cierre no puede perder nada

        // La entrada nueva de la carpeta también ha de llegar al disco.
        Descriptor dir(::open(Nativa(carpeta).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir)
            ::fsync(dir.get());

        r.estado = Sustitucion::Estado::Hecha;
        r.firma = FirmaDe(nuevo);
        return r;
    }
};

} // namespace

std::shared_ptr<CapaFicheros> CrearCapaFicheros() {
    return std::make_shared<CapaPosix>();
}

} // namespace Telefonos
