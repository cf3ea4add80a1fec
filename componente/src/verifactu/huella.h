#pragma once
// La huella de los registros de facturación: SHA-256 de los campos del registro, en el orden
// fijado, como «Nombre=valor» unidos por «&», en UTF-8; 64 cifras hexadecimales en mayúsculas.
// Cada valor va como está escrito en el XML, sin los espacios de los extremos; un campo que no
// está (la huella anterior del primer registro) queda como «Nombre=».

#include <string>
#include <string_view>

namespace morvelin::verifactu {

/// Los campos de un registro de alta que entran en su huella.
struct CamposHuellaAlta {
    std::string idEmisorFactura;
    std::string numSerieFactura;
    std::string fechaExpedicionFactura;
    std::string tipoFactura;
    std::string cuotaTotal;
    std::string importeTotal;
    std::string huellaAnterior; ///< vacía en el primer registro de la cadena
    std::string fechaHoraHusoGenRegistro;
};

/// Los campos de un registro de anulación que entran en su huella.
struct CamposHuellaAnulacion {
    std::string idEmisorFacturaAnulada;
    std::string numSerieFacturaAnulada;
    std::string fechaExpedicionFacturaAnulada;
    std::string huellaAnterior;
    std::string fechaHoraHusoGenRegistro;
};

/// El texto sobre el que se calcula la huella.
std::string textoHuella(const CamposHuellaAlta& c);
std::string textoHuella(const CamposHuellaAnulacion& c);

/// SHA-256 de `texto` en 64 cifras hexadecimales mayúsculas.
std::string sha256Hex(std::string_view texto);

inline std::string calcularHuella(const CamposHuellaAlta& c) {
    return sha256Hex(textoHuella(c));
}
inline std::string calcularHuella(const CamposHuellaAnulacion& c) {
    return sha256Hex(textoHuella(c));
}

/// `v` sin los espacios (y tabuladores y saltos de línea) de los extremos.
std::string recortar(std::string_view v);

/// true si `h` tiene la forma de una huella: 64 cifras hexadecimales en mayúsculas.
bool esHuella(std::string_view h);

} // namespace morvelin::verifactu
