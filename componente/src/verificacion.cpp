#include "mensajes.h"
#include "metodos.h"
#include "trampa.h"

#include <fstream>

namespace morvelin {

std::string VERIFICA(const std::string& rutaOrigen, const std::string& /*rutaDestino*/) {
    std::ifstream fichero(rutaOrigen);
    if (rutaOrigen.empty() || !fichero.is_open())
        return cargarMensaje(NoSeLeeFirmado);
    return conTrampa([&]() -> std::string {
        // El envío al servicio de verificación todavía no está disponible en esta plataforma.
        lanzar(SinConexion);
    });
}

} // namespace morvelin
