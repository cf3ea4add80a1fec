#include "verifactu/eventos.h"

#include "verifactu/cadena.h"
#include "verifactu/firma.h"
#include "verifactu/formatos.h"
#include "verifactu/huella.h"

#include <algorithm>

namespace morvelin::verifactu {

namespace {

using namespace tipo_anomalia;

NodoXml hoja(std::string nombre, std::string texto) {
    return {std::move(nombre), std::move(texto), {}};
}

// Un número de a lo sumo `cifras` cifras; sin valor si no cabe (el esquema no deja escribirlo).
std::optional<NodoXml> cuenta(const char* nombre, std::int64_t n, int cifras) {
    std::int64_t tope = 1;
    for (int i = 0; i < cifras; ++i)
        tope *= 10;
    if (n < 0 || n >= tope)
        return std::nullopt;
    return hoja(nombre, std::to_string(n));
}

// Un importe en céntimos como lo escribe el esquema: «-12.30».
std::string importe(std::int64_t c) {
    const std::int64_t a = c < 0 ? -c : c;
    const std::string centimos = std::to_string(a % 100);
    return (c < 0 ? "-" : "") + std::to_string(a / 100) + "." + (centimos.size() == 1 ? "0" : "") +
           centimos;
}

// Los primeros `maximo` caracteres (no bytes) de un texto UTF-8.
std::string recortarCaracteres(const std::string& t, std::size_t maximo) {
    std::size_t caracteres = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80 && caracteres++ == maximo)
            return t.substr(0, i);
    }
    return t;
}

// La anomalía encontrada: su clase y lo que se sabe de ella, en 100 caracteres a lo sumo.
NodoXml deteccion(const char* nombre, const std::string& tipo, const std::string& otrosDatos) {
    return {nombre,
            {},
            {hoja("TipoAnomalia", tipo),
             hoja("OtrosDatosAnomalia", recortarCaracteres(otrosDatos, 100))}};
}

NodoXml idFactura(const char* nombre, const RegistroCadena& r, bool conHuella) {
    NodoXml n{nombre, {}, {}};
    n.hijos = {hoja("IDEmisorFactura", r.idEmisor), hoja("NumSerieFactura", r.numSerie),
               hoja("FechaExpedicionFactura", r.fechaExpedicion)};
    if (conHuella)
        n.hijos.push_back(hoja("Huella", r.huella));
    return n;
}

// Los registros de un periodo: el primero, el último, cuántos de cada clase y las sumas de las
// altas (en céntimos).
struct Periodo {
    std::optional<RegistroCadena> primero, ultimo;
    std::int64_t altas = 0, anulaciones = 0, cuota = 0, total = 0;
};

Periodo periodo(Transaccion& t, std::int64_t desde, std::int64_t hasta) {
    Periodo p;
    std::string bytes;
    t.recorrerRegistros(desde, hasta, true, [&](const VistaRegistro& v) {
        RegistroCadena r = copia(VistaRegistro{v.numero,
                                               v.alta,
                                               v.idEmisor,
                                               v.numSerie,
                                               v.fechaExpedicion,
                                               v.huella,
                                               v.huellaAnterior,
                                               v.fechaHoraHusoGenRegistro,
                                               {}});
        if (!p.primero)
            p.primero = r;
        p.ultimo = std::move(r);
        if (!v.alta) {
            ++p.anulaciones;
            return true;
        }
        ++p.altas;
        bytes.assign(v.xml);
        if (const auto l = leerRegistro(bytes)) {
            p.cuota += centesimas(l->cuotaTotal);
            p.total += centesimas(l->importeTotal);
        }
        return true;
    });
    return p;
}

// Lo que piden los datos del lanzamiento de una detección de anomalías: si se ha hecho cada
// proceso y sobre cuántos.
NodoXml lanzamiento(const char* nombre, const char* sufijo, const char* procesados, int cifras,
                    std::int64_t n, bool firmas) {
    NodoXml l{nombre, {}, {}};
    const auto proceso = [&](const char* que, const char* cuantos, bool hecho) {
        l.hijos.push_back(
            hoja(std::string("RealizadoProcesoSobre") + que + sufijo, hecho ? "S" : "N"));
        if (hecho)
            if (auto c = cuenta((std::string(procesados) + cuantos).c_str(), n, cifras))
                l.hijos.push_back(std::move(*c));
    };
    proceso("IntegridadHuellas", "ProcesadosSobreIntegridadHuellas", true);
    proceso("IntegridadFirmas", "ProcesadosSobreIntegridadFirmas", firmas);
    proceso("TrazabilidadCadena", "ProcesadosSobreTrazabilidadCadena", true);
    proceso("TrazabilidadFechas", "ProcesadosSobreTrazabilidadFechas", false);
    return l;
}

std::optional<std::int64_t> hora(const std::string& fechaHoraHuso) {
    return leerFechaHoraHuso(fechaHoraHuso);
}

} // namespace

