#pragma once
// Lo común a las bases de datos NSS y a las tarjetas: el contexto de NSS del componente, una
// ranura abierta (la de una base o la de una tarjeta) y la ranura como almacén. La clave no sale
// de la ranura: ella firma los atributos firmados, y la firma entra en el mismo ensamblado
// PKCS #7 de las demás claves. Si hace falta, el PIN de la tarjeta o la contraseña de la base se
// piden con pinentry al firmar, nunca antes.

#include "almacenes/almacen.h"
#include "plataforma/pin.h"

#include <functional>

#include <memory>
#include <string>

struct PK11SlotInfoStr;
struct NSSInitContextStr;

namespace morvelin::almacenes {

/// El contexto de NSS del componente: uno por proceso, sin base de datos propia ni módulos; no
/// cambia la configuración de quien ya use NSS en el proceso.
class SesionNss {
public:
    /// nullptr si NSS no arranca.
    static std::shared_ptr<SesionNss> obtener();
    ~SesionNss();
    SesionNss(const SesionNss&) = delete;
    SesionNss& operator=(const SesionNss&) = delete;

private:
    explicit SesionNss(NSSInitContextStr* ctx) : ctx_(ctx) {}
    NSSInitContextStr* ctx_;
};

/// Una ranura abierta mientras viva: una base de datos (que se cierra al final) o la de una
/// tarjeta. `dueno` la mantiene (la sesión, o el módulo de la tarjeta) y se suelta después.
class RanuraNss {
public:
    RanuraNss(std::shared_ptr<void> dueno, PK11SlotInfoStr* ranura, bool baseDeDatos);
    ~RanuraNss();
    RanuraNss(const RanuraNss&) = delete;
    RanuraNss& operator=(const RanuraNss&) = delete;
    PK11SlotInfoStr* get() const { return ranura_; }
    /// Si hay que dar el PIN o la contraseña para ver y usar sus claves, y aún no se ha dado.
    bool cerrada() const;
    /// Si el PIN está bloqueado: ya no se puede entrar.
    bool bloqueada() const;

private:
    std::shared_ptr<void> dueno_;
    PK11SlotInfoStr* ranura_;
    bool baseDeDatos_;
};

/// Cómo se presenta una ranura como almacén.
struct DatosRanura {
    /// Una tarjeta: almacén "PKCS #11" que prefiere el no repudio y cuya clave guarda un PIN.
    /// Si no, una base de datos: almacén "NSS" cuya clave guarda una contraseña.
    bool tarjeta = false;
    /// Dónde está, para el listado.
    std::string donde;
    /// Cómo se llama lo que guarda la clave, al pedir su PIN o su contraseña: «DNI
    /// electrónico», o la carpeta de la base.
    std::string guardian;
    /// Quien pide el PIN o la contraseña al firmar: pinentry, o en el ayudante de las tarjetas,
    /// el proceso que lo arrancó.
    std::function<plataforma::RespuestaPin(const plataforma::PeticionPin&, plataforma::Secreto&)>
        pedirPin = plataforma::pedirPin;
};

/// La ranura como almacén, con sus certificados por orden de apodo (y de DER entre los del
/// mismo apodo). Ni al buscar ni al listar pide el PIN: en una ranura cerrada no se miran las
/// claves. Al firmar lo pide si la ranura está cerrada. certificado(i) da el i-ésimo de la
/// última llamada a candidatos() o a listar().
std::unique_ptr<Almacen> almacenDeRanura(std::shared_ptr<RanuraNss> ranura, DatosRanura datos);

} // namespace morvelin::almacenes
