#include "verifactu/xml.h"

#include "verifactu/huella.h"

#include <libxml/xmlwriter.h>
#include <pugixml.hpp>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace morvelin::verifactu {

namespace {

const auto* X(const char* s) {
    return reinterpret_cast<const xmlChar*>(s);
}

// Un escritor de libxml2 sobre un búfer en memoria. Sin sangrado: los bytes escritos son los
// que se guardan y se envían.
class Escritor {
public:
    Escritor()
        : buffer_(xmlBufferCreate(), xmlBufferFree),
          w_(xmlNewTextWriterMemory(buffer_.get(), 0), xmlFreeTextWriter) {
        if (!buffer_ || !w_)
            throw std::bad_alloc();
    }

    void documento() { comprobar(xmlTextWriterStartDocument(w_.get(), "1.0", "UTF-8", nullptr)); }

    void abrir(const char* prefijo, const char* nombre, const char* espacio = nullptr) {
        comprobar(xmlTextWriterStartElementNS(w_.get(), X(prefijo), X(nombre), X(espacio)));
    }
    void abrir(const char* nombre) { abrir("sf", nombre); }
    void cerrar() { comprobar(xmlTextWriterEndElement(w_.get())); }

    void elemento(const char* nombre, const std::string& valor, const char* prefijo = "sf") {
        comprobar(xmlTextWriterWriteElementNS(w_.get(), X(prefijo), X(nombre), nullptr,
                                              X(valor.c_str())));
    }
    void elemento(const char* nombre, const char* valor) { elemento(nombre, std::string(valor)); }
    void elemento(const char* nombre, const Opcional& valor) {
        if (valor)
            elemento(nombre, *valor);
    }
    void atributoEspacio(const char* prefijo, const char* espacio) {
        comprobar(
            xmlTextWriterWriteAttributeNS(w_.get(), X("xmlns"), X(prefijo), nullptr, X(espacio)));
    }
    void crudo(std::string_view bytes) {
        comprobar(xmlTextWriterWriteRawLen(w_.get(), X(std::string(bytes).c_str()),
                                           static_cast<int>(bytes.size())));
    }

    std::string terminar() {
        comprobar(xmlTextWriterEndDocument(w_.get()));
        comprobar(xmlTextWriterFlush(w_.get()));
        const auto* contenido = xmlBufferContent(buffer_.get());
        return std::string(reinterpret_cast<const char*>(contenido),
                           static_cast<std::size_t>(xmlBufferLength(buffer_.get())));
    }

private:
    static void comprobar(int r) {
        if (r < 0)
            throw std::runtime_error("no se puede escribir el XML del registro");
    }
    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer_;
    std::unique_ptr<xmlTextWriter, decltype(&xmlFreeTextWriter)> w_;
};

void idFactura(Escritor& e, const char* nombre, const IdFactura& id) {
    e.abrir(nombre);
    e.elemento("IDEmisorFactura", id.idEmisorFactura);
    e.elemento("NumSerieFactura", id.numSerieFactura);
    e.elemento("FechaExpedicionFactura", id.fechaExpedicionFactura);
    e.cerrar();
}

void persona(Escritor& e, const char* nombre, const Persona& p) {
    e.abrir(nombre);
    e.elemento("NombreRazon", p.nombreRazon);
    if (p.nif) {
        e.elemento("NIF", *p.nif);
    } else if (p.idOtro) {
        e.abrir("IDOtro");
        e.elemento("CodigoPais", p.idOtro->codigoPais);
        e.elemento("IDType", p.idOtro->idType);
        e.elemento("ID", p.idOtro->id);
        e.cerrar();
    }
    e.cerrar();
}

void encadenamiento(Escritor& e, const DatosSistema& s) {
    e.abrir("Encadenamiento");
    if (s.anterior) {
        e.abrir("RegistroAnterior");
        e.elemento("IDEmisorFactura", s.anterior->idEmisorFactura);
        e.elemento("NumSerieFactura", s.anterior->numSerieFactura);
        e.elemento("FechaExpedicionFactura", s.anterior->fechaExpedicionFactura);
        e.elemento("Huella", s.anterior->huella);
        e.cerrar();
    } else {
        e.elemento("PrimerRegistro", "S");
    }
    e.cerrar();
}

void sistemaInformatico(Escritor& e, const SistemaInformatico& s) {
    e.abrir("SistemaInformatico");
    e.elemento("NombreRazon", s.nombreRazon);
    e.elemento("NIF", s.nif);
    e.elemento("NombreSistemaInformatico", s.nombreSistemaInformatico);
    e.elemento("IdSistemaInformatico", s.idSistemaInformatico);
    e.elemento("Version", s.version);
    e.elemento("NumeroInstalacion", s.numeroInstalacion);
    e.elemento("TipoUsoPosibleSoloVerifactu", s.tipoUsoPosibleSoloVerifactu);
    e.elemento("TipoUsoPosibleMultiOT", s.tipoUsoPosibleMultiOT);
    e.elemento("IndicadorMultiplesOT", s.indicadorMultiplesOT);
    e.cerrar();
}

// El cierre común de los dos registros.
void finRegistro(Escritor& e, const DatosSistema& s) {
    encadenamiento(e, s);
    sistemaInformatico(e, s.sistema);
    e.elemento("FechaHoraHusoGenRegistro", s.fechaHoraHusoGenRegistro);
}

void listaFacturas(Escritor& e, const char* grupo, const char* nombre,
                   const std::optional<std::vector<IdFactura>>& l) {
    if (!l)
        return;
    e.abrir(grupo);
    for (const auto& f : *l)
        idFactura(e, nombre, f);
    e.cerrar();
}

} // namespace

