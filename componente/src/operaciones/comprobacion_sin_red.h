#pragma once
// La comprobación sin red de una firma de factura, sin llamar al servicio de verificación: la
// del fichero de firma entero (la orden «morvelin comprueba») y la de la factura y la firma en
// base64 que comparte con el servicio de verificación local.

#include "plataforma/criptografia.h"

#include <string>
#include <string_view>

namespace morvelin {

/// El resultado de comprobar una firma, del primer paso que falla al último.
struct ComprobacionFirma {
    enum class Veredicto {
        NoSeLee,          ///< el fichero de firma no se puede leer
        SinEtiquetas,     ///< le falta alguna de las etiquetas
        Base64Incorrecto, ///< la factura o la firma no están en base64
        FirmaIlegible,    ///< la firma no es una firma PKCS #7 desprendida de un firmante
        OtraFactura,      ///< el resumen firmado no es el de la factura que acompaña
        FirmaAlterada,    ///< el resumen coincide pero la firma no verifica
        HoraFutura,       ///< la firma dice que se hizo más tarde que ahora
        SinHora,          ///< la firma no dice cuándo se hizo
        FueraDeValidez,   ///< el certificado no era válido en la hora de la firma
        FueraDeCadena,    ///< no lleva a las autoridades indicadas
        Buena,
    };
    Veredicto veredicto = Veredicto::NoSeLee;
    /// Lo que se ha podido saber de la firma (certificado, hora).
    plataforma::FirmaComprobada firma;
    /// El nombre del firmante compuesto como en FIRMA; vacío si la firma no se lee.
    std::string firmante;

    bool buena() const { return veredicto == Veredicto::Buena; }
    /// El veredicto en español, en una o más líneas terminadas en "\n": la primera empieza por
    /// "Firma válida" o "Firma no válida"; siguen el firmante y la hora de la firma si se saben.
    /// Lo que viene de la firma va con sus caracteres de control visibles (textoVisible).
    std::string texto() const;
};

/// Lo más que la hora de una firma puede ir por delante del reloj de quien la comprueba (los
/// relojes de dos equipos nunca van iguales): más, y la firma dice una hora que aún no ha
/// llegado.
inline constexpr long long MargenReloj = 5 * 60;

/// La factura y su firma en base64, como las lleva el fichero de firma: base64 estricto, la
/// firma PKCS #7 desprendida sobre el texto del resumen SHA-1 de la factura, una hora de la
/// firma que no es posterior a la actual más MargenReloj, y con `autoridades` (fichero o
/// carpeta) la cadena hasta ellas en la hora de la firma. No mira la validez del certificado:
/// da Buena o el primer fallo hasta HoraFutura (o FueraDeCadena).
ComprobacionFirma comprobarFirmaFactura(std::string_view facturaBase64,
                                        std::string_view firmaBase64,
                                        const std::string& autoridades = {});

/// El fichero de firma entero: etiquetas, comprobarFirmaFactura() y además que el certificado
/// era válido en la hora de la firma, antes de mirar la cadena.
ComprobacionFirma comprobarFicheroFirma(const std::string& ruta,
                                        const std::string& autoridades = {});

} // namespace morvelin
