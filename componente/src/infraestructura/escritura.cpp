#include "infraestructura/escritura.h"

#include "plataforma/criptografia.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morvelin {

namespace {

// Cada cuántos bytes entregados se pide al sistema que empiece a llevarlos al disco.
constexpr std::size_t PasoAdelanto = 16u << 20;

std::atomic<SistemaFicheros*> sustituto{nullptr};

#if !defined(_WIN32)
int descriptor(SistemaFicheros::Manejador f) {
    return static_cast<int>(f);
}
#endif

constexpr std::string_view TerminacionTemporal = ".tmp";
constexpr std::size_t LargoAzar = 10;

// Sufijo aleatorio para el nombre del temporal.
std::string sufijoAleatorio() {
    thread_local std::mt19937_64 generador{std::random_device{}()};
    static constexpr char cifras[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s(LargoAzar, '0');
    for (char& c : s)
        c = cifras[generador() % 36];
    return s;
}

// Los temporales de un destino empiezan por ".morvelin-" y ocho cifras hexadecimales que
// dependen de su nombre (FNV-1a): así se reconocen los suyos sin alargar el nombre.
std::string prefijoTemporales(const std::string& real) {
    std::uint32_t h = 2166136261u;
    for (const unsigned char c : nombreSinCarpetas(real))
        h = (h ^ c) * 16777619u;
    static constexpr char hex[] = "0123456789abcdef";
    std::string s = ".morvelin-";
    for (int i = 28; i >= 0; i -= 4)
        s += hex[(h >> i) & 0xF];
    return s + "-";
}

} // namespace

// Las operaciones de POSIX; las de Windows están en la compilación para Windows.
#if !defined(_WIN32)
SistemaFicheros::Manejador SistemaFicheros::crearNuevo(const std::string& ruta, unsigned permisos) {
    int fd;
    do
        fd = ::open(ruta.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permisos);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Invalido;
    // El cerrojo dice a quien barre temporales que este está en uso. Entre la creación y el
    // cerrojo, otro que barriera lo tomaría por abandonado: si lo ha cerrojado o ya borrado, se
    // responde como si el nombre estuviera ocupado, para que se pruebe otro.
    int e;
    do
        e = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    while (e == EINTR);
    struct stat abierto {
    }, enCarpeta{};
    if (e == EWOULDBLOCK || ::fstat(fd, &abierto) != 0 || ::stat(ruta.c_str(), &enCarpeta) != 0 ||
        abierto.st_dev != enCarpeta.st_dev || abierto.st_ino != enCarpeta.st_ino) {
        ::close(fd);
        errno = EEXIST;
        return Invalido;
    }
    return fd;
}

bool SistemaFicheros::escribir(Manejador f, const char* datos, std::size_t n) {
    while (n > 0) {
        const ssize_t escritos = ::write(descriptor(f), datos, n);
        if (escritos < 0 && errno == EINTR)
            continue;
        if (escritos <= 0)
            return false;
        datos += escritos;
        n -= static_cast<std::size_t>(escritos);
    }
    return true;
}

bool SistemaFicheros::volcar(Manejador f) {
    return ::fsync(descriptor(f)) == 0;
}

bool SistemaFicheros::cerrar(Manejador f) {
    // Tras un EINTR el descriptor ya está cerrado en Linux: no se reintenta.
    return ::close(descriptor(f)) == 0 || errno == EINTR;
}

bool SistemaFicheros::reemplazar(const std::string& desde, const std::string& hacia) {
    return std::rename(desde.c_str(), hacia.c_str()) == 0;
}

void SistemaFicheros::borrar(const std::string& ruta) {
    ::unlink(ruta.c_str());
}

SistemaFicheros::Tipo SistemaFicheros::tipo(const std::string& ruta) {
    struct stat st {};
    if (::stat(ruta.c_str(), &st) != 0)
        return Tipo::Ninguno;
    if (S_ISREG(st.st_mode))
        return Tipo::Fichero;
    return S_ISDIR(st.st_mode) ? Tipo::Carpeta : Tipo::Otro;
}

std::optional<std::string> SistemaFicheros::rutaReal(const std::string& ruta) {
    // La ruta se recorre aquí componente a componente, como la recorre el sistema, en vez de con
    // realpath(): así la regla de las carpetas compartidas (/tmp) se aplica a cada enlace que se
    // encuentra, esté en medio de la ruta (una carpeta) o al final (el fichero). El renombrado
    // final no sigue enlaces, y el sistema puede no tener la protección puesta.
    constexpr int MaximoEnlaces = 40; // como el sistema
    int enlaces = 0;
    // Los componentes que quedan por recorrer, el siguiente al final.
    std::vector<std::string> quedan;
    const auto anadirPartes = [&](const std::string& r) {
        std::vector<std::string> partes;
        for (std::size_t i = 0; i <= r.size();) {
            const auto fin = std::min(r.find('/', i), r.size());
            if (fin > i)
                partes.push_back(r.substr(i, fin - i));
            i = fin + 1;
        }
        quedan.insert(quedan.end(), partes.rbegin(), partes.rend());
    };
    // Lo recorrido: sin enlaces, "/" si es absoluta, vacío si es la carpeta actual.
    std::string hecha = ruta.starts_with('/') ? "/" : "";
    const auto unir = [](const std::string& a, const std::string& b) {
        return a.empty() ? b : a.back() == '/' ? a + b : a + "/" + b;
    };
    anadirPartes(ruta);
    while (!quedan.empty()) {
        const std::string parte = std::move(quedan.back());
        quedan.pop_back();
        if (parte == ".")
            continue;
        if (parte == "..") {
            // Lo recorrido no tiene enlaces: su carpeta superior es la de verdad.
            const auto barra = hecha.rfind('/');
            const std::string ultima = barra == std::string::npos ? hecha : hecha.substr(barra + 1);
            if (hecha.empty() || ultima == "..")
                hecha = unir(hecha, "..");
            else if (hecha != "/")
                hecha = barra == std::string::npos ? std::string()
                        : barra == 0               ? "/"
                                                   : hecha.substr(0, barra);
            continue;
        }
        const std::string siguiente = unir(hecha, parte);
        struct stat st {};
        if (::lstat(siguiente.c_str(), &st) != 0 ||
            (!S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode))) {
            // Lo que no existe o no es una carpeta acaba el recorrido: el resto, tal cual (si
            // queda algo, crear el fichero fallará como en el sistema).
            hecha = siguiente;
            while (!quedan.empty()) {
                hecha = unir(hecha, quedan.back());
                quedan.pop_back();
            }
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            hecha = siguiente;
            continue;
        }
        if (++enlaces > MaximoEnlaces)
            return std::nullopt;
        struct stat carpeta {};
        if (::stat(hecha.empty() ? "." : hecha.c_str(), &carpeta) != 0 ||
            !enlaceSeSigue(carpeta.st_mode, carpeta.st_uid, st.st_uid, ::geteuid()))
            return std::nullopt;
        std::string destino(256, '\0');
        for (;;) {
            const ssize_t n = ::readlink(siguiente.c_str(), destino.data(), destino.size());
            if (n < 0)
                return std::nullopt;
            if (static_cast<std::size_t>(n) < destino.size()) {
                destino.resize(static_cast<std::size_t>(n));
                break;
            }
            destino.resize(destino.size() * 2);
        }
        if (destino.empty())
            return std::nullopt;
        // Un destino relativo lo es a la carpeta del enlace, que es lo recorrido.
        if (destino.front() == '/')
            hecha = "/";
        anadirPartes(destino);
    }
    return hecha.empty() ? std::string(".") : hecha;
}

