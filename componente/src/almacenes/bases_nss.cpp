#include "almacenes/bases_nss.h"

#include "almacenes/nss.h"

#include <pk11pub.h>
#include <secmod.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace morvelin::almacenes {

namespace {

namespace fs = std::filesystem;

bool existeBase(const std::string& carpeta) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(carpeta) / "cert9.db", ec);
}

// Una sección de profiles.ini: sus claves y valores.
using Seccion = std::map<std::string, std::string>;

std::vector<std::pair<std::string, Seccion>> leerIni(const fs::path& ruta) {
    std::vector<std::pair<std::string, Seccion>> secciones;
    std::ifstream f(ruta);
    std::string linea;
    while (std::getline(f, linea)) {
        if (!linea.empty() && linea.back() == '\r')
            linea.pop_back();
        if (linea.size() > 2 && linea.front() == '[' && linea.back() == ']') {
            secciones.emplace_back(linea.substr(1, linea.size() - 2), Seccion{});
        } else if (const auto igual = linea.find('=');
                   igual != std::string::npos && !secciones.empty()) {
            secciones.back().second[linea.substr(0, igual)] = linea.substr(igual + 1);
        }
    }
    return secciones;
}

// Los perfiles de un programa que nombra su profiles.ini: primero el predeterminado de la
// instalación ([Install...] Default=), luego el marcado Default=1, luego los demás en su orden.
void anadirPerfiles(const fs::path& carpeta, const std::string& programa,
                    std::vector<Base>& bases) {
    const auto secciones = leerIni(carpeta / "profiles.ini");
    std::set<std::string> predeterminados;
    for (const auto& [nombre, claves] : secciones)
        if (nombre.starts_with("Install") && claves.count("Default"))
            predeterminados.insert(claves.at("Default"));
    struct Perfil {
        int prioridad;
        std::size_t orden;
        Base base;
    };
    std::vector<Perfil> perfiles;
    for (std::size_t i = 0; i < secciones.size(); ++i) {
        const auto& [nombre, claves] = secciones[i];
        if (!nombre.starts_with("Profile") || !claves.count("Path"))
            continue;
        const std::string& ruta = claves.at("Path");
        const bool relativa = !claves.count("IsRelative") || claves.at("IsRelative") != "0";
        const std::string completa = relativa ? (carpeta / ruta).string() : ruta;
        const int prioridad = predeterminados.count(ruta)                              ? 0
                              : claves.count("Default") && claves.at("Default") == "1" ? 1
                                                                                       : 2;
        const std::string nombrePerfil = claves.count("Name") ? claves.at("Name") : ruta;
        perfiles.push_back(
            {prioridad, i, {completa, "perfil de " + programa + " «" + nombrePerfil + "»"}});
    }
    std::stable_sort(perfiles.begin(), perfiles.end(),
                     [](const Perfil& a, const Perfil& b) { return a.prioridad < b.prioridad; });
    for (auto& p : perfiles)
        if (existeBase(p.base.carpeta))
            bases.push_back(std::move(p.base));
}

} // namespace

std::vector<Base> basesDelUsuario() {
    std::vector<Base> bases;
    if (const char* propia = std::getenv("MORVELIN_NSSDB"); propia && *propia) {
        std::string carpeta = propia;
        if (carpeta.starts_with("sql:"))
            carpeta.erase(0, 4);
        if (existeBase(carpeta))
            bases.push_back({carpeta, "MORVELIN_NSSDB"});
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return bases;
    const fs::path casa = home;
    if (existeBase((casa / ".pki/nssdb").string()))
        bases.push_back({(casa / ".pki/nssdb").string(), "compartida del usuario"});
    anadirPerfiles(casa / ".mozilla/firefox", "Firefox", bases);
    anadirPerfiles(casa / ".thunderbird", "Thunderbird", bases);
    // La misma base por dos caminos se mira una vez.
    std::vector<Base> unicas;
    std::set<std::string> vistas;
    for (auto& b : bases) {
        std::error_code ec;
        const auto canonica = fs::weakly_canonical(b.carpeta, ec).string();
        if (vistas.insert(ec ? b.carpeta : canonica).second)
            unicas.push_back(std::move(b));
    }
    return unicas;
}

std::unique_ptr<Almacen> abrirBase(const Base& base) {
    const std::string donde = base.carpeta + ", " + base.origen;
    // La carpeta va entre comillas simples en la especificación del módulo.
    std::shared_ptr<SesionNss> sesion;
    if (base.carpeta.find('\'') == std::string::npos)
        sesion = SesionNss::obtener();
    PK11SlotInfo* ranura = nullptr;
    if (sesion) {
        static std::atomic<unsigned> contador{0};
        const std::string especificacion = "configdir='sql:" + base.carpeta +
                                           "' tokenDescription='MORVELIN " +
                                           std::to_string(++contador) + "' flags=readOnly";
        ranura = SECMOD_OpenUserDB(especificacion.c_str());
    }
    if (ranura == nullptr)
        return std::make_unique<AlmacenSinAbrir>("NSS", donde, "no se puede abrir");
    return almacenDeRanura(std::make_shared<RanuraNss>(std::move(sesion), ranura, true),
                           {false, donde, base.carpeta + " (" + base.origen + ")"});
}

} // namespace morvelin::almacenes
