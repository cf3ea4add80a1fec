#pragma once
// Las bases de datos de certificados NSS del usuario como almacenes (la que nombra
// MORVELIN_NSSDB, la compartida ~/.pki/nssdb y las de los perfiles de Firefox y Thunderbird), y
// las tarjetas de los módulos PKCS #11 registrados en p11-kit.
//
// Se leen con NSS, sin tocar su configuración global (un contexto propio, solo lectura). La
// clave privada no sale de la base de datos ni de la tarjeta: ellas firman los atributos
// firmados y la firma entra en el mismo ensamblado PKCS #7 de las demás claves. Si hace falta,
// el PIN de la tarjeta o la contraseña de la base se piden con pinentry al firmar, nunca antes.

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

/// Un almacén de tarjeta; `abierta` es false si solo está para decir por qué no se mira (un
/// lector sin tarjeta, un módulo que no carga).
struct Tarjeta {
    std::unique_ptr<AlmacenCertificados> almacen;
    bool abierta = false;
};

/// Las tarjetas (y demás dispositivos PKCS #11) de los módulos registrados en p11-kit, en el
/// orden de p11-kit y, en cada módulo, de sus ranuras. Los módulos de confianza (solo
/// certificados de autoridades) y las tarjetas sin inicializar no se miran. En cada tarjeta,
/// entre los certificados del identificador se prefiere el que tiene el uso de no repudio.
std::vector<Tarjeta> abrirTarjetas();

} // namespace morvelin::plataforma::nss
