#include "listado.h"

#include "certificados.h"
#include "comprobacion.h"
#include "mensajes.h"

namespace morvelin {

namespace {

using plataforma::FichaCertificado;
using plataforma::ListadoAlmacen;

constexpr unsigned NoRepudio = 0x40;

std::string minusculas(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// La regla de búsqueda de los almacenes: algún valor del sujeto contiene el texto, sin
// distinguir mayúsculas de minúsculas (ASCII).
bool contiene(const FichaCertificado& f, const std::string& buscadoMinusculas) {
    if (!f.legible)
        return false;
    for (const std::string& v : f.valoresSujeto)
        if (minusculas(v).find(buscadoMinusculas) != std::string::npos)
            return true;
    return false;
}

// Si la clave vale para firmar con no repudio (un certificado sin restricciones también).
bool conNoRepudio(const FichaCertificado& f) {
    return !f.usosClave || (*f.usosClave & NoRepudio) != 0;
}

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
    return "almacén " + (a.clase == "carpeta" ? "de carpeta" : a.clase) + " (" + a.donde + ")";
}

// La posición de un certificado; almacen == Ninguno si no hay.
constexpr std::size_t Ninguno = static_cast<std::size_t>(-1);
struct Posicion {
    std::size_t almacen = Ninguno, certificado = Ninguno;
    bool hay() const { return almacen != Ninguno; }
};

// El certificado que FIRMA usaría, con la regla de abrirAlmacenPersonal().
Posicion elegir(const std::vector<ListadoAlmacen>& almacenes, const std::string& buscado) {
    for (std::size_t a = 0; a < almacenes.size(); ++a) {
        std::optional<std::size_t> primero;
        const auto& lista = almacenes[a].certificados;
        for (std::size_t c = 0; c < lista.size(); ++c) {
            if (!contiene(lista[c], buscado))
                continue;
            if (!primero)
                primero = c;
            if (!almacenes[a].prefiereNoRepudio || conNoRepudio(lista[c]))
                return Posicion{a, c};
        }
        if (primero)
            return Posicion{a, *primero};
    }
    return {};
}

} // namespace

Listado listarCertificados(const std::vector<ListadoAlmacen>& almacenes,
                           const std::optional<std::string>& identificador, long long ahora) {
    Listado r;
    std::string& t = r.texto;
    const bool largoBien = identificador && longitudEnCaracteres(*identificador) == 9;
    const std::string buscado = identificador ? minusculas(*identificador) : std::string();
    const Posicion eleccion = largoBien ? elegir(almacenes, buscado) : Posicion{};
    r.encontrado = eleccion.hay();
    const std::string id = identificador ? "«" + *identificador + "»" : std::string();

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
            t += "   - " + f.donde + "\n";
            if (!f.legible) {
                t += "     No se puede usar: " + f.motivo + ".\n";
                if (identificador)
                    t += "     Para " + id + ": no se usa, porque no se puede leer.\n";
                continue;
            }
            const LectorSujeto sujeto(f.textoSujeto);
            const std::string serie = sujeto.valor(ClaveNumeroSerie);
            const std::string rep = sujeto.valor(ClaveRepresentante);
            t += "     Sujeto: " + f.sujeto + "\n";
            t += "     Identificador: " + (serie.empty() ? "(ninguno)" : serie) +
                 (rep.empty() ? "" : " (representante: " + rep + ")") + "\n";
            t += "     Firmante: " + nombreFirmante(sujeto) + "\n";
            t += "     Emisor: " + f.emisor + "\n";
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
            t += "     Uso de la clave: " + usos(f) + "\n";
            if (!identificador)
                continue;
            t += "     Para " + id + ": ";
            if (!largoBien) {
                t += "no se usa, porque el identificador no tiene 9 caracteres.\n";
            } else if (eleccion.almacen == a && eleccion.certificado == c) {
                t += "FIRMA usaría este.\n";
            } else if (!contiene(f, buscado)) {
                t += "no se usa, porque su sujeto no lo contiene.\n";
            } else if (eleccion.almacen != a) {
                t += "no se usa: también lo contiene, pero antes se encuentra el de " +
                     nombreAlmacen(almacenes[eleccion.almacen]) + ".\n";
            } else {
                const FichaCertificado& elegido = almacen.certificados[eleccion.certificado];
                if (almacen.prefiereNoRepudio && conNoRepudio(elegido) && !conNoRepudio(f))
                    t += "no se usa: también lo contiene, pero no es para firmar (su clave no "
                         "tiene el uso de no repudio) y «" +
                         elegido.donde + "» sí.\n";
                else
                    t += "no se usa: también lo contiene, pero va detrás de «" + elegido.donde +
                         "» (se usa el primero).\n";
            }
        }
    }
    if (!identificador)
        return r;

    t += "\n";
    if (!largoBien) {
        t += "Para " + id +
             ", FIRMA no busca: el identificador ha de tener 9 caracteres. "
             "Contestaría «" +
             cargarMensaje(SinCertificado) + "»\n";
        return r;
    }
    if (!eleccion.hay()) {
        t += "Para " + id +
             ", FIRMA no encuentra ningún certificado cuyo sujeto lo contenga. "
             "Contestaría «" +
             cargarMensaje(SinCertificado) + "»\n";
        return r;
    }
    const ListadoAlmacen& almacen = almacenes[eleccion.almacen];
    const FichaCertificado& f = almacen.certificados[eleccion.certificado];
    t += "Para " + id + ", FIRMA usaría «" + f.donde + "» del " + nombreAlmacen(almacen) + ": " +
         nombreFirmante(LectorSujeto(f.textoSujeto)) + ".\n";
    if (f.claveTrasPin)
        t += "FIRMA pedirá el PIN o la contraseña con pinentry; si se cancela o no es correcto, "
             "contestará «" +
             cargarMensaje(NoSeFirma) + "»\n";
    else if (!f.conClave)
        t += "Pero su clave privada no está a su alcance: FIRMA contestaría «" +
             cargarMensaje(NoSeFirma) + "»\n";
    if (almacen.prefiereNoRepudio && !conNoRepudio(f))
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
