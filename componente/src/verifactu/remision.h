#pragma once
// La remisión de la cola a la agencia: envíos de a lo sumo 1000 registros, con la espera que
// marca la agencia entre uno y otro (TiempoEsperaEnvio), el veredicto de cada registro y la
// respuesta entera guardados en el almacén, los fallos del servidor reintentados con esperas
// crecientes y los de la petición deteniendo la cola.

#include "verifactu/almacen.h"
#include "verifactu/cadena.h"
#include "verifactu/conexion.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvelin::verifactu {

/// Manda una petición SOAP y devuelve la respuesta HTTP; lanza FalloConexion.
using Enviador = std::function<RespuestaHttp(const std::string& peticion)>;
/// Espera tantos segundos (en las pruebas, adelanta su reloj).
using Espera = std::function<void(std::int64_t segundos)>;
Espera esperaDelSistema();

/// Lo que espera la agencia entre envíos mientras no diga otra cosa.
inline constexpr std::int64_t EsperaInicialSegundos = 60;
/// Veces que se reintenta un envío al que el servidor contesta con un fallo suyo; la espera
/// empieza en EsperaReintentoSegundos y se dobla cada vez.
inline constexpr int ReintentosServidor = 4;
inline constexpr std::int64_t EsperaReintentoSegundos = 5;

struct InformeRemision {
    bool correcto = true;            ///< false: la remisión se cortó (queda en `motivo`)
    std::vector<std::string> lineas; ///< una por registro con veredicto
    std::vector<std::string> avisos; ///< el reloj, los registros sin línea en la respuesta
    std::string resumen;
    std::string motivo;
};

/// Envía los registros pendientes de la cola hasta vaciarla, honrando la espera entre envíos
/// (salvo que haya 1000 esperando). Se corta ante un fallo de conexión, una respuesta ilegible,
/// un fallo de la petición (la cola queda detenida con su motivo) o tras los reintentos de un
/// fallo del servidor; lo ya contestado queda guardado y lo demás, pendiente.
InformeRemision remitirCola(AlmacenCadena& almacen, const Enviador& enviar, const Reloj& reloj,
                            const Espera& esperar);

/// El estado de la cola en texto: una línea por registro y el resumen.
std::string textoEstadoCola(AlmacenCadena& almacen, const Reloj& reloj);

/// El texto de un veredicto para el usuario: «Correcto», «Aceptado con errores (2000: ...)»...
std::string textoVeredicto(const VeredictoRegistro& v);

} // namespace morvelin::verifactu
