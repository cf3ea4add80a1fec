#pragma once
// Las bases de datos de certificados NSS del usuario como almacenes: la que nombra
// MORVELIN_NSSDB, la compartida ~/.pki/nssdb y las de los perfiles de Firefox y Thunderbird.
// Se leen con NSS, sin tocar su configuración global (el contexto propio de nss.h, solo
// lectura).

#include "almacenes/almacen.h"

#include <memory>
#include <string>
#include <vector>

namespace morvelin::almacenes {

/// Una base de datos: su carpeta y de dónde sale ("MORVELIN_NSSDB", "compartida del usuario",
/// "perfil de Firefox «nombre»"...). Con `motivo`, una que se sabe que no se puede abrir, y por
/// qué (en español): también se lista.
struct Base {
    std::string carpeta, origen, motivo;
};

/// Las bases del usuario que existen, en el orden en que se buscan: MORVELIN_NSSDB si está
/// definida, ~/.pki/nssdb, los perfiles de Firefox y después los de Thunderbird que nombra su
/// profiles.ini (de cada programa, primero el predeterminado). Una que está pero no se puede
/// leer (su carpeta no se deja leer, o sus ficheros o profiles.ini no son ficheros normales)
/// va con su motivo. Ningún fichero se abre antes de saber que es un fichero normal.
std::vector<Base> basesDelUsuario();

/// La base como almacén; un AlmacenSinAbrir si no se puede abrir.
std::unique_ptr<Almacen> abrirBase(const Base& base);

} // namespace morvelin::almacenes
