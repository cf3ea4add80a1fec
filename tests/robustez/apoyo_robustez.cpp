#include "apoyo_robustez.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace robustez {

Carpeta::Carpeta(const std::string& nombre)
    : ruta_(fs::temp_directory_path() / ("zoq-" + nombre + "-" + std::to_string(::getpid()))) {
    fs::remove_all(ruta_);
    fs::create_directories(ruta_);
}

Carpeta::~Carpeta() {
    std::error_code e;
    fs::remove_all(ruta_, e);
}

std::vector<std::string> Carpeta::nombres() const {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(ruta_))
        r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

std::string leerTodo(const fs::path& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void escribirTodo(const fs::path& ruta, const std::string& bytes) {
    std::ofstream(ruta, std::ios::binary | std::ios::trunc) << bytes;
}

int hijo(const std::function<int()>& trabajo, int* aviso) {
    int tubo[2] = {-1, -1};
    if (aviso && ::pipe(tubo) != 0)
        return -1;
    std::fflush(nullptr);
    const int pid = ::fork();
    if (pid == 0) {
        int r = 99;
        try {
            r = trabajo();
        } catch (...) {
        }
        if (aviso)
            (void)!::write(tubo[1], "x", 1);
        ::_exit(r);
    }
    if (aviso) {
        ::close(tubo[1]);
        *aviso = tubo[0];
    }
    return pid;
}

void esperarAviso(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

int esperar(int pid) {
    int estado = 0;
    while (::waitpid(pid, &estado, 0) < 0 && errno == EINTR) {
    }
    return estado;
}

std::uint64_t semilla(const char* prueba) {
    std::uint64_t s;
    if (const char* v = std::getenv("ZOQ_SEMILLA"); v && *v)
        s = std::strtoull(v, nullptr, 10);
    else
        s = (std::uint64_t{std::random_device{}()} << 32) ^ std::random_device{}();
    std::printf("%s: semilla %llu (se repite con ZOQ_SEMILLA=%llu)\n", prueba,
                static_cast<unsigned long long>(s), static_cast<unsigned long long>(s));
    return s;
}

} // namespace robustez
