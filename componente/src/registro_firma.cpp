#include "registro_firma.h"

#include "codificacion.h"

namespace morvelin {

namespace {

// Bytes de la factura que se codifican de una vez: múltiplo de 3, para que los trozos encajen.
constexpr std::size_t TrozoFactura = 48 * 1024;
static_assert(TrozoFactura % PiezaBase64 == 0);

template <class EscribirContenido>
bool grabarCampo(FicheroNuevo& salida, EtiquetasCampo etiquetas, EscribirContenido contenido) {
    salida.escribir(etiquetas.apertura);
    salida.escribir(FinLineaFirma);
    contenido();
    salida.escribir(FinLineaFirma);
    salida.escribir(etiquetas.cierre);
    return salida.escribir(FinLineaFirma);
}

bool grabarSecciones(FicheroNuevo& salida, const RegistroFirma& registro,
                     const std::string_view* factura) {
    grabarCampo(salida, EtiquetasNombre, [&] { salida.escribir(registro.nombreFichero); });
    grabarCampo(salida, EtiquetasFactura, [&] {
        if (factura == nullptr) {
            salida.escribir(registro.facturaBase64);
            return;
        }
        std::string texto;
        texto.reserve(longitudBase64(TrozoFactura));
        for (std::size_t hecho = 0; hecho < factura->size() && salida.correcto();
             hecho += TrozoFactura) {
            texto.clear();
            anadirBase64(factura->substr(hecho, TrozoFactura), texto);
            salida.escribir(texto);
        }
    });
    return grabarCampo(salida, EtiquetasFirma, [&] { salida.escribir(registro.firmaBase64); });
}

} // namespace

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro) {
    return grabarSecciones(salida, registro, nullptr);
}

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro,
                        std::string_view factura) {
    return grabarSecciones(salida, registro, &factura);
}

} // namespace morvelin
