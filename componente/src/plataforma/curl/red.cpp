// El cliente HTTPS de esta plataforma, con libcurl.
//
// libcurl hace el intercambio entero de una vez: la petición lo lanza al enviarse y guarda el
// cuerpo de la respuesta (con su tope) para las lecturas que vienen después. Los proxies salen
// de las variables de entorno de siempre (https_proxy, no_proxy...), que libcurl lee solo. Los
// certificados de autoridad, no: se hace lo que hace la herramienta curl, CURL_CA_BUNDLE o si
// no SSL_CERT_FILE como fichero de autoridades, y SSL_CERT_DIR como carpeta. Sin ellas, el
// almacén del sistema. El certificado del servidor y su nombre se comprueban siempre.
#include "plataforma/red.h"

#include "plataforma/curl/comun.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace morvelin::red {

namespace {

void comprobar(CURLcode codigo) {
    if (codigo != CURLE_OK)
        throw FalloInternet{};
}

template <class Valor> void poner(CURL* curl, CURLoption opcion, Valor valor) {
    comprobar(curl_easy_setopt(curl, opcion, valor));
}

using curl::BorrarCurl;
using curl::BorrarLista;

struct BorrarUrl {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct BorrarTexto {
    void operator()(char* t) const { curl_free(t); }
};
using Texto = std::unique_ptr<char, BorrarTexto>;

/// Índice de los datos propios en el contexto TLS de una conexión: la petición que lo usa.
int indiceTls() {
    static const int indice = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return indice;
}

/// ¿Es la línea de cabecera `linea` la de ese nombre (sin distinguir mayúsculas)? Deja en
/// `valor` lo que va detrás de los dos puntos.
bool esCabecera(std::string_view linea, std::string_view nombre, std::string_view& valor) {
    if (linea.size() <= nombre.size() || linea[nombre.size()] != ':' ||
        strncasecmp(linea.data(), nombre.data(), nombre.size()) != 0)
        return false;
    valor = linea.substr(nombre.size() + 1);
    return true;
}

Texto parte(CURLU* url, CURLUPart cual, unsigned banderas = 0) {
    char* t = nullptr;
    if (curl_url_get(url, cual, &t, banderas) != CURLUE_OK)
        return nullptr;
    return Texto(t);
}

class PeticionCurl final : public Peticion {
public:
    PeticionCurl(std::string url, std::string agente, const Limites& limites)
        : url_(std::move(url)), agente_(std::move(agente)), limites_(limites) {}

    void enviar(std::string_view cabeceras, std::string_view cuerpo) override {
        std::unique_ptr<CURL, BorrarCurl> curl(curl_easy_init());
        if (!curl)
            throw FalloInternet{};
        CURL* c = curl.get();

        // Solo la cabecera que se pide: fuera las que libcurl añade por su cuenta.
        std::unique_ptr<curl_slist, BorrarLista> lista;
        auto anadir = [&](const std::string& linea) {
            curl_slist* nueva = curl_slist_append(lista.get(), linea.c_str());
            if (!nueva)
                throw FalloInternet{};
            lista.release();
            lista.reset(nueva);
        };
        for (std::size_t desde = 0; desde < cabeceras.size();) {
            std::size_t fin = cabeceras.find("\r\n", desde);
            if (fin == std::string_view::npos)
                fin = cabeceras.size();
            if (fin > desde)
                anadir(std::string(cabeceras.substr(desde, fin - desde)));
            desde = fin + 2;
        }
        anadir("Accept:");
        anadir("Expect:");

        poner(c, CURLOPT_URL, url_.c_str());
        poner(c, CURLOPT_PROTOCOLS_STR, "http,https");
        poner(c, CURLOPT_NOSIGNAL, 1L);
        poner(c, CURLOPT_USERAGENT, agente_.c_str());
        poner(c, CURLOPT_HTTPHEADER, lista.get());
        poner(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        poner(c, CURLOPT_POST, 1L);
        poner(c, CURLOPT_POSTFIELDS, cuerpo.data());
        poner(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(cuerpo.size()));
        poner(c, CURLOPT_FOLLOWLOCATION, 0L);

        poner(c, CURLOPT_SSL_VERIFYPEER, 1L);
        poner(c, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!curl::autoridadesDelEntorno(c))
            throw FalloInternet{};

        poner(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limites_.conexion.count()));
        poner(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        poner(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limites_.estancamiento.count()));
        poner(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limites_.total.count()));

