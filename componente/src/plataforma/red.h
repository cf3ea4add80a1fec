#pragma once
// Cliente HTTPS del componente, detrás de una interfaz pequeña de la plataforma.
//
// Los pasos son los de las clases de internet de la plataforma: una sesión con su nombre de
// agente, que analiza direcciones y abre conexiones; una conexión a un servidor y puerto, que
// abre peticiones; una petición, que se envía con sus cabeceras y su cuerpo y cuya respuesta se
// lee después. Cualquier fallo de la red se lanza como FalloInternet. Esta plataforma los
// cumple con libcurl (plataforma/curl/red.cpp); otra puede cumplirlos con su propio cliente sin
// tocar la lógica de la verificación.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace morvelin::red {

/// El fallo de la red: conexión, certificado del servidor, envío, lectura, límites.
struct FalloInternet {};

/// Límites de un intercambio. Cada uno que se supera acaba el intercambio con FalloInternet.
///
/// El componente usa siempre estos valores; solo las pruebas los acortan. Con ellos ningún
/// intercambio dura más de `total`, pase lo que pase al otro lado: el límite cubre el
/// intercambio entero, resolución del nombre incluida (libcurl la hace en otro hilo, así que
/// también la corta), proxy, conexión, TLS, envío y respuesta. Un servidor que no acepta la
/// conexión, o la acepta y no negocia TLS, se corta a los 30 s; uno que la acepta y calla, por
/// estancamiento, entre 60 y 66 s después del último byte (libcurl mide la velocidad sobre los
/// últimos 5 s); uno que gotea sin estancarse, a los 10 min. Y la memoria tampoco crece sin
/// tope: ni el cuerpo ni las cabeceras de la respuesta pasan de `respuestaMaxima`.
struct Limites {
    /// Para establecer la conexión, negociación TLS incluida.
    std::chrono::milliseconds conexion{std::chrono::seconds(30)};
    /// Estancamiento: menos de un byte por segundo, de media, durante este tiempo.
    std::chrono::seconds estancamiento{60};
    /// El intercambio entero, del primer paquete al último byte de la respuesta. Un servidor
    /// que gotea un byte de vez en cuando nunca se estanca, pero tampoco pasa de aquí.
    std::chrono::milliseconds total{std::chrono::minutes(10)};
    /// Tamaño máximo del cuerpo de la respuesta; uno mayor es un intercambio fallido. Las
    /// cabeceras tienen otro tope igual, aparte.
    std::size_t respuestaMaxima = 1024 * 1024;
};

/// Una dirección analizada: tipo de servicio, servidor, puerto y objeto (ruta y consulta).
struct Direccion {
    bool segura = true; ///< "https" (si no, "http")
    std::string servidor;
    unsigned puerto = 0;
    std::string objeto;
};

/// Una petición abierta. Se envía una vez; después se lee su respuesta.
class Peticion {
public:
    virtual ~Peticion() = default;
    /// Envía la petición con esas cabeceras (líneas separadas por CR LF, sin la última) y ese
    /// cuerpo, y espera la respuesta. El estado HTTP no se mira. Una respuesta incompleta es un
    /// fallo: cabeceras sin acabar, un cuerpo más corto que su longitud o que su último trozo,
    /// o uno sin longitud (hasta el cierre) cuya conexión TLS no se cierra como es debido.
    virtual void enviar(std::string_view cabeceras, std::string_view cuerpo) = 0;
    /// Copia en destino hasta capacidad bytes más del cuerpo de la respuesta; 0 al final.
    virtual std::size_t leer(char* destino, std::size_t capacidad) = 0;
};

/// Una conexión HTTP a un servidor y un puerto.
class Conexion {
public:
    virtual ~Conexion() = default;
    /// Abre una petición con ese verbo para el objeto, cifrada cuando segura.
    virtual std::unique_ptr<Peticion> abrirPeticion(std::string_view verbo, std::string_view objeto,
                                                    bool segura) = 0;
};

/// Una sesión de internet con la configuración de acceso del sistema (sus proxies).
class Sesion {
public:
    virtual ~Sesion() = default;
    /// Analiza una dirección "https://servidor[:puerto]/objeto" (o "http://"). Falso cuando no
    /// se puede analizar o el tipo de servicio no es ninguno de los dos.
    virtual bool analizarUrl(const std::string& url, Direccion& direccion) = 0;
    /// Abre una conexión al servidor (sin usuario ni contraseña).
    virtual std::unique_ptr<Conexion> conectar(const std::string& servidor, unsigned puerto) = 0;
};

/// Abre una sesión con ese nombre de agente y esos límites. Lanza FalloInternet si la
/// plataforma no puede darla.
std::unique_ptr<Sesion> abrirSesion(std::string_view agente, const Limites& limites);

} // namespace morvelin::red
