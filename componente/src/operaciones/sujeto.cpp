#include "operaciones/sujeto.h"

namespace morvelin {

std::string LectorSujeto::valor(std::string_view clave) const {
    const auto p = sujeto_.find(clave);
    if (p == std::string::npos)
        return {};
    const auto inicio = p + clave.size();
    const auto fin = sujeto_.find("\r\n", inicio);
    return sujeto_.substr(inicio, fin == std::string::npos ? std::string::npos : fin - inicio);
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
    return nombreFirmante(LectorSujeto(certificado.textoSujeto()));
}

} // namespace morvelin
