#include "almacenes/bases_nss.h"

#include "almacenes/nss.h"
#include "infraestructura/lectura.h"

#include <pk11pub.h>
#include <secmod.h>
extern "C" {
#include <utilpars.h>
}

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace morvelin::almacenes {

namespace {

namespace fs = std::filesystem;

// Ningún profiles.ini es tan grande: uno mayor no se lee.
constexpr std::size_t TamanoMaximoIni = 1u << 20;

// Si en `carpeta` hay una base de datos: sin valor si no la hay; vacío si la hay y se puede
// abrir; si no, por qué no. Los ficheros que NSS abriría (la base, la de claves y los diarios de
// SQLite) han de ser ficheros normales: una tubería dejaría la apertura esperando.
std::optional<std::string> estadoBase(const std::string& carpeta) {
    struct stat st {};
    if (::stat((carpeta + "/cert9.db").c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR
                   ? std::nullopt
                   : std::optional<std::string>("no se puede leer su carpeta");
    for (const char* nombre : {"cert9.db", "key4.db", "cert9.db-journal", "cert9.db-wal",
                               "cert9.db-shm", "key4.db-journal", "key4.db-wal", "key4.db-shm"}) {
        if (::stat((carpeta + "/" + nombre).c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return "«" + std::string(nombre) + "» no es un fichero normal";
    }
    return std::string();
}

// Una sección de profiles.ini: sus claves y valores.
using Seccion = std::map<std::string, std::string>;

std::vector<std::pair<std::string, Seccion>> leerIni(const std::string& texto) {
    std::vector<std::pair<std::string, Seccion>> secciones;
    std::istringstream f(texto);
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

// Una base que está: se añade, con su motivo si no se puede abrir.
void anadirSiEsta(std::vector<Base>& bases, std::string carpeta, std::string origen) {
    if (auto estado = estadoBase(carpeta))
        bases.push_back({std::move(carpeta), std::move(origen), std::move(*estado)});
}

// Los perfiles de un programa que nombra su profiles.ini: primero el predeterminado de la
// instalación ([Install...] Default=), luego el marcado Default=1, luego los demás en su orden.
void anadirPerfiles(const fs::path& carpeta, const std::string& programa,
                    std::vector<Base>& bases) {
    const std::string ini = (carpeta / "profiles.ini").string();
    std::string texto;
    switch (leerFicheroPequeno(ini, TamanoMaximoIni, texto)) {
    case Lectura::Leido:
        break;
    case Lectura::NoExiste:
        return;
    case Lectura::NoEsFichero:
        bases.push_back({ini, "perfiles de " + programa, "no es un fichero normal"});
        return;
    case Lectura::NoSeLee:
    case Lectura::Grande:
        bases.push_back({ini, "perfiles de " + programa, "no se puede leer"});
        return;
    }
    const auto secciones = leerIni(texto);
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
            {prioridad, i, {completa, "perfil de " + programa + " «" + nombrePerfil + "»", {}}});
    }
    std::stable_sort(perfiles.begin(), perfiles.end(),
                     [](const Perfil& a, const Perfil& b) { return a.prioridad < b.prioridad; });
    for (auto& p : perfiles)
        anadirSiEsta(bases, std::move(p.base.carpeta), std::move(p.base.origen));
}

} // namespace

std::vector<Base> basesDelUsuario() {
    std::vector<Base> bases;
    if (const char* propia = std::getenv("MORVELIN_NSSDB"); propia && *propia) {
        std::string carpeta = propia;
        if (carpeta.starts_with("sql:"))
            carpeta.erase(0, 4);
        anadirSiEsta(bases, carpeta, "MORVELIN_NSSDB");
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return bases;
    const fs::path casa = home;
    anadirSiEsta(bases, (casa / ".pki/nssdb").string(), "compartida del usuario");
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
    if (!base.motivo.empty())
        return std::make_unique<AlmacenSinAbrir>("NSS", donde, base.motivo);
    auto sesion = SesionNss::obtener();
    PK11SlotInfo* ranura = nullptr;
    if (sesion) {
        // La carpeta va entre comillas, con las suyas y sus barras inversas protegidas: ni una
        // «\» lleva a otra base ni una al final se come el «readOnly».
        static std::atomic<unsigned> contador{0};
        char* carpeta = NSSUTIL_Quote(("sql:" + base.carpeta).c_str(), '\'');
        if (carpeta != nullptr) {
            const std::string especificacion = "configdir=" + std::string(carpeta) +
                                               " tokenDescription='MORVELIN " +
                                               std::to_string(++contador) + "' flags=readOnly";
            PORT_Free(carpeta);
            ranura = SECMOD_OpenUserDB(especificacion.c_str());
        }
    }
    if (ranura == nullptr)
        return std::make_unique<AlmacenSinAbrir>("NSS", donde, "no se puede abrir");
    return almacenDeRanura(std::make_shared<RanuraNss>(std::move(sesion), ranura, true),
                           {false, donde, base.carpeta + " (" + base.origen + ")"});
}

} // namespace morvelin::almacenes
