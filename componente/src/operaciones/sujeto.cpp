#include "operaciones/sujeto.h"

namespace morvelin {

std::string LectorSujeto::valor(std::string_view clave) const {
    for (const plataforma::AtributoSujeto& a : atributos_)
        if (a.oid == clave)
            return a.valor;
    return {};
}

std::string nombreFirmante(const LectorSujeto& sujeto) {
    const std::string cn = sujeto.valor(ClaveNombreComun);
    const auto contiene = [&](std::string_view parte) {
        return cn.find(parte) != std::string::npos;
    };
    if (cn.starts_with("NOMBRE") && contiene(" - NIF "))
        return cn;
    if (cn.starts_with("ENTIDAD") && contiene(" - CIF "))
        return cn;
    const std::string sn = sujeto.valor(ClaveApellidos);
    const std::string gn = sujeto.valor(ClaveNombre);
    const std::string rep = sujeto.valor(ClaveRepresentante);
    const std::string serie = sujeto.valor(ClaveNumeroSerie);
    if (rep.empty())
        return "NOMBRE " + sn + " " + gn + " - NIF " + serie;
    return "ENTIDAD " + cn + " - CIF " + serie + " - NOMBRE " + sn + " " + gn + " - NIF " + rep;
}

std::string nombreFirmante(const plataforma::Certificado& certificado) {
    return nombreFirmante(LectorSujeto(certificado.atributosSujeto()));
}

} // namespace morvelin
