#pragma once
// Las operaciones sobre la cadena: añadir un alta o una anulación y exportar sus registros como
// remesa (comprobarla entera: comprobacion.h).

#include "verifactu/almacen.h"
#include "verifactu/registro.h"
#include "verifactu/xml.h"
#include "xades/xades.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvelin::verifactu {

/// Segundos desde 1970 (UTC): el reloj del equipo, o el de una prueba.
using Reloj = std::function<std::int64_t()>;
Reloj relojDelSistema();

/// Más allá de este adelanto del registro anterior sobre el reloj, se avisa: el reloj de este
/// equipo (o el del que generó el registro anterior) no va bien. La agencia admite un margen
/// que no publica en sus documentos; este es el nuestro.
inline constexpr std::int64_t MargenRelojSegundos = 120;

/// FechaHoraHusoGenRegistro para el instante `t`: hora local con su desfase,
/// «2024-01-01T19:20:30+01:00».
std::string fechaHoraHuso(std::int64_t t);

/// Lee una FechaHoraHusoGenRegistro; sin valor si no tiene esa forma.
std::optional<std::int64_t> leerFechaHoraHuso(const std::string& texto);

/// El sistema informático de este componente, con el número de instalación de la cadena.
SistemaInformatico sistemaInformatico(const std::string& numeroInstalacion);

/// El registro siguiente a `ultimo` (sin valor: el primero), con la hora `fechaHora`, listo
/// para guardar: encadenamiento, sistema informático, huella y XML. No valida nada: es el
/// último paso de anadirAlta() y anadirAnulacion(), y lo que usa quien construye cadenas de
/// prueba.
RegistroNuevo construirAlta(const Transaccion& t, const std::optional<RegistroCadena>& ultimo,
                            const Alta& alta, const std::string& fechaHora);
RegistroNuevo construirAnulacion(const Transaccion& t, const std::optional<RegistroCadena>& ultimo,
                                 const Anulacion& anulacion, const std::string& fechaHora);

/// Lo que queda en la cadena tras añadir un registro.
struct Anadido {
    RegistroCadena registro;
    std::vector<std::string> avisos; ///< el reloj, sobre todo
};

/// Quien firma en una cadena sin remisión: el certificado que la regla de FIRMA elige para el
/// NIF en los almacenes del usuario, con el PIN ya pedido si hace falta (una vez por operación).
/// Lanza ErrorAlmacen si no hay ninguno o no se puede usar.
using ObtenerFirmante = std::function<xades::Firmante(const std::string& nif)>;

/// El firmante de la cadena si es sin remisión y está abierta, pedido a `firmantes` (vacío:
/// ninguno); si no, sin valor. Se pide fuera de toda transacción: el cerrojo de la cadena no
/// espera a que se teclee un PIN.
std::optional<xades::Firmante> firmanteDe(const DatosCadena& datos,
                                          const ObtenerFirmante& firmantes);

/// Valida el alta, la encadena al último registro y la guarda; todo en una transacción. Si
/// algo no se admite lanza ErrorCampo y la cadena queda como estaba. En una cadena sin remisión
/// el registro se guarda firmado, en la misma transacción, por el firmante que da `firmantes`
/// (pedido tras validar, antes de la transacción; sin él, ErrorAlmacen; si no firma,
/// xades::ErrorFirmaXml), y antes se anota el resumen de los eventos si toca.
Anadido anadirAlta(AlmacenCadena& almacen, const Alta& alta, const Reloj& reloj,
                   const ObtenerFirmante& firmantes = {});
Anadido anadirAnulacion(AlmacenCadena& almacen, const Anulacion& anulacion, const Reloj& reloj,
                        const ObtenerFirmante& firmantes = {});

/// Los registros desde el número `desde`, a lo sumo MaximoRemesa, como una remesa.
struct Remesa {
    std::string xml;
    std::int64_t primero = 0, ultimo = 0;
    std::int64_t quedan = 0; ///< registros posteriores que no caben
};
Remesa prepararRemesa(AlmacenCadena& almacen, std::int64_t desde);

} // namespace morvelin::verifactu
