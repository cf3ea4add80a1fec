// Validación local de las altas y anulaciones: el esquema de suministro (formatos, longitudes,
// listas, obligatoriedad) y las validaciones de negocio de la agencia que no necesitan sus
// censos ni sus registros.
#include "verifactu/registro.h"

#include <cstdlib>

namespace morvelin::verifactu {

namespace {

using Lista = std::initializer_list<std::string_view>;

const Lista SiNo = {"S", "N"};
const Fecha EntradaEnVigor{2024, 10, 28};
constexpr std::int64_t Margen = 1000; // 10,00 euros, en céntimos

bool es(const Opcional& v, std::string_view x) {
    return v && *v == x;
}

bool entre(const std::string& v, Lista l) {
    for (auto x : l)
        if (v == x)
            return true;
    return false;
}

std::string euros(std::int64_t c) {
    const bool neg = c < 0;
    c = std::llabs(c);
    std::string s =
        std::to_string(c / 100) + "," + (c % 100 < 10 ? "0" : "") + std::to_string(c % 100);
    return (neg ? "-" : "") + s;
}

Fecha comprobarFecha(const std::string& campo, const std::string& texto) {
    const auto f = leerFecha(texto);
    if (!f)
        throw ErrorCampo(campo, "«" + texto + "» no es una fecha DD-MM-AAAA válida.");
    return *f;
}

void opcionalTexto(const std::string& campo, const Opcional& v, std::size_t maximo) {
    if (v)
        comprobarTexto(campo, *v, maximo);
}

void opcionalValor(const std::string& campo, const Opcional& v, Lista l) {
    if (v)
        comprobarValor(campo, *v, l);
}

void comprobarIdFactura(const std::string& ruta, const IdFactura& id) {
    comprobarNif(ruta + "IDEmisorFactura", id.idEmisorFactura);
    comprobarTexto(ruta + "NumSerieFactura", id.numSerieFactura, 60);
    comprobarFecha(ruta + "FechaExpedicionFactura", id.fechaExpedicionFactura);
}

// Quién interviene: NIF o IDOtro, con las reglas comunes de IDOtro.
enum class Papel { Destinatario, Tercero, Generador };

void comprobarPersona(const std::string& ruta, const Persona& p, Papel papel,
                      const Fecha& fechaOperacion) {
    comprobarTexto(ruta + ".NombreRazon", p.nombreRazon, 120);
    if (p.nif.has_value() == p.idOtro.has_value())
        throw ErrorCampo(ruta, "lleva NIF o IDOtro, uno de los dos y no ambos.");
    if (p.nif) {
        comprobarNif(ruta + ".NIF", *p.nif);
        return;
    }
    const IdOtro& o = *p.idOtro;
    const std::string r = ruta + ".IDOtro";
    comprobarValor(r + ".IDType", o.idType, {"02", "03", "04", "05", "06", "07"});
    comprobarTexto(r + ".ID", o.id, 20);
    if (o.codigoPais) {
        comprobarTexto(r + ".CodigoPais", *o.codigoPais, 2);
        if (o.codigoPais->size() != 2 ||
            !std::isupper(static_cast<unsigned char>((*o.codigoPais)[0])) ||
            !std::isupper(static_cast<unsigned char>((*o.codigoPais)[1])))
            throw ErrorCampo(r + ".CodigoPais", "«" + *o.codigoPais +
                                                    "» no es un código de país ISO 3166-1 de "
                                                    "dos letras mayúsculas.");
    } else if (o.idType != "02") {
        throw ErrorCampo(r + ".CodigoPais", "es obligatorio cuando IDType no es «02» (NIF-IVA).");
    }
    if (o.idType == "02")
        comprobarNifIva(r + ".ID", o.id, o.codigoPais, fechaOperacion);
    const bool espana = es(o.codigoPais, "ES");
    if (papel == Papel::Destinatario) {
        if (o.idType == "07" && !espana)
            throw ErrorCampo(r + ".CodigoPais", "con IDType «07» (no censado) ha de ser «ES».");
        if (espana && o.idType != "03" && o.idType != "07")
            throw ErrorCampo(r + ".IDType", "con CodigoPais «ES» solo se admite «03» "
                                            "(pasaporte) o «07» (no censado); un NIF va en "
                                            "NIF.");
    } else {
        if (o.idType == "07")
            throw ErrorCampo(r + ".IDType", "no se admite «07» (no censado) aquí.");
        if (espana && o.idType != "03")
            throw ErrorCampo(r + ".IDType", "con CodigoPais «ES» solo se admite «03» "
                                            "(pasaporte); un NIF va en NIF.");
    }
}

bool rectificativa(const std::string& tipo) {
    return entre(tipo, {"R1", "R2", "R3", "R4", "R5"});
}

// Las claves de régimen con las que no se comprueban los totales.
bool sinComprobarTotales(const Alta& a) {
    for (const auto& d : a.desglose)
        if (d.claveRegimen && entre(*d.claveRegimen, {"03", "05", "06", "08", "09"}))
            return true;
    return false;
}

struct Importes {
    std::int64_t base = 0, cuota = 0, recargo = 0;
};

// Una línea del desglose; devuelve sus importes.
Importes comprobarDetalle(const Alta& a, const DetalleDesglose& d, const std::string& r,
                          const Fecha& fechaOperacion) {
    opcionalValor(r + ".Impuesto", d.impuesto, {"01", "02", "03", "05"});
    const std::string impuesto = d.impuesto.value_or("01");
    const bool iva = impuesto == "01";
    const bool ivaOIgic = iva || impuesto == "03";
    opcionalValor(r + ".ClaveRegimen", d.claveRegimen,
                  {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "14", "15",
                   "17", "18", "19", "20", "21"});
    if (d.claveRegimen && impuesto == "05")
        throw ErrorCampo(r + ".ClaveRegimen", "solo se informa con Impuesto «01» (IVA), «02» "
                                              "(IPSI), «03» (IGIC) o sin Impuesto.");
    if (!d.claveRegimen && ivaOIgic)
        throw ErrorCampo(r + ".ClaveRegimen", "es obligatoria con Impuesto «01» (IVA), «03» "
                                              "(IGIC) o sin Impuesto.");
    if (d.calificacionOperacion.has_value() == d.operacionExenta.has_value())
        throw ErrorCampo(r, "lleva CalificacionOperacion u OperacionExenta, una de las dos y no "
                            "ambas.");
    opcionalValor(r + ".CalificacionOperacion", d.calificacionOperacion, {"S1", "S2", "N1", "N2"});
    opcionalValor(r + ".OperacionExenta", d.operacionExenta,
                  {"E1", "E2", "E3", "E4", "E5", "E6", "E7", "E8"});
    if (d.operacionExenta && (*d.operacionExenta == "E7" || *d.operacionExenta == "E8") &&
        impuesto != "03")
        throw ErrorCampo(r + ".OperacionExenta", "«E7» y «E8» solo existen en el IGIC "
                                                 "(Impuesto «03»).");

    Importes v;
    v.base =
        comprobarImporte(r + ".BaseImponibleOimporteNoSujeto", d.baseImponibleOimporteNoSujeto);
    std::optional<std::int64_t> tipo, aCoste, cuota, tipoRecargo, recargo;
    if (d.tipoImpositivo)
        tipo = comprobarPorcentaje(r + ".TipoImpositivo", *d.tipoImpositivo);
    if (d.baseImponibleACoste)
        aCoste = comprobarImporte(r + ".BaseImponibleACoste", *d.baseImponibleACoste);
    if (d.cuotaRepercutida)
        cuota = comprobarImporte(r + ".CuotaRepercutida", *d.cuotaRepercutida);
    if (d.tipoRecargoEquivalencia)
        tipoRecargo =
            comprobarPorcentaje(r + ".TipoRecargoEquivalencia", *d.tipoRecargoEquivalencia);
    if (d.cuotaRecargoEquivalencia)
        recargo = comprobarImporte(r + ".CuotaRecargoEquivalencia", *d.cuotaRecargoEquivalencia);
    v.cuota = cuota.value_or(0);
    v.recargo = recargo.value_or(0);

    const std::string calif = d.calificacionOperacion.value_or("");
    const std::string clave = d.claveRegimen.value_or("");
    const std::string exenta = d.operacionExenta.value_or("");
    const std::string& tf = a.tipoFactura;

    if (aCoste && clave != "06" && impuesto != "02" && impuesto != "05")
        throw ErrorCampo(r + ".BaseImponibleACoste", "solo con ClaveRegimen «06» o Impuesto "
                                                     "«02» (IPSI) o «05» (otros).");
    if (tipoRecargo.has_value() != recargo.has_value())
        throw ErrorCampo(r + ".CuotaRecargoEquivalencia",
                         "TipoRecargoEquivalencia y CuotaRecargoEquivalencia van juntos.");
    if ((tipoRecargo || recargo) && calif != "S1")
        throw ErrorCampo(r + ".TipoRecargoEquivalencia",
                         "el recargo de equivalencia solo va con CalificacionOperacion «S1».");
    if (v.cuota != 0 && calif != "S1")
        throw ErrorCampo(r + ".CuotaRepercutida",
                         "solo puede ser distinta de cero con CalificacionOperacion «S1».");
    if (!exenta.empty() && (tipo || cuota || tipoRecargo || recargo))
        throw ErrorCampo(r + ".OperacionExenta",
                         "una operación exenta no lleva TipoImpositivo, CuotaRepercutida ni "
                         "recargo de equivalencia.");
    if (calif == "S2") {
        if (!entre(tf, {"F1", "F3", "R1", "R2", "R3", "R4"}))
            throw ErrorCampo(r + ".CalificacionOperacion",
                             "«S2» solo con TipoFactura F1, F3, R1, R2, R3 o R4.");
        if (!tipo || *tipo != 0 || !cuota || *cuota != 0)
            throw ErrorCampo(r + ".CalificacionOperacion",
                             "con «S2» TipoImpositivo y CuotaRepercutida han de estar y valer 0.");
    }
    if ((calif == "N1" || calif == "N2") && iva && (tipo || cuota || tipoRecargo || recargo))
        throw ErrorCampo(r + ".CalificacionOperacion",
                         "una operación no sujeta de IVA no lleva TipoImpositivo, "
                         "CuotaRepercutida ni recargo de equivalencia.");
    if (ivaOIgic) {
        if (clave == "01" && (exenta == "E2" || exenta == "E3"))
            throw ErrorCampo(r + ".OperacionExenta", "con ClaveRegimen «01» no se admite «E2» "
                                                     "ni «E3».");
        if (clave == "02" && exenta.empty())
            throw ErrorCampo(r + ".ClaveRegimen", "con «02» (exportación) solo se informa "
                                                  "OperacionExenta.");
        if (clave == "03" && !calif.empty() && calif != "S1")
            throw ErrorCampo(r + ".CalificacionOperacion",
                             "con ClaveRegimen «03» solo se admite «S1».");
        if (clave == "04" && calif != "S2" && exenta.empty())
            throw ErrorCampo(r + ".CalificacionOperacion",
                             "con ClaveRegimen «04» ha de ser «S2» o una operación exenta.");
        if (clave == "06") {
            if (entre(tf, {"F2", "F3", "R5"}))
                throw ErrorCampo(r + ".ClaveRegimen",
                                 "«06» no se admite con TipoFactura F2, F3 ni R5.");
            if (!aCoste)
                throw ErrorCampo(r + ".BaseImponibleACoste",
                                 "es obligatoria con ClaveRegimen «06».");
        }
        if (clave == "07" &&
            (entre(calif, {"S2", "N1", "N2"}) || entre(exenta, {"E2", "E3", "E4", "E5"})))
            throw ErrorCampo(r + ".ClaveRegimen", "«07» (criterio de caja) no admite S2, N1, N2 "
                                                  "ni las exenciones E2 a E5.");
        if (clave == "08" && calif != "N2")
            throw ErrorCampo(r + ".CalificacionOperacion", "con ClaveRegimen «08» ha de ser «N2».");
        if (clave == "10") {
            if (calif != "N1")
                throw ErrorCampo(r + ".CalificacionOperacion",
                                 "con ClaveRegimen «10» ha de ser «N1».");
            if (tf != "F1")
                throw ErrorCampo("TipoFactura", "con ClaveRegimen «10» ha de ser «F1».");
            for (const auto& p : a.destinatarios.value_or(std::vector<Persona>{}))
                if (!p.nif)
                    throw ErrorCampo("Destinatarios", "con ClaveRegimen «10» todos se "
                                                      "identifican con NIF.");
        }
        if (clave == "14") {
            const auto fe = leerFecha(a.idFactura.fechaExpedicionFactura);
            const auto fo = a.fechaOperacion ? leerFecha(*a.fechaOperacion) : std::nullopt;
            if (!fo || !fe || fo->dias() <= fe->dias())
                throw ErrorCampo("FechaOperacion", "con ClaveRegimen «14» es obligatoria y "
                                                   "posterior a la de expedición.");
            if (!entre(tf, {"F1", "R1", "R2", "R3", "R4"}))
                throw ErrorCampo("TipoFactura", "con ClaveRegimen «14» ha de ser F1, R1, R2, "
                                                "R3 o R4.");
            for (const auto& p : a.destinatarios.value_or(std::vector<Persona>{}))
                if (!p.nif || std::string_view("PQSV").find((*p.nif)[0]) == std::string_view::npos)
                    throw ErrorCampo("Destinatarios", "con ClaveRegimen «14» todos se "
                                                      "identifican con un NIF que empieza por "
                                                      "P, Q, S o V.");
        }
    }
    if (impuesto == "03" && clave == "20" && calif != "N2")
        throw ErrorCampo(r + ".CalificacionOperacion", "con Impuesto «03» y ClaveRegimen «20» ha "
                                                       "de ser «N2».");
    if (iva && clave == "11" && (!tipo || *tipo != 2100))
        throw ErrorCampo(r + ".TipoImpositivo", "con ClaveRegimen «11» solo se admite 21.");
    if (iva && exenta == "E5")
        for (const auto& p : a.destinatarios.value_or(std::vector<Persona>{}))
            if (p.nif)
                throw ErrorCampo("Destinatarios", "con OperacionExenta «E5» los destinatarios "
                                                  "se identifican con IDOtro.");

    if (calif == "S1") {
        if (!tipo)
            throw ErrorCampo(r + ".TipoImpositivo", "es obligatorio con CalificacionOperacion "
                                                    "«S1».");
        if (!cuota)
            throw ErrorCampo(r + ".CuotaRepercutida", "es obligatoria con CalificacionOperacion "
                                                      "«S1».");
        const bool sinCalculo = es(a.tipoRectificativa, "I") || tf == "R2" || tf == "R3";
        const std::int64_t base = aCoste.value_or(v.base);
        const std::string nombreBase =
            aCoste ? "BaseImponibleACoste" : "BaseImponibleOimporteNoSujeto";
        if (!sinCalculo) {
            if ((*cuota > 0 && base < 0) || (*cuota < 0 && base > 0))
                throw ErrorCampo(r + ".CuotaRepercutida",
                                 "ha de tener el mismo signo que " + nombreBase + ".");
            // |cuota - base × tipo / 100| <= 10 euros, todo en céntimos y centésimas de punto.
            const __int128 esperado = static_cast<__int128>(base) * *tipo;
            const __int128 diferencia = static_cast<__int128>(*cuota) * 10000 - esperado;
            if (diferencia > static_cast<__int128>(Margen) * 10000 ||
                diferencia < -static_cast<__int128>(Margen) * 10000)
                throw ErrorCampo(r + ".CuotaRepercutida",
                                 "no corresponde a " + nombreBase + " por TipoImpositivo (" +
                                     euros(static_cast<std::int64_t>(esperado / 10000)) +
                                     " euros; se admiten 10 euros de diferencia).");
        }
        if (iva) {
            const std::int64_t t = *tipo;
            const std::int64_t dias = fechaOperacion.dias();
            const bool jul22sep24 =
                dias >= Fecha{2022, 7, 1}.dias() && dias <= Fecha{2024, 9, 30}.dias();
            const bool oct24dic24 =
                dias >= Fecha{2024, 10, 1}.dias() && dias <= Fecha{2024, 12, 31}.dias();
            const bool admitido = t == 0 || t == 400 || t == 1000 || t == 2100 ||
                                  (t == 500 && jul22sep24) || (t == 200 && oct24dic24) ||
                                  (t == 750 && oct24dic24);
            if (!admitido)
                throw ErrorCampo(r + ".TipoImpositivo",
                                 "«" + *d.tipoImpositivo +
                                     "» no es un tipo de IVA admitido en esa fecha (0, 4, 10, "
                                     "21; 5 de julio de 2022 a septiembre de 2024; 2 y 7,5 de "
                                     "octubre a diciembre de 2024).");
            if (tipoRecargo) {
                const std::int64_t rq = *tipoRecargo;
                bool bueno = false;
                switch (t) {
                case 2100:
                    bueno = rq == 520 || rq == 175;
                    break;
                case 1000:
                    bueno = rq == 140;
                    break;
                case 750:
                    bueno = rq == 100;
                    break;
                case 500:
                    bueno = dias <= Fecha{2022, 12, 31}.dias() ? rq == 50 : rq == 62;
                    break;
                case 400:
                    bueno = rq == 50;
                    break;
                case 200:
                    bueno = rq == 26;
                    break;
                case 0:
                    bueno = (dias >= Fecha{2023, 1, 1}.dias() && dias <= Fecha{2024, 9, 30}.dias())
                                ? rq == 0
                                : (rq == 0 || rq == 26);
                    break;
                default:
                    break;
                }
                if (!bueno)
                    throw ErrorCampo(r + ".TipoRecargoEquivalencia",
                                     "«" + *d.tipoRecargoEquivalencia +
                                         "» no corresponde a TipoImpositivo «" + *d.tipoImpositivo +
                                         "» en esa fecha.");
            }
        }
    }
    return v;
}

} // namespace

void validarAlta(const Alta& a, const Fecha& hoy) {
    comprobarNif("IDEmisorFactura", a.idFactura.idEmisorFactura);
    comprobarNumSerie("NumSerieFactura", a.idFactura.numSerieFactura);
    const Fecha expedicion =
        comprobarFecha("FechaExpedicionFactura", a.idFactura.fechaExpedicionFactura);
    if (expedicion.dias() < EntradaEnVigor.dias())
        throw ErrorCampo("FechaExpedicionFactura", "no puede ser anterior al 28-10-2024.");
    if (expedicion.dias() > hoy.dias())
        throw ErrorCampo("FechaExpedicionFactura", "no puede ser posterior a hoy.");
    opcionalTexto("RefExterna", a.refExterna, 60);
    comprobarTexto("NombreRazonEmisor", a.nombreRazonEmisor, 120);

    opcionalValor("Subsanacion", a.subsanacion, SiNo);
    opcionalValor("RechazoPrevio", a.rechazoPrevio, {"N", "S", "X"});
    const bool subsanacion = es(a.subsanacion, "S");
    if (es(a.rechazoPrevio, "X") && !subsanacion)
        throw ErrorCampo("RechazoPrevio", "«X» solo con Subsanacion «S».");
    if (es(a.rechazoPrevio, "S") && !subsanacion)
        throw ErrorCampo("RechazoPrevio", "«S» solo con Subsanacion «S».");

    const std::string& tf = a.tipoFactura;
    comprobarValor("TipoFactura", tf, {"F1", "F2", "F3", "R1", "R2", "R3", "R4", "R5"});
    const bool r = rectificativa(tf);
    opcionalValor("TipoRectificativa", a.tipoRectificativa, {"S", "I"});
    if (r && !a.tipoRectificativa)
        throw ErrorCampo("TipoRectificativa", "es obligatorio en una factura rectificativa "
                                              "(R1 a R5).");
    if (!r && a.tipoRectificativa)
        throw ErrorCampo("TipoRectificativa", "solo va en una factura rectificativa (R1 a R5).");
    const auto listaFacturas = [](const std::string& nombre,
                                  const std::optional<std::vector<IdFactura>>& l) {
        if (!l)
            return;
        if (l->empty() || l->size() > 1000)
            throw ErrorCampo(nombre, "ha de tener de 1 a 1000 facturas.");
        for (std::size_t i = 0; i < l->size(); ++i)
            comprobarIdFactura(nombre + "[" + std::to_string(i + 1) + "].", (*l)[i]);
    };
    if (a.facturasRectificadas && !r)
        throw ErrorCampo("FacturasRectificadas", "solo en una factura rectificativa (R1 a R5).");
    listaFacturas("FacturasRectificadas", a.facturasRectificadas);
    if (a.facturasSustituidas && tf != "F3")
        throw ErrorCampo("FacturasSustituidas", "solo con TipoFactura «F3».");
    listaFacturas("FacturasSustituidas", a.facturasSustituidas);
    const bool sustitucion = es(a.tipoRectificativa, "S");
    if (sustitucion && !a.importeRectificacion)
        throw ErrorCampo("ImporteRectificacion", "es obligatorio con TipoRectificativa «S».");
    if (!sustitucion && a.importeRectificacion)
        throw ErrorCampo("ImporteRectificacion", "solo con TipoRectificativa «S».");
    if (a.importeRectificacion) {
        comprobarImporte("ImporteRectificacion.BaseRectificada",
                         a.importeRectificacion->baseRectificada);
        comprobarImporte("ImporteRectificacion.CuotaRectificada",
                         a.importeRectificacion->cuotaRectificada);
        if (a.importeRectificacion->cuotaRecargoRectificado)
            comprobarImporte("ImporteRectificacion.CuotaRecargoRectificado",
                             *a.importeRectificacion->cuotaRecargoRectificado);
    }

    Fecha operacion = expedicion;
    bool clave1415 = false;
    for (const auto& d : a.desglose) {
        const std::string imp = d.impuesto.value_or("01");
        if ((imp == "01" || imp == "03") && (es(d.claveRegimen, "14") || es(d.claveRegimen, "15")))
            clave1415 = true;
    }
    if (a.fechaOperacion) {
        operacion = comprobarFecha("FechaOperacion", *a.fechaOperacion);
        if (operacion.dias() <
            Fecha{hoy.anio - 20, hoy.mes, hoy.dia == 29 && hoy.mes == 2 ? 28 : hoy.dia}.dias())
            throw ErrorCampo("FechaOperacion", "no puede ser de hace más de veinte años.");
        if (operacion.anio > hoy.anio + 1)
            throw ErrorCampo("FechaOperacion", "no puede ser posterior al año que viene.");
        if (operacion.dias() > hoy.dias() && !clave1415)
            throw ErrorCampo("FechaOperacion", "solo puede ser posterior a hoy con ClaveRegimen "
                                               "«14» o «15».");
        if (expedicion.dias() < operacion.dias() && !clave1415)
            throw ErrorCampo("FechaExpedicionFactura",
                             "solo puede ser anterior a FechaOperacion con ClaveRegimen «14» o "
                             "«15».");
    }
    comprobarTexto("DescripcionOperacion", a.descripcionOperacion, 500);
    opcionalValor("FacturaSimplificadaArt7273", a.facturaSimplificadaArt7273, SiNo);
    if (es(a.facturaSimplificadaArt7273, "S") && !entre(tf, {"F1", "F3", "R1", "R2", "R3", "R4"}))
        throw ErrorCampo("FacturaSimplificadaArt7273",
                         "«S» solo con TipoFactura F1, F3, R1, R2, R3 o R4.");
    opcionalValor("FacturaSinIdentifDestinatarioArt61d", a.facturaSinIdentifDestinatarioArt61d,
                  SiNo);
    if (es(a.facturaSinIdentifDestinatarioArt61d, "S") && !entre(tf, {"F2", "R5"}))
        throw ErrorCampo("FacturaSinIdentifDestinatarioArt61d", "«S» solo con TipoFactura F2 o "
                                                                "R5.");
    opcionalValor("EmitidaPorTerceroODestinatario", a.emitidaPorTerceroODestinatario, {"D", "T"});
    if (es(a.emitidaPorTerceroODestinatario, "T") && !a.tercero)
        throw ErrorCampo("Tercero", "es obligatorio con EmitidaPorTerceroODestinatario «T».");
    if (a.tercero && !es(a.emitidaPorTerceroODestinatario, "T"))
        throw ErrorCampo("Tercero", "solo con EmitidaPorTerceroODestinatario «T».");
    if (a.tercero) {
        comprobarPersona("Tercero", *a.tercero, Papel::Tercero, operacion);
        if (es(a.tercero->nif, a.idFactura.idEmisorFactura))
            throw ErrorCampo("Tercero.NIF", "ha de ser distinto del NIF del emisor.");
    }
    const bool conDestinatarios = entre(tf, {"F1", "F3", "R1", "R2", "R3", "R4"});
    if (es(a.emitidaPorTerceroODestinatario, "D") && !a.destinatarios)
        throw ErrorCampo("Destinatarios", "es obligatorio con EmitidaPorTerceroODestinatario "
                                          "«D».");
    if (conDestinatarios && (!a.destinatarios || a.destinatarios->empty()))
        throw ErrorCampo("Destinatarios",
                         "con TipoFactura " + tf + " hace falta al menos un destinatario.");
    if (!conDestinatarios && a.destinatarios)
        throw ErrorCampo("Destinatarios", "no se informa con TipoFactura " + tf + ".");
    if (a.destinatarios) {
        if (a.destinatarios->size() > 1000)
            throw ErrorCampo("Destinatarios", "admite a lo sumo 1000 destinatarios.");
        for (std::size_t i = 0; i < a.destinatarios->size(); ++i)
            comprobarPersona("Destinatarios[" + std::to_string(i + 1) + "]", (*a.destinatarios)[i],
                             Papel::Destinatario, operacion);
    }
    opcionalValor("Cupon", a.cupon, SiNo);
    if (es(a.cupon, "S") && tf != "R1" && tf != "R5")
        throw ErrorCampo("Cupon", "«S» solo con TipoFactura R1 o R5.");

    if (a.desglose.empty() || a.desglose.size() > 12)
        throw ErrorCampo("Desglose", "ha de tener de 1 a 12 líneas.");
    Importes suma;
    for (std::size_t i = 0; i < a.desglose.size(); ++i) {
        const auto v = comprobarDetalle(a, a.desglose[i], "Desglose[" + std::to_string(i + 1) + "]",
                                        operacion);
        suma.base += v.base;
        suma.cuota += v.cuota;
        suma.recargo += v.recargo;
    }
    const std::int64_t cuotaTotal = comprobarImporte("CuotaTotal", a.cuotaTotal);
    const std::int64_t importeTotal = comprobarImporte("ImporteTotal", a.importeTotal);
    if (!sinComprobarTotales(a)) {
        const std::int64_t cuotas = suma.cuota + suma.recargo;
        if (std::llabs(cuotaTotal - cuotas) > Margen)
            throw ErrorCampo("CuotaTotal", "no corresponde a la suma de CuotaRepercutida y "
                                           "CuotaRecargoEquivalencia del desglose (" +
                                               euros(cuotas) +
                                               " euros; se admiten 10 euros de diferencia).");
        const std::int64_t total = suma.base + cuotas;
        if (std::llabs(importeTotal - total) > Margen)
            throw ErrorCampo("ImporteTotal", "no corresponde a la suma de bases y cuotas del "
                                             "desglose (" +
                                                 euros(total) +
                                                 " euros; se admiten 10 euros de diferencia).");
    }
    if (tf == "F2" && !a.numRegistroAcuerdoFacturacion &&
        !es(a.facturaSinIdentifDestinatarioArt61d, "S") && suma.base + suma.cuota > 300000 + Margen)
        throw ErrorCampo("TipoFactura", "una factura simplificada (F2) no puede pasar de 3.000 "
                                        "euros de base y cuota.");
    opcionalValor("Macrodato", a.macrodato, SiNo);
    const bool grande = std::llabs(importeTotal) >= 10000000000LL;
    if (grande && !es(a.macrodato, "S"))
        throw ErrorCampo("Macrodato", "ha de ser «S»: ImporteTotal llega a 100.000.000 euros.");
    if (!grande && es(a.macrodato, "S"))
        throw ErrorCampo("Macrodato", "«S» solo si ImporteTotal llega a 100.000.000 euros.");
    opcionalTexto("NumRegistroAcuerdoFacturacion", a.numRegistroAcuerdoFacturacion, 15);
    opcionalTexto("IdAcuerdoSistemaInformatico", a.idAcuerdoSistemaInformatico, 16);
}

void validarAnulacion(const Anulacion& a) {
    comprobarNif("IDEmisorFacturaAnulada", a.idFactura.idEmisorFactura);
    comprobarNumSerie("NumSerieFacturaAnulada", a.idFactura.numSerieFactura);
    comprobarFecha("FechaExpedicionFacturaAnulada", a.idFactura.fechaExpedicionFactura);
    opcionalTexto("RefExterna", a.refExterna, 60);
    opcionalValor("SinRegistroPrevio", a.sinRegistroPrevio, SiNo);
    opcionalValor("RechazoPrevio", a.rechazoPrevio, SiNo);
    opcionalValor("GeneradoPor", a.generadoPor, {"E", "D", "T"});
    if (a.generadoPor.has_value() != a.generador.has_value())
        throw ErrorCampo("Generador", "GeneradoPor y Generador van juntos.");
    if (a.generador) {
        const auto fecha = leerFecha(a.idFactura.fechaExpedicionFactura).value_or(Fecha{});
        comprobarPersona("Generador", *a.generador,
                         *a.generadoPor == "D" ? Papel::Destinatario : Papel::Generador, fecha);
        if (*a.generadoPor == "E" && !a.generador->nif)
            throw ErrorCampo("Generador.NIF", "es obligatorio con GeneradoPor «E».");
        if (es(a.generador->nif, a.idFactura.idEmisorFactura))
            throw ErrorCampo("Generador.NIF", "ha de ser distinto del NIF del emisor.");
    }
}

void validarDatosQr(const Alta& a) {
    comprobarNif("IDEmisorFactura", a.idFactura.idEmisorFactura);
    comprobarNumSerie("NumSerieFactura", a.idFactura.numSerieFactura);
    comprobarFecha("FechaExpedicionFactura", a.idFactura.fechaExpedicionFactura);
    comprobarImporte("ImporteTotal", a.importeTotal);
}

} // namespace morvelin::verifactu
