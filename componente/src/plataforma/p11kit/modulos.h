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
/// (los que solo guardan certificados de autoridades). No inicializa ninguno.
std::vector<ModuloRegistrado> modulosRegistrados();

} // namespace morvelin::plataforma::p11kit
