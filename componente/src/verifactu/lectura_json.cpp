// Lectura de las altas y anulaciones en JSON: un objeto con los nombres de los elementos del
// esquema. IDFactura va plano (sus hijos en el objeto principal); las agrupaciones con
// repeticiones son listas de objetos; los importes y demás valores, textos.
#include "infraestructura/codificacion.h"
#include "verifactu/huella.h"
#include "verifactu/registro.h"

#include <nlohmann/json.hpp>

#include <set>

namespace morvelin::verifactu {

namespace {

using nlohmann::json;

class Objeto {
public:
    Objeto(const json& j, std::string ruta) : j_(j), ruta_(std::move(ruta)) {
        if (!j_.is_object())
            throw ErrorCampo(nombre(""), "ha de ser un objeto JSON ({...}).");
    }

    std::string nombre(const std::string& clave) const {
        if (ruta_.empty())
            return clave;
        return clave.empty() ? ruta_ : ruta_ + "." + clave;
    }

    const json* valor(const std::string& clave) {
        usados_.insert(clave);
        const auto i = j_.find(clave);
        if (i == j_.end() || i->is_null())
            return nullptr;
        return &*i;
    }

    Opcional texto(const std::string& clave) {
        const json* v = valor(clave);
        if (v == nullptr)
            return std::nullopt;
        if (!v->is_string())
            throw ErrorCampo(nombre(clave), "ha de ser un texto entre comillas (también los "
                                            "importes: \"121.00\").");
        return std::string(recortar(v->get_ref<const std::string&>()));
    }

    std::string obligatorio(const std::string& clave) {
        auto t = texto(clave);
        if (!t)
            throw ErrorCampo(nombre(clave), "falta (es obligatorio).");
        return *t;
    }

    // Una lista de objetos: cada uno pasa por `leer` con su posición (desde 1).
    template <class T, class Leer>
    std::optional<std::vector<T>> lista(const std::string& clave, Leer leer) {
        const json* v = valor(clave);
        if (v == nullptr)
            return std::nullopt;
        if (!v->is_array())
            throw ErrorCampo(nombre(clave), "ha de ser una lista ([...]).");
        std::vector<T> r;
        std::size_t n = 0;
        for (const auto& e : *v) {
            ++n;
            Objeto o(e, nombre(clave) + "[" + std::to_string(n) + "]");
            r.push_back(leer(o));
            o.terminar();
        }
        return r;
    }

    template <class T, class Leer> std::optional<T> objeto(const std::string& clave, Leer leer) {
        const json* v = valor(clave);
        if (v == nullptr)
            return std::nullopt;
        Objeto o(*v, nombre(clave));
        T r = leer(o);
        o.terminar();
        return r;
    }

