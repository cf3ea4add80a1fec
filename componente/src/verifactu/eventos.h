#pragma once
// El registro de eventos de una cadena sin remisión (NO VERI*FACTU): cada evento es un
// RegistroEvento (EventosSIF.xsd) con su propia huella encadenada a la del anterior, firmado y
// guardado en el mismo almacén que los registros. Se anotan el inicio y el fin del modo, cada
// comprobación de la cadena (los lanzamientos de la detección de anomalías de los registros y
// de los eventos) y lo que encuentra, cada exportación y, cada IntervaloResumen, el resumen de
// lo ocurrido desde el anterior.

#include "verifactu/almacen.h"
#include "verifactu/comprobacion.h"
#include "verifactu/xml.h"
#include "xades/xades.h"

#include <cstdint>
#include <optional>
#include <string>

namespace morvelin::verifactu {

/// Los tipos de evento que se anotan (TipoEvento).
namespace tipo_evento {
inline constexpr const char* Inicio = "01";
inline constexpr const char* Fin = "02";
inline constexpr const char* LanzamientoRegistros = "03";
inline constexpr const char* AnomaliaRegistros = "04";
inline constexpr const char* LanzamientoEventos = "05";
inline constexpr const char* AnomaliaEventos = "06";
inline constexpr const char* ExportacionRegistros = "08";
inline constexpr const char* Resumen = "10";
} // namespace tipo_evento

/// Cada cuánto se anota el resumen de los eventos: seis horas desde el anterior (o desde el
/// inicio). Sin un proceso que vigile el reloj, se anota en la primera operación sobre la cadena
/// que llega pasado ese tiempo, y cubre todo lo ocurrido desde el anterior.
inline constexpr std::int64_t IntervaloResumen = 6 * 3600;

/// Construye el evento `tipo` (con sus datos propios, si los tiene) encadenado al último, con el
/// obligado de la cadena y la hora `ahora`, lo firma y lo guarda en la transacción.
EventoCadena anotarEvento(Transaccion& t, const xades::Firmante& firmante, const char* tipo,
                          std::optional<NodoXml> datosPropios, std::int64_t ahora);

/// Si ha pasado IntervaloResumen desde el último resumen (o el inicio), anota el resumen: los
/// eventos de cada tipo desde aquel (él incluido) y los registros generados después.
std::optional<EventoCadena> anotarResumenSiToca(Transaccion& t, const xades::Firmante& firmante,
                                                std::int64_t ahora);

/// Los datos propios del lanzamiento de la detección de anomalías en los registros (03) tras
/// comprobar la cadena, y de la anomalía encontrada (04).
NodoXml lanzamientoRegistros(const Comprobacion& c);
NodoXml anomaliaRegistros(const Comprobacion& c);

/// Los datos propios de la exportación de los registros de `primero` a `ultimo` (08).
NodoXml exportacionRegistros(Transaccion& t, std::int64_t primero, std::int64_t ultimo);

/// El resultado de recorrer el registro de eventos.
struct ComprobacionEventos {
    bool entero = true;
    std::int64_t eventos = 0;
    std::int64_t rotoEn = 0; ///< número del primer evento que lo rompe
    std::string motivo;
    std::string tipoAnomalia;
    std::optional<EventoCadena> eventoRoto; ///< sin el XML, si está
    std::string ultimaHuella;
    std::string texto() const;
};

/// Recorre los eventos: relee cada uno, recalcula su huella, comprueba su enlace con el
/// anterior y su firma (de un certificado de `firmante`). Se para en el primero que lo rompe.
ComprobacionEventos comprobarEventos(AlmacenCadena& almacen, const std::string& firmante,
                                     std::int64_t ahora);

/// Los datos propios del lanzamiento de la detección de anomalías en los eventos (05) y de la
/// anomalía encontrada (06).
NodoXml lanzamientoEventos(const ComprobacionEventos& c);
NodoXml anomaliaEventos(const ComprobacionEventos& c);

} // namespace morvelin::verifactu
