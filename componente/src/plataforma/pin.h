#pragma once
// Pedir al usuario el PIN de una tarjeta o la contraseña de una base de certificados.
//
// En Linux lo pide el programa estándar del escritorio para eso, pinentry (el que nombre
// MORVELIN_PINENTRY, o «pinentry»). El PIN no se escribe en ningún registro ni se guarda: vive
// en un Secreto que se borra al soltarlo.

#include "plataforma/criptografia.h"

#include <string>

namespace morvelin::plataforma {

/// Lo que se enseña al pedir el PIN (en español; la descripción puede tener varias líneas).
struct PeticionPin {
    std::string descripcion;
    std::string indicacion = "PIN:";
    /// Un aviso destacado (por ejemplo, que es el último intento), o vacío.
    std::string aviso;
};

enum class RespuestaPin {
    Dado,       ///< el usuario lo ha escrito y aceptado
    Cancelado,  ///< el usuario ha cancelado (o cerrado el diálogo)
    SinDialogo, ///< no hay programa para pedirlo, o ha fallado
};

/// Pide el PIN; con Dado, `pin` lo tiene.
RespuestaPin pedirPin(const PeticionPin& peticion, Secreto& pin);

} // namespace morvelin::plataforma
