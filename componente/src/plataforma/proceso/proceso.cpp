#include "plataforma/proceso/proceso.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace morvelin::plataforma {

namespace {

// Milisegundos que quedan hasta `plazo` (0 si ya ha pasado), para poll().
int quedan(Reloj::time_point plazo) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(plazo - Reloj::now()).count();
    return ms <= 0 ? 0 : ms > 1'000'000 ? 1'000'000 : static_cast<int>(ms);
}

// Espera a que `fd` esté listo para `eventos` hasta `plazo`; false si no llega a tiempo.
bool esperar(int fd, short eventos, Reloj::time_point plazo) {
    for (;;) {
        pollfd p{fd, eventos, 0};
        const int r = ::poll(&p, 1, quedan(plazo));
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

ProcesoAuxiliar::~ProcesoAuxiliar() {
    terminar();
}

bool ProcesoAuxiliar::arrancar(const std::vector<std::string>& argumentos) {
    if (argumentos.empty() || fd_ >= 0)
        return false;
    int par[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, par) != 0)
        return false;
    posix_spawn_file_actions_t acciones;
    posix_spawn_file_actions_init(&acciones);
    posix_spawn_file_actions_adddup2(&acciones, par[1], 0);
    posix_spawn_file_actions_adddup2(&acciones, par[1], 1);
    posix_spawn_file_actions_addopen(&acciones, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&acciones, 3);
    std::vector<char*> argv;
    for (const std::string& a : argumentos)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int e = ::posix_spawnp(&pid_, argv[0], &acciones, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&acciones);
    ::close(par[1]);
    fd_ = par[0];
    if (e != 0) {
        pid_ = -1;
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

bool ProcesoAuxiliar::escribir(const std::vector<std::string_view>& partes,
                               Reloj::time_point plazo) {
    if (fd_ < 0)
        return false;
    std::vector<iovec> trozos;
    for (const std::string_view p : partes)
        if (!p.empty())
            trozos.push_back({const_cast<char*>(p.data()), p.size()});
    for (std::size_t i = 0; i < trozos.size();) {
        if (!esperar(fd_, POLLOUT, plazo))
            return false;
        msghdr m{};
        m.msg_iov = trozos.data() + i;
        m.msg_iovlen = trozos.size() - i;
        const ssize_t n = ::sendmsg(fd_, &m, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        // Lo escrito sale de los trozos; uno a medias sigue desde donde se quedó.
        for (auto quedan = static_cast<std::size_t>(n); quedan > 0;) {
            const std::size_t d = std::min(quedan, trozos[i].iov_len);
            trozos[i].iov_base = static_cast<char*>(trozos[i].iov_base) + d;
            trozos[i].iov_len -= d;
            quedan -= d;
            if (trozos[i].iov_len == 0)
                ++i;
        }
    }
    return true;
}

ProcesoAuxiliar::Lectura ProcesoAuxiliar::leerDisponible(char* destino, std::size_t maximo,
                                                         std::size_t& leidos,
                                                         Reloj::time_point plazo) {
    leidos = 0;
    if (fd_ < 0)
        return Lectura::Fin;
    for (;;) {
        if (!esperar(fd_, POLLIN, plazo))
            return Lectura::Plazo;
        const ssize_t r = ::recv(fd_, destino, maximo, MSG_DONTWAIT);
        if (r < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (r <= 0)
            return Lectura::Fin;
        leidos = static_cast<std::size_t>(r);
        return Lectura::Leido;
    }
}

ProcesoAuxiliar::Lectura ProcesoAuxiliar::leer(char* destino, std::size_t n,
                                               Reloj::time_point plazo) {
    while (n > 0) {
        std::size_t leidos = 0;
        if (const Lectura l = leerDisponible(destino, n, leidos, plazo); l != Lectura::Leido)
            return l;
        destino += leidos;
        n -= leidos;
    }
    return Lectura::Leido;
}

bool ProcesoAuxiliar::esperarFin(Reloj::time_point plazo) {
    // Con un pidfd se espera sin sondear; si el sistema no lo tiene, se sondea cada 5 ms.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    for (;;) {
        int estado = 0;
        const pid_t r = ::waitpid(pid_, &estado, WNOHANG);
        // ECHILD: quien llama hace que los hijos se recojan solos (SIGCHLD ignorada).
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            if (pidfd >= 0)
                ::close(pidfd);
            return true;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (Reloj::now() >= plazo)
            break;
        if (pidfd >= 0)
            esperar(pidfd, POLLIN, plazo);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (pidfd >= 0)
        ::close(pidfd);
    return false;
}

void ProcesoAuxiliar::terminar(std::chrono::milliseconds espera) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (pid_ <= 0)
        return;
    if (!esperarFin(Reloj::now() + espera)) {
        ::kill(pid_, SIGKILL);
        esperarFin(Reloj::now() + std::chrono::seconds(5));
    }
    pid_ = -1;
}

} // namespace morvelin::plataforma
