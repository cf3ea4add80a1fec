#pragma once
// Firmas XAdES-EPES envueltas (enveloped) de un documento XML, y su comprobación.
//
// Se firma el documento entero (su elemento raíz), con la firma dentro de él: una referencia al
// documento con la transformación enveloped-signature y otra a las propiedades firmadas de
// XAdES (la hora de la firma, el certificado del firmante por su resumen, emisor y número de
// serie, la política de firma con su resumen y el formato de lo firmado). C14N 1.0 inclusiva,
// resúmenes SHA-256 y firma RSA-SHA256 (PKCS #1 v1.5). La política es un parámetro: la de los
// registros de facturación es la de la AGE (verifactu/firma.h).
//
// libxmlsec1 hace la estructura de la firma, las canonicalizaciones y los resúmenes; el valor
// de la firma lo hace quien tiene la clave (Firmante::firmar), que nunca sale de su almacén.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::xades {

/// La política de firma de una firma EPES (SignaturePolicyIdentifier).
struct Politica {
    std::string identificador;    ///< «urn:oid:...»
    std::string url;              ///< dónde se publica (SPURI); vacía si no se dice
    std::string algoritmoResumen; ///< el del resumen del documento de la política
    std::string resumen;          ///< ese resumen, en base64
};

/// Firma RSA PKCS #1 v1.5 con SHA-256 de `datos` con la clave del firmante, esté donde esté.
/// Devuelve los bytes de la firma; sin valor si no se puede firmar.
using FirmarRsaSha256 = std::function<std::optional<std::string>(std::string_view datos)>;

/// Quien firma: su certificado (DER) y la firma con su clave.
struct Firmante {
    std::string certificadoDer;
    FirmarRsaSha256 firmar;
};

/// No se ha podido firmar. what() en español.
class ErrorFirmaXml : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Dónde va la firma: los nombres locales de los elementos que llevan desde el raíz hasta el
/// que la contiene, como último hijo (vacío: el propio raíz).
using RutaFirma = std::vector<std::string>;

/// Firma `xml` (un documento sin firma) con `politica` y la hora `hora` (segundos desde 1970,
/// UTC) como hora de la firma. Devuelve el elemento raíz con la firma, sin declaración XML.
/// Comprueba que la firma hecha verifica con el certificado (una clave que no es la suya no
/// pasa). Lanza ErrorFirmaXml si no se puede.
std::string firmarEnvuelta(std::string_view xml, const RutaFirma& ruta, const Firmante& firmante,
                           const Politica& politica, std::int64_t hora);

/// Lo que se sabe de la firma de un documento.
struct FirmaComprobada {
    bool valida = false;
    std::string motivo;                    ///< por qué no es válida (en español)
    std::string espacioRaiz, nombreRaiz;   ///< del elemento firmado, el raíz
    std::string certificadoDer;            ///< del firmante, si se ha leído
    std::optional<std::int64_t> horaFirma; ///< SigningTime, si se ha leído
};

/// Margen para relojes que no van iguales: una firma de hasta tantos segundos en el futuro vale.
inline constexpr std::int64_t MargenFuturo = 300;

/// Comprueba la firma de `xml`: una sola, en su sitio (`ruta`); la firma misma y los resúmenes
/// de sus dos referencias, con libxmlsec1 y el certificado que trae; que esas referencias son el
/// documento entero (enveloped) y sus propiedades firmadas; que el certificado es el de
/// SigningCertificate (resumen y número de serie) y es RSA de al menos 1024 bits; que la
/// política es `politica`; y que la hora de la firma cae en la validez del certificado y no es
/// posterior a `ahora` (con MargenFuturo). No comprueba la cadena del certificado.
FirmaComprobada comprobarEnvuelta(std::string_view xml, const RutaFirma& ruta,
                                  const Politica& politica, std::int64_t ahora);

/// Una hora xsd:dateTime («2025-02-03T16:15:55.105+01:00», «...Z»), en segundos desde 1970
/// (UTC); sin valor si no tiene esa forma. Una hora sin zona no vale.
std::optional<std::int64_t> leerHoraXsd(std::string_view texto);

} // namespace morvelin::xades
