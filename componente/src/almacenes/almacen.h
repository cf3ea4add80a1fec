#pragma once
// Los almacenes de certificados de Linux, vistos desde fuera: lo que tiene cada uno y cómo se le
// pide un certificado. Cada clase de almacén tiene su fichero:
//   carpeta     la carpeta MORVELIN/MY de los datos del usuario, con OpenSSL;
//   bases_nss   las bases de datos NSS del usuario;
//   tarjetas    las tarjetas (PKCS #11) de los módulos que registra p11-kit, cargados en NSS;
//   nss         lo común a las bases y a las tarjetas: una ranura de NSS como almacén;
//   orden       todos, en el orden en que se buscan (plataforma::abrirAlmacenPersonal);
//   eleccion    la regla que elige el certificado de FIRMA entre los de todos ellos.

#include "almacenes/eleccion.h"
#include "plataforma/criptografia.h"
#include "plataforma/openssl/x509.h"

#include <openssl/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::almacenes {

/// Un certificado de un almacén tal como se lista: lo que mira la regla y lo que se sabe sin
/// pedir PIN ni usar la clave.
struct FichaCertificado : Candidato {
    /// Dónde está dentro de su almacén: el fichero, o el apodo en la base de datos o la tarjeta.
    std::string donde;
    /// Si no es legible, por qué (en español); entonces solo valen `donde` y `motivo`.
    std::string motivo;
    /// El certificado en DER.
    std::string der;
    /// Como Certificado::atributosSujeto().
    plataforma::AtributosSujeto atributosSujeto;
    /// Sujeto y emisor en una línea, para leerlos.
    std::string sujeto, emisor;
    /// Validez, en segundos desde 1970-01-01 UTC.
    long long validoDesde = 0, validoHasta = 0;
    /// Si el almacén tiene la clave privada de este certificado a su alcance.
    bool conClave = false;
    /// Si sus claves solo se ven tras dar el PIN o la contraseña (y no se han mirado).
    bool claveTrasPin = false;
};

/// Un almacén de los que se miran, con sus certificados en el orden en que se buscan.
struct ListadoAlmacen {
    std::string clase; ///< "carpeta", "NSS", "PKCS #11"
    std::string donde; ///< la carpeta, la base de datos o la tarjeta
    /// Vacío si se ha podido leer; si no, por qué no (en español).
    std::string estado;
    /// Algo que conviene saber aunque se haya leído (en español), o vacío.
    std::string nota;
    /// Como AlmacenCandidatos::prefiereNoRepudio.
    bool prefiereNoRepudio = false;
    std::vector<FichaCertificado> certificados;
};

/// Lo común a los certificados de los almacenes de esta plataforma: el certificado leído con
/// OpenSSL, y la firma PKCS #7 de FIRMA hecha con firmar() (SHA-1 en el esquema de la clave),
/// esté donde esté la clave. Cada almacén pone su firmar().
class CertificadoDeAlmacen : public plataforma::Certificado {
public:
    explicit CertificadoDeAlmacen(plataforma::openssl::X509Propio x509) : x509_(std::move(x509)) {}

    plataforma::AtributosSujeto atributosSujeto() const override;
    std::string der() const override;
    std::optional<std::string> firmarDesprendida(std::string_view contenido) const final;

protected:
    X509* x509() const { return x509_.get(); }

private:
    plataforma::openssl::X509Propio x509_;
};

/// Lo que la regla de elección mira del listado de un almacén.
AlmacenCandidatos candidatosDe(const ListadoAlmacen& almacen);

/// Lo que la regla de elección mira de un certificado legible.
Candidato candidatoDe(X509* certificado);

/// La ficha de un certificado para listarlo.
FichaCertificado fichaDe(X509* certificado, bool conClave);

/// Un almacén de certificados, abierto o no.
class Almacen {
public:
    virtual ~Almacen() = default;

    /// false si no se ha podido abrir: entonces no tiene certificados.
    virtual bool abierto() const { return true; }

    /// Lo que la regla de elección mira de sus certificados, en el orden en que se buscan: sin
    /// pedir un PIN ni leer las claves.
    virtual AlmacenCandidatos candidatos() = 0;

    /// El certificado `i` de la última llamada a candidatos(), listo para firmar (el PIN, si
    /// hace falta, se pide al firmar); nullptr si ya no se puede leer entero.
    virtual std::unique_ptr<plataforma::Certificado> certificado(std::size_t i) = 0;

    /// Lo que tiene, para listarlo. Nunca pide un PIN.
    virtual ListadoAlmacen listar() = 0;
};

/// Un almacén que no se ha podido abrir: su clase, dónde está y por qué no se abre. No tiene
/// certificados, y en el listado dice por qué.
class AlmacenSinAbrir final : public Almacen {
public:
    AlmacenSinAbrir(std::string clase, std::string donde, std::string motivo);

    bool abierto() const override { return false; }
    AlmacenCandidatos candidatos() override { return {}; }
    std::unique_ptr<plataforma::Certificado> certificado(std::size_t) override { return nullptr; }
    ListadoAlmacen listar() override;

private:
    ListadoAlmacen listado_;
};

/// Lo que hay en cada almacén que plataforma::abrirAlmacenPersonal() mira, en su orden, también
/// en los que no se pueden abrir. Nunca pide un PIN.
std::vector<ListadoAlmacen> listarAlmacenes();

} // namespace morvelin::almacenes
