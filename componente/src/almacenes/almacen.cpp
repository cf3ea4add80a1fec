#include "almacenes/almacen.h"

#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/firma_clave.h"
#include "plataforma/openssl/pkcs7.h"
#include "plataforma/openssl/x509.h"

namespace morvelin::almacenes {

plataforma::AtributosSujeto CertificadoDeAlmacen::atributosSujeto() const {
    return plataforma::openssl::atributosSujeto(x509_.get());
}

std::string CertificadoDeAlmacen::der() const {
    return plataforma::openssl::derDe(x509_.get());
}

std::optional<std::string>
CertificadoDeAlmacen::firmarDesprendida(std::string_view contenido) const {
    namespace ossl = plataforma::openssl;
    ossl::EnContextoPrivado en;
    if (!en.valido())
        return std::nullopt;
    const plataforma::AlgoritmoFirma sha1{ossl::esquemaDe(X509_get0_pubkey(x509_.get())),
                                          plataforma::ResumenFirma::Sha1, false};
    return ossl::ensamblarPkcs7(x509_.get(), contenido, [&](std::string_view datos) {
        return firmar(sha1, datos, "para firmar la factura");
    });
}

AlmacenCandidatos candidatosDe(const ListadoAlmacen& almacen) {
    AlmacenCandidatos a{almacen.prefiereNoRepudio, {}};
    for (const FichaCertificado& f : almacen.certificados)
        a.certificados.push_back(f);
    return a;
}

Candidato candidatoDe(X509* certificado) {
    namespace ossl = plataforma::openssl;
    return {true, ossl::valoresNombre(X509_get_subject_name(certificado)),
            ossl::usosClave(certificado)};
}

FichaCertificado fichaDe(X509* certificado, bool conClave) {
    namespace ossl = plataforma::openssl;
    FichaCertificado f;
    static_cast<Candidato&>(f) = candidatoDe(certificado);
    f.der = ossl::derDe(certificado);
    f.atributosSujeto = ossl::atributosSujeto(certificado);
    f.sujeto = ossl::nombreEnUnaLinea(X509_get_subject_name(certificado));
    f.emisor = ossl::nombreEnUnaLinea(X509_get_issuer_name(certificado));
    f.validoDesde = ossl::segundos(X509_get0_notBefore(certificado)).value_or(0);
    f.validoHasta = ossl::segundos(X509_get0_notAfter(certificado)).value_or(0);
    f.conClave = conClave;
    return f;
}

AlmacenSinAbrir::AlmacenSinAbrir(std::string clase, std::string donde, std::string motivo)
    : listado_{std::move(clase), std::move(donde), std::move(motivo), {}, false, {}} {}

ListadoAlmacen AlmacenSinAbrir::listar() {
    return listado_;
}

} // namespace morvelin::almacenes
