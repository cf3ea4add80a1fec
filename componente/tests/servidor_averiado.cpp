#include "servidor_averiado.h"

#include "credenciales.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <strings.h>
#include <thread>

namespace morvelin::pruebas {

namespace sl = servicio_local;
using namespace std::chrono_literals;

const std::string ServidorAveriado::RespuestaBuena = "00 NOMBRE PRUEBA DE RED - NIF 12345678Z\r\n";

namespace {

void exigir(bool bien, const char* que) {
    if (!bien)
        throw std::runtime_error(std::string("servidor averiado: falla ") + que);
}

struct BorrarContexto {
    void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
struct BorrarSsl {
    void operator()(SSL* s) const { SSL_free(s); }
};

/// La longitud que anuncian las cabeceras de la petición; 0 si no hay.
std::size_t longitudAnunciada(const std::string& cabeceras) {
    constexpr std::string_view nombre = "\r\ncontent-length:";
    for (std::size_t i = 0; i + nombre.size() <= cabeceras.size(); ++i)
        if (strncasecmp(cabeceras.data() + i, nombre.data(), nombre.size()) == 0)
            return std::strtoull(cabeceras.c_str() + i + nombre.size(), nullptr, 10);
    return 0;
}

/// Lee un objeto PEM de un fichero; nulo si el fichero no está.
template <class T, class Leer> T leerPem(const std::string& ruta, Leer leer) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta.c_str(), "rb"),
                                                         &std::fclose);
    if (!f)
        return nullptr;
    T objeto(leer(f.get(), nullptr, nullptr, nullptr));
    exigir(objeto != nullptr, ruta.c_str());
    return objeto;
}

void grabar(const std::string& ruta, const std::string& texto) {
    std::ofstream f(ruta, std::ios::binary | std::ios::trunc);
    f << texto;
    f.close();
    exigir(static_cast<bool>(f), ruta.c_str());
}

} // namespace

struct ServidorAveriado::Estado {
    Averia averia;
    std::chrono::milliseconds pausa;
    sl::Certificado autoridad;
    std::unique_ptr<SSL_CTX, BorrarContexto> contexto;
    int escucha = -1;
    int aviso = -1; // eventfd que despierta al hilo para que acabe
    unsigned short puerto = 0;
    std::thread hilo;

    mutable std::mutex m;
    std::condition_variable despertar;
    bool parando = false;
    int activa = -1; // la conexión en curso, para cortarla al parar
    std::size_t conexiones = 0;
    std::atomic<std::size_t> enviados{0};

    /// Espera ese tiempo o hasta que el servidor se pare. Falso si se para.
    bool esperar(std::chrono::milliseconds t) {
        std::unique_lock l(m);
        return !despertar.wait_for(l, t, [&] { return parando; });
    }
    void esperarAlFinal() {
        std::unique_lock l(m);
        despertar.wait(l, [&] { return parando; });
    }

