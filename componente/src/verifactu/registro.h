#pragma once
// Los datos de un registro de facturación de alta o de anulación tal como llegan (en JSON, con
// los nombres de los elementos del esquema) y su validación local: todo lo que los esquemas y
// las validaciones de la agencia permiten comprobar sin preguntarle (formatos, longitudes,
// listas, NIF con su control, fechas, importes, combinaciones de campos y totales dentro del
// margen admitido).
//
// Los textos se guardan recortados (sin espacios en los extremos) y tal como se escribieron:
// un importe «121.00» sigue siendo «121.00» en el XML y en la huella.

#include "verifactu/formatos.h"

#include <optional>
#include <string>
#include <vector>

namespace morvelin::verifactu {

using Opcional = std::optional<std::string>;

struct IdFactura {
    std::string idEmisorFactura;
    std::string numSerieFactura;
    std::string fechaExpedicionFactura;
};

struct IdOtro {
    Opcional codigoPais;
    std::string idType;
    std::string id;
};

/// Una persona o entidad: NombreRazon y NIF o IDOtro (uno de los dos).
struct Persona {
    std::string nombreRazon;
    Opcional nif;
    std::optional<IdOtro> idOtro;
};

struct DetalleDesglose {
    Opcional impuesto;
    Opcional claveRegimen;
    Opcional calificacionOperacion;
    Opcional operacionExenta;
    Opcional tipoImpositivo;
    std::string baseImponibleOimporteNoSujeto;
    Opcional baseImponibleACoste;
    Opcional cuotaRepercutida;
    Opcional tipoRecargoEquivalencia;
    Opcional cuotaRecargoEquivalencia;
};

struct ImporteRectificacion {
    std::string baseRectificada;
    std::string cuotaRectificada;
    Opcional cuotaRecargoRectificado;
};

/// Un registro de alta (RegistroAlta), sin lo que pone el sistema: encadenamiento, sistema
/// informático, fecha y hora de generación y huella.
struct Alta {
    IdFactura idFactura;
    Opcional refExterna;
    std::string nombreRazonEmisor;
    Opcional subsanacion;
    Opcional rechazoPrevio;
    std::string tipoFactura;
    Opcional tipoRectificativa;
    std::optional<std::vector<IdFactura>> facturasRectificadas;
    std::optional<std::vector<IdFactura>> facturasSustituidas;
    std::optional<ImporteRectificacion> importeRectificacion;
    Opcional fechaOperacion;
    std::string descripcionOperacion;
    Opcional facturaSimplificadaArt7273;
    Opcional facturaSinIdentifDestinatarioArt61d;
    Opcional macrodato;
    Opcional emitidaPorTerceroODestinatario;
    std::optional<Persona> tercero;
    std::optional<std::vector<Persona>> destinatarios;
    Opcional cupon;
    std::vector<DetalleDesglose> desglose;
    std::string cuotaTotal;
    std::string importeTotal;
    Opcional numRegistroAcuerdoFacturacion;
    Opcional idAcuerdoSistemaInformatico;
};

/// Un registro de anulación (RegistroAnulacion), sin lo que pone el sistema.
struct Anulacion {
    IdFactura idFactura; ///< de la factura anulada
    Opcional refExterna;
    Opcional sinRegistroPrevio;
    Opcional rechazoPrevio;
    Opcional generadoPor;
    std::optional<Persona> generador;
};

/// Lee un alta o una anulación en JSON (un objeto con los nombres de los elementos del
/// esquema; véase el README). Un JSON mal formado, una clave desconocida o un valor que no es
/// texto (los importes también van como texto) lanzan ErrorCampo.
Alta leerAltaJson(const std::string& json);
Anulacion leerAnulacionJson(const std::string& json);

/// Comprueba todo lo que se puede comprobar sin la agencia. `hoy` es la fecha local actual
/// (la expedición no puede ser posterior). Lanza ErrorCampo en la primera falta.
void validarAlta(const Alta& a, const Fecha& hoy);
void validarAnulacion(const Anulacion& a);

/// Solo lo que necesita el código QR: NIF, número, fecha e importe total.
void validarDatosQr(const Alta& a);

} // namespace morvelin::verifactu
