#pragma once
// Las direcciones del servicio web VERI*FACTU de la agencia, tal como las da su descripción
// (SistemaFacturacion.wsdl, servicio sfVerifactu): producción o pruebas y, para los
// certificados de sello electrónico, sus propios servidores.

#include "verifactu/qr.h"

#include <string>
#include <string_view>

namespace morvelin::verifactu {

/// Si el certificado (DER) es de sello electrónico, el de una entidad y no el de una persona: su
/// declaración de certificado cualificado (QCStatements, ETSI EN 319 412-5) dice que es de sello
/// (id-etsi-qct-eseal), o alguna de sus políticas es la de los certificados cualificados de
/// persona jurídica (QCP-l o QCP-l-qscd, ETSI EN 319 411-2).
bool esCertificadoDeSello(std::string_view der);

/// La dirección del servicio de remisión VERI*FACTU (VerifactuSOAP).
std::string direccionServicio(Entorno entorno, bool sello);

} // namespace morvelin::verifactu