std::string xmlAlta(const Alta& a, const DatosSistema& s) {
    Escritor e;
    e.abrir("sf", "RegistroAlta", EspacioSuministroInformacion);
    e.elemento("IDVersion", "1.0");
    idFactura(e, "IDFactura", a.idFactura);
    e.elemento("RefExterna", a.refExterna);
    e.elemento("NombreRazonEmisor", a.nombreRazonEmisor);
    e.elemento("Subsanacion", a.subsanacion);
    e.elemento("RechazoPrevio", a.rechazoPrevio);
    e.elemento("TipoFactura", a.tipoFactura);
    e.elemento("TipoRectificativa", a.tipoRectificativa);
    listaFacturas(e, "FacturasRectificadas", "IDFacturaRectificada", a.facturasRectificadas);
    listaFacturas(e, "FacturasSustituidas", "IDFacturaSustituida", a.facturasSustituidas);
    if (a.importeRectificacion) {
        e.abrir("ImporteRectificacion");
        e.elemento("BaseRectificada", a.importeRectificacion->baseRectificada);
        e.elemento("CuotaRectificada", a.importeRectificacion->cuotaRectificada);
        e.elemento("CuotaRecargoRectificado", a.importeRectificacion->cuotaRecargoRectificado);
        e.cerrar();
    }
    e.elemento("FechaOperacion", a.fechaOperacion);
    e.elemento("DescripcionOperacion", a.descripcionOperacion);
    e.elemento("FacturaSimplificadaArt7273", a.facturaSimplificadaArt7273);
    e.elemento("FacturaSinIdentifDestinatarioArt61d", a.facturaSinIdentifDestinatarioArt61d);
    e.elemento("Macrodato", a.macrodato);
    e.elemento("EmitidaPorTerceroODestinatario", a.emitidaPorTerceroODestinatario);
    if (a.tercero)
        persona(e, "Tercero", *a.tercero);
    if (a.destinatarios) {
        e.abrir("Destinatarios");
        for (const auto& p : *a.destinatarios)
            persona(e, "IDDestinatario", p);
        e.cerrar();
    }
    e.elemento("Cupon", a.cupon);
    e.abrir("Desglose");
    for (const auto& d : a.desglose) {
        e.abrir("DetalleDesglose");
        e.elemento("Impuesto", d.impuesto);
        e.elemento("ClaveRegimen", d.claveRegimen);
        e.elemento("CalificacionOperacion", d.calificacionOperacion);
        e.elemento("OperacionExenta", d.operacionExenta);
        e.elemento("TipoImpositivo", d.tipoImpositivo);
        e.elemento("BaseImponibleOimporteNoSujeto", d.baseImponibleOimporteNoSujeto);
        e.elemento("BaseImponibleACoste", d.baseImponibleACoste);
        e.elemento("CuotaRepercutida", d.cuotaRepercutida);
        e.elemento("TipoRecargoEquivalencia", d.tipoRecargoEquivalencia);
        e.elemento("CuotaRecargoEquivalencia", d.cuotaRecargoEquivalencia);
        e.cerrar();
    }
    e.cerrar();
    e.elemento("CuotaTotal", a.cuotaTotal);
    e.elemento("ImporteTotal", a.importeTotal);
    finRegistro(e, s);
    e.elemento("NumRegistroAcuerdoFacturacion", a.numRegistroAcuerdoFacturacion);
    e.elemento("IdAcuerdoSistemaInformatico", a.idAcuerdoSistemaInformatico);
    e.elemento("TipoHuella", "01");
    e.elemento("Huella", s.huella);
    e.cerrar();
    return e.terminar();
}

