#pragma once
// Servicio de verificación local, para las pruebas y la demostración (no se instala).
//
// Un servidor HTTPS en 127.0.0.1, con su propia autoridad y su certificado de servidor hechos
// al arrancar, que habla el protocolo del servicio de verificación: recibe por POST en
// /sincertificados un cuerpo codificado para URL entero, lo decodifica, separa los seis campos
// (HID, NIE, NIR, TXT, FIR, FIN), decodifica la factura y la firma en base64 y comprueba de
// verdad la firma PKCS #7 separada sobre el texto del resumen SHA-1 de la factura, con la
// comprobación sin red del componente. Contesta:
//   "00 <nombre del firmante><blancos> - NIF <identificador>" con una firma buena, partiendo el
//   nombre que compone el componente (el que FIRMA devuelve) por su " - NIF ";
//   12 si la firma no es de esa factura; 13 si el certificado está caducado;
//   14 o 15 si se le ha dicho que trate el identificador como revocado o como no válido;
//   16 si el cuerpo o la firma están mal formados; 99 cuando se le pide un fallo técnico.
// Toda respuesta acaba en CR LF. También puede contestar un texto fijo, callar, gotear la
// respuesta o mandar una enorme, para probar al cliente.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace servicio_local {

/// Lo que recibió el servidor en una petición.
struct PeticionRecibida {
    std::string metodo;
    std::string ruta;
    std::vector<std::pair<std::string, std::string>> cabeceras;
    std::string cuerpo;

    /// Valor de la cabecera (nombre sin distinguir mayúsculas); vacío si no está.
    std::string cabecera(const std::string& nombre) const;
    std::size_t cuantasCabeceras(const std::string& nombre) const;
};

/// Lo que hace el servicio con las peticiones que llegan. Se puede cambiar en marcha.
struct Comportamiento {
    std::set<std::string> revocados; ///< identificadores con respuesta 14
    std::set<std::string> noValidos; ///< identificadores con respuesta 15
    bool falloTecnico = false;       ///< respuesta 99 a todo
    /// Contestar exactamente este cuerpo, sin mirar la petición.
    std::optional<std::string> respuestaFija;
    /// Esperar antes de contestar (hasta que el servicio se pare).
    std::chrono::milliseconds silencio{0};
    /// Mandar la respuesta byte a byte, con esta pausa entre bytes.
    std::chrono::milliseconds goteo{0};
    /// Ancho al que se rellena con blancos el nombre antes de " - NIF ".
    std::size_t anchoNombre = 60;
};

struct Opciones {
    unsigned short puerto = 0; ///< 0: uno libre
    /// Certificado del servidor también para la IP 127.0.0.1 (si no, solo para "localhost").
    bool certificadoConIp = true;
    /// Guardar la última petición entera (las pruebas la miran; con facturas enormes sobra).
    bool guardarPeticiones = true;
};

class ServicioLocal {
public:
    /// Genera la autoridad y el certificado, y se pone a escuchar en 127.0.0.1. Lanza
    /// std::runtime_error si no puede.
    explicit ServicioLocal(const Opciones& opciones = {});
    ~ServicioLocal();
    ServicioLocal(const ServicioLocal&) = delete;
    ServicioLocal& operator=(const ServicioLocal&) = delete;

    unsigned short puerto() const;
    /// "https://127.0.0.1:<puerto>/sincertificados"
    std::string direccion() const;
    /// "https://localhost:<puerto>/sincertificados"
    std::string direccionPorNombre() const;
    /// El certificado de la autoridad del servicio, en PEM.
    std::string autoridadPem() const;
    /// Escribe la autoridad en PEM en ese fichero.
    void grabarAutoridad(const std::string& ruta) const;

    void comportamiento(const Comportamiento& c);
    /// Peticiones recibidas desde el arranque y la última (vacía si no hubo).
    std::size_t peticiones() const;
    PeticionRecibida ultimaPeticion() const;

    /// Deja de escuchar; las esperas en curso se despiertan. Lo hace también el destructor.
    void parar();

    /// La respuesta a un cuerpo ya recibido, sin red: la lógica del servicio.
    std::string responder(const std::string& cuerpo) const;

private:
    struct Estado;
    std::unique_ptr<Estado> e_;
};

/// Decodifica un texto codificado para URL ("+" es espacio, "%XX" un byte). Falso si hay un
/// "%" sin dos cifras hexadecimales detrás.
bool decodificarUrl(const std::string& texto, std::string& salida);

} // namespace servicio_local
