#include "verifactu/cadena.h"

#include "verifactu/eventos.h"
#include "verifactu/firma.h"
#include "verifactu/huella.h"

#include <ctime>

#ifndef MORVELIN_SIF_NOMBRE_RAZON
#error "Falta MORVELIN_SIF_NOMBRE_RAZON (el productor del sistema informático)"
#endif

namespace morvelin::verifactu {

namespace {

std::string describir(const RegistroCadena& r) {
    return std::string(r.alta ? "alta" : "anulación") + " en el registro nº " +
           std::to_string(r.numero);
}

// El registro anterior tal como va en Encadenamiento.
std::optional<RegistroAnterior> anteriorDe(const std::optional<RegistroCadena>& u) {
    if (!u)
        return std::nullopt;
    return RegistroAnterior{u->idEmisor, u->numSerie, u->fechaExpedicion, u->huella};
}

void comprobarEmisor(const Transaccion& t, const std::string& campo, const std::string& nif) {
    const auto& propio = t.cadena().nifEmisor;
    if (!propio.empty() && propio != nif)
        throw ErrorCampo(campo, "esta cadena es la del obligado " + propio + "; los registros de " +
                                    nif + " van en otra cadena (--cadena o MORVELIN_CADENA).");
}

// La hora del registro y, si el anterior es posterior, el aviso de reloj.
std::string horaDelRegistro(const std::optional<RegistroCadena>& u, std::int64_t ahora,
                            std::vector<std::string>& avisos) {
    if (u) {
        const auto antes = leerFechaHoraHuso(u->fechaHoraHusoGenRegistro);
        if (antes && *antes > ahora + MargenRelojSegundos)
            avisos.push_back("El registro anterior (nº " + std::to_string(u->numero) + ") es de " +
                             u->fechaHoraHusoGenRegistro +
                             ", posterior a la hora de este equipo (" + fechaHoraHuso(ahora) +
                             "): el reloj de este equipo o el del que lo generó no va bien. "
                             "Corríjalo: la agencia avisa de los registros cuya hora se aparta "
                             "de la suya.");
    }
    return fechaHoraHuso(ahora);
}

// En una cadena sin remisión, el registro se guarda firmado, tras el resumen de los eventos si
// toca.
void firmarSiToca(Transaccion& t, const xades::Firmante* firmante, RegistroNuevo& n,
                  std::int64_t ahora) {
    if (t.cadena().modo != ModoNoVerifactu)
        return;
    if (t.cadena().cerrada)
        throw ErrorAlmacen("La cadena está cerrada (se anotó el fin del modo sin remisión): los "
                           "registros nuevos van en otra cadena.");
    if (!firmante)
        throw ErrorAlmacen("La cadena es sin remisión (NO VERI*FACTU): cada registro se guarda "
                           "firmado y no se ha dado con qué firmar.");
    anotarResumenSiToca(t, *firmante, ahora);
    n.registro.xml = firmarRegistro(n.registro.xml, *firmante, ahora);
}

} // namespace

Reloj relojDelSistema() {
    return [] {
        return static_cast<std::int64_t>(std::time(nullptr));
    };
}

std::string fechaHoraHuso(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm local{};
    localtime_r(&tt, &local);
    char b[40];
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%S", &local);
    long desfase = local.tm_gmtoff;
    const char signo = desfase < 0 ? '-' : '+';
    desfase = desfase < 0 ? -desfase : desfase;
    char h[32];
    std::snprintf(h, sizeof h, "%c%02ld:%02ld", signo, desfase / 3600, (desfase % 3600) / 60);
    return std::string(b) + h;
}

std::optional<std::int64_t> leerFechaHoraHuso(const std::string& s) {
    int a, m, d, hh, mm, ss, oh, om;
    char signo;
    if (s.size() != 25 ||
        std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &a, &m, &d, &hh, &mm, &ss,
                    &signo, &oh, &om) != 9 ||
        (signo != '+' && signo != '-'))
        return std::nullopt;
    const std::int64_t dias = Fecha{a, m, d}.dias();
    const std::int64_t desfase = (oh * 3600 + om * 60) * (signo == '-' ? -1 : 1);
    return dias * 86400 + hh * 3600 + mm * 60 + ss - desfase;
}

