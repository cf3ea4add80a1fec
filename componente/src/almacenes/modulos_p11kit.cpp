#include "almacenes/modulos_p11kit.h"

#include <p11-kit/p11-kit.h>

#include <cstdlib>

namespace morvelin::almacenes {

namespace {

// Un texto que p11-kit da para soltar con free().
struct TextoC {
    char* p;
    ~TextoC() { std::free(p); }
    std::string str() const { return p ? p : ""; }
};

} // namespace

void RegistroP11Kit::Soltar::operator()(void* cargados) const {
    p11_kit_modules_release(static_cast<CK_FUNCTION_LIST**>(cargados));
}

RegistroP11Kit::RegistroP11Kit() {
    CK_FUNCTION_LIST** modulos = p11_kit_modules_load(nullptr, P11_KIT_MODULE_UNMANAGED);
    cargados_.reset(modulos);
    if (modulos == nullptr)
        return;
    for (CK_FUNCTION_LIST** m = modulos; *m != nullptr; ++m) {
        const TextoC confianza{p11_kit_config_option(*m, "trust-policy")};
        const TextoC nombre{p11_kit_module_get_name(*m)};
        const TextoC fichero{p11_kit_module_get_filename(*m)};
        if (confianza.str() == "yes" || fichero.p == nullptr)
            continue;
        std::string ruta = fichero.str();
        if (!ruta.starts_with("/")) // relativa a la carpeta de módulos de p11-kit
            ruta = std::string(P11_MODULOS) + "/" + ruta;
        modulos_.push_back({nombre.p ? nombre.str() : ruta, ruta});
    }
}

} // namespace morvelin::almacenes