std::string xmlAnulacion(const Anulacion& a, const DatosSistema& s) {
    Escritor e;
    e.abrir("sf", "RegistroAnulacion", EspacioSuministroInformacion);
    e.elemento("IDVersion", "1.0");
    e.abrir("IDFactura");
    e.elemento("IDEmisorFacturaAnulada", a.idFactura.idEmisorFactura);
    e.elemento("NumSerieFacturaAnulada", a.idFactura.numSerieFactura);
    e.elemento("FechaExpedicionFacturaAnulada", a.idFactura.fechaExpedicionFactura);
    e.cerrar();
    e.elemento("RefExterna", a.refExterna);
    e.elemento("SinRegistroPrevio", a.sinRegistroPrevio);
    e.elemento("RechazoPrevio", a.rechazoPrevio);
    e.elemento("GeneradoPor", a.generadoPor);
    if (a.generador)
        persona(e, "Generador", *a.generador);
    finRegistro(e, s);
    e.elemento("TipoHuella", "01");
    e.elemento("Huella", s.huella);
    e.cerrar();
    return e.terminar();
}

namespace {

void nodo(Escritor& e, const NodoXml& n) {
    if (n.hijos.empty()) {
        e.elemento(n.nombre.c_str(), n.texto);
        return;
    }
    e.abrir(n.nombre.c_str());
    for (const auto& h : n.hijos)
        nodo(e, h);
    e.cerrar();
}

} // namespace

std::string xmlEvento(const DatosEvento& d) {
    Escritor e;
    e.abrir("sf", "RegistroEvento", EspacioEventos);
    e.elemento("IDVersion", "1.0");
    e.abrir("Evento");
    sistemaInformatico(e, d.sistema);
    e.abrir("ObligadoEmision");
    e.elemento("NombreRazon", d.nombreObligado);
    e.elemento("NIF", d.nifObligado);
    e.cerrar();
    e.elemento("FechaHoraHusoGenEvento", d.fechaHoraHusoGenEvento);
    e.elemento("TipoEvento", d.tipoEvento);
    if (d.datosPropios) {
        e.abrir("DatosPropiosEvento");
        nodo(e, *d.datosPropios);
        e.cerrar();
    }
    e.abrir("Encadenamiento");
    if (d.anterior) {
        e.abrir("EventoAnterior");
        e.elemento("TipoEvento", d.anterior->tipoEvento);
        e.elemento("FechaHoraHusoGenEvento", d.anterior->fechaHoraHusoGenEvento);
        e.elemento("HuellaEvento", d.anterior->huellaEvento);
        e.cerrar();
    } else {
        e.elemento("PrimerEvento", "S");
    }
    e.cerrar();
    e.elemento("TipoHuella", "01");
    e.elemento("HuellaEvento", d.huella);
    e.cerrar();
    e.cerrar();
    return e.terminar();
}

namespace {

void remesa(Escritor& e, const std::string& nombreObligado, const std::string& nifObligado,
            const std::vector<std::string_view>& registros) {
    e.abrir("sfLR", "RegFactuSistemaFacturacion", EspacioSuministroLR);
    e.atributoEspacio("sf", EspacioSuministroInformacion);
    e.abrir("sfLR", "Cabecera");
    e.abrir("ObligadoEmision");
    e.elemento("NombreRazon", nombreObligado);
    e.elemento("NIF", nifObligado);
    e.cerrar();
    e.cerrar();
    for (auto r : registros) {
        e.abrir("sfLR", "RegistroFactura");
        e.crudo(r);
        e.cerrar();
    }
    e.cerrar();
}

} // namespace

std::string xmlRemesa(const std::string& nombreObligado, const std::string& nifObligado,
                      const std::vector<std::string_view>& registros) {
    Escritor e;
    e.documento();
    remesa(e, nombreObligado, nifObligado, registros);
    return e.terminar();
}

std::string xmlPeticionSoap(const std::string& nombreObligado, const std::string& nifObligado,
                            const std::vector<std::string_view>& registros) {
    Escritor e;
    e.documento();
    e.abrir("soapenv", "Envelope", EspacioSoap);
    e.abrir("soapenv", "Body");
    remesa(e, nombreObligado, nifObligado, registros);
    e.cerrar();
    e.cerrar();
    return e.terminar();
}

