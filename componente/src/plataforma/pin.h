#pragma once
// Pedir al usuario el PIN de una tarjeta o la contraseña de una base de certificados.
//
// En Linux lo pide el programa estándar del escritorio para eso, pinentry (el que nombre
// MORVELIN_PINENTRY, o «pinentry»). El PIN no se escribe en ningún registro ni se guarda: vive
// en un Secreto que se borra al soltarlo.

#include "plataforma/criptografia.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

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
    Cancelado,  ///< el usuario ha cancelado (o cerrado el diálogo, o se le ha acabado el tiempo)
    SinDialogo, ///< no hay programa para pedirlo, o no contesta como debe a tiempo
};

/// Pide el PIN; con Dado, `pin` lo tiene (nunca con un byte 0 dentro: un PIN así no se da por
/// bueno, y no llega a la tarjeta). Nunca espera sin límite: PlazosPinentry.
RespuestaPin pedirPin(const PeticionPin& peticion, Secreto& pin);

class Pinentry;

/// Un diálogo para pedir el PIN una vez, abierto de antemano: pinentry arranca mientras quien
/// lo abre hace otra cosa (no enseña nada hasta que se pide el PIN), y se cierra al soltarlo,
/// cuando quien lo pidió ya ha usado el PIN.
class DialogoPin {
public:
    DialogoPin();
    ~DialogoPin();
    DialogoPin(const DialogoPin&) = delete;
    DialogoPin& operator=(const DialogoPin&) = delete;

    /// Como pedirPin(); la segunda vez, SinDialogo.
    RespuestaPin pedir(const PeticionPin& peticion, Secreto& pin);

private:
    std::unique_ptr<Pinentry> pinentry_; // nullptr si no ha arrancado
    bool pedido_ = false;
};

/// Un valor de fuera (el nombre común de un certificado, la etiqueta de una tarjeta, una
/// carpeta) para ponerlo en la descripción del diálogo: en una sola línea (los caracteres de
/// control pasan a espacios) y de a lo sumo `maximo` caracteres (si no, se corta con «…»).
std::string valorParaDialogo(std::string_view valor, std::size_t maximo);

/// Los plazos de la conversación con pinentry.
struct PlazosPinentry {
    /// Para que salude al arrancar y para contestar cada orden.
    std::chrono::milliseconds saludo{15000}, orden{15000};
    /// Lo que el usuario tiene para escribir el PIN: pinentry lo sabe (SETTIMEOUT, en segundos
    /// enteros) y cierra el diálogo al acabarse; se le espera además `orden`.
    std::chrono::milliseconds pin{180000};
    /// Para acabar tras «BYE»; después se le mata.
    std::chrono::milliseconds salida{2000};
};

/// Solo para pruebas: otros plazos (nullptr vuelve a los de siempre). No se debe llamar
/// mientras otro hilo pide un PIN.
void usarPlazosPinentry(const PlazosPinentry* plazos);

} // namespace morvelin::plataforma
