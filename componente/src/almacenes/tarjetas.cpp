#include "almacenes/tarjetas.h"

#include "almacenes/modulos_p11kit.h"
#include "almacenes/nss.h"

#include <pk11pub.h>
#include <secmod.h>

#include <atomic>
#include <mutex>
#include <string>

namespace morvelin::almacenes {

namespace {

// Un módulo cargado en NSS mientras viva.
class ModuloNss {
public:
    ModuloNss(std::shared_ptr<SesionNss> sesion, std::shared_ptr<RegistroP11Kit> registro,
              SECMODModule* modulo)
        : sesion_(std::move(sesion)), registro_(std::move(registro)), modulo_(modulo) {}
    ~ModuloNss() {
        SECMOD_UnloadUserModule(modulo_);
        SECMOD_DestroyModule(modulo_);
    }
    ModuloNss(const ModuloNss&) = delete;
    ModuloNss& operator=(const ModuloNss&) = delete;
    SECMODModule* get() const { return modulo_; }

private:
    std::shared_ptr<SesionNss> sesion_; // se cierra después del módulo
    std::shared_ptr<RegistroP11Kit> registro_;
    SECMODModule* modulo_;
};

std::string textoPkcs11(const char* t) {
    std::string s = t ? t : "";
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

} // namespace

std::vector<std::unique_ptr<Almacen>> abrirTarjetas() {
    std::vector<std::unique_ptr<Almacen>> tarjetas;
    const auto registro = std::make_shared<RegistroP11Kit>();
    {
        // El registro anterior se guarda hasta que hay uno nuevo: así las bibliotecas de los
        // módulos siguen en memoria de una firma a la siguiente y no se vuelven a leer.
        static std::mutex m;
        static auto* anterior = new std::shared_ptr<RegistroP11Kit>();
        std::lock_guard l(m);
        *anterior = registro;
    }
    const auto& registrados = registro->modulos();
    if (registrados.empty())
        return tarjetas;
    auto sesion = SesionNss::obtener();
    static std::atomic<unsigned> contador{0};
    for (const auto& r : registrados) {
        const std::string modulo = "módulo «" + r.nombre + "»";
        SECMODModule* m = nullptr;
        // La ruta y el nombre van entre comillas dobles en la especificación del módulo.
        if (sesion && r.fichero.find('"') == std::string::npos &&
            r.nombre.find('"') == std::string::npos) {
            const std::string especificacion = "library=\"" + r.fichero + "\" name=\"MORVELIN " +
                                               std::to_string(++contador) + " " + r.nombre + "\"";
            m = SECMOD_LoadUserModule(const_cast<char*>(especificacion.c_str()), nullptr, PR_FALSE);
            if (m != nullptr && !m->loaded) {
                SECMOD_DestroyModule(m);
                m = nullptr;
            }
        }
        if (m == nullptr) {
            tarjetas.push_back(std::make_unique<AlmacenSinAbrir>(
                "PKCS #11", modulo + ", " + r.fichero, "el módulo no se puede cargar"));
            continue;
        }
        auto cargado = std::make_shared<ModuloNss>(sesion, registro, m);
        for (int i = 0; i < m->slotCount; ++i) {
            PK11SlotInfo* ranura = m->slots[i];
            const std::string lector = textoPkcs11(PK11_GetSlotName(ranura));
            if (!PK11_IsPresent(ranura)) {
                tarjetas.push_back(std::make_unique<AlmacenSinAbrir>(
                    "PKCS #11", "lector «" + lector + "», " + modulo,
                    "no hay ninguna tarjeta en el lector"));
                continue;
            }
            CK_TOKEN_INFO info{};
            if (PK11_GetTokenInfo(ranura, &info) != SECSuccess ||
                !(info.flags & CKF_TOKEN_INITIALIZED))
                continue;
            const std::string nombre = textoPkcs11(PK11_GetTokenName(ranura));
            tarjetas.push_back(almacenDeRanura(
                std::make_shared<RanuraNss>(cargado, PK11_ReferenceSlot(ranura), false),
                {true, "tarjeta «" + nombre + "» en «" + lector + "», " + modulo, nombre}));
        }
    }
    return tarjetas;
}

} // namespace morvelin::almacenes
