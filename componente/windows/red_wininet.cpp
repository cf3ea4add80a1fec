// El cliente HTTPS del componente con WinINet: sesión con la configuración de acceso del
// sistema (sus proxies), análisis de la dirección, conexión, petición y lectura de la respuesta.
//
// WinINet no dice todo lo que hace falta para saber si una respuesta llegó entera: se ve el
// estado, la longitud anunciada y lo leído, pero no si un cuerpo por trozos acabó con su último
// trozo ni si uno sin longitud acabó con el aviso de cierre de TLS. Esos dos cortes pasan por
// respuestas enteras.
#include "plataforma/red.h"

#include "windows_comun.h"

#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

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

/// Los plazos de conexión, envío y recepción de un manejador.
void ponerPlazos(HINTERNET h, const Limites& limites) {
    DWORD conexion = milisegundos(limites.conexion);
    DWORD espera = milisegundos(limites.estancamiento);
    InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &conexion, sizeof conexion);
    InternetSetOptionA(h, INTERNET_OPTION_SEND_TIMEOUT, &espera, sizeof espera);
    InternetSetOptionA(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &espera, sizeof espera);
}

/// Lo que dice HttpQueryInfoA de la respuesta; vacío si no lo dice.
std::string consulta(HINTERNET h, DWORD que) {
    std::string valor(256, '\0');
    for (;;) {
        DWORD n = static_cast<DWORD>(valor.size());
        if (HttpQueryInfoA(h, que, valor.data(), &n, nullptr)) {
            valor.resize(n);
            return valor;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || n <= valor.size())
            return {};
        valor.resize(n);
    }
}

/// ¿Contiene `texto` la palabra `palabra`, sin distinguir mayúsculas?
bool contiene(std::string texto, std::string_view palabra) {
    for (char& c : texto)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return texto.find(palabra) != std::string::npos;
}

class PeticionWinInet final : public Peticion {
public:
    PeticionWinInet(HINTERNET h, const Limites& limites) : h_(h), limites_(limites) {
        if (h_ == nullptr)
            throw FalloInternet{};
        ponerPlazos(h_, limites_);
    }
    PeticionWinInet(const PeticionWinInet&) = delete;
    PeticionWinInet& operator=(const PeticionWinInet&) = delete;

    ~PeticionWinInet() override {
        if (vigilante_.joinable()) {
            SetEvent(acabada_);
            vigilante_.join();
        }
        if (acabada_)
            CloseHandle(acabada_);
        if (!cerrada_)
            InternetCloseHandle(h_);
    }

    void enviar(std::string_view cabeceras, std::string_view cuerpo) override {
        inicio_ = GetTickCount64();
        // Los plazos de WinINet no alcanzan al intercambio entero: el límite total lo vigila un
        // hilo que, al llegar, cierra la petición. WinINet acaba entonces con un error la
        // operación en curso (la de Wine, no: la siguiente, cuando acaba la que estaba en curso).
        acabada_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!acabada_)
            throw FalloInternet{};
        try {
            vigilante_ = std::thread([this] { vigilar(); });
        } catch (const std::exception&) {
            throw FalloInternet{};
        }
        const std::string linea(cabeceras);
        if (cuerpo.size() > ULONG_MAX ||
            !HttpSendRequestA(h_, linea.c_str(), static_cast<DWORD>(linea.size()),
                              const_cast<char*>(cuerpo.data()), static_cast<DWORD>(cuerpo.size())))
            throw FalloInternet{};
        comprobarCabeceras();
    }

    std::size_t leer(char* destino, std::size_t capacidad) override {
        // WinINet no tiene un plazo para el intercambio entero: se mira entre lectura y lectura
        // (cada una está acotada por el plazo de recepción).
        if (GetTickCount64() - inicio_ > static_cast<ULONGLONG>(limites_.total.count()))
            throw FalloInternet{};
        DWORD leidos = 0;
        const DWORD pedir = static_cast<DWORD>(std::min<std::size_t>(capacidad, 1u << 20));
        if (!InternetReadFile(h_, destino, pedir, &leidos))
            throw FalloInternet{};
        recibidos_ += leidos;
        // WinINet acaba sin error un cuerpo más corto que su longitud, si la conexión se cierra.
        if (leidos == 0 && longitud_ && recibidos_ != *longitud_)
            throw FalloInternet{};
        return leidos;
    }

private:
    /// WinINet da por buena una respuesta cortada antes de acabar sus cabeceras: sin ninguna
    /// (estado 0), con solo una provisional (1xx), o con la línea de estado y parte de las
    /// cabeceras. Las dos primeras se ven en el estado; la tercera, en que no dice cómo acaba
    /// el cuerpo: en HTTP/1.1, un cuerpo sin longitud que acaba con la conexión se anuncia con
    /// «Connection: close».
    void comprobarCabeceras() {
        DWORD estado = 0, n = sizeof estado;
        if (!HttpQueryInfoA(h_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &estado, &n,
                            nullptr) ||
            estado < 200 || estado > 999)
            throw FalloInternet{};
        if (estado == 204 || estado == 304) {
            longitud_ = 0;
            return;
        }
        const std::string longitud = consulta(h_, HTTP_QUERY_CONTENT_LENGTH);
        if (!longitud.empty()) {
            char* fin = nullptr;
            const unsigned long long valor = std::strtoull(longitud.c_str(), &fin, 10);
            // Un cuerpo anunciado por encima del tope ni se empieza a leer.
            if (*fin != '\0' || valor > limites_.respuestaMaxima)
                throw FalloInternet{};
            longitud_ = static_cast<std::size_t>(valor);
            return;
        }
        if (contiene(consulta(h_, HTTP_QUERY_TRANSFER_ENCODING), "chunked"))
            return;
        if (consulta(h_, HTTP_QUERY_VERSION) != "HTTP/1.0" &&
            !contiene(consulta(h_, HTTP_QUERY_CONNECTION), "close"))
            throw FalloInternet{};
    }

    void vigilar() {
        if (WaitForSingleObject(acabada_, milisegundos(limites_.total)) != WAIT_TIMEOUT)
            return;
        cerrada_ = true;
        InternetCloseHandle(h_);
    }

    HINTERNET h_;
    Limites limites_;
    ULONGLONG inicio_ = 0;
    std::thread vigilante_;
    HANDLE acabada_ = nullptr; ///< se marca cuando la petición se destruye: ya no hay que vigilar
    bool cerrada_ = false;     ///< el vigilante cerró la petición al llegar el límite total
    std::optional<std::size_t> longitud_; ///< la del cuerpo, cuando se sabe
    std::size_t recibidos_ = 0;
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
    // Los plazos se ponen en la sesión, que los da a la conexión y la petición, y otra vez en
    // la petición (no todas las WinINet los heredan).
    ponerPlazos(h, limites);
    return sesion;
}

} // namespace morvelin::red
