#include "firma.h"

#include "certificados.h"
#include "codificacion.h"
#include "escritura.h"
#include "ficheros.h"
#include "metodos.h"
#include "registro_firma.h"
#include "trampa.h"

namespace morvelin {

std::string resumenHex(std::string_view contenido) {
    const auto resumen = plataforma::resumenSha1(contenido);
    if (!resumen)
        lanzar(NoSeFirma);
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string texto;
    for (const unsigned char b : *resumen) {
        texto += Hex[b >> 4];
        texto += Hex[b & 0x0F];
    }
    return texto;
}

std::string firmarResumen(const std::string& resumen, const plataforma::Certificado& certificado) {
    auto firma = certificado.firmarDesprendida(resumen);
    if (!firma)
        lanzar(NoSeFirma);
    return std::move(*firma);
}

std::string FIRMA(const std::string& rutaOrigen, const std::string& certificado,
                  const std::string& rutaDestino) {
    std::string factura, firma;
    bool firmado = false;
    const std::string resultado = conTrampa([&] {
        factura = leerFichero(rutaOrigen);
        const std::string resumen = resumenHex(factura);
        const auto cert = buscarCertificado(certificado);
        firma = firmarResumen(resumen, *cert);
        const std::string nombre = "00 " + nombreFirmante(*cert);
        firmado = true;
        return nombre;
    });
    if (!firmado)
        return resultado;

    // La factura en base64 va directamente al fichero, sin guardarse entera en el registro.
    RegistroFirma registro;
    registro.nombreFichero = nombreSinCarpetas(rutaOrigen);
    registro.firmaBase64 = codificarBase64(firma);
    crearCarpetas(rutaDestino);
    FicheroNuevo fichero(rutaDestino);
    if (!fichero.abrir() || !grabarFicheroFirma(fichero, registro, factura) || !fichero.confirmar())
        return cargarMensaje(NoSeGrabaFirma);
    return resultado;
}

} // namespace morvelin
