#pragma once
// El código QR de la factura: la dirección del servicio de cotejo de la agencia con el NIF del
// emisor, el número, la fecha y el importe total (codificados como parámetros de URL, en
// UTF-8), con corrección de errores de nivel M, en PNG o SVG, de 30 a 40 mm más el margen
// blanco (2 mm como poco, 6 recomendados).

#include "verifactu/registro.h"

#include <string>

namespace morvelin::verifactu {

enum class Entorno { Produccion, Pruebas };
enum class Modo { Verifactu, NoVerifactu };

/// La dirección de cotejo del alta.
std::string urlCotejo(const Alta& a, Entorno entorno, Modo modo);

struct OpcionesQr {
    double tamanoMm = 40;    ///< lado del código, de 30 a 40 mm
    double margenMm = 6;     ///< espacio blanco alrededor, 2 mm como poco
    int resolucionPpp = 300; ///< puntos por pulgada (PNG)
};

/// Comprueba las opciones; lanza ErrorCampo con la que no se admite.
void comprobarOpcionesQr(const OpcionesQr& o);

/// El QR de `texto` en PNG (gris de 1 bit, con su resolución) o en SVG (tamaño en mm).
std::string qrPng(const std::string& texto, const OpcionesQr& o);
std::string qrSvg(const std::string& texto, const OpcionesQr& o);

} // namespace morvelin::verifactu
