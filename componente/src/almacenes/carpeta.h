#pragma once
// El almacén de la carpeta MORVELIN/MY dentro de la carpeta de datos del usuario
// ($XDG_DATA_HOME, o ~/.local/share si no está definida), leído con OpenSSL.
//
// Cada entrada es un fichero, y el almacén las enumera por orden de bytes de su nombre:
//   - .p12 o .pfx: PKCS #12 con el certificado y su clave, sin contraseña;
//   - cualquier otro (.pem, .crt, .cer...): un certificado PEM o DER; la clave va en el mismo
//     fichero PEM (sin cifrar) o en un fichero .key con el mismo nombre.
// Los ficheros .key, los ocultos (nombre que empieza por ".") y los que no son certificados no
// son entradas. Una carpeta que no existe es un almacén vacío; una que existe pero no se puede
// leer es un almacén que no se puede abrir.

#include "almacenes/almacen.h"

#include <memory>
#include <string>

namespace morvelin::almacenes {

/// La carpeta del almacén; vacía si no se puede saber (sin XDG_DATA_HOME ni HOME).
std::string carpetaAlmacenPersonal();

/// El almacén de `carpeta`; un AlmacenSinAbrir si no se sabe dónde está o no se puede leer.
std::unique_ptr<Almacen> abrirCarpeta(const std::string& carpeta);

} // namespace morvelin::almacenes
