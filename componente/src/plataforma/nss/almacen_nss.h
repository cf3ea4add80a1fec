#pragma once
// Las bases de datos de certificados NSS del usuario como almacenes: la que nombra
// MORVELIN_NSSDB, la compartida ~/.pki/nssdb y las de los perfiles de Firefox y Thunderbird.
//
// Se leen con NSS, sin tocar su configuración global (un contexto propio, solo lectura). La
// clave privada no sale de la base de datos: NSS firma los atributos firmados y la firma entra
// en el mismo ensamblado PKCS #7 de las demás claves.

#include "plataforma/criptografia.h"

#include <memory>
#include <string>
#include <vector>

namespace morvelin::plataforma::nss {

/// Una base de datos: su carpeta y de dónde sale ("MORVELIN_NSSDB", "compartida del usuario",
/// "perfil de Firefox «nombre»"...).
struct Base {
    std::string carpeta, origen;
};

/// Las bases del usuario que existen, en el orden en que se buscan: MORVELIN_NSSDB si está
/// definida, ~/.pki/nssdb, los perfiles de Firefox y después los de Thunderbird que nombra su
/// profiles.ini (de cada programa, primero el predeterminado).
std::vector<Base> basesDelUsuario();

/// La base como almacén; nullptr si no se puede abrir.
std::unique_ptr<AlmacenCertificados> abrirBase(const Base& base);

/// Una base que no se ha podido abrir: no encuentra nada y en la lista dice por qué.
std::unique_ptr<AlmacenCertificados> baseSinAbrir(const Base& base);

} // namespace morvelin::plataforma::nss
