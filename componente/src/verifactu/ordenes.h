#pragma once
// Las órdenes de VERI*FACTU tal como las ven la línea de órdenes y las interfaces C y C++:
// textos de entrada, un resultado con su texto. Ningún fallo previsto (datos que no se
// admiten, cadena inaccesible, fichero que no se puede escribir) escapa como excepción.

#include "verifactu/almacen.h"
#include "verifactu/cadena.h"
#include "verifactu/qr.h"
#include "verifactu/remision.h"
#include "xades/xades.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvelin::verifactu {

struct Salida {
    bool correcto = false;
    std::string texto;               ///< huella, informe, dirección... o el motivo del fallo
    std::vector<std::string> avisos; ///< lo que conviene saber aunque haya ido bien
};

/// El firmante de ObtenerFirmante en los almacenes de certificados del usuario.
xades::Firmante firmanteDeLosAlmacenes(const std::string& nif);

/// Cómo se envía la cola a la agencia.
struct OpcionesEnvio {
    bool pruebas = false;    ///< los servidores de pruebas de la agencia
    std::string certificado; ///< el NIF del certificado; vacío: el del obligado de la cadena
    std::string servicio;    ///< otra dirección https:// (el servicio local); vacía: la agencia
    std::string autoridades; ///< fichero o carpeta que verifica al servidor; vacío: el sistema
};

/// Una cadena que se abre la primera vez que se usa. `destino` vacío: destinoPorOmision(). En
/// una cadena sin remisión, cada operación pide su firmante a `firmantes` antes de abrir la
/// transacción (el cerrojo no espera a que se teclee el PIN).
class Ordenes {
public:
    explicit Ordenes(std::string destino, Reloj reloj = relojDelSistema(),
                     ObtenerFirmante firmantes = firmanteDeLosAlmacenes);

    Salida alta(const std::string& json);
    Salida anula(const std::string& json);
    Salida exporta(const std::string& ruta, std::int64_t desde);
    Salida comprueba();
    /// Envía la cola con el certificado elegido: el texto lleva una línea por registro
    /// contestado y el resumen al final. `esperar` sustituye a la espera del sistema entre envíos
    /// (las pruebas).
    Salida envia(const OpcionesEnvio& opciones, const Espera& esperar = esperaDelSistema());
    Salida estado();

    /// Fija el modo de la cadena antes de su primer registro. Sin remisión, con el NIF del
    /// certificado que firmará (`certificado`), el obligado (`obligado`, vacío: ese mismo NIF)
    /// y su nombre (`nombre`, vacío: el del titular del certificado); anota el inicio.
    Salida modo(const std::string& modo, const std::string& certificado = {},
                const std::string& obligado = {}, const std::string& nombre = {});
    /// Cierra una cadena sin remisión: anota el fin del modo; no admite más registros.
    Salida cierra();

private:
    AlmacenCadena& almacen();
    std::string destino_;
    Reloj reloj_;
    ObtenerFirmante firmantes_;
    std::unique_ptr<AlmacenCadena> almacen_;
};

/// El QR del alta en JSON, a `ruta` (PNG o SVG según la extensión). Devuelve la dirección.
Salida ordenQr(const std::string& json, const std::string& ruta, const OpcionesQr& opciones,
               Entorno entorno, Modo modo);

} // namespace morvelin::verifactu
