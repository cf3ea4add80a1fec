#pragma once
// Las tarjetas (y demás dispositivos PKCS #11) como almacenes: las de los módulos que registra
// p11-kit (el registro de Debian, al que se suman OpenSC y los demás al instalarse), cargados en
// el contexto de NSS del componente.

#include "almacenes/almacen.h"

#include <memory>
#include <vector>

namespace morvelin::almacenes {

/// Las tarjetas de los módulos registrados en p11-kit, en el orden de p11-kit y, en cada módulo,
/// de sus ranuras. Los módulos de confianza (solo certificados de autoridades) y las tarjetas
/// sin inicializar no se miran. Un lector sin tarjeta o un módulo que no carga es un
/// AlmacenSinAbrir, que dice por qué. En cada tarjeta, entre los certificados del identificador
/// se prefiere el que tiene el uso de no repudio.
std::vector<std::unique_ptr<Almacen>> abrirTarjetas();

} // namespace morvelin::almacenes
