#include "infraestructura/mensajes.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace morvelin {

namespace {

const std::array<std::pair<int, std::string>, 18> tabla = {{
    {NombreComponente, "MORVELIN"},
    {DescripcionClase, "MorvelinCtl Class"},
    {NoSeLeeFactura, "01 No se ha podido leer el fichero a firmar."},
    {SinAlmacen, "02 No se tiene acceso al almacén de certificados."},
    {SinCertificado, "03 El certificado indicado no existe en el almacén de certificados."},
    {NoSeGrabaFirma, "04 No se ha podido grabar el fichero de firma en la ruta indicada."},
    {NoSeFirma, "05 No se ha podido realizar la firma."},
    {FormatoFirmado, "11 Formato incorrecto del fichero con firma a verificar."},
    {FirmaNoValida, "12 Firma no válida para la factura telemática incorporada."},
    {CertificadoCaducado, "13 Firma errónea, debido a que el certificado está caducado."},
    {CertificadoRevocado, "14 Firma errónea, debido a que el certificado está revocado."},
    {CertificadoNoValido, "15 Firma errónea, debido a que el certificado firmante no es válido."},
    {FormatoInvalido, "16 Firma errónea con formato inválido."},
    {SinConexion, "17 No se ha podido establecer conexión https con el servidor de la ZELK para "
                  "verificar la firma."},
    {ErrorDesconocido, "18 Error desconocido en la verificación de firma."},
    {NoSeLeeFirmado, "19 No se ha podido leer el fichero firmado."},
    {NoSeGrabaFactura, "20 No se ha podido grabar la factura en la ruta indicada."},
    {ErrorTecnico, "99 Error técnico."},
}};

} // namespace

const std::string& cargarMensaje(int id) {
    for (const auto& [clave, texto] : tabla)
        if (clave == id)
            return texto;
    throw std::out_of_range("identificador de mensaje desconocido: " + std::to_string(id));
}

} // namespace morvelin
