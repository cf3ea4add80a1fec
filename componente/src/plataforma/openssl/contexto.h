#pragma once
// El contexto de OpenSSL propio del componente.
//
// El componente corre dentro de procesos ajenos: no toca el contexto global de OpenSSL. Usa uno
// privado, creado una vez por proceso, con los proveedores «default» y «legacy» (este último
// para las copias PKCS #12 antiguas, cifradas con RC2-40 o 3DES). No lee openssl.cnf.

#include <openssl/types.h>

namespace morvelin::plataforma::openssl {

/// El contexto privado; nullptr si no se ha podido crear.
OSSL_LIB_CTX* contextoPrivado();

/// Mientras vive, el contexto privado es el predeterminado de este hilo (solo de este hilo), de
/// modo que toda llamada a OpenSSL que no recibe contexto usa el del componente. Al terminar
/// deja el que hubiera y retira de la cola de errores del hilo los que haya dejado el
/// componente: el programa que carga el componente no los ve.
class EnContextoPrivado {
public:
    EnContextoPrivado();
    ~EnContextoPrivado();
    EnContextoPrivado(const EnContextoPrivado&) = delete;
    EnContextoPrivado& operator=(const EnContextoPrivado&) = delete;

    /// false si el contexto privado no existe (y entonces nada ha cambiado).
    bool valido() const { return anterior_ != nullptr; }

private:
    OSSL_LIB_CTX* anterior_ = nullptr;
};

} // namespace morvelin::plataforma::openssl
