#pragma once
// Lo común a las bases de datos NSS y a las tarjetas: el contexto de NSS del componente, una
// ranura abierta, sus certificados y la firma con una clave que no sale de la ranura.

#include "plataforma/criptografia.h"

#include <memory>
#include <string>
#include <vector>

struct PK11SlotInfoStr;
struct NSSInitContextStr;

namespace morvelin::plataforma::nss {

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

private:
    std::shared_ptr<void> dueno_;
    PK11SlotInfoStr* ranura_;
    bool baseDeDatos_;
};

/// Cómo se llama lo que guarda la clave, para pedir su PIN o contraseña.
struct Guardian {
    bool tarjeta = false; ///< PIN de tarjeta; si no, contraseña de base de datos
    std::string nombre;   ///< «DNI electrónico», o la carpeta de la base
};

/// Las fichas de los certificados de la ranura, por orden de apodo. Nunca pide el PIN: en una
/// ranura cerrada no se miran las claves.
std::vector<FichaCertificado> fichasDe(const RanuraNss& ranura);

/// El primer certificado de la ranura cuyo sujeto contiene `texto` (regla de los almacenes);
/// con `prefiereNoRepudio`, el primero de ellos cuya clave tenga el uso de no repudio, si hay.
/// Al firmar con él se pide el PIN o la contraseña de `guardian` si la ranura está cerrada.
std::unique_ptr<Certificado> buscarEn(const std::shared_ptr<RanuraNss>& ranura,
                                      const std::string& texto, bool prefiereNoRepudio,
                                      const Guardian& guardian);

} // namespace morvelin::plataforma::nss
