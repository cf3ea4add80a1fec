#include "operaciones/listado_certificados.h"

#include "infraestructura/codificacion.h"
#include "infraestructura/fechas.h"
#include "infraestructura/mensajes.h"
#include "operaciones/sujeto.h"

#include <algorithm>

namespace morvelin {

namespace {

using almacenes::Eleccion;
using almacenes::FichaCertificado;
using almacenes::ListadoAlmacen;
using almacenes::Veredicto;

std::string usos(const FichaCertificado& f) {
    if (!f.usosClave)
        return "sin restricciones";
    static const std::pair<unsigned, const char*> nombres[] = {
        {0x80, "firma digital"},
        {0x40, "no repudio"},
        {0x20, "cifrado de claves"},
        {0x10, "cifrado de datos"},
        {0x08, "acuerdo de claves"},
        {0x04, "firma de certificados"},
        {0x02, "firma de listas de revocación"},
    };
    std::string t;
    for (const auto& [bit, nombre] : nombres)
        if (*f.usosClave & bit)
            t += (t.empty() ? "" : ", ") + std::string(nombre);
    return t.empty() ? "ninguno" : t;
}

std::string fecha(long long segundos) {
    return fechaHoraUtc(segundos).substr(0, 10);
}

std::string nombreAlmacen(const ListadoAlmacen& a) {
    return "almacén " + (a.clase == "carpeta" ? "de carpeta" : a.clase) + " (" +
           textoVisible(a.donde) + ")";
}

// El nombre de una entrada en su almacén.
std::string entrada(const FichaCertificado& f) {
    return "«" + textoVisible(f.donde) + "»";
}

// Si `valor` contiene el identificador, sin distinguir mayúsculas de minúsculas ASCII.
bool contiene(const std::string& valor, const std::string& identificador) {
    return minusculasAscii(valor).find(minusculasAscii(identificador)) != std::string::npos;
}

// Por qué FIRMA usa o no el certificado `c` del almacén `a`.
std::string porQue(const std::vector<ListadoAlmacen>& almacenes, const Eleccion& eleccion,
                   std::size_t a, std::size_t c) {
    switch (eleccion.veredictos[a][c]) {
    case Veredicto::Elegido:
        return "FIRMA usaría este.";
    case Veredicto::Ilegible:
        return "no se usa, porque no se puede leer.";
    case Veredicto::IdentificadorMalo:
        return "no se usa, porque el identificador no tiene 9 caracteres.";
    case Veredicto::NoLoContiene:
        return "no se usa, porque su sujeto no lo contiene.";
    case Veredicto::OtroAlmacenAntes:
        return "no se usa: también lo contiene, pero antes se encuentra el de " +
               nombreAlmacen(almacenes[eleccion.elegido->almacen]) + ".";
    case Veredicto::SinNoRepudio:
        return "no se usa: también lo contiene, pero no es para firmar (su clave no tiene el uso "
               "de no repudio) y " +
               entrada(almacenes[a].certificados[eleccion.elegido->certificado]) + " sí.";
    case Veredicto::Detras:
        break;
    }
    return "no se usa: también lo contiene, pero va detrás de " +
           entrada(almacenes[a].certificados[eleccion.elegido->certificado]) +
           " (se usa el primero).";
}

} // namespace

Listado listarCertificados(const std::vector<ListadoAlmacen>& almacenes,
                           const std::optional<std::string>& identificador, long long ahora) {
    Listado r;
    std::string& t = r.texto;
    Eleccion eleccion;
    if (identificador) {
        std::vector<almacenes::AlmacenCandidatos> candidatos;
        for (const ListadoAlmacen& a : almacenes)
            candidatos.push_back(almacenes::candidatosDe(a));
        eleccion = almacenes::elegirCertificado(candidatos, *identificador);
    }
    r.elegido = eleccion.elegido;
    const std::string id = identificador ? "«" + textoVisible(*identificador) + "»" : std::string();

    t += "Almacenes de certificados, en el orden en que FIRMA los mira:\n";
    for (std::size_t a = 0; a < almacenes.size(); ++a) {
        const ListadoAlmacen& almacen = almacenes[a];
        t += "\n" + std::to_string(a + 1) + ". " + nombreAlmacen(almacen);
        if (!almacen.estado.empty()) {
            t += ": " + almacen.estado + ".\n";
            continue;
        }
        if (!almacen.nota.empty())
            t += " (" + almacen.nota + ")";
        const auto n = almacen.certificados.size();
        t += n == 0   ? ": vacío.\n"
             : n == 1 ? ": 1 certificado.\n"
                      : ": " + std::to_string(n) + " certificados.\n";
        for (std::size_t c = 0; c < n; ++c) {
            const FichaCertificado& f = almacen.certificados[c];
            t += "   - " + textoVisible(f.donde) + "\n";
            const std::string paraId =
                identificador ? "     Para " + id + ": " + porQue(almacenes, eleccion, a, c) + "\n"
                              : "";
            if (!f.legible) {
                t += "     No se puede usar: " + f.motivo + ".\n" + paraId;
                continue;
            }
            const LectorSujeto sujeto(f.atributosSujeto);
            const std::string serie = sujeto.valor(ClaveNumeroSerie);
            const std::string rep = sujeto.valor(ClaveRepresentante);
            t += "     Sujeto: " + textoVisible(f.sujeto) + "\n";
            t += "     Identificador: " + (serie.empty() ? "(ninguno)" : textoVisible(serie)) +
                 (rep.empty() ? "" : " (representante: " + textoVisible(rep) + ")") + "\n";
            t += "     Firmante: " + textoVisible(nombreFirmante(sujeto)) + "\n";
            t += "     Emisor: " + textoVisible(f.emisor) + "\n";
            t += "     Validez: del " + fecha(f.validoDesde) + " al " + fecha(f.validoHasta) +
                 (ahora > f.validoHasta   ? " (caducado)"
                  : ahora < f.validoDesde ? " (aún no es válido)"
                                          : "") +
                 "\n";
            t += std::string("     Clave privada: ") +
                 (f.conClave       ? "sí, a su alcance"
                  : f.claveTrasPin ? "no se sabe sin el PIN o la contraseña (no se piden aquí)"
                                   : "no está a su alcance") +
                 "\n";
            t += "     Uso de la clave: " + usos(f) + "\n" + paraId;
        }
    }
    if (!identificador)
        return r;

    // Lo que FIRMA contestaría, paso a paso como lo hace: sin ningún almacén que se abra, 02
    // (antes de mirar el identificador); luego el identificador, la elección y la clave.
    t += "\n";
    const bool algunoAbierto =
        std::any_of(almacenes.begin(), almacenes.end(),
                    [](const ListadoAlmacen& a) { return a.estado.empty(); });
    const auto contestaria = [&](const std::string& resultado) {
        r.contestaria = resultado;
        return "«" + textoVisible(resultado) + "»";
    };
    if (!algunoAbierto) {
        t += "Para " + id + ", FIRMA no puede abrir ningún almacén. Contestaría " +
             contestaria(cargarMensaje(SinAlmacen)) + "\n";
        return r;
    }
    if (!almacenes::identificadorValido(*identificador)) {
        t += "Para " + id +
             ", FIRMA no busca: el identificador ha de tener 9 caracteres. Contestaría " +
             contestaria(cargarMensaje(SinCertificado)) + "\n";
        return r;
    }
    if (!eleccion.elegido) {
        t += "Para " + id +
             ", FIRMA no encuentra ningún certificado cuyo sujeto lo contenga. Contestaría " +
             contestaria(cargarMensaje(SinCertificado)) + "\n";
        return r;
    }
    const ListadoAlmacen& almacen = almacenes[eleccion.elegido->almacen];
    const FichaCertificado& f = almacen.certificados[eleccion.elegido->certificado];
    const LectorSujeto sujeto(f.atributosSujeto);
    const std::string firmado = "00 " + nombreFirmante(sujeto);
    t += "Para " + id + ", FIRMA usaría " + entrada(f) + " del " + nombreAlmacen(almacen) + ": " +
         textoVisible(nombreFirmante(sujeto)) + ".\n";
    if (f.claveTrasPin) {
        t += "FIRMA pedirá el PIN o la contraseña con pinentry; si es correcto contestará " +
             contestaria(firmado) + ", y si se cancela o no es correcto, «" +
             cargarMensaje(NoSeFirma) + "»\n";
    } else if (!f.conClave) {
        t += "Pero no tiene a su alcance una clave privada que sea la de ese certificado: FIRMA "
             "contestaría " +
             contestaria(cargarMensaje(NoSeFirma)) + "\n";
    } else {
        t += "FIRMA contestaría " + contestaria(firmado) + "\n";
    }
    // El identificador en otro atributo que el número de serie (o el NIF del representante):
    // FIRMA lo usa igual, porque es el primero cuyo sujeto lo contiene, pero puede ser de otro.
    if (!contiene(sujeto.valor(ClaveNumeroSerie), *identificador) &&
        !contiene(sujeto.valor(ClaveRepresentante), *identificador)) {
        std::string donde;
        for (const auto& a : f.atributosSujeto)
            if (donde.empty() && contiene(a.valor, *identificador))
                donde = a.valor;
        t += "Aviso: " + id + " no es su número de serie (" +
             (sujeto.valor(ClaveNumeroSerie).empty()
                  ? std::string("no tiene")
                  : "es «" + textoVisible(sujeto.valor(ClaveNumeroSerie)) + "»") +
             ") sino que está en otro valor de su sujeto, «" + textoVisible(donde) +
             "»: puede ser el certificado de otra persona o entidad. FIRMA firma con él porque es "
             "el primero cuyo sujeto lo contiene.\n";
    }
    if (almacen.prefiereNoRepudio && !almacenes::conNoRepudio(f))
        t += "Aviso: su clave no tiene el uso de no repudio: es un certificado de autenticación, "
             "no de firma, y en ese almacén no hay otro de " +
             id +
             " que lo tenga. FIRMA firma con él, pero la firma puede no valer ante el "
             "servicio de verificación.\n";
    if (ahora > f.validoHasta)
        t += "Aviso: caducó el " + fecha(f.validoHasta) +
             "; FIRMA firma con él, pero el servicio de verificación rechazará la firma.\n";
    else if (ahora < f.validoDesde)
        t += "Aviso: no es válido hasta el " + fecha(f.validoDesde) +
             "; FIRMA firma con él, pero el servicio de verificación rechazará la firma.\n";
    return r;
}

} // namespace morvelin
