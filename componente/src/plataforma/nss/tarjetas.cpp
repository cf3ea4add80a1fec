// Las tarjetas: los módulos PKCS #11 que registra p11-kit (el registro de Debian, al que se
// suman OpenSC y los demás al instalarse), cargados en el contexto de NSS del componente.
#include "plataforma/nss/almacen_nss.h"
#include "plataforma/nss/nucleo.h"
#include "plataforma/p11kit/modulos.h"

#include <pk11pub.h>
#include <secmod.h>

#include <atomic>
#include <mutex>
#include <string>

namespace morvelin::plataforma::nss {

namespace {

// Un módulo cargado en NSS mientras viva.
class ModuloNss {
public:
    ModuloNss(std::shared_ptr<SesionNss> sesion, std::shared_ptr<p11kit::Registro> registro,
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
    std::shared_ptr<p11kit::Registro> registro_;
    SECMODModule* modulo_;
};

std::string textoPkcs11(const char* t) {
    std::string s = t ? t : "";
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

class AlmacenTarjeta : public AlmacenCertificados {
public:
    AlmacenTarjeta(std::string donde, std::string nombre, std::shared_ptr<RanuraNss> ranura)
        : donde_(std::move(donde)), nombre_(std::move(nombre)), ranura_(std::move(ranura)) {}

    std::unique_ptr<Certificado> buscarPorSujeto(const std::string& texto) override {
        return buscarEn(ranura_, texto, true, {true, nombre_});
    }

    std::vector<ListadoAlmacen> listar() override {
        ListadoAlmacen l;
        l.clase = "PKCS #11";
        l.donde = donde_;
        l.prefiereNoRepudio = true;
        CK_TOKEN_INFO info{};
        if (PK11_GetTokenInfo(ranura_->get(), &info) == SECSuccess &&
            (info.flags & CKF_USER_PIN_LOCKED))
            l.nota = "el PIN está bloqueado: no se puede firmar con ella";
        else if (ranura_->cerrada())
            l.nota = "con PIN: sus claves no se ven sin él, y FIRMA lo pide con pinentry";
        l.certificados = fichasDe(*ranura_);
        return {std::move(l)};
    }

private:
    std::string donde_, nombre_;
    std::shared_ptr<RanuraNss> ranura_;
};

// Un lector sin tarjeta o un módulo que no carga: no encuentra nada y en la lista dice por qué.
class SinTarjeta : public AlmacenCertificados {
public:
    SinTarjeta(std::string donde, std::string estado)
        : donde_(std::move(donde)), estado_(std::move(estado)) {}
    std::unique_ptr<Certificado> buscarPorSujeto(const std::string&) override { return nullptr; }
    std::vector<ListadoAlmacen> listar() override {
        ListadoAlmacen l;
        l.clase = "PKCS #11";
        l.donde = donde_;
        l.estado = estado_;
        return {std::move(l)};
    }

private:
    std::string donde_, estado_;
};

} // namespace

std::vector<Tarjeta> abrirTarjetas() {
    std::vector<Tarjeta> tarjetas;
    const auto registro = std::make_shared<p11kit::Registro>();
    {
        // El registro anterior se guarda hasta que hay uno nuevo: así las bibliotecas de los
        // módulos siguen en memoria de una firma a la siguiente y no se vuelven a leer.
        static std::mutex m;
        static auto* anterior = new std::shared_ptr<p11kit::Registro>();
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
            tarjetas.push_back({std::make_unique<SinTarjeta>(modulo + ", " + r.fichero,
                                                             "el módulo no se puede cargar"),
                                false});
            continue;
        }
        auto cargado = std::make_shared<ModuloNss>(sesion, registro, m);
        for (int i = 0; i < m->slotCount; ++i) {
            PK11SlotInfo* ranura = m->slots[i];
            const std::string lector = textoPkcs11(PK11_GetSlotName(ranura));
            if (!PK11_IsPresent(ranura)) {
                tarjetas.push_back(
                    {std::make_unique<SinTarjeta>("lector «" + lector + "», " + modulo,
                                                  "no hay ninguna tarjeta en el lector"),
                     false});
                continue;
            }
            CK_TOKEN_INFO info{};
            if (PK11_GetTokenInfo(ranura, &info) != SECSuccess ||
                !(info.flags & CKF_TOKEN_INITIALIZED))
                continue;
            const std::string nombre = textoPkcs11(PK11_GetTokenName(ranura));
            tarjetas.push_back(
                {std::make_unique<AlmacenTarjeta>(
                     "tarjeta «" + nombre + "» en «" + lector + "», " + modulo, nombre,
                     std::make_shared<RanuraNss>(cargado, PK11_ReferenceSlot(ranura), false)),
                 true});
        }
    }
    return tarjetas;
}

} // namespace morvelin::plataforma::nss