namespace {

// El nombre del elemento sin su prefijo, recorrido una sola vez.
std::string_view nombreLocal(pugi::xml_node n) {
    const char* inicio = n.name();
    const char* p = inicio;
    bool conPrefijo = false;
    for (; *p != '\0'; ++p)
        if (*p == ':' && !conPrefijo) {
            inicio = p + 1;
            conPrefijo = true;
        }
    return std::string_view(inicio, static_cast<std::size_t>(p - inicio));
}

// Los hijos elemento de `n`, con su nombre local, en una sola pasada.
template <class Visitar> void hijos(pugi::xml_node n, Visitar&& visitar) {
    for (auto h = n.first_child(); h; h = h.next_sibling())
        if (h.type() == pugi::node_element)
            visitar(nombreLocal(h), h);
}

// Toma los textos de los elementos que se leen; si uno está dos veces, la lectura no vale.
class Lector {
public:
    void tomar(std::string_view& campo, pugi::xml_node n) {
        repetido_ = repetido_ || campo.data() != nullptr;
        campo = recortar(n.child_value());
        if (campo.data() == nullptr)
            campo = std::string_view(n.child_value(), 0);
    }
    void marcar(bool& visto) {
        repetido_ = repetido_ || visto;
        visto = true;
    }
    bool repetido() const { return repetido_; }

private:
    bool repetido_ = false;
};

std::optional<LecturaRegistro> leer(const pugi::xml_document& doc) {
    const auto raiz = doc.document_element();
    const std::string_view tipo = nombreLocal(raiz);
    LecturaRegistro l;
    if (tipo == "RegistroAlta")
        l.alta = true;
    else if (tipo != "RegistroAnulacion")
        return std::nullopt;
    Lector lector;
    bool idFactura = false, encadenamiento = false, anterior = false;
    const auto leerId = [&](std::string_view nombre, pugi::xml_node n) {
        if (nombre == (l.alta ? "IDEmisorFactura" : "IDEmisorFacturaAnulada"))
            lector.tomar(l.idEmisor, n);
        else if (nombre == (l.alta ? "NumSerieFactura" : "NumSerieFacturaAnulada"))
            lector.tomar(l.numSerie, n);
        else if (nombre == (l.alta ? "FechaExpedicionFactura" : "FechaExpedicionFacturaAnulada"))
            lector.tomar(l.fechaExpedicion, n);
    };
    const auto leerAnterior = [&](std::string_view nombre, pugi::xml_node n) {
        if (nombre == "IDEmisorFactura")
            lector.tomar(l.anterior.idEmisorFactura, n);
        else if (nombre == "NumSerieFactura")
            lector.tomar(l.anterior.numSerieFactura, n);
        else if (nombre == "FechaExpedicionFactura")
            lector.tomar(l.anterior.fechaExpedicionFactura, n);
        else if (nombre == "Huella")
            lector.tomar(l.anterior.huella, n);
    };
    std::string_view primero;
    const auto leerEncadenamiento = [&](std::string_view nombre, pugi::xml_node n) {
        if (nombre == "PrimerRegistro") {
            lector.tomar(primero, n);
        } else if (nombre == "RegistroAnterior") {
            lector.marcar(anterior);
            hijos(n, leerAnterior);
        }
    };
    hijos(raiz, [&](std::string_view nombre, pugi::xml_node n) {
        if (nombre == "IDFactura") {
            lector.marcar(idFactura);
            hijos(n, leerId);
        } else if (nombre == "Encadenamiento") {
            lector.marcar(encadenamiento);
            hijos(n, leerEncadenamiento);
        } else if (nombre == "FechaHoraHusoGenRegistro") {
            lector.tomar(l.fechaHoraHusoGenRegistro, n);
        } else if (nombre == "TipoHuella") {
            lector.tomar(l.tipoHuella, n);
        } else if (nombre == "Huella") {
            lector.tomar(l.huella, n);
        } else if (l.alta) {
            if (nombre == "TipoFactura")
                lector.tomar(l.tipoFactura, n);
            else if (nombre == "CuotaTotal")
                lector.tomar(l.cuotaTotal, n);
            else if (nombre == "ImporteTotal")
                lector.tomar(l.importeTotal, n);
        }
    });
    if (lector.repetido())
        return std::nullopt;
    l.primerRegistro = primero == "S";
    return l;
}

} // namespace

