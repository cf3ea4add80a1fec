#pragma once
// La comprobación de la cadena entera: cada huella recalculada de los bytes guardados de su
// registro y cada enlace con el anterior, en el orden de la cadena.

#include "verifactu/almacen.h"

#include <cstdint>
#include <optional>
#include <string>

namespace morvelin::verifactu {

/// Las clases de anomalía (TipoAnomalia de los eventos) que ve la comprobación de la cadena y
/// del registro de eventos.
namespace tipo_anomalia {
inline constexpr const char* IntegridadHuella = "01";
inline constexpr const char* IntegridadFirma = "02";
inline constexpr const char* IntegridadOtros = "03";
inline constexpr const char* SinAnterior = "04";
inline constexpr const char* CadenaOtros = "06";
inline constexpr const char* HuellaAnteriorDistinta = "08";
} // namespace tipo_anomalia

/// El resultado de recorrer la cadena.
struct Comprobacion {
    bool entera = true;
    std::int64_t registros = 0;
    std::int64_t rotoEn = 0; ///< número del primer registro que la rompe
    std::string motivo;
    /// La clase de anomalía (TipoAnomalia de los eventos: «01» huella, «02» firma...).
    std::string tipoAnomalia;
    /// El registro que la rompe (sin el XML), si está en la cadena.
    std::optional<RegistroCadena> registroRoto;
    std::string ultimaHuella;
    bool conFirmas = false;    ///< si se han comprobado también las firmas
    std::string texto() const; ///< el informe para el usuario, en una o dos líneas
};

/// Para comprobar también la firma de cada registro (cadenas sin remisión): el NIF del
/// firmante de la cadena y la hora actual.
struct ComprobacionFirmas {
    std::string firmante;
    std::int64_t ahora = 0;
};

/// Recorre la cadena entera: relee cada registro de su XML, recalcula su huella, comprueba
/// su enlace con el anterior y, con `firmas`, su firma. Se para en el primero que la rompe. La
/// revisan varios hilos a la vez, cada uno `porTramo` registros seguidos cada vez.
Comprobacion comprobarCadena(AlmacenCadena& almacen, std::int64_t porTramo = 4096,
                             const std::optional<ComprobacionFirmas>& firmas = std::nullopt);

} // namespace morvelin::verifactu
