// La clave de un almacén para OpenSSL, con los métodos de RSA y de EC (RSA_METHOD,
// EC_KEY_METHOD) que OpenSSL 3 da por obsoletos; solo este fichero los usa.
//
// Por qué no un proveedor de OpenSSL 3: para que libssl reconozca la clave como RSA o EC, el
// proveedor ha de gestionar claves con esos nombres, y entonces compite con el proveedor
// «default» en cada búsqueda por nombre del contexto donde esté (la del grupo EC del
// intercambio de claves, sin ir más lejos). OpenSSL 3.0, el de Debian 12, no ordena las
// propiedades opcionales («?provider=default») y da la suya: el cliente TLS se quedaría sin las
// curvas P-256 y P-384 y sin poder generar sus claves efímeras. Una clave con métodos propios es
// «ajena» para OpenSSL: firma con ella por el camino de siempre, sin buscar nada en los
// proveedores, y lo demás no cambia.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "plataforma/openssl/clave_almacen.h"

#include "plataforma/openssl/firma_clave.h"

#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <optional>

namespace morvelin::plataforma::openssl {

namespace {

// Lo que cuelga de la clave RSA o EC: el certificado que firma.
struct Firmante {
    std::shared_ptr<const Certificado> certificado;
    std::string para;
};

void soltarFirmante(void*, void* firmante, CRYPTO_EX_DATA*, int, long, void*) {
    delete static_cast<Firmante*>(firmante);
}

std::optional<ResumenFirma> resumenDeNid(int nid) {
    switch (nid) {
    case NID_sha1:
        return ResumenFirma::Sha1;
    case NID_sha256:
        return ResumenFirma::Sha256;
    case NID_sha384:
        return ResumenFirma::Sha384;
    case NID_sha512:
        return ResumenFirma::Sha512;
    default:
        return std::nullopt;
    }
}

std::optional<ResumenFirma> resumenDeLargo(std::size_t largo) {
    for (const ResumenFirma r :
         {ResumenFirma::Sha1, ResumenFirma::Sha256, ResumenFirma::Sha384, ResumenFirma::Sha512})
        if (largoResumen(r) == largo)
            return r;
    return std::nullopt;
}

std::optional<std::string> firmarCon(const Firmante* f, AlgoritmoFirma::Esquema esquema,
                                     std::optional<ResumenFirma> resumen, const unsigned char* m,
                                     std::size_t largo) {
    if (f == nullptr || !resumen)
        return std::nullopt;
    return f->certificado->firmar({esquema, *resumen, true},
                                  std::string_view(reinterpret_cast<const char*>(m), largo),
                                  f->para);
}

// RSA: OpenSSL pide la firma PKCS #1 de un resumen con RSA_sign, que llega aquí con el resumen y
// su algoritmo; la operación privada en bruto (la de PSS) no se hace.

int indiceRsa() {
    static const int i = RSA_get_ex_new_index(0, nullptr, nullptr, nullptr, soltarFirmante);
    return i;
}

int firmarRsa(int tipo, const unsigned char* m, unsigned int largo, unsigned char* firma,
              unsigned int* largoFirma, const RSA* rsa) {
    const auto* f = static_cast<const Firmante*>(RSA_get_ex_data(rsa, indiceRsa()));
    const auto r = firmarCon(f, AlgoritmoFirma::Esquema::Pkcs1, resumenDeNid(tipo), m, largo);
    if (!r || r->size() > static_cast<std::size_t>(RSA_size(rsa)))
        return 0;
    std::copy(r->begin(), r->end(), firma);
    *largoFirma = static_cast<unsigned int>(r->size());
    return 1;
}

int sinOperacionPrivada(int, const unsigned char*, unsigned char*, RSA*, int) {
    return -1;
}

const RSA_METHOD* metodoRsa() {
    static RSA_METHOD* const m = [] {
        RSA_METHOD* r = RSA_meth_dup(RSA_PKCS1_OpenSSL());
        if (r != nullptr && (RSA_meth_set1_name(r, "MORVELIN almacén") != 1 ||
                             RSA_meth_set_sign(r, firmarRsa) != 1 ||
                             RSA_meth_set_priv_enc(r, sinOperacionPrivada) != 1 ||
                             RSA_meth_set_priv_dec(r, sinOperacionPrivada) != 1)) {
            RSA_meth_free(r);
            r = nullptr;
        }
        return r;
    }();
    return m;
}

// EC: ECDSA_sign y ECDSA_do_sign llegan aquí con el resumen (su algoritmo, por su largo).

int indiceEc() {
    static const int i = EC_KEY_get_ex_new_index(0, nullptr, nullptr, nullptr, soltarFirmante);
    return i;
}

std::optional<std::string> firmarEc(const unsigned char* resumen, int largo, EC_KEY* ec) {
    const auto* f = static_cast<const Firmante*>(EC_KEY_get_ex_data(ec, indiceEc()));
    return firmarCon(f, AlgoritmoFirma::Esquema::Ecdsa,
                     resumenDeLargo(static_cast<std::size_t>(largo)), resumen,
                     static_cast<std::size_t>(largo));
}

int firmarEcDer(int, const unsigned char* resumen, int largo, unsigned char* firma,
                unsigned int* largoFirma, const BIGNUM*, const BIGNUM*, EC_KEY* ec) {
    const auto r = firmarEc(resumen, largo, ec);
    if (!r || r->size() > static_cast<std::size_t>(ECDSA_size(ec)))
        return 0;
    std::copy(r->begin(), r->end(), firma);
    *largoFirma = static_cast<unsigned int>(r->size());
    return 1;
}

ECDSA_SIG* firmarEcSig(const unsigned char* resumen, int largo, const BIGNUM*, const BIGNUM*,
                       EC_KEY* ec) {
    const auto r = firmarEc(resumen, largo, ec);
    if (!r)
        return nullptr;
    const auto* p = reinterpret_cast<const unsigned char*>(r->data());
    return d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(r->size()));
}

const EC_KEY_METHOD* metodoEc() {
    static EC_KEY_METHOD* const m = [] {
        EC_KEY_METHOD* e = EC_KEY_METHOD_new(EC_KEY_OpenSSL());
        if (e == nullptr)
            return e;
        int (*preparar)(EC_KEY*, BN_CTX*, BIGNUM**, BIGNUM**) = nullptr;
        EC_KEY_METHOD_get_sign(EC_KEY_OpenSSL(), nullptr, &preparar, nullptr);
        EC_KEY_METHOD_set_sign(e, firmarEcDer, preparar, firmarEcSig);
        return e;
    }();
    return m;
}

// La clave RSA o EC con los datos públicos de `publica` y el firmante colgado.
ClavePropia claveRsa(EVP_PKEY* publica, Firmante* f) {
    const BIGNUM *n = nullptr, *e = nullptr;
    const RSA* origen = EVP_PKEY_get0_RSA(publica);
    RSA_get0_key(origen, &n, &e, nullptr);
    const RSA_METHOD* metodo = metodoRsa();
    Propio<RSA, RSA_free> rsa(RSA_new());
    if (!rsa || metodo == nullptr || n == nullptr || e == nullptr ||
        RSA_set0_key(rsa.get(), BN_dup(n), BN_dup(e), nullptr) != 1 ||
        RSA_set_method(rsa.get(), metodo) != 1 || RSA_set_ex_data(rsa.get(), indiceRsa(), f) != 1)
        return nullptr;
    ClavePropia clave(EVP_PKEY_new());
    if (!clave || EVP_PKEY_assign_RSA(clave.get(), rsa.get()) != 1) {
        RSA_set_ex_data(rsa.get(), indiceRsa(), nullptr);
        return nullptr;
    }
    rsa.release();
    return clave;
}

ClavePropia claveEc(EVP_PKEY* publica, Firmante* f) {
    const EC_KEY* origen = EVP_PKEY_get0_EC_KEY(publica);
    const EC_KEY_METHOD* metodo = metodoEc();
    Propio<EC_KEY, EC_KEY_free> ec(EC_KEY_new());
    if (!ec || origen == nullptr || metodo == nullptr ||
        EC_KEY_set_group(ec.get(), EC_KEY_get0_group(origen)) != 1 ||
        EC_KEY_set_public_key(ec.get(), EC_KEY_get0_public_key(origen)) != 1 ||
        EC_KEY_set_method(ec.get(), metodo) != 1 ||
        EC_KEY_set_ex_data(ec.get(), indiceEc(), f) != 1)
        return nullptr;
    ClavePropia clave(EVP_PKEY_new());
    if (!clave || EVP_PKEY_assign_EC_KEY(clave.get(), ec.get()) != 1) {
        EC_KEY_set_ex_data(ec.get(), indiceEc(), nullptr);
        return nullptr;
    }
    ec.release();
    return clave;
}

} // namespace

ClavePropia claveDeAlmacen(std::shared_ptr<const Certificado> certificado, std::string para) {
    if (!certificado)
        return nullptr;
    const auto x = certificadoDeDer(certificado->der());
    EVP_PKEY* publica = x ? X509_get0_pubkey(x.get()) : nullptr;
    if (publica == nullptr)
        return nullptr;
    auto firmante = std::make_unique<Firmante>(Firmante{std::move(certificado), std::move(para)});
    ClavePropia clave;
    if (EVP_PKEY_get_base_id(publica) == EVP_PKEY_RSA)
        clave = claveRsa(publica, firmante.get());
    else if (EVP_PKEY_get_base_id(publica) == EVP_PKEY_EC)
        clave = claveEc(publica, firmante.get());
    if (clave)
        firmante.release(); // ya es de la clave, que lo suelta con ella
    return clave;
}

} // namespace morvelin::plataforma::openssl
