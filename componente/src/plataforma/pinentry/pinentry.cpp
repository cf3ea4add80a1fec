// El PIN por pinentry: el programa del escritorio que pide PIN y contraseñas, con el protocolo
// Assuan (una orden por línea; el servidor contesta «OK», «ERR código texto» o datos en líneas
// «D ...» con %XX para los bytes especiales).
#include "plataforma/pin.h"

#include "infraestructura/codificacion.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace morvelin::plataforma {

namespace {

// Un texto para una orden: %, CR, LF y los demás caracteres de control van como %XX.
std::string escapar(std::string_view texto) {
    static const char hex[] = "0123456789ABCDEF";
    std::string r;
    for (const char c : texto) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '%') {
            r += '%';
            r += hex[u >> 4];
            r += hex[u & 0x0F];
        } else {
            r += c;
        }
    }
    return r;
}

// La conversación con un pinentry en marcha: su extremo de un par de conexiones locales (con
// MSG_NOSIGNAL, un pinentry que muere no tumba al proceso que firma).
class Pinentry {
public:
    Pinentry() = default;
    Pinentry(const Pinentry&) = delete;
    Pinentry& operator=(const Pinentry&) = delete;
    ~Pinentry() {
        if (fd_ >= 0) {
            enviar("BYE");
            ::close(fd_);
        }
        if (pid_ > 0) {
            int estado = 0;
            while (::waitpid(pid_, &estado, 0) < 0 && errno == EINTR) {
            }
        }
    }

    bool arrancar(const char* programa) {
        int par[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, par) != 0)
            return false;
        posix_spawn_file_actions_t acciones;
        posix_spawn_file_actions_init(&acciones);
        posix_spawn_file_actions_adddup2(&acciones, par[1], 0);
        posix_spawn_file_actions_adddup2(&acciones, par[1], 1);
        posix_spawn_file_actions_addopen(&acciones, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclosefrom_np(&acciones, 3);
        char* argv[] = {const_cast<char*>(programa), nullptr};
        const int e = ::posix_spawnp(&pid_, programa, &acciones, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&acciones);
        ::close(par[1]);
        fd_ = par[0];
        if (e != 0) {
            pid_ = -1;
            return false;
        }
        return leerRespuesta(nullptr); // el saludo
    }

    bool enviar(std::string_view orden) {
        std::string linea(orden);
        linea += '\n';
        std::size_t hecho = 0;
        while (hecho < linea.size()) {
            const ssize_t n = ::send(fd_, linea.data() + hecho, linea.size() - hecho, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            hecho += static_cast<std::size_t>(n);
        }
        return true;
    }

    /// Una orden y su respuesta; true con «OK».
    bool orden(std::string_view texto, Secreto* datos = nullptr) {
        return enviar(texto) && leerRespuesta(datos);
    }

    /// La respuesta a una orden ya enviada; true con «OK».
    bool respuesta() { return leerRespuesta(nullptr); }

private:
    // Lee líneas hasta «OK» (true) o «ERR» o el fin (false). Las de datos van, descodificadas, a
    // `datos`. Cada línea se lee en un Secreto: puede llevar el PIN.
    bool leerRespuesta(Secreto* datos) {
        for (;;) {
            Secreto linea;
            if (!leerLinea(linea))
                return false;
            const std::string_view l(linea.c_str(), linea.size());
            if (l == "OK" || l.starts_with("OK "))
                return true;
            if (l.starts_with("ERR"))
                return false;
            if (l.starts_with("D ") && datos != nullptr && !anadirDatos(l.substr(2), *datos))
                return false;
            // Comentarios (#), estado (S) y lo demás no cambian nada.
        }
    }

    static bool anadirDatos(std::string_view d, Secreto& datos) {
        for (std::size_t i = 0; i < d.size(); ++i) {
            char c = d[i];
            if (c == '%') {
                if (i + 2 >= d.size())
                    return false;
                const int alto = valorHexadecimal(d[i + 1]), bajo = valorHexadecimal(d[i + 2]);
                if (alto < 0 || bajo < 0)
                    return false;
                c = static_cast<char>(alto * 16 + bajo);
                i += 2;
            }
            if (!datos.anadir(c))
                return false;
        }
        return true;
    }

    bool leerLinea(Secreto& linea) {
        for (;;) {
            char c;
            const ssize_t n = ::recv(fd_, &c, 1, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            if (c == '\n')
                return true;
            if (!linea.anadir(c))
                return false; // más larga de lo que permite el protocolo
        }
    }

    int fd_ = -1;
    pid_t pid_ = -1;
};

std::string localeCaracteres() {
    for (const char* v : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* valor = std::getenv(v); valor && *valor)
            return valor;
    return {};
}

} // namespace

RespuestaPin pedirPin(const PeticionPin& peticion, Secreto& pin) {
    pin.borrar();
    const char* programa = std::getenv("MORVELIN_PINENTRY");
    if (programa == nullptr || *programa == '\0')
        programa = "pinentry";
    Pinentry p;
    if (!p.arrancar(programa))
        return RespuestaPin::SinDialogo;
    // El terminal y el idioma, para el pinentry de terminal; los de ventana usan DISPLAY o
    // WAYLAND_DISPLAY, que heredan. Una opción que no conozca no importa.
    std::vector<std::string> opciones;
    if (char tty[256]; ::isatty(0) && ::ttyname_r(0, tty, sizeof tty) == 0) {
        opciones.push_back("OPTION ttyname=" + escapar(tty));
        if (const char* term = std::getenv("TERM"); term && *term)
            opciones.push_back("OPTION ttytype=" + escapar(term));
    }
    if (const std::string lc = localeCaracteres(); !lc.empty())
        opciones.push_back("OPTION lc-ctype=" + escapar(lc));
    std::vector<std::string> textos = {
        "SETTITLE " + escapar("Firma de facturas"),  "SETDESC " + escapar(peticion.descripcion),
        "SETPROMPT " + escapar(peticion.indicacion), "SETOK " + escapar("_Firmar"),
        "SETCANCEL " + escapar("_Cancelar"),
    };
    if (!peticion.aviso.empty())
        textos.push_back("SETERROR " + escapar(peticion.aviso));
    // Todo de una vez, y después las respuestas, en su orden: sin esperar a cada una.
    for (const auto* lista : {&opciones, &textos})
        for (const auto& o : *lista)
            if (!p.enviar(o))
                return RespuestaPin::SinDialogo;
    for (std::size_t i = 0; i < opciones.size(); ++i)
        p.respuesta();
    for (std::size_t i = 0; i < textos.size(); ++i)
        if (!p.respuesta())
            return RespuestaPin::SinDialogo;
    if (!p.orden("GETPIN", &pin)) {
        pin.borrar();
        return RespuestaPin::Cancelado;
    }
    return RespuestaPin::Dado;
}

} // namespace morvelin::plataforma
