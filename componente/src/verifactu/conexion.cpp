#include "verifactu/conexion.h"

#include "plataforma/curl/comun.h"
#include "plataforma/openssl/clave_almacen.h"
#include "plataforma/openssl/x509.h"

#include <openssl/ssl.h>

#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace morvelin::verifactu {

namespace {

namespace ossl = plataforma::openssl;

constexpr const char* ParaQue = "para identificarse ante la Agencia Tributaria";

// Las firmas PKCS #1 que se ofrecen con una clave RSA (PSS no se firma: véase clave_almacen.h).
constexpr const char* FirmasRsa = "RSA+SHA256:RSA+SHA384:RSA+SHA512";

bool esCabecera(std::string_view linea, std::string_view nombre, std::string_view& valor) {
    if (linea.size() <= nombre.size() || linea[nombre.size()] != ':' ||
        strncasecmp(linea.data(), nombre.data(), nombre.size()) != 0)
        return false;
    valor = linea.substr(nombre.size() + 1);
    return true;
}

} // namespace

std::string nombreDelCertificado(const plataforma::Certificado& certificado) {
    const auto x = ossl::certificadoDeDer(certificado.der());
    const std::string cn = x ? ossl::nombreComun(x.get()) : std::string();
    return cn.empty() ? "(sin nombre común)" : cn;
}

struct ConexionServicio::Datos {
    OpcionesConexion opciones;
    std::shared_ptr<const plataforma::Certificado> certificado;
    ossl::X509Propio x509;
    ossl::ClavePropia clave;
    bool rsa = false;
    bool probada = false; // la clave ya ha firmado una vez
    curl::Curl curl;
    curl::Lista cabeceras;
    char error[CURL_ERROR_SIZE] = {};
    // Lo que llega en el intercambio en curso.
    RespuestaHttp respuesta;
    bool demasiado = false;

    [[noreturn]] void fallar(FalloConexion::Clase clase, const std::string& motivo) {
        throw FalloConexion{clase, motivo};
    }

    template <class Valor> void poner(CURLoption opcion, Valor valor) {
        if (curl_easy_setopt(curl.get(), opcion, valor) != CURLE_OK)
            fallar(FalloConexion::Clase::Red, "libcurl no admite una opción necesaria");
    }

    static std::size_t recibir(char* datos, std::size_t, std::size_t n, void* yo) {
        auto* d = static_cast<Datos*>(yo);
        if (n > d->opciones.limites.respuestaMaxima - d->respuesta.cuerpo.size()) {
            d->demasiado = true;
            return 0;
        }
        try {
            d->respuesta.cuerpo.append(datos, n);
        } catch (...) {
            return 0;
        }
        return n;
    }

    static std::size_t recibirCabecera(char* datos, std::size_t, std::size_t n, void* yo) {
        auto* d = static_cast<Datos*>(yo);
        std::string_view valor;
        if (esCabecera(std::string_view(datos, n), "Date", valor)) {
            const std::string fecha(valor);
            if (const time_t t = curl_getdate(fecha.c_str(), nullptr); t != -1)
                d->respuesta.fecha = t;
        }
        return n;
    }

    // El contexto TLS de cada conexión lleva el certificado y su clave de almacén.
    static CURLcode prepararTls(CURL*, void* contexto, void* yo) {
        auto* d = static_cast<Datos*>(yo);
        auto* ctx = static_cast<SSL_CTX*>(contexto);
        if (SSL_CTX_use_certificate(ctx, d->x509.get()) != 1 ||
            SSL_CTX_use_PrivateKey(ctx, d->clave.get()) != 1 ||
            SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1)
            return CURLE_SSL_CERTPROBLEM;
        if (d->rsa && (SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION) != 1 ||
                       SSL_CTX_set1_client_sigalgs_list(ctx, FirmasRsa) != 1))
            return CURLE_SSL_CERTPROBLEM;
        return CURLE_OK;
    }

    // Una firma antes de conectar: el PIN se pide ahora, no con la conexión esperando, y una
    // clave que no firma se sabe sin haber hablado con nadie.
    void probarClave() {
        if (probada)
            return;
        const std::string resumen(32, '\x5A');
        const plataforma::AlgoritmoFirma algoritmo{rsa ? plataforma::AlgoritmoFirma::Esquema::Pkcs1
                                                       : plataforma::AlgoritmoFirma::Esquema::Ecdsa,
                                                   plataforma::ResumenFirma::Sha256, true};
        if (!certificado->firmar(algoritmo, resumen, ParaQue))
            fallar(
                FalloConexion::Clase::Identificacion,
                "No se ha podido firmar con el certificado «" + nombreDelCertificado(*certificado) +
                    "» (el PIN o la contraseña no se ha dado, o su clave no está a su alcance).");
        probada = true;
    }

    std::string autoridades() const {
        return opciones.autoridades.empty() ? "las autoridades de confianza del sistema"
                                            : "las autoridades de «" + opciones.autoridades + "»";
    }

    [[noreturn]] void fallo(CURLcode codigo) {
        using Clase = FalloConexion::Clase;
        const std::string detalle = error[0] != '\0' ? error : curl_easy_strerror(codigo);
        switch (codigo) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            fallar(Clase::Servidor, "El servidor de " + opciones.direccion +
                                        " no es de confianza: su certificado no lleva a " +
                                        autoridades() + " o no es el de ese nombre (" + detalle +
                                        "). No se ha enviado nada.");
        case CURLE_SSL_CERTPROBLEM:
            fallar(Clase::Identificacion, "No se puede usar el certificado «" +
                                              nombreDelCertificado(*certificado) +
                                              "» para identificarse (" + detalle + ").");
        case CURLE_SSL_CONNECT_ERROR:
            if (std::strstr(error, "alert") != nullptr && std::strstr(error, "certificate"))
                fallar(Clase::Identificacion, "El servidor no acepta el certificado «" +
                                                  nombreDelCertificado(*certificado) + "» (" +
                                                  detalle + ").");
            break;
        case CURLE_WRITE_ERROR:
            if (demasiado)
                fallar(Clase::Red, "La respuesta del servidor pasa de " +
                                       std::to_string(opciones.limites.respuestaMaxima >> 20) +
                                       " MiB.");
            break;
        case CURLE_OPERATION_TIMEDOUT:
            fallar(Clase::Red, "El servidor no ha contestado a tiempo (" + detalle + ").");
        default:
            break;
        }
        fallar(Clase::Red,
               "No se ha podido hablar con " + opciones.direccion + " (" + detalle + ").");
    }
};

