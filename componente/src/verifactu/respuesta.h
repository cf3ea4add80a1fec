#pragma once
// La respuesta SOAP del servicio de la agencia a un envío de registros: la respuesta
// (RespuestaRegFactuSistemaFacturacion) o un fallo (Fault) del servidor o de la petición.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::verifactu {

/// El registro que la agencia ya tenía, cuando rechaza uno por duplicado.
struct RegistroDuplicado {
    std::string idPeticion;
    std::string estado; ///< Correcta, AceptadaConErrores o Anulada
    std::string codigo, descripcion;
};

/// Lo que dice la respuesta de un registro (RespuestaLinea).
struct LineaRespuesta {
    std::string idEmisor, numSerie, fechaExpedicion;
    bool alta = true;           ///< TipoOperacion: Alta o Anulacion
    std::string estadoRegistro; ///< Correcto, AceptadoConErrores o Incorrecto
    std::string codigo, descripcion;
    std::optional<RegistroDuplicado> duplicado;
};

struct RespuestaServicio {
    enum class Clase {
        Respuesta,     ///< la respuesta al envío
        FalloServidor, ///< Fault con faultcode de la clase Server: se reenvía
        FalloCliente,  ///< Fault con faultcode de la clase Client: la petición no vale
        Ilegible,      ///< ni lo uno ni lo otro: como si no hubiera llegado
    };
    Clase clase = Clase::Ilegible;
    std::string csv, estadoEnvio, timestampPresentacion;
    std::optional<std::int64_t> tiempoEspera;
    std::string falloCodigo, falloTexto; ///< faultcode y faultstring de un Fault
    std::vector<LineaRespuesta> lineas;
};

/// Lee la respuesta SOAP. Sin red ni entidades externas; una respuesta que no es XML, o no
/// trae en su cuerpo ni la respuesta ni un Fault, es Ilegible.
RespuestaServicio leerRespuesta(std::string_view cuerpo);

} // namespace morvelin::verifactu
