// Un módulo PKCS #11 que se porta mal al arrancar (C_Initialize), para las pruebas de las
// tarjetas: compilado con MODULO_ABORTA acaba con el proceso que lo carga; si no, se queda
// parado para siempre.
#include <p11-kit/pkcs11.h>

#include <cstdlib>
#include <unistd.h>

namespace {

CK_RV inicializar(void*) {
#if defined(MODULO_ABORTA)
    std::abort();
#else
    for (;;)
        ::pause();
#endif
}

CK_FUNCTION_LIST lista = {.version = {2, 40}, .C_Initialize = inicializar};

} // namespace

extern "C" __attribute__((visibility("default"))) CK_RV
C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR funciones) {
    *funciones = &lista;
    return CKR_OK;
}