    bool escribir(SSL* ssl, std::string_view datos) {
        while (!datos.empty()) {
            const int n = SSL_write(ssl, datos.data(), static_cast<int>(datos.size()));
            if (n <= 0)
                return false;
            enviados += static_cast<std::size_t>(n);
            datos.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    /// Lee la petición entera: cabeceras y el cuerpo que anuncian.
    bool leerPeticion(SSL* ssl) {
        std::string recibido;
        char bloque[16384];
        std::size_t finCabeceras = std::string::npos;
        std::size_t total = 0;
        while (finCabeceras == std::string::npos || recibido.size() < total) {
            const int n = SSL_read(ssl, bloque, sizeof bloque);
            if (n <= 0)
                return false;
            recibido.append(bloque, static_cast<std::size_t>(n));
            if (finCabeceras == std::string::npos &&
                (finCabeceras = recibido.find("\r\n\r\n")) != std::string::npos)
                total = finCabeceras + 4 + longitudAnunciada(recibido.substr(0, finCabeceras));
        }
        return true;
    }

    /// Manda lo mismo una y otra vez hasta que el cliente se va o el servidor se para.
    void sinFin(SSL* ssl, const std::string& pieza) {
        while (escribir(ssl, pieza)) {
            std::lock_guard l(m);
            if (parando)
                return;
        }
    }

    void atender(int conexion) {
        if (averia == Averia::AceptaYCalla)
            return esperarAlFinal();
        std::unique_ptr<SSL, BorrarSsl> s(SSL_new(contexto.get()));
        SSL* ssl = s.get();
        if (!ssl || SSL_set_fd(ssl, conexion) != 1 || SSL_accept(ssl) != 1)
            return ERR_clear_error();
        if (averia == Averia::NoLeeLaPeticion)
            return esperarAlFinal();
        if (!leerPeticion(ssl))
            return ERR_clear_error();

        const std::string& cuerpo = RespuestaBuena;
        const std::string mitad = cuerpo.substr(0, cuerpo.size() / 2);
        const std::string conLongitud = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                        "Content-Length: " +
                                        std::to_string(cuerpo.size()) + "\r\n\r\n";
        const std::string porTrozos =
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n";
        const std::string sinLongitud =
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n";
        bool cierreOrdenado = true;
        switch (averia) {
        case Averia::Ninguna:
            escribir(ssl, conLongitud + cuerpo);
            break;
        case Averia::SinLongitud:
            escribir(ssl, sinLongitud + cuerpo);
            break;
        case Averia::CierraSinContestar:
            break;
        case Averia::CierraTrasProvisional:
            escribir(ssl, "HTTP/1.1 100 Continue\r\n\r\n");
            break;
        case Averia::CierraEnLasCabeceras:
            escribir(ssl, conLongitud.substr(0, 30));
            break;
        case Averia::CierraAMitadDelCuerpo:
            escribir(ssl, conLongitud + mitad);
            break;
        case Averia::CortaAMitadDelCuerpo:
            escribir(ssl, conLongitud + mitad);
            cierreOrdenado = false;
            break;
        case Averia::CierraAMitadDeUnTrozo: {
            char tamano[16];
            std::snprintf(tamano, sizeof tamano, "%zx\r\n", cuerpo.size());
            escribir(ssl, porTrozos + tamano + mitad);
            break;
        }
        case Averia::CortaCuerpoSinLongitud:
            escribir(ssl, sinLongitud + mitad);
            cierreOrdenado = false;
            break;
        case Averia::Gotea: {
            const std::string todo = conLongitud + cuerpo;
            for (const char c : todo)
                if (!escribir(ssl, std::string_view(&c, 1)) || !esperar(pausa))
                    return ERR_clear_error();
            break;
        }
        case Averia::CuerpoSinFin:
            if (escribir(ssl, porTrozos))
                sinFin(ssl, "4000\r\n" + std::string(0x4000, 'A') + "\r\n");
            break;
        case Averia::LongitudDesmesurada:
            if (escribir(ssl, "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\n"))
                sinFin(ssl, std::string(0x4000, 'A'));
            break;
        case Averia::CabecerasSinFin:
            if (escribir(ssl, "HTTP/1.1 200 OK\r\n"))
                sinFin(ssl, "X-Relleno: " + std::string(1000, 'a') + "\r\n");
            break;
        case Averia::ProvisionalesSinFin:
            sinFin(ssl, "HTTP/1.1 100 Continue\r\n\r\n");
            break;
        case Averia::AceptaYCalla:
        case Averia::NoLeeLaPeticion:
            break;
        }
        if (cierreOrdenado) {
            SSL_shutdown(ssl);
            cerrarSinPrisa(conexion);
        }
        ERR_clear_error();
    }

    /// Cierra como un servidor de verdad: deja de escribir y lee y tira lo que el cliente aún
    /// mande (hasta 1 s). Cerrar con datos sin leer manda un RST, y el cliente puede perder con
    /// él la respuesta que ya tenía.
    void cerrarSinPrisa(int conexion) {
        ::shutdown(conexion, SHUT_WR);
        const auto hasta = std::chrono::steady_clock::now() + 1s;
        char tirar[4096];
        while (std::chrono::steady_clock::now() < hasta) {
            pollfd p = {conexion, POLLIN, 0};
            const int listo = ::poll(&p, 1, 50);
            if (listo < 0 && errno != EINTR)
                return;
            if (listo > 0 && ::recv(conexion, tirar, sizeof tirar, 0) <= 0)
                return;
            std::lock_guard l(m);
            if (parando)
                return;
        }
    }

    void escuchar() {
        for (;;) {
            pollfd fds[2] = {{escucha, POLLIN, 0}, {aviso, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            const int c = ::accept4(escucha, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            {
                std::lock_guard l(m);
                if (parando) {
                    ::close(c);
                    return;
                }
                activa = c;
                ++conexiones;
            }
            atender(c);
            {
                std::lock_guard l(m);
                activa = -1;
            }
            ::close(c);
        }
    }
};

ServidorAveriado::ServidorAveriado(Averia averia, const CertificadoServidor& certificado,
                                   std::chrono::milliseconds pausa, const Escucha& escucha)
    : e_(std::make_unique<Estado>()) {
    // El cliente corta a medias en casi todas las averías: escribirle no debe matar el proceso.
    std::signal(SIGPIPE, SIG_IGN);
    e_->averia = averia;
    e_->pausa = pausa;

    sl::Clave claveAutoridad;
    if (!escucha.autoridad.empty()) {
        e_->autoridad = leerPem<sl::Certificado>(escucha.autoridad, PEM_read_X509);
        claveAutoridad = leerPem<sl::Clave>(escucha.claveAutoridad, PEM_read_PrivateKey);
    }
    if (!e_->autoridad || !claveAutoridad) {
        claveAutoridad = sl::claveEc();
        sl::DatosCertificado ca;
        ca.sujeto = {{"O", "ZOQ pruebas"}, {"CN", "Autoridad del servidor averiado"}};
        ca.autoridad = true;
        e_->autoridad = sl::emitir(ca, claveAutoridad.get());
        if (!escucha.autoridad.empty()) {
            grabar(escucha.claveAutoridad, sl::pem(claveAutoridad.get()));
            grabar(escucha.autoridad, sl::pem(e_->autoridad.get()));
        }
    }

    const sl::Clave clave = sl::claveEc();
    sl::DatosCertificado srv;
    srv.sujeto = {{"O", "ZOQ pruebas"}, {"CN", "servidor averiado"}};
    srv.servidor = true;
    srv.desde = certificado.desde;
    srv.hasta = certificado.hasta;
    srv.nombresDns = certificado.nombresDns;
    srv.ips = certificado.ips;
    const sl::Certificado propio =
        certificado.autofirmado
            ? sl::emitir(srv, clave.get())
            : sl::emitir(srv, clave.get(), e_->autoridad.get(), claveAutoridad.get());

    e_->contexto.reset(SSL_CTX_new(TLS_server_method()));
    exigir(e_->contexto != nullptr, "SSL_CTX_new");
    exigir(SSL_CTX_use_certificate(e_->contexto.get(), propio.get()) == 1, "certificado");
    exigir(SSL_CTX_use_PrivateKey(e_->contexto.get(), clave.get()) == 1, "clave");

    e_->escucha = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    exigir(e_->escucha >= 0, "socket");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(escucha.puerto);
    // El puerto fijo, libre otra vez nada más cerrarlo, también para el servicio local, que lo
    // pide con SO_REUSEPORT: las conexiones que este cerró y esperan (TIME_WAIT) no le estorban
    // si lo tienen también.
    const int si = 1;
    ::setsockopt(e_->escucha, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
    if (escucha.puerto != 0)
        ::setsockopt(e_->escucha, SOL_SOCKET, SO_REUSEPORT, &si, sizeof si);
    socklen_t n = sizeof a;
    exigir(::bind(e_->escucha, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0, "bind");
    exigir(::listen(e_->escucha, 8) == 0, "listen");
    exigir(::getsockname(e_->escucha, reinterpret_cast<sockaddr*>(&a), &n) == 0, "getsockname");
    e_->puerto = ntohs(a.sin_port);
    e_->aviso = ::eventfd(0, EFD_CLOEXEC);
    exigir(e_->aviso >= 0, "eventfd");

    Estado* e = e_.get();
    e_->hilo = std::thread([e] { e->escuchar(); });
}

ServidorAveriado::~ServidorAveriado() {
    parar();
    for (int fd : {e_->escucha, e_->aviso})
        if (fd >= 0)
            ::close(fd);
}

void ServidorAveriado::parar() {
    {
        std::lock_guard l(e_->m);
        e_->parando = true;
        if (e_->activa >= 0)
            ::shutdown(e_->activa, SHUT_RDWR); // despierta lecturas y escrituras bloqueadas
    }
    e_->despertar.notify_all();
    if (e_->hilo.joinable()) {
        const std::uint64_t uno = 1;
        [[maybe_unused]] const auto r = ::write(e_->aviso, &uno, sizeof uno);
        e_->hilo.join();
    }
}

std::string ServidorAveriado::direccion() const {
    return "https://127.0.0.1:" + std::to_string(e_->puerto) + "/sincertificados";
}

void ServidorAveriado::grabarAutoridad(const std::string& ruta) const {
    grabar(ruta, sl::pem(e_->autoridad.get()));
}

std::size_t ServidorAveriado::conexiones() const {
    std::lock_guard l(e_->m);
    return e_->conexiones;
}

std::size_t ServidorAveriado::enviados() const {
    return e_->enviados;
}

} // namespace morvelin::pruebas