SistemaInformatico sistemaInformatico(const std::string& numeroInstalacion) {
    SistemaInformatico s;
    s.nombreRazon = MORVELIN_SIF_NOMBRE_RAZON;
    s.nif = MORVELIN_SIF_NIF;
    s.nombreSistemaInformatico = "MORVELIN";
    s.idSistemaInformatico = MORVELIN_SIF_ID;
    s.version = MORVELIN_SIF_VERSION;
    s.numeroInstalacion = numeroInstalacion;
    // El componente lleva también el modo sin remisión (registros firmados) y cada cadena es
    // de un solo obligado, aunque una instalación puede llevar cadenas de varios.
    s.tipoUsoPosibleSoloVerifactu = "N";
    s.tipoUsoPosibleMultiOT = "S";
    s.indicadorMultiplesOT = "N";
    return s;
}

namespace {

// Lo común de los dos registros: encadenamiento, sistema, hora y la parte guardada en columnas.
DatosSistema datosSistema(const DatosCadena& cadena, const std::optional<RegistroCadena>& u,
                          const std::string& fechaHora) {
    DatosSistema s;
    s.anterior = anteriorDe(u);
    s.sistema = sistemaInformatico(cadena.numeroInstalacion);
    s.fechaHoraHusoGenRegistro = fechaHora;
    return s;
}

RegistroNuevo registroNuevo(bool alta, const IdFactura& id, const DatosSistema& s,
                            std::string xml) {
    RegistroNuevo n;
    n.registro.alta = alta;
    n.registro.idEmisor = id.idEmisorFactura;
    n.registro.numSerie = id.numSerieFactura;
    n.registro.fechaExpedicion = id.fechaExpedicionFactura;
    n.registro.huella = s.huella;
    n.registro.huellaAnterior = s.anterior ? s.anterior->huella : std::string();
    n.registro.fechaHoraHusoGenRegistro = s.fechaHoraHusoGenRegistro;
    n.registro.xml = std::move(xml);
    return n;
}

RegistroNuevo altaNueva(const DatosCadena& cadena, const std::optional<RegistroCadena>& u,
                        const Alta& alta, const std::string& fechaHora) {
    const IdFactura& id = alta.idFactura;
    DatosSistema s = datosSistema(cadena, u, fechaHora);
    s.huella = calcularHuella(CamposHuellaAlta{
        id.idEmisorFactura, id.numSerieFactura, id.fechaExpedicionFactura, alta.tipoFactura,
        alta.cuotaTotal, alta.importeTotal, u ? u->huella : std::string(), fechaHora});
    RegistroNuevo n = registroNuevo(true, id, s, xmlAlta(alta, s));
    n.nombreEmisor = alta.nombreRazonEmisor;
    return n;
}

RegistroNuevo anulacionNueva(const DatosCadena& cadena, const std::optional<RegistroCadena>& u,
                             const Anulacion& anulacion, const std::string& fechaHora) {
    const IdFactura& id = anulacion.idFactura;
    DatosSistema s = datosSistema(cadena, u, fechaHora);
    s.huella = calcularHuella(CamposHuellaAnulacion{id.idEmisorFactura, id.numSerieFactura,
                                                    id.fechaExpedicionFactura,
                                                    u ? u->huella : std::string(), fechaHora});
    return registroNuevo(false, id, s, xmlAnulacion(anulacion, s));
}

// Construye un registro sobre el último de la cadena y la hora que se le dan.
using Construir = std::function<RegistroNuevo(
    const DatosCadena&, const std::optional<RegistroCadena>&, const std::string&)>;

// Un registro construido y firmado antes de la transacción, sobre el último registro de
// entonces.
struct Adelantado {
    std::string huellaAnterior;
    std::int64_t hora = 0;
    RegistroNuevo registro;
};

// Sin remisión, el registro se construye y se firma antes de tomar el cerrojo: el PIN, si lo
// hay, se pide sin que la cadena espere, y la firma (lo que más cuesta con una tarjeta) no la
// retiene. Dentro de la transacción vale si el último registro sigue siendo el mismo.
Adelantado adelantar(AlmacenCadena& almacen, const DatosCadena& datos,
                     const xades::Firmante& firmante, std::int64_t ahora,
                     const Construir& construir) {
    std::optional<RegistroCadena> u;
    if (const std::int64_t n = almacen.ultimoNumero(); n > 0)
        almacen.recorrer(n, n, false, [&](const VistaRegistro& v) {
            u = copia(v);
            return false;
        });
    Adelantado a{u ? u->huella : std::string(), ahora, construir(datos, u, fechaHoraHuso(ahora))};
    a.registro.registro.xml = firmarRegistro(a.registro.registro.xml, firmante, ahora);
    return a;
}

// Añade un registro: `comprobar` lo admite o lanza ErrorCampo a la vista de la cadena;
// `construir` lo hace sobre el último. Sin remisión, firmado (adelantado si se puede).
Anadido anadirRegistro(AlmacenCadena& almacen, const Reloj& reloj, const ObtenerFirmante& firmantes,
                       const std::function<void(Transaccion&)>& comprobar,
                       const Construir& construir) {
    const DatosCadena datos = almacen.datos();
    const auto f = firmanteDe(datos, firmantes);
    std::optional<Adelantado> adelantado;
    if (f)
        adelantado = adelantar(almacen, datos, *f, reloj(), construir);
    Anadido hecho;
    hecho.registro = almacen.anadir([&](Transaccion& t) {
        comprobar(t);
        const auto u = t.ultimo();
        hecho.avisos.clear();
        if (adelantado && t.cadena().modo == ModoNoVerifactu && !t.cadena().cerrada &&
            adelantado->huellaAnterior == (u ? u->huella : std::string())) {
            horaDelRegistro(u, adelantado->hora, hecho.avisos);
            anotarResumenSiToca(t, *f, adelantado->hora);
            return adelantado->registro;
        }
        const std::int64_t ahora = reloj();
        RegistroNuevo n = construir(t.cadena(), u, horaDelRegistro(u, ahora, hecho.avisos));
        firmarSiToca(t, f ? &*f : nullptr, n, ahora);
        return n;
    });
    return hecho;
}

} // namespace

