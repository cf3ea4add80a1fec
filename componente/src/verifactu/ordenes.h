#pragma once
// Las órdenes de VERI*FACTU tal como las ven la línea de órdenes y las interfaces C y C++:
// textos de entrada, un resultado con su texto. Ningún fallo previsto (datos que no se
// admiten, cadena inaccesible, fichero que no se puede escribir) escapa como excepción.

#include "verifactu/almacen.h"
#include "verifactu/cadena.h"
#include "verifactu/qr.h"

#include <memory>
#include <string>
#include <vector>

namespace morvelin::verifactu {

struct Salida {
    bool correcto = false;
    std::string texto;               ///< huella, informe, dirección... o el motivo del fallo
    std::vector<std::string> avisos; ///< lo que conviene saber aunque haya ido bien
};

/// Una cadena que se abre la primera vez que se usa. `destino` vacío: destinoPorOmision().
class Ordenes {
public:
    explicit Ordenes(std::string destino, Reloj reloj = relojDelSistema());

    Salida alta(const std::string& json);
    Salida anula(const std::string& json);
    Salida exporta(const std::string& ruta, std::int64_t desde);
    Salida comprueba();

private:
    AlmacenCadena& almacen();
    std::string destino_;
    Reloj reloj_;
    std::unique_ptr<AlmacenCadena> almacen_;
};

/// El QR del alta en JSON, a `ruta` (PNG o SVG según la extensión). Devuelve la dirección.
Salida ordenQr(const std::string& json, const std::string& ruta, const OpcionesQr& opciones,
               Entorno entorno, Modo modo);

} // namespace morvelin::verifactu
