// El resumen SHA-1 y el borrado de secretos de la memoria con OpenSSL.
#include "plataforma/criptografia.h"
#include "plataforma/openssl/contexto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace morvelin::plataforma {

namespace {

class CalculoSha1OpenSsl : public CalculoSha1 {
public:
    bool empezar() {
        openssl::EnContextoPrivado en;
        if (!en.valido() || ctx_ == nullptr)
            return false;
        EVP_MD* sha1 = EVP_MD_fetch(openssl::contextoPrivado(), "SHA1", nullptr);
        const bool bien = sha1 != nullptr && EVP_DigestInit_ex(ctx_.get(), sha1, nullptr);
        EVP_MD_free(sha1);
        return bien;
    }
    bool anadir(std::string_view datos) override {
        return EVP_DigestUpdate(ctx_.get(), datos.data(), datos.size()) == 1;
    }
    std::optional<ResumenSha1> terminar() override {
        openssl::EnContextoPrivado en;
        ResumenSha1 resumen{};
        unsigned int n = 0;
        if (!EVP_DigestFinal_ex(ctx_.get(), resumen.data(), &n) || n != resumen.size())
            return std::nullopt;
        return resumen;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx_{EVP_MD_CTX_new(),
                                                                 &EVP_MD_CTX_free};
};

} // namespace

std::unique_ptr<CalculoSha1> empezarSha1() {
    auto calculo = std::make_unique<CalculoSha1OpenSsl>();
    if (!calculo->empezar())
        return nullptr;
    return calculo;
}

void borrarMemoria(void* p, std::size_t n) {
    OPENSSL_cleanse(p, n);
}

} // namespace morvelin::plataforma
