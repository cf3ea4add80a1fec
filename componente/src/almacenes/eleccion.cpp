#include "almacenes/eleccion.h"

namespace morvelin::almacenes {

namespace {

// Algún valor del sujeto contiene el identificador (ya en minúsculas).
bool contiene(const Candidato& c, const std::string& buscado) {
    if (!c.legible)
        return false;
    for (const std::string& v : c.valoresSujeto)
        if (minusculasAscii(v).find(buscado) != std::string::npos)
            return true;
    return false;
}

std::optional<Posicion> elegido(const std::vector<AlmacenCandidatos>& almacenes,
                                const std::string& buscado) {
    for (std::size_t a = 0; a < almacenes.size(); ++a) {
        std::optional<Posicion> primero;
        const auto& lista = almacenes[a].certificados;
        for (std::size_t c = 0; c < lista.size(); ++c) {
            if (!contiene(lista[c], buscado))
                continue;
            if (!almacenes[a].prefiereNoRepudio || conNoRepudio(lista[c]))
                return Posicion{a, c};
            if (!primero)
                primero = Posicion{a, c};
        }
        if (primero)
            return primero;
    }
    return std::nullopt;
}

} // namespace

bool conNoRepudio(const Candidato& certificado) {
    return !certificado.usosClave || (*certificado.usosClave & UsoNoRepudio) != 0;
}

Eleccion elegirCertificado(const std::vector<AlmacenCandidatos>& almacenes,
                           std::string_view identificador) {
    Eleccion e;
    const bool valido = identificadorValido(identificador);
    const std::string buscado = minusculasAscii(std::string(identificador));
    if (valido)
        e.elegido = elegido(almacenes, buscado);
    for (std::size_t a = 0; a < almacenes.size(); ++a) {
        const AlmacenCandidatos& almacen = almacenes[a];
        auto& veredictos = e.veredictos.emplace_back();
        for (std::size_t c = 0; c < almacen.certificados.size(); ++c) {
            const Candidato& candidato = almacen.certificados[c];
            Veredicto v;
            if (!candidato.legible)
                v = Veredicto::Ilegible;
            else if (!valido)
                v = Veredicto::IdentificadorMalo;
            else if (e.elegido == Posicion{a, c})
                v = Veredicto::Elegido;
            else if (!contiene(candidato, buscado))
                v = Veredicto::NoLoContiene;
            else if (e.elegido->almacen != a)
                v = Veredicto::OtroAlmacenAntes;
            else if (almacen.prefiereNoRepudio &&
                     conNoRepudio(almacen.certificados[e.elegido->certificado]) &&
                     !conNoRepudio(candidato))
                v = Veredicto::SinNoRepudio;
            else
                v = Veredicto::Detras;
            veredictos.push_back(v);
        }
    }
    return e;
}

} // namespace morvelin::almacenes
