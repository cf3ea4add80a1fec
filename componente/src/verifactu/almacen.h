#pragma once
// El almacén de la cadena de registros de facturación: uno por obligado a expedir e instalación.
//
// Dos implementaciones que se comportan igual: un fichero SQLite (lo habitual) y una base
// PostgreSQL (oficinas con varios puestos que facturan con el mismo NIF). En las dos:
//   - añadir un registro es una sola transacción que lee el último registro y escribe el nuevo
//     bajo el cerrojo del propio almacén, así que dos procesos o dos puestos nunca bifurcan la
//     cadena; el registro se construye dentro de la transacción a partir del anterior (el paso
//     que se le da a anadir());
//   - una caída o un SIGKILL en cualquier momento deja la cadena entera: el registro está
//     completo o no está;
//   - el XML del registro se guarda tal como se emitió, y los registros nunca se cambian ni se
//     borran (el almacén lo impide: una corrección es un registro nuevo);
//   - la huella anterior de cada registro es única: dos registros no pueden colgar del mismo;
//   - el esquema lleva número de versión y se pone al día al abrir.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvelin::verifactu {

/// Un fallo del almacén (no se puede abrir, la base no responde...). what() en español.
class ErrorAlmacen : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Un registro tal como está en la cadena.
struct RegistroCadena {
    std::int64_t numero = 0;                         ///< 1, 2, 3... en el orden de la cadena
    bool alta = true;                                ///< false: anulación
    std::string idEmisor, numSerie, fechaExpedicion; ///< de la factura (o de la anulada)
    std::string huella;
    std::string huellaAnterior; ///< vacía en el primero
    std::string fechaHoraHusoGenRegistro;
    std::string xml; ///< los bytes tal como se emitieron (vacío si no se pidieron)
};

/// Un registro tal como lo entrega recorrer(): vistas sobre lo leído, que solo valen durante
/// la visita (quien quiera quedárselo, lo copia).
struct VistaRegistro {
    std::int64_t numero = 0;
    bool alta = true;
    std::string_view idEmisor, numSerie, fechaExpedicion;
    std::string_view huella;
    std::string_view huellaAnterior;
    std::string_view fechaHoraHusoGenRegistro;
    std::string_view xml; ///< vacío si no se pidió
};

/// Una copia del registro que dura más que la visita.
RegistroCadena copia(const VistaRegistro& v);

/// Un registro de evento (RegistroEvento) tal como está en el registro de eventos de la cadena,
/// que lleva su propia huella encadenada.
struct EventoCadena {
    std::int64_t numero = 0; ///< 1, 2, 3... en el orden de los eventos
    std::string tipo;        ///< TipoEvento: «01», «02»...
    std::string fechaHoraHusoGenEvento;
    std::string huella;
    std::string huellaAnterior; ///< vacía en el primero
    /// El número del último registro de facturación cuando se generó (0: ninguno).
    std::int64_t registrosHasta = 0;
    std::string xml; ///< los bytes tal como se firmaron
};

/// Lo que el almacén guarda de la cadena misma.
struct DatosCadena {
    std::string numeroInstalacion; ///< creado al estrenar el almacén
    std::string modo;              ///< «verifactu» o «no-verifactu»
    std::string nifEmisor;         ///< vacío hasta el primer registro
    std::string nombreEmisor;      ///< vacío hasta la primera alta
    /// Sin remisión: el NIF con el que se busca el certificado que firma (la regla de FIRMA).
    std::string firmante;
    /// Si su último evento es el fin del modo sin remisión (TipoEvento «02»): no admite más.
    bool cerrada = false;
};

/// Lo que ve el paso que construye un registro, dentro de la transacción de anadir().
class Transaccion {
public:
    virtual ~Transaccion() = default;
    virtual const DatosCadena& cadena() const = 0;
    /// El último registro (sin el XML); sin valor si la cadena está vacía.
    virtual std::optional<RegistroCadena> ultimo() = 0;
    /// El último registro de la cadena de esa factura (sin el XML), si lo hay.
    virtual std::optional<RegistroCadena> ultimoDeFactura(const std::string& idEmisor,
                                                          const std::string& numSerie,
                                                          const std::string& fecha) = 0;

