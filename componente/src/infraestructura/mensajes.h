#pragma once
// Tabla de cadenas del componente: los mensajes de resultado, por su identificador.

#include <string>

namespace morvelin {

/// Identificadores de la tabla de cadenas. Cada mensaje empieza por su código de dos cifras.
enum IdMensaje : int {
    NombreComponente = 100,    // "MORVELIN"
    DescripcionClase = 102,    // "MorvelinCtl Class"
    NoSeLeeFactura = 103,      // 01
    SinAlmacen = 104,          // 02
    SinCertificado = 105,      // 03
    NoSeGrabaFirma = 106,      // 04
    NoSeFirma = 107,           // 05
    FormatoFirmado = 108,      // 11
    FirmaNoValida = 109,       // 12
    CertificadoCaducado = 110, // 13
    CertificadoRevocado = 111, // 14
    CertificadoNoValido = 112, // 15
    FormatoInvalido = 113,     // 16
    SinConexion = 114,         // 17
    ErrorDesconocido = 115,    // 18
    NoSeLeeFirmado = 116,      // 19
    NoSeGrabaFactura = 117,    // 20
    ErrorTecnico = 118,        // 99
};

/// Carga la cadena de la tabla (en UTF-8). Un identificador que no está en la tabla es un error
/// de programación: lanza std::out_of_range.
const std::string& cargarMensaje(int id);

} // namespace morvelin
