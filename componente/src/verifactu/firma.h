#pragma once
// La firma de los registros en el modo sin remisión (NO VERI*FACTU): cada alta, anulación y
// evento se guarda firmado con XAdES-EPES envuelta, con la política de firma de la AGE, por el
// certificado del firmante de la cadena (el que elige la regla de FIRMA para su NIF). La firma
// de un alta o una anulación es el último hijo de su elemento; la de un evento, de su Evento.

#include "xades/xades.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morvelin::verifactu {

/// Los dos modos de una cadena.
inline constexpr const char* ModoVerifactu = "verifactu";
inline constexpr const char* ModoNoVerifactu = "no-verifactu";

/// La política de firma de la AGE que piden las especificaciones de la firma de los registros:
/// urn:oid:2.16.724.1.3.1.1.2.1.9, con su resumen SHA-1.
const xades::Politica& politicaAge();

/// Un registro de alta o de anulación, o un evento, firmado en la hora `hora`. Lanza
/// xades::ErrorFirmaXml si no se puede.
std::string firmarRegistro(std::string_view xml, const xades::Firmante& firmante,
                           std::int64_t hora);
std::string firmarEvento(std::string_view xml, const xades::Firmante& firmante, std::int64_t hora);

/// Vacío si `xml` es un alta (`alta`) o una anulación firmada como se firma aquí (la firma,
/// sus referencias, la política, la hora) por un certificado que la regla de FIRMA elegiría
/// para `firmante`; si no, el motivo.
std::string razonFirmaRegistro(std::string_view xml, bool alta, const std::string& firmante,
                               std::int64_t ahora);
/// Lo mismo de un evento.
std::string razonFirmaEvento(std::string_view xml, const std::string& firmante, std::int64_t ahora);

} // namespace morvelin::verifactu
