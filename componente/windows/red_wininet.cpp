// El cliente HTTPS del componente con WinINet: sesión con la configuración de acceso del
// sistema (sus proxies), análisis de la dirección, conexión, petición y lectura de la respuesta.
#include "plataforma/red.h"

#include "windows_comun.h"

#include <wininet.h>

#include <algorithm>
#include <climits>

namespace morvelin::red {

namespace {

constexpr DWORD_PTR Contexto = 1;

/// Un manejador de WinINet con dueño.
class Manejador {
public:
    explicit Manejador(HINTERNET h) : h_(h) {
        if (h_ == nullptr)
            throw FalloInternet{};
    }
    Manejador(const Manejador&) = delete;
    Manejador& operator=(const Manejador&) = delete;
    ~Manejador() { InternetCloseHandle(h_); }
    HINTERNET get() const { return h_; }

private:
    HINTERNET h_;
};

DWORD milisegundos(std::chrono::milliseconds t) {
    return static_cast<DWORD>(std::clamp<long long>(t.count(), 1, LONG_MAX));
}

class PeticionWinInet final : public Peticion {
public:
    PeticionWinInet(HINTERNET h, const Limites& limites) : h_(h), limites_(limites) {}

    void enviar(std::string_view cabeceras, std::string_view cuerpo) override {
        inicio_ = GetTickCount64();
        const std::string linea(cabeceras);
        if (cuerpo.size() > ULONG_MAX ||
            !HttpSendRequestA(h_.get(), linea.c_str(), static_cast<DWORD>(linea.size()),
                              const_cast<char*>(cuerpo.data()), static_cast<DWORD>(cuerpo.size())))
            throw FalloInternet{};
    }

    std::size_t leer(char* destino, std::size_t capacidad) override {
        // WinINet no tiene un plazo para el intercambio entero: se mira entre lectura y lectura
        // (cada una está acotada por el plazo de recepción).
        if (GetTickCount64() - inicio_ > static_cast<ULONGLONG>(limites_.total.count()))
            throw FalloInternet{};
        DWORD leidos = 0;
        const DWORD pedir = static_cast<DWORD>(std::min<std::size_t>(capacidad, 1u << 20));
        if (!InternetReadFile(h_.get(), destino, pedir, &leidos))
            throw FalloInternet{};
        return leidos;
    }

private:
    Manejador h_;
    Limites limites_;
    ULONGLONG inicio_ = 0;
};

class ConexionWinInet final : public Conexion {
public:
    ConexionWinInet(HINTERNET h, const Limites& limites) : h_(h), limites_(limites) {}

    std::unique_ptr<Peticion> abrirPeticion(std::string_view verbo, std::string_view objeto,
                                            bool segura) override {
        const DWORD banderas = segura ? INTERNET_FLAG_SECURE : INTERNET_FLAG_EXISTING_CONNECT;
        const std::string v(verbo), o(objeto);
        HINTERNET h = HttpOpenRequestA(h_.get(), v.c_str(), o.c_str(), nullptr, nullptr, nullptr,
                                       banderas, Contexto);
        return std::make_unique<PeticionWinInet>(h, limites_);
    }

private:
    Manejador h_;
    Limites limites_;
};

class SesionWinInet final : public Sesion {
public:
    SesionWinInet(HINTERNET h, const Limites& limites) : h_(h), limites_(limites) {}

    bool analizarUrl(const std::string& url, Direccion& direccion) override {
        char servidor[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
        char ruta[INTERNET_MAX_PATH_LENGTH + 1] = {};
        char resto[INTERNET_MAX_PATH_LENGTH + 1] = {};
        URL_COMPONENTSA partes{};
        partes.dwStructSize = sizeof partes;
        partes.lpszHostName = servidor;
        partes.dwHostNameLength = sizeof servidor;
        partes.lpszUrlPath = ruta;
        partes.dwUrlPathLength = sizeof ruta;
        partes.lpszExtraInfo = resto;
        partes.dwExtraInfoLength = sizeof resto;
        if (url.size() > INT_MAX ||
            !InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &partes))
            return false;
        if (partes.nScheme != INTERNET_SCHEME_HTTPS && partes.nScheme != INTERNET_SCHEME_HTTP)
            return false;
        direccion.segura = partes.nScheme == INTERNET_SCHEME_HTTPS;
        // A la vuelta, cada longitud es la de su parte, sin el cero final.
        direccion.servidor.assign(servidor, partes.dwHostNameLength);
        direccion.puerto = partes.nPort;
        direccion.objeto.assign(ruta, partes.dwUrlPathLength);
        direccion.objeto.append(resto, partes.dwExtraInfoLength);
        if (direccion.objeto.empty())
            direccion.objeto.push_back('/');
        return !direccion.servidor.empty();
    }

    std::unique_ptr<Conexion> conectar(const std::string& servidor, unsigned puerto) override {
        HINTERNET h =
            InternetConnectA(h_.get(), servidor.c_str(), static_cast<INTERNET_PORT>(puerto),
                             nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, Contexto);
        return std::make_unique<ConexionWinInet>(h, limites_);
    }

private:
    Manejador h_;
    Limites limites_;
};

} // namespace

std::unique_ptr<Sesion> abrirSesion(std::string_view agente, const Limites& limites) {
    const std::string nombre(agente);
    HINTERNET h = InternetOpenA(nombre.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    auto sesion = std::make_unique<SesionWinInet>(h, limites);
    // Los plazos se ponen en la sesión y los heredan la conexión y la petición.
    DWORD conexion = milisegundos(limites.conexion);
    DWORD espera = milisegundos(limites.estancamiento);
    InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &conexion, sizeof conexion);
    InternetSetOptionA(h, INTERNET_OPTION_SEND_TIMEOUT, &espera, sizeof espera);
    InternetSetOptionA(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &espera, sizeof espera);
    return sesion;
}

} // namespace morvelin::red
