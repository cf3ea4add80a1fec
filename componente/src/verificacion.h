#pragma once
// VERIFICA por dentro: lectura del fichero de firma, petición al servicio de verificación,
// factura grabada y veredicto del servicio convertido en la cadena de resultado.

#include "plataforma/red.h"
#include "registro_firma.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace morvelin {

/// La dirección del servicio de verificación, fijada al compilar (caché de CMake
/// MORVELIN_SERVICIO_URL). La predeterminada está en el dominio reservado ".invalid": una
/// compilación sin configurar contesta 17 enseguida y nunca llama a nadie.
extern const char* const DireccionServicio;

/// Nombre de agente y cabecera de la petición al servicio.
inline constexpr const char* AgenteServicio = "Microsoft Internet Browser";
inline constexpr const char* CabeceraServicio = "Content-Type: application/x-www-form-urlencoded";

/// Tamaño máximo de cada trozo leído del fichero de firma.
inline constexpr std::size_t TrozoFicheroFirma = 10239;

/// Lo más que se lee de un fichero de firma: 256 MiB, el de una factura de unos 190 MiB, cientos
/// de veces más que una factura de verdad. VERIFICA contesta 19 ante uno mayor, o ante algo que
/// no acaba (/dev/zero), sin llenar la memoria del programa que lo llama.
inline constexpr std::uint64_t FicheroFirmaMaximo = std::uint64_t{256} << 20;

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

/// Lee el fichero de firma abierto en el registro. El fichero se lee como texto: CR LF llega
/// como fin de línea, los fines de línea desaparecen y las líneas largas llegan en trozos de
/// TrozoFicheroFirma caracteres que se vuelven a unir. Cada campo es lo que hay entre la
/// primera etiqueta de apertura y la primera de cierre (vacío si el cierre va delante). Lanza
/// FormatoFirmado (108) si falta una etiqueta, NoSeLeeFirmado (116) si la lectura falla o el
/// fichero pasa de `maximo` bytes.
void leerFicheroFirma(std::FILE* fichero, RegistroFirma& registro,
                      std::uint64_t maximo = FicheroFirmaMaximo);

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
