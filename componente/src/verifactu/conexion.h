#pragma once
// El intercambio HTTPS con el servicio web de la agencia: la petición SOAP por POST, con TLS en el
// que el cliente se identifica con el certificado elegido (la firma del saludo la hace su
// almacén: la clave no sale de él) y el servidor se verifica contra las autoridades del sistema
// o las que se den. Solo https://, sin redirecciones, con los límites de tiempo y de tamaño de
// VERIFICA. La conexión se mantiene de un envío al siguiente.

#include "plataforma/criptografia.h"
#include "plataforma/red.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace morvelin::verifactu {

/// Un intercambio que no ha llegado a dar una respuesta.
struct FalloConexion {
    enum class Clase {
        Red,            ///< no se pudo hablar con el servidor, o no contestó entero a tiempo
        Servidor,       ///< el servidor no es de confianza (su certificado o su nombre)
        Identificacion, ///< el certificado propio no se pudo usar, o el servidor no lo acepta
    };
    Clase clase;
    std::string motivo; ///< en español
};

/// Lo que llega del servidor.
struct RespuestaHttp {
    long estado = 0;
    std::string cuerpo;
    /// La cabecera Date, en segundos desde 1970, si la trae.
    std::optional<std::int64_t> fecha;
};

struct OpcionesConexion {
    std::string direccion; ///< https://servidor[:puerto]/ruta
    /// Fichero PEM o carpeta de autoridades que verifican al servidor; vacío: las de
    /// CURL_CA_BUNDLE, SSL_CERT_FILE y SSL_CERT_DIR, o las del sistema.
    std::string autoridades;
    red::Limites limites;
};

class ConexionServicio {
public:
    /// Lanza FalloConexion (Identificacion) si la clave del certificado no es RSA ni EC.
    ConexionServicio(OpcionesConexion opciones,
                     std::shared_ptr<const plataforma::Certificado> certificado);
    ~ConexionServicio();
    ConexionServicio(const ConexionServicio&) = delete;
    ConexionServicio& operator=(const ConexionServicio&) = delete;

    /// Envía la petición y devuelve la respuesta entera, sea cual sea su estado HTTP. La primera
    /// vez firma antes de conectar (así el PIN, si hace falta, se pide sin la conexión abierta).
    /// Lanza FalloConexion.
    RespuestaHttp enviar(const std::string& peticion);

private:
    struct Datos;
    std::unique_ptr<Datos> d_;
};

/// Lo que dice el sujeto de un certificado, para los mensajes («CN=…»).
std::string nombreDelCertificado(const plataforma::Certificado& certificado);

} // namespace morvelin::verifactu
