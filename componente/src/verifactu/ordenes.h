#pragma once
// Las órdenes de VERI*FACTU tal como las ven la línea de órdenes y las interfaces C y C++:
// textos de entrada, un resultado con su texto. Ningún fallo previsto (datos que no se
// admiten, cadena inaccesible, fichero que no se puede escribir) escapa como excepción.

#include "verifactu/almacen.h"
#include "verifactu/cadena.h"
#include "verifactu/qr.h"
#include "verifactu/remision.h"

#include <memory>
#include <string>
#include <vector>

namespace morvelin::verifactu {

struct Salida {
    bool correcto = false;
    std::string texto;               ///< huella, informe, dirección... o el motivo del fallo
    std::vector<std::string> avisos; ///< lo que conviene saber aunque haya ido bien
};

/// Cómo se envía la cola a la agencia.
struct OpcionesEnvio {
    bool pruebas = false;    ///< los servidores de pruebas de la agencia
    std::string certificado; ///< el NIF del certificado; vacío: el del obligado de la cadena
    std::string servicio;    ///< otra dirección https:// (el servicio local); vacía: la agencia
    std::string autoridades; ///< fichero o carpeta que verifica al servidor; vacío: el sistema
};

/// Una cadena que se abre la primera vez que se usa. `destino` vacío: destinoPorOmision().
class Ordenes {
public:
    explicit Ordenes(std::string destino, Reloj reloj = relojDelSistema());

    Salida alta(const std::string& json);
    Salida anula(const std::string& json);
    Salida exporta(const std::string& ruta, std::int64_t desde);
    Salida comprueba();
    /// Fija el modo de la cadena, «verifactu» o «no-verifactu», antes de su primer registro.
    Salida modo(const std::string& modo);
    /// Envía la cola con el certificado elegido: el texto lleva una línea por registro
    /// contestado y el resumen al final. `esperar` sustituye a la espera del sistema entre envíos
    /// (las pruebas).
    Salida envia(const OpcionesEnvio& opciones, const Espera& esperar = esperaDelSistema());
    Salida estado();

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