ConexionServicio::ConexionServicio(OpcionesConexion opciones,
                                   std::shared_ptr<const plataforma::Certificado> certificado)
    : d_(std::make_unique<Datos>()) {
    using Clase = FalloConexion::Clase;
    d_->opciones = std::move(opciones);
    d_->certificado = std::move(certificado);
    d_->x509 = ossl::certificadoDeDer(d_->certificado->der());
    d_->clave = ossl::claveDeAlmacen(d_->certificado, ParaQue);
    if (!d_->x509 || !d_->clave)
        d_->fallar(Clase::Identificacion,
                   "La clave del certificado «" + nombreDelCertificado(*d_->certificado) +
                       "» no es RSA ni EC: no sirve para identificarse ante la agencia.");
    d_->rsa = EVP_PKEY_get_base_id(X509_get0_pubkey(d_->x509.get())) == EVP_PKEY_RSA;
    if (!d_->opciones.direccion.starts_with("https://"))
        d_->fallar(Clase::Red, "Solo se envía por https:// (" + d_->opciones.direccion + ").");
    if (!curl::iniciar() || !(d_->curl = curl::Curl(curl_easy_init())))
        d_->fallar(Clase::Red, "No se puede preparar libcurl.");

    const auto& l = d_->opciones.limites;
    d_->poner(CURLOPT_ERRORBUFFER, d_->error);
    d_->poner(CURLOPT_URL, d_->opciones.direccion.c_str());
    d_->poner(CURLOPT_PROTOCOLS_STR, "https");
    d_->poner(CURLOPT_FOLLOWLOCATION, 0L);
    d_->poner(CURLOPT_NOSIGNAL, 1L);
    d_->poner(CURLOPT_USERAGENT, "MORVELIN");
    d_->poner(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    d_->poner(CURLOPT_ACCEPT_ENCODING, "");
    for (const char* c : {"Content-Type: text/xml; charset=utf-8", "SOAPAction: \"\"", "Expect:"}) {
        curl_slist* nueva = curl_slist_append(d_->cabeceras.get(), c);
        if (nueva == nullptr)
            throw std::bad_alloc();
        d_->cabeceras.release();
        d_->cabeceras.reset(nueva);
    }
    d_->poner(CURLOPT_HTTPHEADER, d_->cabeceras.get());
    d_->poner(CURLOPT_SSL_VERIFYPEER, 1L);
    d_->poner(CURLOPT_SSL_VERIFYHOST, 2L);
    if (d_->opciones.autoridades.empty()) {
        if (!curl::autoridadesDelEntorno(d_->curl.get()))
            d_->fallar(Clase::Red, "libcurl no admite las autoridades del entorno.");
    } else {
        struct stat st {};
        const bool carpeta =
            ::stat(d_->opciones.autoridades.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        d_->poner(carpeta ? CURLOPT_CAPATH : CURLOPT_CAINFO, d_->opciones.autoridades.c_str());
        if (carpeta)
            d_->poner(CURLOPT_CAINFO, static_cast<const char*>(nullptr));
    }
    d_->poner(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(l.conexion.count()));
    d_->poner(CURLOPT_LOW_SPEED_LIMIT, 1L);
    d_->poner(CURLOPT_LOW_SPEED_TIME, static_cast<long>(l.estancamiento.count()));
    d_->poner(CURLOPT_TIMEOUT_MS, static_cast<long>(l.total.count()));
    d_->poner(CURLOPT_WRITEFUNCTION, &Datos::recibir);
    d_->poner(CURLOPT_WRITEDATA, d_.get());
    d_->poner(CURLOPT_HEADERFUNCTION, &Datos::recibirCabecera);
    d_->poner(CURLOPT_HEADERDATA, d_.get());
    d_->poner(CURLOPT_SSL_CTX_FUNCTION, &Datos::prepararTls);
    d_->poner(CURLOPT_SSL_CTX_DATA, d_.get());
}

ConexionServicio::~ConexionServicio() = default;

RespuestaHttp ConexionServicio::enviar(const std::string& peticion) {
    d_->probarClave();
    d_->respuesta = RespuestaHttp{};
    d_->demasiado = false;
    d_->error[0] = '\0';
    d_->poner(CURLOPT_POSTFIELDS, peticion.data());
    d_->poner(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(peticion.size()));
    if (const CURLcode r = curl_easy_perform(d_->curl.get()); r != CURLE_OK)
        d_->fallo(r);
    curl_easy_getinfo(d_->curl.get(), CURLINFO_RESPONSE_CODE, &d_->respuesta.estado);
    return std::move(d_->respuesta);
}

} // namespace morvelin::verifactu