        respuesta_.clear();
        leido_ = 0;
        seguimiento_ = {};
        poner(c, CURLOPT_WRITEFUNCTION, &PeticionCurl::recibir);
        poner(c, CURLOPT_WRITEDATA, this);
        poner(c, CURLOPT_HEADERFUNCTION, &PeticionCurl::recibirCabecera);
        poner(c, CURLOPT_HEADERDATA, this);
        // Con otra biblioteca TLS debajo de libcurl no se ve el aviso de cierre.
        const CURLcode tls =
            curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &PeticionCurl::prepararTls);
        if (tls != CURLE_NOT_BUILT_IN && tls != CURLE_UNKNOWN_OPTION) {
            comprobar(tls);
            poner(c, CURLOPT_SSL_CTX_DATA, this);
        }

        comprobar(curl_easy_perform(c));

        // libcurl da por buenas dos respuestas cortadas: la que se corta en las cabeceras con
        // un cierre ordenado, y la que no dice su longitud (acaba con la conexión) y se corta
        // sin el aviso de cierre de TLS. Las dos son intercambios fallidos.
        const Seguimiento& s = seguimiento_;
        if (!s.cabecerasCompletas || (s.tls && !s.longitudConocida && !s.avisoCierre))
            throw FalloInternet{};
    }

    std::size_t leer(char* destino, std::size_t capacidad) override {
        const std::size_t n = std::min(capacidad, respuesta_.size() - leido_);
        std::memcpy(destino, respuesta_.data() + leido_, n);
        leido_ += n;
        return n;
    }

private:
    // Devolver menos de lo recibido corta el intercambio (CURLE_WRITE_ERROR).
    static std::size_t recibir(char* datos, std::size_t, std::size_t n, void* yo) {
        auto* p = static_cast<PeticionCurl*>(yo);
        if (n > p->limites_.respuestaMaxima - p->respuesta_.size())
            return 0;
        try {
            p->respuesta_.append(datos, n);
        } catch (...) {
            return 0;
        }
        return n;
    }

    // Las cabeceras tienen su propio tope, del tamaño del de la respuesta.
    static std::size_t recibirCabecera(char* datos, std::size_t, std::size_t n, void* yo) {
        Seguimiento& s = static_cast<PeticionCurl*>(yo)->seguimiento_;
        if (n > static_cast<PeticionCurl*>(yo)->limites_.respuestaMaxima - s.bytesCabeceras)
            return 0;
        s.bytesCabeceras += n;
        const std::string_view linea(datos, n);
        std::string_view valor;
        if (linea.starts_with("HTTP/")) {
            // Una respuesta nueva: provisional (1xx) o la final; 204 y 304 no llevan cuerpo.
            const std::size_t espacio = linea.find(' ');
            const std::string_view codigo =
                espacio == std::string_view::npos ? "" : linea.substr(espacio + 1, 3);
            s.final = !codigo.starts_with('1');
            s.longitudConocida = codigo == "204" || codigo == "304";
            s.cabecerasCompletas = false;
        } else if (linea == "\r\n" || linea == "\n") {
            s.cabecerasCompletas = s.final;
        } else if (esCabecera(linea, "Content-Length", valor)) {
            s.longitudConocida = true;
        } else if (esCabecera(linea, "Transfer-Encoding", valor)) {
            for (std::size_t i = 0; i + 7 <= valor.size(); ++i)
                if (strncasecmp(valor.data() + i, "chunked", 7) == 0)
                    s.longitudConocida = true;
        }
        return n;
    }

