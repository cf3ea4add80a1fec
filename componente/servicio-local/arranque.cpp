#include "arranque.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <stdexcept>

namespace servicio_local {

namespace {

sigset_t senalesDeParada() {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGTERM);
    sigaddset(&s, SIGINT);
    return s;
}

} // namespace

unsigned short escuchar(httplib::SSLServer& http, unsigned short puerto, std::thread& hilo) {
    if (puerto == 0) {
        const int p = http.bind_to_any_port("127.0.0.1");
        if (p <= 0)
            throw std::runtime_error("no se ha podido escuchar en 127.0.0.1");
        puerto = static_cast<unsigned short>(p);
    } else if (!http.bind_to_port("127.0.0.1", puerto)) {
        throw std::runtime_error("no se ha podido escuchar en 127.0.0.1:" + std::to_string(puerto));
    }
    hilo = std::thread([&http] { http.listen_after_bind(); });
    while (!http.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return puerto;
}

void dejarDeEscuchar(httplib::SSLServer& http, std::thread& hilo) {
    if (hilo.joinable()) {
        http.stop();
        hilo.join();
    }
}

void grabarAutoridad(const std::string& ruta, const std::string& pem) {
    std::ofstream f(ruta, std::ios::binary | std::ios::trunc);
    f << pem;
    f.close();
    if (!f)
        throw std::runtime_error("no se ha podido grabar la autoridad en " + ruta);
}

void reservarSenalesDeParada() {
    const sigset_t parada = senalesDeParada();
    pthread_sigmask(SIG_BLOCK, &parada, nullptr);
}

void anunciarYEsperar(const std::string& direccion, const std::string& direccionEn) {
    std::cout << direccion << std::endl;
    if (!direccionEn.empty()) {
        const std::string temporal = direccionEn + ".tmp";
        std::ofstream(temporal) << direccion << '\n';
        std::rename(temporal.c_str(), direccionEn.c_str());
    }
    const sigset_t parada = senalesDeParada();
    int senal = 0;
    sigwait(&parada, &senal);
}

} // namespace servicio_local
