#pragma once
// Doble local del servicio web VERI*FACTU de la agencia, para las pruebas y la demostración (no
// se instala).
//
// Un servidor HTTPS en 127.0.0.1, con su autoridad y su certificado hechos al arrancar, que
// exige al cliente un certificado de las autoridades que se le den y atiende por POST la
// petición SOAP de remisión (RegFactuSistemaFacturacion) como la agencia:
//   - la comprueba contra el esquema oficial (SuministroLR.xsd): si no lo cumple, un fallo
//     Client con el código 4102;
//   - el titular del certificado (su serialNumber) ha de ser el obligado de la cabecera: si no,
//     un fallo Client con el código 4112;
//   - de cada registro recalcula la huella (2000 si no es la suya, aceptado con errores) y el
//     enlace con el último que recibió del mismo emisor (2003), mira la hora de generación
//     contra la suya (2004 más allá del margen), el emisor contra el obligado (1108) y contra
//     los NIF que no conoce (1110), y los que ya tiene (3000, duplicado, con el registro que
//     tenía); un registro rechazado también encadena;
//   - contesta con RespuestaRegFactuSistemaFacturacion válida contra RespuestaSuministro.xsd:
//     CSV, EstadoEnvio, TiempoEsperaEnvio y una RespuestaLinea por registro, con la descripción
//     de cada código tal como está en errores.properties.
// Además, a voluntad: un código por número de serie, fallos Server o Client, respuestas
// lentas, una espera entre envíos y un reloj adelantado o atrasado (también en la cabecera
// Date).

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace servicio_local {

struct ComportamientoVerifactu {
    std::int64_t tiempoEspera = 60; ///< TiempoEsperaEnvio de cada respuesta
    int fallosServidor = 0;         ///< las próximas peticiones que reciben un fallo Server
    bool falloCliente = false;      ///< un fallo Client (4118) a toda petición
    /// Un código de errores.properties para el registro de ese número de serie: 2xxx lo acepta
    /// con errores; cualquier otro lo rechaza.
    std::map<std::string, int> codigoPorSerie;
    std::set<std::string> nifsDesconocidos; ///< emisores que rechaza con 1110
    std::chrono::milliseconds silencio{0};  ///< espera antes de contestar
    std::int64_t desfaseReloj = 0;          ///< segundos que va su reloj por delante
    std::int64_t margenReloj = 120;         ///< lo que admite de la hora de generación
};

/// Lo que el doble tiene registrado de un registro.
struct RegistroRecibido {
    std::string idEmisor, numSerie, fechaExpedicion;
    bool alta = true;
    std::string estado; ///< Correcto, AceptadoConErrores o Incorrecto
    int codigo = 0;
};

class ServicioVerifactu {
public:
    /// `autoridadesClientes`: certificados PEM que verifican a los clientes. Lanza
    /// std::runtime_error si no puede escuchar o no puede leer los esquemas.
    explicit ServicioVerifactu(const std::string& autoridadesClientes, unsigned short puerto = 0);
    ~ServicioVerifactu();
    ServicioVerifactu(const ServicioVerifactu&) = delete;
    ServicioVerifactu& operator=(const ServicioVerifactu&) = delete;

    unsigned short puerto() const;
    /// "https://127.0.0.1:<puerto>/wlpl/TIKE-CONT/ws/SistemaFacturacion/VerifactuSOAP"
    std::string direccion() const;
    std::string autoridadPem() const;
    void grabarAutoridad(const std::string& ruta) const;

    void comportamiento(const ComportamientoVerifactu& c);
    /// Peticiones atendidas y registros que llevaban todas ellas.
    std::size_t peticiones() const;
    std::size_t registrosRecibidos() const;
    /// Cada registro recibido que no era un duplicado, en orden de llegada.
    std::vector<RegistroRecibido> registrados() const;

    void parar();

    /// La respuesta (cuerpo SOAP) a una petición, sin red, como si la hubiera mandado el titular
    /// del NIF `nifCertificado` a la hora `ahora` del doble.
    std::string responder(const std::string& peticion, const std::string& nifCertificado,
                          std::int64_t ahora);

private:
    struct Estado;
    std::unique_ptr<Estado> e_;
};

/// El texto de un código de error de la agencia (errores.properties), en UTF-8; vacío si no está.
std::string textoErrorAgencia(int codigo);

} // namespace servicio_local