EventoCadena anotarEvento(Transaccion& t, const xades::Firmante& firmante, const char* tipo,
                          std::optional<NodoXml> datosPropios, std::int64_t ahora) {
    const auto u = t.ultimoEvento();
    DatosEvento d;
    d.sistema = sistemaInformatico(t.cadena().numeroInstalacion);
    d.nombreObligado = t.cadena().nombreEmisor;
    d.nifObligado = t.cadena().nifEmisor;
    d.fechaHoraHusoGenEvento = fechaHoraHuso(ahora);
    d.tipoEvento = tipo;
    d.datosPropios = std::move(datosPropios);
    if (u)
        d.anterior = EventoAnterior{u->tipo, u->fechaHoraHusoGenEvento, u->huella};
    d.huella = calcularHuella(CamposHuellaEvento{d.sistema.nif,
                                                 {},
                                                 d.sistema.idSistemaInformatico,
                                                 d.sistema.version,
                                                 d.sistema.numeroInstalacion,
                                                 d.nifObligado,
                                                 d.tipoEvento,
                                                 u ? u->huella : std::string(),
                                                 d.fechaHoraHusoGenEvento});
    EventoCadena e;
    e.tipo = tipo;
    e.fechaHoraHusoGenEvento = d.fechaHoraHusoGenEvento;
    e.huella = d.huella;
    e.huellaAnterior = u ? u->huella : std::string();
    e.xml = firmarEvento(xmlEvento(d), firmante, ahora);
    return t.guardarEvento(std::move(e));
}

std::optional<EventoCadena> anotarResumenSiToca(Transaccion& t, const xades::Firmante& firmante,
                                                std::int64_t ahora) {
    const auto previo = t.ultimoEvento({tipo_evento::Resumen, tipo_evento::Inicio});
    if (!previo)
        return std::nullopt;
    if (const auto desde = hora(previo->fechaHoraHusoGenEvento);
        desde && ahora - *desde < IntervaloResumen)
        return std::nullopt;
    NodoXml r{"ResumenEventos", {}, {}};
    auto tipos = t.eventosPorTipo(previo->numero);
    if (tipos.size() > 20) // el esquema admite 20 tipos; hay 11
        tipos.resize(20);
    for (const auto& [tipo, n] : tipos)
        r.hijos.push_back(
            NodoXml{"TipoEvento",
                    {},
                    {hoja("TipoEvento", tipo),
                     hoja("NumeroDeEventos", std::to_string(std::min<std::int64_t>(n, 9999)))}});
    const Periodo p = periodo(t, previo->registrosHasta + 1, HastaElFinal);
    if (p.primero) {
        r.hijos.push_back(idFactura("RegistroFacturacionInicialPeriodo", *p.primero, true));
        r.hijos.push_back(idFactura("RegistroFacturacionFinalPeriodo", *p.ultimo, true));
    }
    r.hijos.push_back(hoja("NumeroDeRegistrosFacturacionAltaGenerados",
                           std::to_string(std::min<std::int64_t>(p.altas, 999999))));
    r.hijos.push_back(hoja("SumaCuotaTotalAlta", importe(p.cuota)));
    r.hijos.push_back(hoja("SumaImporteTotalAlta", importe(p.total)));
    r.hijos.push_back(hoja("NumeroDeRegistrosFacturacionAnulacionGenerados",
                           std::to_string(std::min<std::int64_t>(p.anulaciones, 999999))));
    return anotarEvento(t, firmante, tipo_evento::Resumen, std::move(r), ahora);
}

NodoXml lanzamientoRegistros(const Comprobacion& c) {
    return lanzamiento("LanzamientoProcesoDeteccionAnomaliasRegFacturacion", "RegFacturacion",
                       "NumeroDeRegistrosFacturacion", 7, c.registros + (c.registroRoto ? 1 : 0),
                       c.conFirmas);
}

NodoXml anomaliaRegistros(const Comprobacion& c) {
    NodoXml a = deteccion("DeteccionAnomaliasRegFacturacion", c.tipoAnomalia,
                          "Registro nº " + std::to_string(c.rotoEn) + ": " + c.motivo);
    if (c.registroRoto)
        a.hijos.push_back(idFactura("RegistroFacturacionAnomalo", *c.registroRoto, false));
    return a;
}

NodoXml exportacionRegistros(Transaccion& t, std::int64_t primero, std::int64_t ultimo) {
    const Periodo p = periodo(t, primero, ultimo);
    if (!p.primero)
        throw ErrorAlmacen("No hay registros que exportar.");
    return NodoXml{
        "ExportacionRegFacturacionPeriodo",
        {},
        {hoja("FechaHoraHusoInicioPeriodoExport", p.primero->fechaHoraHusoGenRegistro),
         hoja("FechaHoraHusoFinPeriodoExport", p.ultimo->fechaHoraHusoGenRegistro),
         idFactura("RegistroFacturacionInicialPeriodo", *p.primero, true),
         idFactura("RegistroFacturacionFinalPeriodo", *p.ultimo, true),
         hoja("NumeroDeRegistrosFacturacionAltaExportados", std::to_string(p.altas)),
         hoja("SumaCuotaTotalAlta", importe(p.cuota)),
         hoja("SumaImporteTotalAlta", importe(p.total)),
         hoja("NumeroDeRegistrosFacturacionAnulacionExportados", std::to_string(p.anulaciones)),
         hoja("RegistrosFacturacionExportadosDejanDeConservarse", "N")}};
}