    // Una clave que no es de este objeto es una errata o un dato que se perdería: se rechaza.
    void terminar() const {
        for (const auto& [clave, v] : j_.items())
            if (usados_.count(clave) == 0)
                throw ErrorCampo(nombre(textoVisible(clave)),
                                 "no es un campo de este registro (revise el "
                                 "nombre: mayúsculas y minúsculas cuentan).");
    }

private:
    const json& j_;
    std::string ruta_;
    std::set<std::string> usados_;
};

json analizar(const std::string& texto) {
    try {
        return json::parse(texto);
    } catch (const json::parse_error& e) {
        throw ErrorCampo("JSON",
                         "el texto no es JSON válido (posición " + std::to_string(e.byte) + ").");
    }
}

IdFactura leerIdFactura(Objeto& o) {
    IdFactura id;
    id.idEmisorFactura = o.obligatorio("IDEmisorFactura");
    id.numSerieFactura = o.obligatorio("NumSerieFactura");
    id.fechaExpedicionFactura = o.obligatorio("FechaExpedicionFactura");
    return id;
}

Persona leerPersona(Objeto& o) {
    Persona p;
    p.nombreRazon = o.obligatorio("NombreRazon");
    p.nif = o.texto("NIF");
    p.idOtro = o.objeto<IdOtro>("IDOtro", [](Objeto& x) {
        IdOtro i;
        i.codigoPais = x.texto("CodigoPais");
        i.idType = x.obligatorio("IDType");
        i.id = x.obligatorio("ID");
        return i;
    });
    return p;
}

DetalleDesglose leerDetalle(Objeto& o) {
    DetalleDesglose d;
    d.impuesto = o.texto("Impuesto");
    d.claveRegimen = o.texto("ClaveRegimen");
    d.calificacionOperacion = o.texto("CalificacionOperacion");
    d.operacionExenta = o.texto("OperacionExenta");
    d.tipoImpositivo = o.texto("TipoImpositivo");
    d.baseImponibleOimporteNoSujeto = o.obligatorio("BaseImponibleOimporteNoSujeto");
    d.baseImponibleACoste = o.texto("BaseImponibleACoste");
    d.cuotaRepercutida = o.texto("CuotaRepercutida");
    d.tipoRecargoEquivalencia = o.texto("TipoRecargoEquivalencia");
    d.cuotaRecargoEquivalencia = o.texto("CuotaRecargoEquivalencia");
    return d;
}

} // namespace

Alta leerAltaJson(const std::string& texto) {
    const json j = analizar(texto);
    Objeto o(j, "");
    Alta a;
    a.idFactura = leerIdFactura(o);
    a.refExterna = o.texto("RefExterna");
    a.nombreRazonEmisor = o.obligatorio("NombreRazonEmisor");
    a.subsanacion = o.texto("Subsanacion");
    a.rechazoPrevio = o.texto("RechazoPrevio");
    a.tipoFactura = o.obligatorio("TipoFactura");
    a.tipoRectificativa = o.texto("TipoRectificativa");
    a.facturasRectificadas = o.lista<IdFactura>("FacturasRectificadas", leerIdFactura);
    a.facturasSustituidas = o.lista<IdFactura>("FacturasSustituidas", leerIdFactura);
    a.importeRectificacion = o.objeto<ImporteRectificacion>("ImporteRectificacion", [](Objeto& x) {
        ImporteRectificacion i;
        i.baseRectificada = x.obligatorio("BaseRectificada");
        i.cuotaRectificada = x.obligatorio("CuotaRectificada");
        i.cuotaRecargoRectificado = x.texto("CuotaRecargoRectificado");
        return i;
    });
    a.fechaOperacion = o.texto("FechaOperacion");
    a.descripcionOperacion = o.obligatorio("DescripcionOperacion");
    a.facturaSimplificadaArt7273 = o.texto("FacturaSimplificadaArt7273");
    a.facturaSinIdentifDestinatarioArt61d = o.texto("FacturaSinIdentifDestinatarioArt61d");
    a.macrodato = o.texto("Macrodato");
    a.emitidaPorTerceroODestinatario = o.texto("EmitidaPorTerceroODestinatario");
    a.tercero = o.objeto<Persona>("Tercero", leerPersona);
    a.destinatarios = o.lista<Persona>("Destinatarios", leerPersona);
    a.cupon = o.texto("Cupon");
    auto desglose = o.lista<DetalleDesglose>("Desglose", leerDetalle);
    if (!desglose)
        throw ErrorCampo("Desglose", "falta (es obligatorio: una lista de 1 a 12 líneas).");
    a.desglose = std::move(*desglose);
    a.cuotaTotal = o.obligatorio("CuotaTotal");
    a.importeTotal = o.obligatorio("ImporteTotal");
    a.numRegistroAcuerdoFacturacion = o.texto("NumRegistroAcuerdoFacturacion");
    a.idAcuerdoSistemaInformatico = o.texto("IdAcuerdoSistemaInformatico");
    o.terminar();
    return a;
}

Anulacion leerAnulacionJson(const std::string& texto) {
    const json j = analizar(texto);
    Objeto o(j, "");
    Anulacion a;
    a.idFactura.idEmisorFactura = o.obligatorio("IDEmisorFacturaAnulada");
    a.idFactura.numSerieFactura = o.obligatorio("NumSerieFacturaAnulada");
    a.idFactura.fechaExpedicionFactura = o.obligatorio("FechaExpedicionFacturaAnulada");
    a.refExterna = o.texto("RefExterna");
    a.sinRegistroPrevio = o.texto("SinRegistroPrevio");
    a.rechazoPrevio = o.texto("RechazoPrevio");
    a.generadoPor = o.texto("GeneradoPor");
    a.generador = o.objeto<Persona>("Generador", leerPersona);
    o.terminar();
    return a;
}

} // namespace morvelin::verifactu