RegistroNuevo construirAlta(const Transaccion& t, const std::optional<RegistroCadena>& u,
                            const Alta& alta, const std::string& fechaHora) {
    return altaNueva(t.cadena(), u, alta, fechaHora);
}

RegistroNuevo construirAnulacion(const Transaccion& t, const std::optional<RegistroCadena>& u,
                                 const Anulacion& anulacion, const std::string& fechaHora) {
    return anulacionNueva(t.cadena(), u, anulacion, fechaHora);
}

std::optional<xades::Firmante> firmanteDe(const DatosCadena& datos,
                                          const ObtenerFirmante& firmantes) {
    if (datos.modo != ModoNoVerifactu || datos.cerrada || !firmantes)
        return std::nullopt;
    return firmantes(datos.firmante);
}

Anadido anadirAlta(AlmacenCadena& almacen, const Alta& alta, const Reloj& reloj,
                   const ObtenerFirmante& firmantes) {
    validarAlta(alta, fechaLocal(reloj()));
    const IdFactura& id = alta.idFactura;
    const bool subsanacion = alta.subsanacion.value_or("N") == "S";
    const std::string rechazo = alta.rechazoPrevio.value_or("N");
    const auto comprobar = [&](Transaccion& t) {
        comprobarEmisor(t, "IDEmisorFactura", id.idEmisorFactura);
        const auto previo =
            t.ultimoDeFactura(id.idEmisorFactura, id.numSerieFactura, id.fechaExpedicionFactura);
        if (!subsanacion && previo)
            throw ErrorCampo("NumSerieFactura",
                             "la factura " + id.numSerieFactura + " de " +
                                 id.fechaExpedicionFactura + " ya está en la cadena (" +
                                 describir(*previo) +
                                 "); para corregir sus datos, envíe un alta con Subsanacion "
                                 "«S».");
        if (subsanacion && rechazo != "X" && !previo)
            throw ErrorCampo("Subsanacion", "la factura " + id.numSerieFactura + " de " +
                                                id.fechaExpedicionFactura +
                                                " no está en esta cadena; para subsanar una "
                                                "factura que no consta aquí, use RechazoPrevio "
                                                "«X».");
    };
    return anadirRegistro(almacen, reloj, firmantes, comprobar,
                          [&](const DatosCadena& d, const auto& u, const std::string& fecha) {
                              return altaNueva(d, u, alta, fecha);
                          });
}

