#pragma once
// Lo que comparten los servicios locales (el de verificación y el doble de la agencia) y sus
// programas: escuchar en 127.0.0.1 con un hilo que atiende, pararlo, grabar su autoridad, y
// anunciar la dirección y esperar la señal de parada.

#include <httplib.h>

#include <string>
#include <thread>

namespace servicio_local {

/// Escucha en 127.0.0.1:`puerto` (0: uno libre) y atiende en `hilo`; vuelve cuando ya escucha
/// (antes, parar no lo pararía). Devuelve el puerto. Lanza std::runtime_error si no puede.
unsigned short escuchar(httplib::SSLServer& http, unsigned short puerto, std::thread& hilo);

/// Deja de escuchar y espera al hilo que atendía.
void dejarDeEscuchar(httplib::SSLServer& http, std::thread& hilo);

/// Graba `pem` en `ruta`. Lanza std::runtime_error si no puede.
void grabarAutoridad(const std::string& ruta, const std::string& pem);

/// Para los programas, antes de crear ningún hilo: las señales de parada (SIGTERM, SIGINT) se
/// esperarán en el hilo principal, y los hilos del servidor no las ven.
void reservarSenalesDeParada();

/// Escribe la dirección en la salida estándar y, si `direccionEn` no está vacío, en ese fichero
/// (entero, de una vez); después espera una señal de parada.
void anunciarYEsperar(const std::string& direccion, const std::string& direccionEn);

} // namespace servicio_local
