#pragma once
// La huella de los registros de facturación: SHA-256 de los campos del registro, en el orden
// fijado, como «Nombre=valor» unidos por «&», en UTF-8; 64 cifras hexadecimales en mayúsculas.
// Cada valor va como está escrito en el XML, sin los espacios de los extremos; un campo que no
// está (la huella anterior del primer registro) queda como «Nombre=».

#include <string>
#include <string_view>

namespace morvelin::verifactu {

/// Los campos de un registro de alta que entran en su huella (vistas: lo que muestran ha de
/// durar lo que dure el cálculo).
struct CamposHuellaAlta {
    std::string_view idEmisorFactura;
    std::string_view numSerieFactura;
    std::string_view fechaExpedicionFactura;
    std::string_view tipoFactura;
    std::string_view cuotaTotal;
    std::string_view importeTotal;
    std::string_view huellaAnterior; ///< vacía en el primer registro de la cadena
    std::string_view fechaHoraHusoGenRegistro;
};

/// Los campos de un registro de anulación que entran en su huella.
struct CamposHuellaAnulacion {
    std::string_view idEmisorFacturaAnulada;
    std::string_view numSerieFacturaAnulada;
    std::string_view fechaExpedicionFacturaAnulada;
    std::string_view huellaAnterior;
    std::string_view fechaHoraHusoGenRegistro;
};

/// Los campos de un registro de evento que entran en su huella (HuellaEvento).
struct CamposHuellaEvento {
    std::string_view nifSistema; ///< SistemaInformatico/NIF
    std::string_view idSistema;  ///< SistemaInformatico/IDOtro/ID (vacío si lleva NIF)
    std::string_view idSistemaInformatico;
    std::string_view version;
    std::string_view numeroInstalacion;
    std::string_view nifObligado; ///< ObligadoEmision/NIF
    std::string_view tipoEvento;
    std::string_view huellaEventoAnterior; ///< vacía en el primer evento
    std::string_view fechaHoraHusoGenEvento;
};

/// El texto sobre el que se calcula la huella.
std::string textoHuella(const CamposHuellaAlta& c);
std::string textoHuella(const CamposHuellaAnulacion& c);
std::string textoHuella(const CamposHuellaEvento& c);

/// SHA-256 de `texto` en 64 cifras hexadecimales mayúsculas.
std::string sha256Hex(std::string_view texto);

/// La huella de los campos. Reutiliza por hilo el texto y el contexto de SHA-256: recorrer una
/// cadena de millones de registros no reserva memoria más que para el resultado.
std::string calcularHuella(const CamposHuellaAlta& c);
std::string calcularHuella(const CamposHuellaAnulacion& c);
std::string calcularHuella(const CamposHuellaEvento& c);

/// `v` sin los espacios (y tabuladores y saltos de línea) de los extremos.
std::string_view recortar(std::string_view v);

/// true si `h` tiene la forma de una huella: 64 cifras hexadecimales en mayúsculas.
bool esHuella(std::string_view h);

} // namespace morvelin::verifactu
