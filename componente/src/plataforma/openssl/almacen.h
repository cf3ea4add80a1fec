#pragma once
// El almacén personal de certificados en esta plataforma: la carpeta MORVELIN/MY dentro de la
// carpeta de datos del usuario ($XDG_DATA_HOME, o ~/.local/share si no está definida).
//
// Cada entrada es un fichero, y el almacén las enumera por orden de bytes de su nombre:
//   - .p12 o .pfx: PKCS #12 con el certificado y su clave, sin contraseña;
//   - cualquier otro (.pem, .crt, .cer...): un certificado PEM o DER; la clave va en el mismo
//     fichero PEM (sin cifrar) o en un fichero .key con el mismo nombre.
// Los ficheros .key, los ocultos (nombre que empieza por ".") y los que no son certificados no
// son entradas. Una carpeta que no existe es un almacén vacío; una que existe pero no se puede
// leer es un almacén que no se puede abrir.

#include "plataforma/criptografia.h"

#include <openssl/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvelin::plataforma::openssl {

/// La carpeta del almacén personal; vacía si no se puede saber (sin XDG_DATA_HOME ni HOME).
std::string carpetaAlmacenPersonal();

/// Abre el almacén que está en `carpeta`. nullptr si la carpeta existe pero no se puede leer.
std::unique_ptr<AlmacenCertificados> abrirAlmacen(const std::string& carpeta);

struct LiberarX509 {
    void operator()(X509* x) const;
};
struct LiberarClave {
    void operator()(EVP_PKEY* k) const;
};
using X509Propio = std::unique_ptr<X509, LiberarX509>;
using ClavePropia = std::unique_ptr<EVP_PKEY, LiberarClave>;

/// Un certificado con su clave (que puede faltar) como Certificado de la plataforma.
std::unique_ptr<Certificado> envolverCertificado(X509Propio certificado, ClavePropia clave);

/// Firma con una clave que no sale de donde está (una base de datos NSS, una tarjeta): recibe
/// los bytes que se firman y devuelve la firma con SHA-1 en el esquema de la clave (PKCS #1 v1.5
/// o ECDSA en DER); sin valor si no se puede.
using FirmaExterna = std::function<std::optional<std::string>(std::string_view datos)>;

/// La firma PKCS #7 de Certificado::firmarDesprendida() de `contenido`, hecha con `firmar`: el
/// mismo ensamblado para toda clave, esté donde esté. Sin valor si algo falla.
std::optional<std::string> ensamblarPkcs7(X509* certificado, std::string_view contenido,
                                          const FirmaExterna& firmar);

/// Un almacén que no se ha podido abrir: no encuentra nada y en la lista dice por qué.
std::unique_ptr<AlmacenCertificados> almacenSinAbrir(const std::string& carpeta);

/// La regla de búsqueda de los almacenes: algún valor del sujeto de `certificado` contiene
/// `texto`, sin distinguir mayúsculas de minúsculas (ASCII).
bool sujetoContiene(X509* certificado, const std::string& texto);

/// La ficha de un certificado para listarlo.
FichaCertificado fichaDe(X509* certificado, bool conClave);

/// Un valor de un nombre en UTF-8; vacío si no se puede convertir.
std::string valorUtf8(const ASN1_STRING* dato);

/// El texto del sujeto de `certificado`, como Certificado::textoSujeto().
std::string textoSujeto(X509* certificado);

} // namespace morvelin::plataforma::openssl
