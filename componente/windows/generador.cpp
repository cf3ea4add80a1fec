// Genera, a partir de la identidad del componente y de su tabla de mensajes, los ficheros de
// los que sale el MORVELIN.DLL de Windows: la IDL de la biblioteca de tipos, el guion de
// registro y el guion de recursos (tabla de cadenas, versión, TYPELIB 1 y REGISTRY 103).
//
//     morvelin_recursos_windows <carpeta de salida>
#include "textos_windows.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

/// Escribe solo si cambia, para que la compilación de Windows no se repita sin motivo.
void escribir(const fs::path& ruta, const std::string& contenido) {
    {
        std::ifstream viejo(ruta, std::ios::binary);
        std::ostringstream leido;
        leido << viejo.rdbuf();
        if (viejo && leido.str() == contenido)
            return;
    }
    const fs::path temporal = ruta.string() + ".tmp";
    {
        std::ofstream f(temporal, std::ios::binary | std::ios::trunc);
        f << contenido;
        f.flush();
        if (!f)
            throw std::runtime_error("no se puede escribir " + temporal.string());
    }
    fs::rename(temporal, ruta);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Uso: " << argv[0] << " <carpeta de salida>\n";
        return 2;
    }
    try {
        const fs::path carpeta = argv[1];
        fs::create_directories(carpeta);
        escribir(carpeta / "MORVELIN.idl", morvelin::windows::idlMorvelin());
        escribir(carpeta / "MORVELIN.rgs", morvelin::windows::guionRegistro());
        escribir(carpeta / "recursos.rc", morvelin::windows::guionRecursos());
    } catch (const std::exception& e) {
        std::cerr << "morvelin_recursos_windows: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
