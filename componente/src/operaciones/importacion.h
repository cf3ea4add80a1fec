#pragma once
// Importación de un certificado con su clave a la carpeta del almacén personal («morvelin
// importa»).
//
// Las copias de los certificados de los usuarios (PKCS #12 .p12/.pfx, o PEM) suelen llevar
// contraseña, que el almacén no puede pedir al firmar. Importar la pide una vez y guarda el
// certificado y su clave sin cifrar en un fichero PEM del almacén (carpeta 0700, fichero
// 0600).

#include "plataforma/criptografia.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace morvelin {

/// Un fallo de la importación, con su explicación en español para el usuario.
class ErrorImportacion : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CertificadoImportado {
    std::string ruta; ///< el fichero creado en el almacén
    /// El sujeto, como Certificado::atributosSujeto().
    plataforma::AtributosSujeto atributosSujeto;
};

/// Pide la contraseña del fichero; sin valor si el usuario no la da.
using PedirContrasena = std::function<std::optional<plataforma::Secreto>()>;

/// Importa `fichero` al almacén de la carpeta `carpetaAlmacen` (que se crea si falta). Solo se
/// llama a `pedir` si el fichero necesita contraseña, y a lo sumo una vez. El nombre de la
/// entrada es el del fichero con extensión .pem, con "-2", "-3"... si ya existe. Lanza
/// ErrorImportacion si no se puede. La contraseña y las copias de la clave sin cifrar que hace
/// por el camino se borran de la memoria antes de volver.
CertificadoImportado importarCertificado(const std::string& fichero,
                                         const std::string& carpetaAlmacen,
                                         const PedirContrasena& pedir);

} // namespace morvelin
