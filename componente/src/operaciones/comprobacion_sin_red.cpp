#include "operaciones/comprobacion_sin_red.h"

#include "infraestructura/codificacion.h"
#include "infraestructura/fechas.h"
#include "infraestructura/registro_firma.h"
#include "infraestructura/trampa.h"
#include "operaciones/firma.h"
#include "operaciones/sujeto.h"

#include <cstdio>
#include <ctime>
#include <memory>

namespace morvelin {

std::string ComprobacionFirma::texto() const {
    using V = Veredicto;
    std::string motivo;
    switch (veredicto) {
    case V::NoSeLee:
        motivo = "el fichero de firma no se puede leer";
        break;
    case V::SinEtiquetas:
        motivo = "al fichero de firma le falta alguna de sus etiquetas (<NOMFIC>, <FACB64>, "
                 "<FIRB64> y sus cierres)";
        break;
    case V::Base64Incorrecto:
        motivo = "la factura o la firma no están bien escritas en base64";
        break;
    case V::FirmaIlegible:
        motivo = "la firma no es una firma PKCS #7 separada de un solo firmante con su "
                 "certificado";
        break;
    case V::OtraFactura:
        motivo = "la factura que lleva el fichero no es la que se firmó";
        break;
    case V::FirmaAlterada:
        motivo = "la firma está alterada: no la hizo la clave del certificado que lleva";
        break;
    case V::HoraFutura:
        motivo = "dice que se hizo el " + fechaHoraUtc(firma.horaFirma.value_or(0)) +
                 ", más tarde que ahora: una firma no puede estar hecha en el futuro";
        break;
    case V::SinHora:
        motivo = "la firma no dice cuándo se hizo";
        break;
    case V::FueraDeValidez:
        motivo = firma.horaFirma && *firma.horaFirma > firma.validoHasta
                     ? "el certificado del firmante había caducado al firmar (válido hasta el " +
                           fechaHoraUtc(firma.validoHasta) + ")"
                     : "el certificado del firmante aún no era válido al firmar (válido desde el " +
                           fechaHoraUtc(firma.validoDesde) + ")";
        break;
    case V::FueraDeCadena:
        motivo = firma.fueraDeCadena.value_or("");
        break;
    case V::Buena:
        break;
    }
    // El firmante y el motivo (que puede llevar la ruta de las autoridades) vienen de fuera: sin
    // caracteres de control, no pueden escribir otro veredicto encima de este.
    std::string t = buena() ? "Firma válida." : "Firma no válida: " + textoVisible(motivo) + ".";
    t += '\n';
    if (!firmante.empty())
        t += "Firmante: " + textoVisible(firmante) + "\n";
    if (firma.horaFirma)
        t += "Firmada el " + fechaHoraUtc(*firma.horaFirma) + "\n";
    return t;
}

ComprobacionFirma comprobarFirmaFactura(std::string_view facturaBase64,
                                        std::string_view firmaBase64,
                                        const std::string& autoridades) {
    using V = ComprobacionFirma::Veredicto;
    using Estado = plataforma::FirmaComprobada::Estado;
    ComprobacionFirma c;
    std::string factura, firma;
    if (!decodificarBase64Estricto(facturaBase64, factura) ||
        !decodificarBase64Estricto(firmaBase64, firma)) {
        c.veredicto = V::Base64Incorrecto;
        return c;
    }
    std::string resumen;
    try {
        resumen = resumenHex(factura);
    } catch (const FalloPaso&) {
        c.veredicto = V::FirmaIlegible;
        return c;
    }
    factura = std::string();
    c.firma = plataforma::comprobarFirmaDesprendida(firma, resumen, autoridades);
    if (c.firma.estado != Estado::Ilegible)
        c.firmante = nombreFirmante(LectorSujeto(c.firma.atributosSujeto));
    switch (c.firma.estado) {
    case Estado::Ilegible:
        c.veredicto = V::FirmaIlegible;
        break;
    case Estado::OtroContenido:
        c.veredicto = V::OtraFactura;
        break;
    case Estado::FirmaAlterada:
        c.veredicto = V::FirmaAlterada;
        break;
    case Estado::Valida:
        c.veredicto = c.firma.horaFirma && *c.firma.horaFirma > std::time(nullptr) + MargenReloj
                          ? V::HoraFutura
                      : c.firma.fueraDeCadena && !c.firma.fueraDeCadena->empty() ? V::FueraDeCadena
                                                                                 : V::Buena;
        break;
    }
    return c;
}

ComprobacionFirma comprobarFicheroFirma(const std::string& ruta, const std::string& autoridades) {
    using V = ComprobacionFirma::Veredicto;
    ComprobacionFirma c;
    std::unique_ptr<std::FILE, decltype(&std::fclose)> fichero(
        ruta.empty() ? nullptr : std::fopen(ruta.c_str(), "rb"), &std::fclose);
    if (!fichero)
        return c;
    RegistroFirma registro;
    try {
        leerFicheroFirma(fichero.get(), registro);
    } catch (const FalloPaso& fallo) {
        c.veredicto = fallo.id == FormatoFirmado ? V::SinEtiquetas : V::NoSeLee;
        return c;
    }
    fichero.reset();
    c = comprobarFirmaFactura(registro.facturaBase64, registro.firmaBase64, autoridades);
    if (c.veredicto != V::Buena && c.veredicto != V::FueraDeCadena)
        return c;
    // La validez se mira antes que la cadena: un firmante caducado no es cosa de autoridades.
    if (!c.firma.horaFirma)
        c.veredicto = V::SinHora;
    else if (*c.firma.horaFirma < c.firma.validoDesde || *c.firma.horaFirma > c.firma.validoHasta)
        c.veredicto = V::FueraDeValidez;
    return c;
}

} // namespace morvelin
