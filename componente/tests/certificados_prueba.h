#pragma once
// Certificados de prueba hechos al vuelo con OpenSSL, un almacén personal en una carpeta
// temporal y la herramienta openssl como par que comprueba las firmas.

#include <openssl/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvelin::pruebas {

/// Un atributo del sujeto: nombre corto de OpenSSL ("CN", "SN", "GN", "serialNumber", "C") o
/// identificador con puntos, y su valor en UTF-8. `nuevoComponente` = false lo une al
/// componente anterior del nombre (componente con varios valores).
struct Atributo {
    std::string tipo, valor;
    bool nuevoComponente = true;
};

/// Un certificado autofirmado con su clave.
class CertificadoPrueba {
public:
    /// Clave EC P-256 (rápida) o RSA 2048. Validez desde hoy + `desde` hasta hoy + `hasta` días.
    /// `usoClave`, si no está vacío, es la extensión de uso de la clave como la escribe openssl
    /// ("critical,nonRepudiation").
    static CertificadoPrueba crear(const std::vector<Atributo>& sujeto, int desde = -1,
                                   int hasta = 365, bool rsa = false,
                                   const std::string& usoClave = {});

    /// Otro certificado autofirmado, con otro sujeto, sobre la misma clave.
    CertificadoPrueba conLaMismaClave(const std::vector<Atributo>& sujeto) const;

    X509* x509() const { return certificado_.get(); }
    std::string derCertificado() const;
    std::string pemCertificado() const;
    std::string pemClave() const;
    /// Una firma PKCS #7 desprendida (DER) de `contenido` con este certificado, que dice que se
    /// hizo en `hora` (segundos desde 1970 UTC).
    std::string firmarConHora(const std::string& contenido, long long hora) const;
    /// La firma RSA PKCS #1 v1.5 con SHA-256 de `datos` con su clave (RSA).
    std::string firmarRsaSha256(std::string_view datos) const;
    /// El certificado en PEM, y su clave detrás si `conClave`.
    void grabarPem(const std::filesystem::path& ruta, bool conClave) const;
    void grabarClave(const std::filesystem::path& ruta) const;
    /// Carga el certificado (y su clave si `conClave`) en la tarjeta `tarjeta` de SoftHSM con
    /// pkcs11-tool, con la etiqueta `etiqueta` y el identificador `id` (en hexadecimal).
    void cargarEnTarjeta(const std::string& tarjeta, const std::string& pin,
                         const std::string& etiqueta, const std::string& id, bool conClave,
                         const std::filesystem::path& carpetaTrabajo) const;
    /// PKCS #12 hecho con la herramienta openssl: `antiguo` usa el cifrado RC2-40 de los
    /// exportadores antiguos (-legacy); si no, el predeterminado (AES, PBKDF2).
    void grabarPkcs12(const std::filesystem::path& ruta, const std::string& contrasena,
                      bool antiguo) const;

private:
    void emitir(const std::vector<Atributo>& sujeto, int desde, int hasta,
                const std::string& usoClave);

    std::shared_ptr<X509> certificado_;
    std::shared_ptr<EVP_PKEY> clave_;
};

/// Una base de datos NSS nueva en `carpeta` con los certificados (y sus claves) dados por su
/// apodo, sin contraseña o con `contrasena`. Lanza std::runtime_error si no se puede hacer.
void crearBaseNss(const std::filesystem::path& carpeta,
                  const std::vector<std::pair<std::string, CertificadoPrueba>>& certificados,
                  const std::string& contrasena = {});

/// Una tarjeta nueva de SoftHSM con la etiqueta `etiqueta` y el PIN `pin`, en la carpeta de
/// tarjetas del entorno (EntornoAlmacenes). Lanza std::runtime_error si no se puede hacer.
void crearTarjeta(const std::string& etiqueta, const std::string& pin);

/// Los almacenes de certificados de una prueba, todos bajo `raiz`: la carpeta del almacén
/// (raiz/datos/MORVELIN/MY, sin crear), la casa del usuario (raiz/casa, sin bases NSS), las
/// tarjetas de SoftHSM (raiz/fichas, ninguna) y el PIN del pinentry falso (PIN_FALSO, sin
/// poner; PIN_AVERIA, sin poner), que apunta lo que se le pide en raiz/pinentry.txt. Mientras vive,
/// el entorno del proceso lleva a ellos; al destruirse, lo deja como estaba.
class EntornoAlmacenes {
public:
    explicit EntornoAlmacenes(const std::filesystem::path& raiz);
    ~EntornoAlmacenes();
    EntornoAlmacenes(const EntornoAlmacenes&) = delete;
    EntornoAlmacenes& operator=(const EntornoAlmacenes&) = delete;

    /// La carpeta del almacén.
    std::filesystem::path almacen() const { return raiz_ / "datos/MORVELIN/MY"; }
    /// Quita todas las tarjetas.
    void vaciarTarjetas() const;

private:
    std::filesystem::path raiz_;
    std::vector<std::pair<std::string, std::optional<std::string>>> anteriores_;
};

struct Salida {
    int estado;
    std::string texto;
};

/// Ejecuta una orden del intérprete y recoge su salida estándar.
Salida ejecutar(const std::string& orden);

std::string leerTodo(const std::filesystem::path& ruta);
void escribirTodo(const std::filesystem::path& ruta, const std::string& bytes);

/// Las nueve líneas de un fichero de firma, sin sus CR LF; vacío si el formato no es ese.
std::vector<std::string> lineasFirma(const std::string& fichero);

/// Comprueba con la herramienta openssl la firma DER `firma` sobre `contenido` (desprendida,
/// binaria) y devuelve la estructura impresa con "openssl cms -cmsout -print"; vacío si la
/// firma no verifica.
std::string verificarConOpenssl(const std::string& firma, const std::string& contenido,
                                const std::filesystem::path& carpetaTrabajo);

/// SHA-1 de un fichero según "openssl dgst", en hexadecimal mayúsculas.
std::string sha1HexOpenssl(const std::filesystem::path& fichero);

/// Comprueba con la herramienta openssl la firma del fichero de firma `ficheroFirma` sobre el
/// resumen de `factura`; devuelve la estructura impresa, o vacío si no verifica.
std::string verificarFicheroFirma(const std::filesystem::path& ficheroFirma,
                                  const std::filesystem::path& factura,
                                  const std::filesystem::path& carpetaTrabajo);

} // namespace morvelin::pruebas
