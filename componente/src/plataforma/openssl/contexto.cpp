#include "plataforma/openssl/contexto.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/provider.h>

namespace morvelin::plataforma::openssl {

namespace {

OSSL_LIB_CTX* crearContexto() {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    if (ctx == nullptr)
        return nullptr;
    // Los proveedores quedan cargados mientras viva el contexto, es decir, todo el proceso.
    if (OSSL_PROVIDER_load(ctx, "default") == nullptr) {
        OSSL_LIB_CTX_free(ctx);
        return nullptr;
    }
    // Sin «legacy» siguen valiendo los certificados modernos: solo fallarán las copias
    // antiguas, y lo harán como un fichero que no es un certificado.
    OSSL_PROVIDER_load(ctx, "legacy");
    return ctx;
}

} // namespace

OSSL_LIB_CTX* contextoPrivado() {
    static OSSL_LIB_CTX* const ctx = crearContexto();
    return ctx;
}

EnContextoPrivado::EnContextoPrivado() {
    ERR_set_mark();
    if (OSSL_LIB_CTX* ctx = contextoPrivado())
        anterior_ = OSSL_LIB_CTX_set0_default(ctx);
}

EnContextoPrivado::~EnContextoPrivado() {
    if (anterior_ != nullptr)
        OSSL_LIB_CTX_set0_default(anterior_);
    ERR_pop_to_mark();
}

} // namespace morvelin::plataforma::openssl