    // Cada conexión TLS avisa a su petición cuando el servidor cierra como es debido.
    static CURLcode prepararTls(CURL*, void* contexto, void* yo) {
        auto* ctx = static_cast<SSL_CTX*>(contexto);
        if (indiceTls() < 0 || SSL_CTX_set_ex_data(ctx, indiceTls(), yo) != 1)
            return CURLE_SSL_CONNECT_ERROR;
        SSL_CTX_set_info_callback(ctx, &PeticionCurl::avisoTls);
        static_cast<PeticionCurl*>(yo)->seguimiento_.tls = true;
        return CURLE_OK;
    }

    static void avisoTls(const SSL* ssl, int donde, int valor) {
        if ((donde & SSL_CB_READ_ALERT) != SSL_CB_READ_ALERT ||
            (valor & 0xFF) != SSL_AD_CLOSE_NOTIFY)
            return;
        if (auto* p =
                static_cast<PeticionCurl*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), indiceTls())))
            p->seguimiento_.avisoCierre = true;
    }

    /// Lo que se sabe de la respuesta por sus cabeceras y por el cierre de TLS.
    struct Seguimiento {
        std::size_t bytesCabeceras = 0;
        bool final = false;              ///< las cabeceras en curso son de la respuesta final
        bool cabecerasCompletas = false; ///< llegó la línea vacía que acaba las de la final
        bool longitudConocida = false;   ///< Content-Length, por trozos o sin cuerpo
        bool tls = false;                ///< la conexión es TLS y su cierre se vigila
        bool avisoCierre = false;        ///< el servidor cerró TLS como es debido
    };

    std::string url_;
    std::string agente_;
    Limites limites_;
    std::string respuesta_;
    std::size_t leido_ = 0;
    Seguimiento seguimiento_;
};

class ConexionCurl final : public Conexion {
public:
    ConexionCurl(std::string servidor, unsigned puerto, std::string agente, const Limites& l)
        : servidor_(std::move(servidor)), puerto_(puerto), agente_(std::move(agente)), limites_(l) {
    }

    std::unique_ptr<Peticion> abrirPeticion(std::string_view verbo, std::string_view objeto,
                                            bool segura) override {
        if (verbo != "POST")
            throw FalloInternet{}; // el componente solo envía formularios
        std::string url = segura ? "https://" : "http://";
        url += servidor_;
        url += ':';
        url += std::to_string(puerto_);
        url += objeto;
        return std::make_unique<PeticionCurl>(std::move(url), agente_, limites_);
    }

private:
    std::string servidor_;
    unsigned puerto_;
    std::string agente_;
    Limites limites_;
};

class SesionCurl final : public Sesion {
public:
    SesionCurl(std::string_view agente, const Limites& limites)
        : agente_(agente), limites_(limites) {
        if (!curl::iniciar())
            throw FalloInternet{};
    }

    bool analizarUrl(const std::string& url, Direccion& d) override {
        std::unique_ptr<CURLU, BorrarUrl> u(curl_url());
        if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
            return false;
        const Texto esquema = parte(u.get(), CURLUPART_SCHEME);
        const Texto servidor = parte(u.get(), CURLUPART_HOST);
        const Texto puerto = parte(u.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
        const Texto ruta = parte(u.get(), CURLUPART_PATH);
        if (!esquema || !servidor || !puerto || !ruta || !*servidor)
            return false;
        if (std::strcmp(esquema.get(), "https") == 0)
            d.segura = true;
        else if (std::strcmp(esquema.get(), "http") == 0)
            d.segura = false;
        else
            return false;
        d.servidor = servidor.get();
        d.puerto = static_cast<unsigned>(std::strtoul(puerto.get(), nullptr, 10));
        d.objeto = ruta.get();
        if (const Texto consulta = parte(u.get(), CURLUPART_QUERY))
            d.objeto += std::string("?") + consulta.get();
        return true;
    }

    std::unique_ptr<Conexion> conectar(const std::string& servidor, unsigned puerto) override {
        // Conectar no toca la red todavía: la conexión la abre el envío.
        return std::make_unique<ConexionCurl>(servidor, puerto, agente_, limites_);
    }

private:
    std::string agente_;
    Limites limites_;
};

} // namespace

std::unique_ptr<Sesion> abrirSesion(std::string_view agente, const Limites& limites) {
    return std::make_unique<SesionCurl>(agente, limites);
}

} // namespace morvelin::red