Anadido anadirAnulacion(AlmacenCadena& almacen, const Anulacion& anulacion, const Reloj& reloj,
                        const ObtenerFirmante& firmantes) {
    validarAnulacion(anulacion);
    const IdFactura& id = anulacion.idFactura;
    const bool sinRegistroPrevio = anulacion.sinRegistroPrevio.value_or("N") == "S";
    const auto comprobar = [&](Transaccion& t) {
        comprobarEmisor(t, "IDEmisorFacturaAnulada", id.idEmisorFactura);
        if (!sinRegistroPrevio &&
            !t.ultimoDeFactura(id.idEmisorFactura, id.numSerieFactura, id.fechaExpedicionFactura))
            throw ErrorCampo("NumSerieFacturaAnulada",
                             "la factura " + id.numSerieFactura + " de " +
                                 id.fechaExpedicionFactura +
                                 " no está en esta cadena; si se emitió fuera de ella, anúlela "
                                 "con SinRegistroPrevio «S».");
    };
    return anadirRegistro(almacen, reloj, firmantes, comprobar,
                          [&](const DatosCadena& d, const auto& u, const std::string& fecha) {
                              return anulacionNueva(d, u, anulacion, fecha);
                          });
}

Remesa prepararRemesa(AlmacenCadena& almacen, std::int64_t desde) {
    const DatosCadena datos = almacen.datos();
    if (datos.nombreEmisor.empty())
        throw ErrorAlmacen("La cadena no tiene todavía ninguna alta: falta el nombre del obligado "
                           "para la cabecera de la remesa.");
    std::vector<std::string> xmls;
    Remesa r;
    const std::int64_t primero = desde < 1 ? 1 : desde;
    const std::int64_t maximo = static_cast<std::int64_t>(MaximoRemesa);
    const std::int64_t hasta =
        primero > HastaElFinal - maximo ? HastaElFinal : primero + maximo - 1;
    almacen.recorrer(primero, hasta, true, [&](const VistaRegistro& c) {
        if (xmls.size() == MaximoRemesa)
            return false;
        if (xmls.empty())
            r.primero = c.numero;
        r.ultimo = c.numero;
        xmls.emplace_back(c.xml);
        return true;
    });
    if (xmls.empty())
        throw ErrorAlmacen("No hay registros desde el nº " + std::to_string(desde) + ".");
    std::vector<std::string_view> vistas(xmls.begin(), xmls.end());
    r.xml = xmlRemesa(datos.nombreEmisor, datos.nifEmisor, vistas);
    r.quedan = almacen.cuantos() - r.ultimo;
    return r;
}

} // namespace morvelin::verifactu
