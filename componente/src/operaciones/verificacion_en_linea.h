#pragma once
// VERIFICA por dentro: la verificación en línea, contra el servicio de verificación. Lectura del
// fichero de firma, petición al servicio, factura grabada y veredicto del servicio convertido en
// la cadena de resultado.

#include "infraestructura/registro_firma.h"
#include "plataforma/red.h"

#include <cstdint>
#include <string>

namespace morvelin {

/// La dirección del servicio de verificación, fijada al compilar (caché de CMake
/// MORVELIN_SERVICIO_URL). La predeterminada está en el dominio reservado ".invalid": una
/// compilación sin configurar contesta 17 enseguida y nunca llama a nadie.
extern const char* const DireccionServicio;

/// Nombre de agente y cabecera de la petición al servicio.
inline constexpr const char* AgenteServicio = "Microsoft Internet Browser";
inline constexpr const char* CabeceraServicio = "Content-Type: application/x-www-form-urlencoded";

/// Una petición al servicio: el cuerpo (codificado para URL justo antes de enviarlo), la
/// respuesta que se va formando línea a línea y la dirección entera del servicio.
class PeticionServicio {
public:
    virtual ~PeticionServicio() = default;
    std::string cuerpo;
    std::string respuesta;
    std::string url;
};

/// A qué servicio se llama y con qué límites. VERIFICA usa la dirección fija; la línea de
/// órdenes y las pruebas pueden dar otra.
struct ServicioVerificacion {
    std::string url = DireccionServicio;
    red::Limites limites;
    std::uint64_t ficheroMaximo = FicheroFirmaMaximo; ///< solo las pruebas lo cambian
};

/// El cuerpo de la petición antes de codificarlo: HID=QUENDRAL&NIE=&NIR=&TXT=...&FIR=...&FIN=F.
std::string cuerpoPeticion(const RegistroFirma& registro);

/// Envía peticion.cuerpo a peticion.url (codificándolo antes para URL) y añade a
/// peticion.respuesta cada línea del cuerpo de la respuesta (separadas por CR LF o LF) seguida
/// de "\n". El estado HTTP no se mira. Lanza SinConexion (114) si la dirección no se puede
/// analizar, su servidor está en el dominio ".invalid" o falla cualquier paso de la red.
void enviarPeticion(PeticionServicio& peticion, const red::Limites& limites = {});

/// Añade a `respuesta` cada línea de `cuerpo` (la respuesta del servicio; las líneas acaban en
/// CR LF o en LF, y la última puede no acabar) seguida de "\n".
void anadirLineas(const std::string& cuerpo, std::string& respuesta);

/// Graba los bytes de la factura en la ruta, creando las carpetas que falten. Escribe al lado
/// y mueve a su sitio: o queda la factura entera o no queda nada nuevo. Lanza NoSeGrabaFactura
/// (117) si no puede.
void grabarFactura(const std::string& bytes, const std::string& ruta);

/// El número entero al principio de la respuesta (blancos delante, signo opcional, cifras);
/// sin cifras, 0.
long codigoRespuesta(const std::string& respuesta);

/// La cadena de resultado para la respuesta del servicio: la respuesta "00" ordenada (sin
/// blancos finales ni los de relleno delante de " - NIF ") o el mensaje de su código.
std::string resultadoRespuesta(const std::string& respuesta);

/// VERIFICA contra el servicio indicado.
std::string verificar(const std::string& rutaOrigen, const std::string& rutaDestino,
                      const ServicioVerificacion& servicio);

} // namespace morvelin
