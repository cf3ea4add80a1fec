// Arranque de Vandrel y de Zodivazod junto al de un programa de Qt mínimo que muestra el
// mismo aviso (aviso_qt), en una pantalla virtual: el tiempo desde que se lanza el programa
// hasta que su ventana está en pantalla y la memoria residente una vez arrancado. Al final,
// lo que cuesta abrir la primera página web de la ayuda (medir_ayuda_web).
//
// El tiempo lo mide este mismo proceso como cliente de X: pide a la ventana raíz los avisos
// de sus subventanas (SubstructureNotify) antes de lanzar el programa y para el reloj con el
// MapNotify de una ventana cuyo _NET_WM_PID es el del programa. No se sondea nada.
//
//   bench_arranque [veces]     (20 por omisión)
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;

struct Programa {
    const char* nombre;
    std::string ruta;
    std::vector<double> ms;
    std::vector<double> cpu;
    std::vector<double> mb;
};

struct Medida {
    double ms;
    double cpu; ///< ms de CPU de todos los hilos del programa hasta ese momento
    double mb;
};

// Tiempo de CPU de todos los hilos de un proceso, en ms (primer campo de schedstat, en ns). En
// una máquina cargada el tiempo real crece con la espera; este dice lo que cuesta el arranque.
double CpuMs(pid_t pid) {
    double ns = 0;
    std::error_code error;
    for (const auto& hilo :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream f(hilo.path() / "schedstat");
        double n = 0;
        if (f >> n)
            ns += n;
    }
    return ns / 1e6;
}

// Tras verse la ventana, tiempo que se deja al programa para terminar de pintarla antes de
// leer su memoria residente.
constexpr auto kAsentarse = std::chrono::milliseconds(500);
constexpr auto kLimite = std::chrono::seconds(20);

double ResidenteMb(pid_t pid) {
    std::ifstream estado("/proc/" + std::to_string(pid) + "/status");
    std::string linea;
    while (std::getline(estado, linea))
        if (linea.rfind("VmRSS:", 0) == 0)
            return std::strtod(linea.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

std::string Cifra(double valor, int decimales = 1) {
    char texto[64];
    std::snprintf(texto, sizeof texto, "%.*f", decimales, valor);
    std::string s = texto;
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

double Mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

class ClienteX {
public:
    ClienteX() {
        conexion_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conexion_))
            return;
        // Los programas que se lanzan no heredan la conexión.
        ::fcntl(xcb_get_file_descriptor(conexion_), F_SETFD, FD_CLOEXEC);
        raiz_ = xcb_setup_roots_iterator(xcb_get_setup(conexion_)).data->root;
        const uint32_t mascara = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conexion_, raiz_, XCB_CW_EVENT_MASK, &mascara);
        const char nombre[] = "_NET_WM_PID";
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            conexion_, xcb_intern_atom(conexion_, 0, sizeof nombre - 1, nombre), nullptr);
        if (r) {
            atomoPid_ = r->atom;
            std::free(r);
        }
        xcb_flush(conexion_);
        bien_ = atomoPid_ != XCB_ATOM_NONE;
    }
    ~ClienteX() { xcb_disconnect(conexion_); }
    bool Bien() const { return bien_; }

    // Descarta los avisos que quedan de lanzamientos anteriores.
    void Vaciar() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(conexion_))
            std::free(e);
    }

    struct Visto {
        Reloj::time_point cuando;
        double cpu;
    };

    // Espera el MapNotify de una ventana del proceso `pid`: cuándo llegó y la CPU que el
    // proceso llevaba gastada entonces.
    std::optional<Visto> EsperarVentana(pid_t pid, Reloj::time_point limite) {
        for (;;) {
            xcb_generic_event_t* e = xcb_poll_for_event(conexion_);
            if (!e) {
                if (xcb_connection_has_error(conexion_))
                    return std::nullopt;
                const auto resta =
                    std::chrono::duration_cast<std::chrono::milliseconds>(limite - Reloj::now());
                if (resta.count() <= 0)
                    return std::nullopt;
                pollfd p{xcb_get_file_descriptor(conexion_), POLLIN, 0};
                ::poll(&p, 1, static_cast<int>(resta.count()));
                continue;
            }
            const auto cuando = Reloj::now();
            const bool mapa = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t ventana =
                mapa ? reinterpret_cast<xcb_map_notify_event_t*>(e)->window : 0;
            std::free(e);
            if (!mapa)
                continue;
            const double cpu = CpuMs(pid);
            if (PidDe(ventana) == pid)
                return Visto{cuando, cpu};
        }
    }

private:
    pid_t PidDe(xcb_window_t ventana) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            conexion_, xcb_get_property(conexion_, 0, ventana, atomoPid_, XCB_ATOM_CARDINAL, 0, 1),
            nullptr);
        pid_t pid = -1;
        if (r && xcb_get_property_value_length(r) == 4)
            pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(r)));
        std::free(r);
        return pid;
    }

    xcb_connection_t* conexion_ = nullptr;
    xcb_window_t raiz_ = 0;
    xcb_atom_t atomoPid_ = XCB_ATOM_NONE;
    bool bien_ = false;
};

void Terminar(pid_t pid) {
    ::kill(pid, SIGTERM);
    int estado = 0;
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, &estado, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &estado, 0);
}