std::optional<LecturaRegistro> leerRegistro(char* xml, std::size_t largo) {
    // Un documento por hilo, que conserva su memoria de un registro al siguiente. La lectura
    // es sobre los bytes mismos: los textos leídos apuntan a ellos, no al documento.
    thread_local pugi::xml_document doc;
    if (!doc.load_buffer_inplace(xml, largo, pugi::parse_default, pugi::encoding_utf8))
        return std::nullopt;
    return leer(doc);
}

std::optional<LecturaEvento> leerEvento(std::string& xml) {
    thread_local pugi::xml_document doc;
    if (!doc.load_buffer_inplace(xml.data(), xml.size(), pugi::parse_default,
                                 pugi::encoding_utf8) ||
        nombreLocal(doc.document_element()) != "RegistroEvento")
        return std::nullopt;
    LecturaEvento l;
    Lector lector;
    bool evento = false, sistema = false, obligado = false, anterior = false;
    std::string_view primero;
    hijos(doc.document_element(), [&](std::string_view nombre, pugi::xml_node n) {
        if (nombre != "Evento")
            return;
        lector.marcar(evento);
        hijos(n, [&](std::string_view nombre, pugi::xml_node n) {
            if (nombre == "SistemaInformatico") {
                lector.marcar(sistema);
                hijos(n, [&](std::string_view nombre, pugi::xml_node n) {
                    if (nombre == "NIF")
                        lector.tomar(l.nifSistema, n);
                    else if (nombre == "IDOtro")
                        hijos(n, [&](std::string_view nombre, pugi::xml_node n) {
                            if (nombre == "ID")
                                lector.tomar(l.idSistema, n);
                        });
                    else if (nombre == "IdSistemaInformatico")
                        lector.tomar(l.idSistemaInformatico, n);
                    else if (nombre == "Version")
                        lector.tomar(l.version, n);
                    else if (nombre == "NumeroInstalacion")
                        lector.tomar(l.numeroInstalacion, n);
                });
            } else if (nombre == "ObligadoEmision") {
                lector.marcar(obligado);
                hijos(n, [&](std::string_view nombre, pugi::xml_node n) {
                    if (nombre == "NIF")
                        lector.tomar(l.nifObligado, n);
                });
            } else if (nombre == "FechaHoraHusoGenEvento") {
                lector.tomar(l.fechaHoraHusoGenEvento, n);
            } else if (nombre == "TipoEvento") {
                lector.tomar(l.tipoEvento, n);
            } else if (nombre == "Encadenamiento") {
                hijos(n, [&](std::string_view nombre, pugi::xml_node n) {
                    if (nombre == "PrimerEvento") {
                        lector.tomar(primero, n);
                    } else if (nombre == "EventoAnterior") {
                        lector.marcar(anterior);
                        hijos(n, [&](std::string_view nombre, pugi::xml_node n) {
                            if (nombre == "TipoEvento")
                                lector.tomar(l.tipoEventoAnterior, n);
                            else if (nombre == "FechaHoraHusoGenEvento")
                                lector.tomar(l.fechaEventoAnterior, n);
                            else if (nombre == "HuellaEvento")
                                lector.tomar(l.huellaEventoAnterior, n);
                        });
                    }
                });
            } else if (nombre == "TipoHuella") {
                lector.tomar(l.tipoHuella, n);
            } else if (nombre == "HuellaEvento") {
                lector.tomar(l.huella, n);
            }
        });
    });
    if (lector.repetido() || !evento)
        return std::nullopt;
    l.primerEvento = primero == "S";
    return l;
}

std::string huellaDe(const LecturaEvento& e) {
    return calcularHuella(CamposHuellaEvento{
        e.nifSistema, e.idSistema, e.idSistemaInformatico, e.version, e.numeroInstalacion,
        e.nifObligado, e.tipoEvento, e.huellaEventoAnterior, e.fechaHoraHusoGenEvento});
}

std::string huellaDe(const LecturaRegistro& r) {
    if (r.alta)
        return calcularHuella(CamposHuellaAlta{r.idEmisor, r.numSerie, r.fechaExpedicion,
                                               r.tipoFactura, r.cuotaTotal, r.importeTotal,
                                               r.anterior.huella, r.fechaHoraHusoGenRegistro});
    return calcularHuella(CamposHuellaAnulacion{r.idEmisor, r.numSerie, r.fechaExpedicion,
                                                r.anterior.huella, r.fechaHoraHusoGenRegistro});
}

} // namespace morvelin::verifactu
