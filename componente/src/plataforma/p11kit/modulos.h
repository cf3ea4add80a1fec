#pragma once
// Los módulos PKCS #11 registrados en p11-kit, el registro estándar de Debian (OpenSC y los
// demás se suman a él al instalarse).

#include <string>
#include <vector>

namespace morvelin::plataforma::p11kit {

struct ModuloRegistrado {
    std::string nombre;  ///< el del fichero .module
    std::string fichero; ///< la biblioteca, con su ruta entera
};

/// Los módulos registrados para este programa, en el orden de p11-kit, sin los de confianza
/// (los que solo guardan certificados de autoridades). Mientras viva, sus bibliotecas siguen
/// cargadas (sin inicializar): quien las cargue después no las vuelve a leer del disco.
class Registro {
public:
    Registro();
    ~Registro();
    Registro(const Registro&) = delete;
    Registro& operator=(const Registro&) = delete;
    const std::vector<ModuloRegistrado>& modulos() const { return modulos_; }

private:
    void* cargados_ = nullptr;
    std::vector<ModuloRegistrado> modulos_;
};

} // namespace morvelin::plataforma::p11kit