std::optional<Medida> Lanzar(ClienteX& x, const Programa& programa) {
    x.Vaciar();
    const auto inicio = Reloj::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        // Lo que digan los programas no se mezcla con las cifras.
        const int nulo = ::open("/dev/null", O_WRONLY);
        ::dup2(nulo, STDOUT_FILENO);
        ::dup2(nulo, STDERR_FILENO);
        ::execl(programa.ruta.c_str(), programa.ruta.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    const auto visto = x.EsperarVentana(pid, inicio + kLimite);
    std::optional<Medida> medida;
    if (visto) {
        std::this_thread::sleep_for(kAsentarse);
        medida = Medida{std::chrono::duration<double, std::milli>(visto->cuando - inicio).count(),
                        visto->cpu, ResidenteMb(pid)};
    }
    Terminar(pid);
    return medida;
}

// Sin pantalla virtual todavía: se relanza dentro de una con xvfb-run.
int RelanzarEnPantallaVirtual(char** argv) {
    ::setenv("ZOQ_BENCH_EN_PANTALLA_VIRTUAL", "1", 1);
    const std::string desde = std::to_string(100 + ::getpid() % 400);
    std::vector<const char*> args = {"xvfb-run",    "-a", "-n",
                                     desde.c_str(), "-s", "-screen 0 1280x1024x24 -nolisten tcp"};
    for (char** a = argv; *a; ++a)
        args.push_back(*a);
    args.push_back(nullptr);
    ::execvp("xvfb-run", const_cast<char* const*>(args.data()));
    std::printf("Sin xvfb-run no se mide el arranque (paquete «xvfb»).\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("ZOQ_BENCH_EN_PANTALLA_VIRTUAL"))
        return RelanzarEnPantallaVirtual(argv);
    const int veces = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Una carpeta de ejecución propia, como la de una sesión de escritorio.
    char carpeta[] = "/tmp/bench-arranque-XXXXXX";
    std::string ejecucion;
    if (!std::getenv("XDG_RUNTIME_DIR") && ::mkdtemp(carpeta)) {
        ejecucion = carpeta;
        ::setenv("XDG_RUNTIME_DIR", carpeta, 1);
    }
    const auto limpiar = [&ejecucion] {
        std::error_code ignorado;
        if (!ejecucion.empty())
            std::filesystem::remove_all(ejecucion, ignorado);
    };

    ClienteX x;
    if (!x.Bien()) {
        std::printf("No hay conexión con la pantalla virtual.\n");
        return 1;
    }
    std::vector<Programa> programas = {
        {"Qt mínimo", AVISO_QT, {}, {}, {}},
        {"Vandrel", VANDREL, {}, {}, {}},
        {"Zodivazod", ZODIVAZOD, {}, {}, {}},
    };
    // Una vuelta sin contar (disco y cachés de fuentes); después, vueltas alternas.
    for (int vuelta = -1; vuelta < veces; ++vuelta) {
        for (Programa& p : programas) {
            const auto m = Lanzar(x, p);
            if (!m) {
                std::printf("%s no llegó a mostrar su ventana.\n", p.nombre);
                limpiar();
                return 1;
            }
            if (vuelta >= 0) {
                p.ms.push_back(m->ms);
                p.cpu.push_back(m->cpu);
                p.mb.push_back(m->mb);
            }
        }
    }

    const double base = Mediana(programas[0].ms);
    const double baseMb = Mediana(programas[0].mb);
    std::printf("Desde el lanzamiento hasta la ventana en pantalla (MapNotify), %d veces cada "
                "uno en Xvfb:\n",
                veces);
    std::printf("  %-10s %9s %9s %9s %9s %9s %10s\n", "programa", "mediana", "mín.", "máx.",
                "relación", "CPU", "residente");
    bool cumple = true;
    for (const Programa& p : programas) {
        const double mediana = Mediana(p.ms);
        const double mb = Mediana(p.mb);
        std::printf(
            "  %-10s %6s ms %6s ms %6s ms %8sx %6s ms %7s MB\n", p.nombre, Cifra(mediana).c_str(),
            Cifra(*std::min_element(p.ms.begin(), p.ms.end())).c_str(),
            Cifra(*std::max_element(p.ms.begin(), p.ms.end())).c_str(),
            Cifra(mediana / base, 2).c_str(), Cifra(Mediana(p.cpu)).c_str(), Cifra(mb).c_str());
        if (&p != &programas[0] && (mediana > 1.3 * base || mb > baseMb + 10))
            cumple = false;
    }
    std::printf("  Objetivo: hasta 1,30x la mediana del programa mínimo y hasta %s MB "
                "residentes: %s.\n",
                Cifra(baseMb + 10).c_str(), cumple ? "se cumple" : "NO se cumple");
    std::fflush(stdout);

    // La primera página web de la ayuda, en la misma pantalla.
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Los avisos del motor del navegador no se mezclan con las cifras.
        const int nulo = ::open("/dev/null", O_WRONLY);
        ::dup2(nulo, STDERR_FILENO);
        ::execl(MEDIR_AYUDA_WEB, MEDIR_AYUDA_WEB, static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int estado = 0;
    ::waitpid(pid, &estado, 0);
    limpiar();
    return 0;
}
