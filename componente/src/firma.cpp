#include "ficheros.h"
#include "metodos.h"
#include "trampa.h"

namespace morvelin {

std::string FIRMA(const std::string& rutaOrigen, const std::string& /*certificado*/,
                  const std::string& /*rutaDestino*/) {
    return conTrampa([&]() -> std::string {
        const std::string factura = leerFichero(rutaOrigen);
        // El almacén de certificados personal todavía no está disponible en esta plataforma.
        lanzar(SinAlmacen);
    });
}

} // namespace morvelin