std::string ComprobacionEventos::texto() const {
    if (!entero)
        return "Registro de eventos roto en el evento nº " + std::to_string(rotoEn) + ": " +
               motivo + "\n";
    return "Registro de eventos entero: " + std::to_string(eventos) +
           " eventos, todos con su firma válida; huella del último: " + ultimaHuella + "\n";
}

ComprobacionEventos comprobarEventos(AlmacenCadena& almacen, const std::string& firmante,
                                     std::int64_t ahora) {
    ComprobacionEventos c;
    std::optional<EventoCadena> anterior;
    std::string bytes;
    const auto visitar = [&](const EventoCadena& e) {
        const auto romper = [&](std::int64_t numero, const char* tipo, std::string motivo,
                                bool conEvento = true) {
            c.entero = false;
            c.rotoEn = numero;
            c.tipoAnomalia = tipo;
            c.motivo = std::move(motivo);
            if (conEvento) {
                c.eventoRoto = e;
                c.eventoRoto->xml.clear();
            }
            return false;
        };
        const std::int64_t esperado = anterior ? anterior->numero + 1 : 1;
        if (e.numero != esperado)
            return romper(esperado, SinAnterior,
                          "falta (el siguiente es el nº " + std::to_string(e.numero) + ").", false);
        bytes.assign(e.xml);
        const auto l = leerEvento(bytes);
        if (!l)
            return romper(e.numero, IntegridadOtros,
                          "su XML no se puede leer o no es un registro de evento.");
        if (l->tipoEvento != e.tipo || l->fechaHoraHusoGenEvento != e.fechaHoraHusoGenEvento)
            return romper(e.numero, IntegridadOtros,
                          "el tipo o la hora de su XML no son los guardados.");
        const std::string calculada = huellaDe(*l);
        if (l->tipoHuella != "01" || calculada != l->huella)
            return romper(e.numero, IntegridadHuella,
                          "su huella no corresponde a sus datos (calculada " + calculada +
                              ", escrita " + std::string(l->huella) + ").");
        if (l->huella != e.huella)
            return romper(e.numero, IntegridadOtros,
                          "la huella de su XML no es la guardada en la cadena.");
        if (!anterior) {
            if (!l->primerEvento || !e.huellaAnterior.empty() || !l->huellaEventoAnterior.empty())
                return romper(e.numero, CadenaOtros,
                              "es el primero y no está marcado como PrimerEvento.");
        } else if (l->primerEvento) {
            return romper(e.numero, CadenaOtros,
                          "está marcado como PrimerEvento y no es el primero.");
        } else if (l->huellaEventoAnterior != anterior->huella ||
                   e.huellaAnterior != anterior->huella) {
            return romper(e.numero, HuellaAnteriorDistinta,
                          "no enlaza con la huella del evento nº " +
                              std::to_string(anterior->numero) + ".");
        } else if (l->tipoEventoAnterior != anterior->tipo ||
                   l->fechaEventoAnterior != anterior->fechaHoraHusoGenEvento) {
            return romper(e.numero, CadenaOtros,
                          "su EventoAnterior no es el evento nº " +
                              std::to_string(anterior->numero) + ".");
        }
        if (auto razon = razonFirmaEvento(e.xml, firmante, ahora); !razon.empty())
            return romper(e.numero, IntegridadFirma, std::move(razon));
        anterior = e;
        anterior->xml.clear();
        ++c.eventos;
        return true;
    };
    almacen.recorrerEventos(1, HastaElFinal, visitar);
    c.ultimaHuella = anterior ? anterior->huella : std::string();
    return c;
}

NodoXml lanzamientoEventos(const ComprobacionEventos& c) {
    return lanzamiento("LanzamientoProcesoDeteccionAnomaliasRegEvento", "RegEvento",
                       "NumeroDeRegistrosEvento", 5, c.eventos + (c.eventoRoto ? 1 : 0), true);
}

NodoXml anomaliaEventos(const ComprobacionEventos& c) {
    NodoXml a = deteccion("DeteccionAnomaliasRegEvento", c.tipoAnomalia,
                          "Evento nº " + std::to_string(c.rotoEn) + ": " + c.motivo);
    if (c.eventoRoto)
        a.hijos.push_back(
            NodoXml{"RegEventoAnomalo",
                    {},
                    {hoja("TipoEvento", c.eventoRoto->tipo),
                     hoja("FechaHoraHusoEvento", c.eventoRoto->fechaHoraHusoGenEvento),
                     hoja("HuellaEvento", c.eventoRoto->huella)}});
    return a;
}

} // namespace morvelin::verifactu
