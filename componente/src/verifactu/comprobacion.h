#pragma once
// La comprobación de la cadena entera: cada huella recalculada de los bytes guardados de su
// registro y cada enlace con el anterior, en el orden de la cadena.

#include "verifactu/almacen.h"

#include <cstdint>
#include <string>

namespace morvelin::verifactu {

/// El resultado de recorrer la cadena.
struct Comprobacion {
    bool entera = true;
    std::int64_t registros = 0;
    std::int64_t rotoEn = 0; ///< número del primer registro que la rompe
    std::string motivo;
    std::string ultimaHuella;
    std::string texto() const; ///< el informe para el usuario, en una o dos líneas
};

/// Recorre la cadena entera: relee cada registro de su XML, recalcula su huella y comprueba
/// su enlace con el anterior. Se para en el primero que la rompe. La revisan varios hilos a la
/// vez, cada uno `porTramo` registros seguidos cada vez.
Comprobacion comprobarCadena(AlmacenCadena& almacen, std::int64_t porTramo = 4096);

} // namespace morvelin::verifactu