bool SistemaFicheros::crearCarpeta(const std::string& ruta, unsigned permisos) {
    // Si otro la ha creado a la vez, también vale.
    return ::mkdir(ruta.c_str(), permisos) == 0 || (errno == EEXIST && tipo(ruta) == Tipo::Carpeta);
}

void SistemaFicheros::copiarPermisos(const std::string& ruta, Manejador f) {
    struct stat st {};
    if (::stat(ruta.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(descriptor(f), st.st_mode & 07777);
}

void SistemaFicheros::adelantarVolcado(Manejador f) {
#if defined(__linux__)
    ::sync_file_range(descriptor(f), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)f;
#endif
}

std::vector<std::string> SistemaFicheros::nombres(const std::string& carpeta,
                                                  const std::string& prefijo) {
    std::vector<std::string> r;
    DIR* dir = ::opendir(carpeta.empty() ? "." : carpeta.c_str());
    if (!dir)
        return r;
    while (const dirent* e = ::readdir(dir))
        if (std::string_view(e->d_name).starts_with(prefijo))
            r.emplace_back(e->d_name);
    ::closedir(dir);
    return r;
}

void SistemaFicheros::borrarAbandonado(const std::string& ruta) {
    struct stat previo {}; // lo que no es un fichero normal ni se abre
    if (::lstat(ruta.c_str(), &previo) != 0 || !S_ISREG(previo.st_mode))
        return;
    const int fd = ::open(ruta.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    // Solo un fichero normal que nadie tiene bajo cerrojo, y el mismo que sigue en la carpeta.
    struct stat abierto {
    }, enCarpeta{};
    if (::fstat(fd, &abierto) == 0 && S_ISREG(abierto.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(ruta.c_str(), &enCarpeta) == 0 &&
        abierto.st_dev == enCarpeta.st_dev && abierto.st_ino == enCarpeta.st_ino)
        ::unlink(ruta.c_str());
    ::close(fd);
}

#endif

bool enlaceSeSigue(unsigned modoCarpeta, std::uint64_t duenoCarpeta, std::uint64_t duenoEnlace,
                   std::uint64_t quienSigue) {
    constexpr unsigned Pegajosa = 01000, EscribibleTodos = 0002;
    const bool compartida = (modoCarpeta & Pegajosa) && (modoCarpeta & EscribibleTodos);
    return !compartida || duenoEnlace == quienSigue || duenoEnlace == duenoCarpeta;
}

SistemaFicheros& sistemaFicheros() {
    static SistemaFicheros nativo;
    SistemaFicheros* s = sustituto.load(std::memory_order_acquire);
    return s ? *s : nativo;
}

void usarSistemaFicheros(SistemaFicheros* sistema) {
    sustituto.store(sistema, std::memory_order_release);
}

FicheroNuevo::FicheroNuevo(std::string destino, unsigned permisos)
    : destino_(std::move(destino)), permisos_(permisos) {}

FicheroNuevo::~FicheroNuevo() {
    descartar();
}

bool FicheroNuevo::abrir() {
    descartar();
    if (destino_.empty() || destino_.back() == SeparadorRuta)
        return false;
    auto& sistema = sistemaFicheros();
    auto real = sistema.rutaReal(destino_);
    if (!real)
        return false;
    real_ = std::move(*real);
    // Solo un fichero normal se sustituye. Un dispositivo o una tubería se quedarían
    // convertidos en un fichero (como root, /dev/null); una carpeta no se puede sustituir.
    const auto tipo = sistema.tipo(real_);
    if (tipo != SistemaFicheros::Tipo::Ninguno && tipo != SistemaFicheros::Tipo::Fichero)
        return false;
    barrerTemporales();
    f_ = crearTemporal();
    if (f_ == SistemaFicheros::Invalido)
        return false;
    if (!bloque_)
        bloque_ = std::make_unique<char[]>(TamanoBloque);
    usados_ = sinAdelantar_ = 0;
    correcto_ = true;
    return true;
}

SistemaFicheros::Manejador FicheroNuevo::crearTemporal() {
    auto& sistema = sistemaFicheros();
    const auto p = real_.rfind(SeparadorRuta);
    const std::string base = p == std::string::npos ? std::string() : real_.substr(0, p + 1);
    // Un nombre corto y oculto: no depende de la longitud del nombre del destino.
    const std::string prefijo = base + prefijoTemporales(real_);
    auto f = SistemaFicheros::Invalido;
    for (int intento = 0; intento < 16 && f == SistemaFicheros::Invalido; ++intento) {
        temporal_ = prefijo + sufijoAleatorio() + std::string(TerminacionTemporal);
        errno = 0;
        f = sistema.crearNuevo(temporal_, permisos_);
        if (f == SistemaFicheros::Invalido && errno != EEXIST)
            break;
    }
    if (f == SistemaFicheros::Invalido)
        temporal_.clear();
    else
        sistema.copiarPermisos(real_, f);
    return f;
}

void FicheroNuevo::barrerTemporales() {
    auto& sistema = sistemaFicheros();
    const auto p = real_.rfind(SeparadorRuta);
    const std::string carpeta = p == std::string::npos ? std::string() : real_.substr(0, p);
    const std::string base = p == std::string::npos ? std::string() : real_.substr(0, p + 1);
    const std::string prefijo = prefijoTemporales(real_);
    for (const std::string& nombre : sistema.nombres(p == 0 ? base : carpeta, prefijo)) {
        if (nombre.size() == prefijo.size() + LargoAzar + TerminacionTemporal.size() &&
            nombre.ends_with(TerminacionTemporal))
            sistema.borrarAbandonado(base + nombre);
    }
}

bool FicheroNuevo::escribir(std::string_view datos) {
    if (!correcto_)
        return false;
    if (datos.size() <= TamanoBloque - usados_) {
        std::memcpy(bloque_.get() + usados_, datos.data(), datos.size());
        usados_ += datos.size();
        ocupadoMaximo_ = std::max(ocupadoMaximo_, usados_);
        return true;
    }
    if (!vaciarBloque())
        return false;
    if (datos.size() >= TamanoBloque)
        return entregar(datos.data(), datos.size());
    std::memcpy(bloque_.get(), datos.data(), datos.size());
    usados_ = datos.size();
    ocupadoMaximo_ = std::max(ocupadoMaximo_, usados_);
    return true;
}

char* FicheroNuevo::hueco(std::size_t n) {
    if (!correcto_ || n > TamanoBloque)
        return nullptr;
    if (n > TamanoBloque - usados_ && !vaciarBloque())
        return nullptr;
    return bloque_.get() + usados_;
}

void FicheroNuevo::ocupar(std::size_t m) {
    usados_ += m;
    ocupadoMaximo_ = std::max(ocupadoMaximo_, usados_);
}

bool FicheroNuevo::vaciarBloque() {
    const std::size_t n = usados_;
    usados_ = 0;
    return n == 0 ? correcto_ : entregar(bloque_.get(), n);
}

bool FicheroNuevo::entregar(const char* datos, std::size_t n) {
    auto& sistema = sistemaFicheros();
    correcto_ = correcto_ && sistema.escribir(f_, datos, n);
    sinAdelantar_ += n;
    if (correcto_ && sinAdelantar_ >= PasoAdelanto) {
        sistema.adelantarVolcado(f_);
        sinAdelantar_ = 0;
    }
    return correcto_;
}

bool FicheroNuevo::confirmar() {
    if (!correcto_ || !vaciarBloque()) {
        descartar();
        return false;
    }
    borrarBloque();
    auto& sistema = sistemaFicheros();
    if (!sistema.volcar(f_)) {
        descartar();
        return false;
    }
#if defined(_WIN32)
    // Aquí un fichero abierto no se puede renombrar: se cierra antes.
    const bool cerrado = sistema.cerrar(f_);
    f_ = SistemaFicheros::Invalido;
    if (!cerrado || !sistema.reemplazar(temporal_, real_)) {
        descartar();
        return false;
    }
#else
    // Se renombra con el temporal aún abierto: su cerrojo dura hasta que deja de ser temporal,
    // y nadie que barra lo toma por abandonado entre medias. Ya volcado, el cierre no puede
    // perder nada.
    if (!sistema.reemplazar(temporal_, real_)) {
        descartar();
        return false;
    }
    sistema.cerrar(f_);
    f_ = SistemaFicheros::Invalido;
#endif
    temporal_.clear();
    correcto_ = false; // terminado: no admite más escrituras
    return true;
}

void FicheroNuevo::descartar() {
    auto& sistema = sistemaFicheros();
    if (f_ != SistemaFicheros::Invalido) {
        sistema.cerrar(f_);
        f_ = SistemaFicheros::Invalido;
    }
    if (!temporal_.empty()) {
        sistema.borrar(temporal_);
        temporal_.clear();
    }
    borrarBloque();
    usados_ = 0;
    correcto_ = false;
}

void FicheroNuevo::borrarBloque() {
    if (bloque_ && ocupadoMaximo_ > 0)
        plataforma::borrarMemoria(bloque_.get(), ocupadoMaximo_);
    ocupadoMaximo_ = 0;
}

bool crearCarpetas(const std::string& ruta) {
    auto& sistema = sistemaFicheros();
    for (auto p = ruta.find(SeparadorRuta); p != std::string::npos;
         p = ruta.find(SeparadorRuta, p + 1)) {
        const std::string prefijo = ruta.substr(0, p);
#if !defined(_WIN32)
        // Aquí el prefijo vacío es la raíz, que existe.
        if (prefijo.empty())
            continue;
#endif
        if (sistema.tipo(prefijo) != SistemaFicheros::Tipo::Carpeta &&
            !sistema.crearCarpeta(prefijo, 0777))
            return false;
    }
    return true;
}

std::string nombreSinCarpetas(const std::string& ruta) {
    const auto p = ruta.rfind(SeparadorRuta);
    return p == std::string::npos ? ruta : ruta.substr(p + 1);
}

} // namespace morvelin
