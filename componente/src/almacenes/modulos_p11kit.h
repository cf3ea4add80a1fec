#pragma once
// Los módulos PKCS #11 registrados en p11-kit, el registro estándar de Debian (OpenSC y los
// demás se suman a él al instalarse).

#include <memory>
#include <string>
#include <vector>

namespace morvelin::almacenes {

struct ModuloRegistrado {
    std::string nombre;  ///< el del fichero .module
    std::string fichero; ///< la biblioteca, con su ruta entera
    bool operator==(const ModuloRegistrado&) const = default;
};

/// Los módulos registrados para este programa, en el orden de p11-kit, sin los de confianza
/// (los que solo guardan certificados de autoridades). Mientras viva, sus bibliotecas siguen
/// cargadas (sin inicializar): quien las cargue después no las vuelve a leer del disco.
class RegistroP11Kit {
public:
    RegistroP11Kit();
    const std::vector<ModuloRegistrado>& modulos() const { return modulos_; }

private:
    struct Soltar {
        void operator()(void* cargados) const;
    };
    std::unique_ptr<void, Soltar> cargados_;
    std::vector<ModuloRegistrado> modulos_;
};

} // namespace morvelin::almacenes
