#include "registro_firma.h"

#include "codificacion.h"

namespace morvelin {

namespace {

// Bytes de la factura que se codifican de una vez, directamente en el bloque del fichero:
// múltiplo de 3, para que los trozos encajen, y con su texto (128 KiB) dentro de un bloque.
constexpr std::size_t TrozoFactura = 96 * 1024;
static_assert(TrozoFactura % PiezaBase64 == 0);
static_assert(longitudBase64(TrozoFactura) <= FicheroNuevo::TamanoBloque);

template <class EscribirContenido>
bool grabarCampo(FicheroNuevo& salida, EtiquetasCampo etiquetas, EscribirContenido contenido) {
    return salida.escribir(etiquetas.apertura) && salida.escribir(FinLineaFirma) && contenido() &&
           salida.escribir(FinLineaFirma) && salida.escribir(etiquetas.cierre) &&
           salida.escribir(FinLineaFirma);
}

} // namespace

bool escribirBase64(FicheroNuevo& salida, std::string_view bytes) {
    for (std::size_t hecho = 0; hecho < bytes.size(); hecho += TrozoFactura) {
        const std::string_view trozo = bytes.substr(hecho, TrozoFactura);
        char* hueco = salida.hueco(longitudBase64(trozo.size()));
        if (hueco == nullptr)
            return false;
        salida.ocupar(codificarBase64En(trozo, hueco));
    }
    return salida.correcto();
}

std::string nombreEnFicheroFirma(std::string_view nombreFichero) {
    std::string nombre(nombreFichero);
    for (char& c : nombre)
        if (c == '<' || c == '\r' || c == '\n')
            c = '_';
    return nombre;
}

bool empezarFicheroFirma(FicheroNuevo& salida, std::string_view nombreFichero) {
    const std::string nombre = nombreEnFicheroFirma(nombreFichero);
    return grabarCampo(salida, EtiquetasNombre, [&] { return salida.escribir(nombre); }) &&
           salida.escribir(EtiquetasFactura.apertura) && salida.escribir(FinLineaFirma);
}

bool terminarFicheroFirma(FicheroNuevo& salida, std::string_view firmaBase64) {
    return salida.escribir(FinLineaFirma) && salida.escribir(EtiquetasFactura.cierre) &&
           salida.escribir(FinLineaFirma) &&
           grabarCampo(salida, EtiquetasFirma, [&] { return salida.escribir(firmaBase64); });
}

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro,
                        const LineaFactura& lineaFactura) {
    return empezarFicheroFirma(salida, registro.nombreFichero) && lineaFactura(salida) &&
           terminarFicheroFirma(salida, registro.firmaBase64);
}

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro) {
    return grabarFicheroFirma(salida, registro,
                              [&](FicheroNuevo& s) { return s.escribir(registro.facturaBase64); });
}

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro,
                        std::string_view factura) {
    return grabarFicheroFirma(salida, registro,
                              [&](FicheroNuevo& s) { return escribirBase64(s, factura); });
}

} // namespace morvelin