    /// Los registros de `desde` a `hasta`, como AlmacenCadena::recorrer(), dentro de esta
    /// transacción.
    virtual void recorrerRegistros(std::int64_t desde, std::int64_t hasta, bool conXml,
                                   const std::function<bool(const VistaRegistro&)>& visitar) = 0;
    /// El último evento (sin el XML) de uno de `tipos` (vacío: de cualquiera), si lo hay.
    virtual std::optional<EventoCadena>
    ultimoEvento(const std::vector<std::string>& tipos = {}) = 0;
    /// Cuántos eventos de cada tipo hay desde el número `desde`, por orden de tipo.
    virtual std::vector<std::pair<std::string, std::int64_t>>
    eventosPorTipo(std::int64_t desde) = 0;
    /// Guarda un evento (construido sobre ultimoEvento()) con el número siguiente.
    virtual EventoCadena guardarEvento(EventoCadena evento) = 0;
    /// Cambia el modo, el firmante y el obligado de la cadena.
    virtual void ponerDatos(const DatosCadena& datos) = 0;
};

/// Lo que el paso devuelve para que se guarde.
struct RegistroNuevo {
    RegistroCadena registro;  ///< sin número: lo pone el almacén
    std::string nombreEmisor; ///< el de un alta, para la cabecera de las remesas
};

/// Construye el registro siguiente. Si lanza, la transacción se deshace y no se guarda nada.
using PasoRegistro = std::function<RegistroNuevo(Transaccion&)>;

/// Dónde está un registro en la cola de envío a la agencia: pendiente de enviar (o enviado sin
/// respuesta todavía), o lo que contestó la agencia.
enum class Veredicto {
    Pendiente,
    Correcto,           ///< aceptado
    AceptadoConErrores, ///< aceptado, con un error que se ha de subsanar
    Incorrecto,         ///< rechazado: no se vuelve a enviar
    Duplicado,          ///< la agencia ya lo tenía (su estado, en la descripción)
};

/// Lo que la agencia contestó de un registro.
struct VeredictoRegistro {
    std::int64_t numero = 0;
    Veredicto estado = Veredicto::Pendiente;
    std::string codigo, descripcion; ///< del error, si lo hay
    std::string aviso;               ///< lo que conviene saber además (el reloj)
};

/// Un envío recién empezado: los registros que lleva, en el orden de la cadena.
struct EnvioEnCurso {
    std::int64_t id = 0;
    std::vector<std::int64_t> registros;
};

/// Cómo acabó un envío.
enum class ResultadoEnvio {
    EnCurso,       ///< empezado y sin acabar (su proceso sigue, o acabó sin poder apuntarlo)
    Respondido,    ///< la agencia contestó con su respuesta
    FalloServidor, ///< la agencia contestó con un fallo suyo (se reintenta)
    FalloCliente,  ///< la agencia contestó que la petición no vale (la cola se detiene)
    SinRespuesta,  ///< no hubo respuesta que leer (red, TLS, plazo, un proceso que acabó)
};

/// Lo que queda de un envío al acabar.
struct EnvioTerminado {
    ResultadoEnvio resultado = ResultadoEnvio::SinRespuesta;
    std::int64_t hora = 0;                    ///< cuando acabó (segundos desde 1970)
    std::string respuesta;                    ///< el cuerpo tal como llegó
    std::string csv;                          ///< el código seguro de verificación, si lo dio
    std::string estadoEnvio;                  ///< Correcto, ParcialmenteCorrecto o Incorrecto
    std::optional<std::int64_t> tiempoEspera; ///< TiempoEsperaEnvio, en segundos
    std::optional<std::int64_t> desfaseReloj; ///< hora de la agencia menos la de este equipo
    std::string mensaje;                      ///< el fallo, en español
    std::vector<VeredictoRegistro> veredictos;
};

/// La cola de envío en conjunto.
struct ResumenCola {
    std::int64_t pendientes = 0, correctos = 0, aceptadosConErrores = 0, incorrectos = 0,
                 duplicados = 0;
    /// El último envío que la agencia contestó: cuándo empezó y el TiempoEsperaEnvio que dio.
    std::optional<std::int64_t> horaUltimoEnvio, tiempoEspera;
    std::string ultimoCsv;
    /// Si la cola está detenida (por un fallo de la petición que la agencia rechazó), por qué.
    std::string detenida;
};

/// Un registro tal como lo lista el estado de la cola.
struct RegistroEnCola {
    std::int64_t numero = 0;
    bool alta = true;
    std::string idEmisor, numSerie, fechaExpedicion;
    VeredictoRegistro veredicto;
    std::string csv; ///< el del envío que lo llevó, si lo dio
};

/// El turno de envío de una cadena: mientras vive, nadie más envía sus registros (otro proceso,
/// otro puesto). Un proceso que acaba, aunque sea por SIGKILL, lo suelta.
class TurnoEnvio {
public:
    virtual ~TurnoEnvio() = default;
};

