#pragma once
// El XML de los registros y de la remesa, escrito con libxml2 en el orden de los esquemas de
// suministro de la agencia, y la lectura de lo necesario para comprobar la cadena.
//
// Un registro se guarda como su elemento (sf:RegistroAlta o sf:RegistroAnulacion, con la
// declaración de su espacio de nombres) sin declaración XML: son los bytes de los que sale la
// huella y los que viajan, tal cual, dentro de la remesa.

#include "verifactu/registro.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::verifactu {

inline constexpr const char* EspacioSuministroInformacion =
    "https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/aplicaciones/es/"
    "aeat/tike/cont/ws/SuministroInformacion.xsd";
inline constexpr const char* EspacioSuministroLR =
    "https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/aplicaciones/es/"
    "aeat/tike/cont/ws/SuministroLR.xsd";

inline constexpr const char* EspacioEventos =
    "https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/aplicaciones/es/"
    "aeat/tike/cont/ws/EventosSIF.xsd";
inline constexpr const char* EspacioSoap = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* EspacioRespuestaSuministro =
    "https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/aplicaciones/es/"
    "aeat/tike/cont/ws/RespuestaSuministro.xsd";

/// A lo sumo tantos registros en una remesa.
inline constexpr std::size_t MaximoRemesa = 1000;

/// El sistema informático que genera los registros (agrupación SistemaInformatico).
struct SistemaInformatico {
    std::string nombreRazon; ///< del productor
    std::string nif;         ///< del productor
    std::string nombreSistemaInformatico;
    std::string idSistemaInformatico;
    std::string version;
    std::string numeroInstalacion;
    std::string tipoUsoPosibleSoloVerifactu;
    std::string tipoUsoPosibleMultiOT;
    std::string indicadorMultiplesOT;
};

/// El registro anterior de la cadena, del que se encadena el nuevo.
struct RegistroAnterior {
    std::string idEmisorFactura;
    std::string numSerieFactura;
    std::string fechaExpedicionFactura;
    std::string huella;
};

/// Lo que pone el sistema en cada registro.
struct DatosSistema {
    std::optional<RegistroAnterior> anterior; ///< sin valor: primer registro
    SistemaInformatico sistema;
    std::string fechaHoraHusoGenRegistro;
    std::string huella;
};

std::string xmlAlta(const Alta& a, const DatosSistema& s);
std::string xmlAnulacion(const Anulacion& a, const DatosSistema& s);

/// Un documento RegFactuSistemaFacturacion con su cabecera (el obligado a expedir) y los
/// registros, cada uno byte a byte como se guardó.
std::string xmlRemesa(const std::string& nombreObligado, const std::string& nifObligado,
                      const std::vector<std::string_view>& registros);

/// Un elemento con su texto o con sus hijos: los datos propios de un evento.
struct NodoXml {
    std::string nombre;
    std::string texto;
    std::vector<NodoXml> hijos;
};

/// El evento anterior, del que se encadena el nuevo (EventoAnterior).
struct EventoAnterior {
    std::string tipoEvento;
    std::string fechaHoraHusoGenEvento;
    std::string huellaEvento;
};

/// Un registro de evento (RegistroEvento), sin su firma.
struct DatosEvento {
    SistemaInformatico sistema;
    std::string nombreObligado, nifObligado; ///< ObligadoEmision
    std::string fechaHoraHusoGenEvento;
    std::string tipoEvento;
    std::optional<NodoXml> datosPropios;    ///< el elemento dentro de DatosPropiosEvento
    std::optional<EventoAnterior> anterior; ///< sin valor: el primer evento
    std::string huella;
};

/// El RegistroEvento de `e` (sin ds:Signature, que el esquema exige: se añade al firmarlo).
std::string xmlEvento(const DatosEvento& e);
/// La petición SOAP 1.1 con la remesa: un sobre cuyo cuerpo es el documento de xmlRemesa().
std::string xmlPeticionSoap(const std::string& nombreObligado, const std::string& nifObligado,
                            const std::vector<std::string_view>& registros);

/// El registro anterior tal como lo nombra el XML leído de un registro.
struct AnteriorLeido {
    std::string_view idEmisorFactura;
    std::string_view numSerieFactura;
    std::string_view fechaExpedicionFactura;
    std::string_view huella;
};

/// Lo que dice el XML guardado de un registro sobre su huella y su encadenamiento: cada texto,
/// sin los espacios de los extremos, apunta a los bytes leídos.
struct LecturaRegistro {
    bool alta = false;
    std::string_view idEmisor, numSerie, fechaExpedicion;   ///< de la factura (anulada)
    std::string_view tipoFactura, cuotaTotal, importeTotal; ///< solo en el alta
    bool primerRegistro = false;
    AnteriorLeido anterior; ///< si no es el primero
    std::string_view fechaHoraHusoGenRegistro;
    std::string_view tipoHuella;
    std::string_view huella;
};

/// Lee un registro guardado sobre sus propios bytes, que quedan alterados y han de durar lo
/// que dure la lectura. Sin valor si no es XML bien formado, no es un RegistroAlta o
/// RegistroAnulacion o repite uno de los elementos que se leen. Es rápida (para recorrer
/// cadenas de millones de registros): no valida contra el esquema ni reserva memoria.
std::optional<LecturaRegistro> leerRegistro(char* xml, std::size_t largo);
inline std::optional<LecturaRegistro> leerRegistro(std::string& xml) {
    return leerRegistro(xml.data(), xml.size());
}

/// La huella que corresponde a lo leído.
std::string huellaDe(const LecturaRegistro& r);

/// Lo que dice el XML de un evento sobre su huella y su encadenamiento, como LecturaRegistro.
struct LecturaEvento {
    std::string_view nifSistema, idSistema, idSistemaInformatico, version, numeroInstalacion;
    std::string_view nifObligado;
    std::string_view tipoEvento, fechaHoraHusoGenEvento;
    bool primerEvento = false;
    std::string_view tipoEventoAnterior, fechaEventoAnterior, huellaEventoAnterior;
    std::string_view tipoHuella, huella;
};

/// Lee un evento guardado sobre sus propios bytes, como leerRegistro(). Sin valor si no es un
/// RegistroEvento bien formado o repite uno de los elementos que se leen.
std::optional<LecturaEvento> leerEvento(std::string& xml);

/// La huella que corresponde a lo leído.
std::string huellaDe(const LecturaEvento& e);

} // namespace morvelin::verifactu
