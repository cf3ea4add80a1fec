#pragma once
// VERI*FACTU para programas en C++: la cadena de registros de facturación y el código QR.

#include "morvelin/morvelin.h"

#include <memory>
#include <string>
#include <vector>

namespace morvelin {

/// Lo que devuelve cada operación de VERI*FACTU.
struct ResultadoVerifactu {
    bool correcto = false; ///< la operación se hizo
    /// Si se hizo: la huella del registro añadido, el informe de la comprobación, qué llevó la
    /// remesa o la dirección del QR. Si no: el motivo, en español.
    std::string texto;
    std::vector<std::string> avisos; ///< lo que conviene saber aunque haya ido bien
};

/// Opciones del código QR.
struct OpcionesQrVerifactu {
    double tamanoMm = 40;     ///< lado del código, de 30 a 40 mm
    double margenMm = 6;      ///< margen blanco, 2 mm como poco
    int resolucionPpp = 300;  ///< puntos por pulgada del PNG
    bool pruebas = false;     ///< la dirección del entorno de pruebas de la agencia
    bool noVerifactu = false; ///< la dirección de los sistemas sin remisión
};

/// Cómo se envía la cola de una cadena VERI*FACTU a la agencia.
struct OpcionesEnvioVerifactu {
    bool pruebas = false;    ///< los servidores de pruebas de la agencia
    std::string certificado; ///< NIF del certificado; vacío: el del obligado de la cadena
    std::string servicio;    ///< otra dirección https://; vacía: la de la agencia
    std::string autoridades; ///< fichero PEM o carpeta que verifica al servidor; vacío: el sistema
};

/// Una cadena de registros de facturación, abierta la primera vez que se usa y mientras viva
/// el objeto. Un objeto se usa desde un hilo cada vez; varios objetos, hilos o procesos pueden
/// añadir a la misma cadena a la vez sin bifurcarla.
///
/// Las facturas y anulaciones van en JSON, con los nombres de los elementos del esquema de la
/// agencia (véase el README). Un registro rechazado no cambia la cadena. Lo único que escapa
/// de los métodos es std::bad_alloc y los fallos internos imprevistos.
class MORVELIN_API CadenaVerifactu {
public:
    /// `destino`: ruta de un fichero SQLite o dirección «postgresql://...»; vacío, la de
    /// MORVELIN_CADENA o $XDG_DATA_HOME/MORVELIN/verifactu.sqlite.
    explicit CadenaVerifactu(const std::string& destino = {});
    ~CadenaVerifactu();
    CadenaVerifactu(const CadenaVerifactu&) = delete;
    CadenaVerifactu& operator=(const CadenaVerifactu&) = delete;

    /// @name Operaciones
    // @{
    /// Añade el registro de alta de la factura; el texto es su huella.
    ResultadoVerifactu alta(const std::string& json);
    /// Añade el registro de anulación; el texto es su huella.
    ResultadoVerifactu anula(const std::string& json);
    /// Graba la remesa con los registros desde el número `desde` (a lo sumo 1000).
    ResultadoVerifactu exporta(const std::string& ruta, long long desde = 1);
    /// Recorre la cadena; correcto si está entera.
    ResultadoVerifactu comprueba();
    /// Fija el modo, «verifactu» o «no-verifactu», antes del primer registro. Sin remisión
    /// («no-verifactu») hace falta `certificado`: el NIF del certificado que firma cada registro
    /// y cada evento (el obligado es ese NIF, y su nombre el del titular).
    ResultadoVerifactu modo(const std::string& modo, const std::string& certificado = {});
    /// Anota, firmado, el fin del modo sin remisión: la cadena ya no admite registros.
    ResultadoVerifactu cierra();
    /// Envía la cola a la agencia; el texto lleva una línea por registro con su veredicto y el
    /// resumen (cuentas y CSV) al final. Espera entre envíos lo que diga la agencia.
    ResultadoVerifactu envia(const OpcionesEnvioVerifactu& opciones = {});
    /// Los registros de la cola con su veredicto, una línea cada uno, y el resumen.
    ResultadoVerifactu estado();
    // @}

private:
    struct Datos;
    std::unique_ptr<Datos> datos_;
};

/// Graba en `ruta` (.png o .svg) el código QR de la factura; el texto es su dirección de
/// cotejo.
MORVELIN_API ResultadoVerifactu qrVerifactu(const std::string& json, const std::string& ruta,
                                            const OpcionesQrVerifactu& opciones = {});

} // namespace morvelin
