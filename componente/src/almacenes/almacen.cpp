#include "almacenes/almacen.h"

#include "plataforma/openssl/x509.h"

namespace morvelin::almacenes {

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
    unsigned char* der = nullptr;
    if (const int n = i2d_X509(certificado, &der); n > 0)
        f.der.assign(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
    OPENSSL_free(der);
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