class AlmacenCadena {
public:
    virtual ~AlmacenCadena() = default;

    virtual DatosCadena datos() = 0;

    /// Añade un registro en una transacción: cerrojo, último registro, paso(), escritura,
    /// confirmación. Devuelve el registro guardado, con su número.
    virtual RegistroCadena anadir(const PasoRegistro& paso) = 0;

    /// Como anadir(), `veces` registros en una sola transacción: todos o ninguno.
    virtual void anadirVarios(std::size_t veces, const PasoRegistro& paso) = 0;

    /// Una transacción con el cerrojo de escritura, para lo que no es añadir un registro
    /// (eventos, el modo). Si `f` lanza, se deshace.
    virtual void transaccion(const std::function<void(Transaccion&)>& f) = 0;

    /// Recorre los eventos con número de `desde` a `hasta`, del más antiguo al más nuevo, con su
    /// XML. `visitar` devuelve false para parar.
    virtual void recorrerEventos(std::int64_t desde, std::int64_t hasta,
                                 const std::function<bool(const EventoCadena&)>& visitar) = 0;

    /// Recorre los registros con número de `desde` a `hasta`, del más antiguo al más nuevo,
    /// con su XML si `conXml`, sin copiarlos. `visitar` devuelve false para parar.
    virtual void recorrer(std::int64_t desde, std::int64_t hasta, bool conXml,
                          const std::function<bool(const VistaRegistro&)>& visitar) = 0;

    /// Cuántos registros tiene la cadena.
    virtual std::int64_t cuantos() = 0;

    /// El número del último registro; 0 si la cadena está vacía.
    virtual std::int64_t ultimoNumero() = 0;

    /// Otra conexión al mismo almacén, para leerlo desde otro hilo a la vez que este.
    virtual std::unique_ptr<AlmacenCadena> otraConexion() = 0;

    /// @name La cola de envío a la agencia (cadenas VERI*FACTU)
    /// Cada registro que se añade a una cadena VERI*FACTU entra en la cola en la misma
    /// transacción que lo guarda. Un envío toma los primeros pendientes y se apunta antes de
    /// salir; al acabar se apunta la respuesta entera y el veredicto de cada registro, todo en
    /// una transacción. Un envío que no llega a apuntar su final deja sus registros pendientes:
    /// el siguiente los vuelve a llevar, y la agencia contesta que ya los tiene.
    // @{

    /// El turno de envío; nullptr si lo tiene otro.
    virtual std::unique_ptr<TurnoEnvio> tomarTurnoEnvio() = 0;

    /// Empieza un envío con hasta `maximo` registros pendientes, a la hora `hora`. Los envíos
    /// que seguían en curso (de un proceso que acabó sin apuntar su final; quien llama tiene el
    /// turno) quedan sin respuesta. Sin registros pendientes, no empieza ninguno (id 0).
    virtual EnvioEnCurso empezarEnvio(std::int64_t hora, std::size_t maximo) = 0;

    /// Apunta cómo acabó el envío `id` y, de sus registros, los veredictos que trae.
    virtual void terminarEnvio(std::int64_t id, const EnvioTerminado& final) = 0;

    virtual ResumenCola resumenCola() = 0;

    /// Los registros que no están en la cola (las cadenas sin remisión) no salen.
    virtual void recorrerCola(const std::function<bool(const RegistroEnCola&)>& visitar) = 0;

    /// Detiene la cola con ese motivo (o la reanuda, con un motivo vacío).
    virtual void detenerCola(const std::string& motivo) = 0;
    // @}
};

/// Para recorrer(): hasta el final de la cadena.
inline constexpr std::int64_t HastaElFinal = std::numeric_limits<std::int64_t>::max();

/// Abre (y crea si hace falta) el almacén de `destino`: una dirección «postgresql://...» o
/// «postgres://...» o la ruta de un fichero SQLite (se crean las carpetas que falten).
std::unique_ptr<AlmacenCadena> abrirAlmacen(const std::string& destino);

std::unique_ptr<AlmacenCadena> abrirSqlite(const std::string& ruta);
std::unique_ptr<AlmacenCadena> abrirPostgresql(const std::string& conexion);

/// El almacén que se usa si no se dice otro: MORVELIN_CADENA o, si no está,
/// $XDG_DATA_HOME/MORVELIN/verifactu.sqlite ($HOME/.local/share si no hay XDG_DATA_HOME).
std::string destinoPorOmision();

/// Un número de instalación nuevo: 32 cifras hexadecimales al azar.
std::string nuevoNumeroInstalacion();

} // namespace morvelin::verifactu
