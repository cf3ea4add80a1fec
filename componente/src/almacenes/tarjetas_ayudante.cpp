// El ayudante de las tarjetas por dentro (el programa «morvelin-tarjetas»): carga en NSS los
// módulos que registra p11-kit, manda lo que hay en sus tarjetas y firma lo que se le pide. El
// PIN lo pide, por la misma conexión, el proceso que lo arrancó: él tiene el terminal y el
// escritorio del usuario. Entre una búsqueda y la siguiente queda en reposo, sin sesiones con
// PIN pero con NSS y los módulos cargados: arrancar un módulo (C_Initialize) cuesta más que
// listar sus tarjetas. Un módulo ya cargado ve poner y quitar una tarjeta en un lector, pero no
// siempre una tarjeta de programa creada después por otro proceso: por eso se piden también
// listados con los módulos cargados de nuevo. Cada listado vuelve a leer el registro de p11-kit;
// si ha cambiado, los módulos se descargan y se cargan los de ahora. En reposo más de cinco
// minutos, acaba.
//
// Mensajes (canal_tarjetas.h), a petición de quien lo arrancó:
//   L  ficheros de módulos que no se deben cargar
//        carga los módulos que no lo estén (en los ya cargados mira si hay lectores nuevos) y,
//        por cada uno en su orden: M (índice, nombre, fichero), antes de usarlo (si no contesta
//        o falla, se sabe cuál); S (dónde, por qué) por un módulo que no carga o un lector sin
//        tarjeta; T (identificador, dónde, nota y, por certificado: apodo, DER, clave a su
//        alcance 0/1, clave tras el PIN 0/1) por una tarjeta. Al final, F.
//   N  como L, pero descarga antes los módulos y los carga de nuevo.
//   G  identificador de la tarjeta, posición del certificado, algoritmo (textoAlgoritmo), resumen,
//      para qué (lo que completa la petición del PIN)
//        contesta Y (la firma) o X (no se ha podido firmar); entre medias puede pedir el PIN con
//        P (descripción, indicación, aviso), que se contesta con p (dado, cancelado o
//        sin-dialogo, y el PIN). El PIN vale para las firmas siguientes con ese certificado
//        hasta el siguiente L o R: una operación que firma mucho lo pide una vez.
//   R  suelta las tarjetas (cierra las sesiones abiertas con el PIN) y queda en reposo; no
//      contesta.
#include "almacenes/canal_tarjetas.h"
#include "almacenes/modulos_p11kit.h"
#include "almacenes/nss.h"
#include "almacenes/tarjetas.h"

#include <pk11pub.h>
#include <secmod.h>
extern "C" {
#include <utilpars.h>
}

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <map>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace morvelin::almacenes {

namespace {

using plataforma::PeticionPin;
using plataforma::RespuestaPin;
using plataforma::Secreto;

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

// Un texto entre comillas dobles para la especificación de un módulo de NSS, con sus comillas
// y sus barras inversas protegidas.
std::string entreComillas(const std::string& texto) {
    char* q = NSSUTIL_Quote(texto.c_str(), '"');
    if (q == nullptr)
        return {};
    std::string r = q;
    PORT_Free(q);
    return r;
}

// El módulo `r`, cargado en NSS; nullptr si no se puede.
SECMODModule* cargar(const ModuloRegistrado& r, std::size_t indice, bool conSesion) {
    if (!conSesion)
        return nullptr;
    const std::string libreria = entreComillas(r.fichero);
    const std::string nombre = entreComillas("MORVELIN " + std::to_string(indice) + " " + r.nombre);
    if (libreria.empty() || nombre.empty())
        return nullptr;
    std::string especificacion = "library=" + libreria + " name=" + nombre;
    SECMODModule* m = SECMOD_LoadUserModule(especificacion.data(), nullptr, PR_FALSE);
    if (m != nullptr && !m->loaded) {
        SECMOD_DestroyModule(m);
        m = nullptr;
    }
    return m;
}

} // namespace

namespace {

// Lo que el ayudante tiene cargado: el registro de p11-kit con el que se cargaron los módulos
// (sus bibliotecas siguen en memoria), NSS, los módulos y las tarjetas del último listado.
class Servidor {
public:
    explicit Servidor(int fd) : canal_(fd) {}

    // Carga los módulos, salvo los de los ficheros de `saltar`, y manda lo que hay; los ya
    // cargados se usan como están salvo `deNuevo`. false si la conexión falla.
    bool listar(const std::vector<std::string>& saltar, bool deNuevo) {
        soltar();
        auto registro = std::make_shared<RegistroP11Kit>();
        if (deNuevo || !registro_ || registro->modulos() != registro_->modulos()) {
            cargados_.clear();               // antes que el registro con el que se cargaron
            registro_ = std::move(registro); // el anterior se suelta ya cargado este
            cargados_.resize(registro_->modulos().size());
        }
        const auto& registrados = registro_->modulos();
        if (!registrados.empty() && !sesion_)
            sesion_ = SesionNss::obtener();
        for (std::size_t i = 0; i < registrados.size(); ++i) {
            const ModuloRegistrado& r = registrados[i];
            if (!canal_.enviar('M', {std::to_string(i), r.nombre, r.fichero}))
                return false;
            if (std::find(saltar.begin(), saltar.end(), r.fichero) != saltar.end()) {
                cargados_[i].reset();
                continue;
            }
            if (!listarModulo(r, i))
                return false;
        }
        return canal_.enviar('F', {});
    }

    // La petición de firma `m`; false si la conexión falla.
    bool firmar(const Mensaje& m) {
        std::optional<std::string> firma;
        std::size_t id = SIZE_MAX, posicion = 0;
        std::from_chars(m.campos[0].data(), m.campos[0].data() + m.campos[0].size(), id);
        std::from_chars(m.campos[1].data(), m.campos[1].data() + m.campos[1].size(), posicion);
        const auto algoritmo = algoritmoDeTexto(m.campos[2]);
        if (const plataforma::Certificado* c = certificado(id, posicion); c && algoritmo)
            firma = c->firmar(*algoritmo, m.campos[3], m.campos[4]);
        return firma ? canal_.enviar('Y', {*firma}) : canal_.enviar('X', {});
    }

    // Suelta las tarjetas: se cierran las sesiones con el PIN. Los módulos siguen cargados.
    void soltar() {
        certificados_.clear();
        tarjetas_.clear();
    }
    bool enReposo() const { return tarjetas_.empty(); }
    CanalDescriptor& canal() { return canal_; }

private:
    // El certificado `posicion` de la tarjeta `id`, el mismo de una firma a la siguiente (con su
    // PIN dado); nullptr si no hay.
    const plataforma::Certificado* certificado(std::size_t id, std::size_t posicion) {
        const auto clave = std::make_pair(id, posicion);
        if (const auto c = certificados_.find(clave); c != certificados_.end())
            return c->second.get();
        if (id >= tarjetas_.size())
            return nullptr;
        auto c = tarjetas_[id]->certificado(posicion);
        if (!c)
            return nullptr;
        return certificados_.emplace(clave, std::move(c)).first->second.get();
    }

    bool listarModulo(const ModuloRegistrado& r, std::size_t indice) {
        const std::string modulo = "módulo «" + r.nombre + "»";
        auto& cargado = cargados_[indice];
        if (cargado) {
            // Un lector conectado después de cargar el módulo es una ranura nueva.
            SECMOD_UpdateSlotList(cargado->get());
        } else {
            SECMODModule* nuevo = cargar(r, indice, sesion_ != nullptr);
            if (nuevo == nullptr)
                return canal_.enviar('S',
                                     {modulo + ", " + r.fichero, "el módulo no se puede cargar"});
            cargado = std::make_shared<ModuloNss>(sesion_, registro_, nuevo);
        }
        SECMODModule* m = cargado->get();
        for (int k = 0; k < m->slotCount; ++k) {
            PK11SlotInfo* ranura = m->slots[k];
            const std::string lector = textoPkcs11(PK11_GetSlotName(ranura));
            if (!PK11_IsPresent(ranura)) {
                if (!canal_.enviar('S', {"lector «" + lector + "», " + modulo,
                                         "no hay ninguna tarjeta en el lector"}))
                    return false;
                continue;
            }
            CK_TOKEN_INFO info{};
            if (PK11_GetTokenInfo(ranura, &info) != SECSuccess ||
                !(info.flags & CKF_TOKEN_INITIALIZED))
                continue;
            const std::string nombre = textoPkcs11(PK11_GetTokenName(ranura));
            auto tarjeta = almacenDeRanura(
                std::make_shared<RanuraNss>(cargado, PK11_ReferenceSlot(ranura), false),
                {true, "tarjeta «" + nombre + "» en «" + lector + "», " + modulo, nombre,
                 [this](const PeticionPin& p, Secreto& pin) {
                     return pedirPin(p, pin);
                 }});
            const ListadoAlmacen l = tarjeta->listar();
            const std::string id = std::to_string(tarjetas_.size());
            std::vector<std::string_view> campos = {id, l.donde, l.nota};
            for (const FichaCertificado& f : l.certificados) {
                campos.push_back(f.donde);
                campos.push_back(f.der);
                campos.push_back(f.conClave ? "1" : "0");
                campos.push_back(f.claveTrasPin ? "1" : "0");
            }
            if (!canal_.enviar('T', campos))
                return false;
            tarjetas_.push_back(std::move(tarjeta));
        }
        return true;
    }

    // El PIN, pedido a quien arrancó al ayudante.
    RespuestaPin pedirPin(const PeticionPin& p, Secreto& pin) {
        if (!canal_.enviar('P', {p.descripcion, p.indicacion, p.aviso}))
            return RespuestaPin::SinDialogo;
        Mensaje m;
        if (!canal_.recibir(m, &pin) || m.tipo != 'p' || m.campos.size() != 1) {
            pin.borrar();
            return RespuestaPin::SinDialogo;
        }
        return m.campos[0] == "dado"        ? RespuestaPin::Dado
               : m.campos[0] == "cancelado" ? RespuestaPin::Cancelado
                                            : RespuestaPin::SinDialogo;
    }

    CanalDescriptor canal_;
    std::shared_ptr<RegistroP11Kit> registro_;
    std::shared_ptr<SesionNss> sesion_;
    std::vector<std::shared_ptr<ModuloNss>> cargados_; // por índice en el registro; nullptr si no
    std::vector<std::unique_ptr<Almacen>> tarjetas_;
    std::map<std::pair<std::size_t, std::size_t>, std::unique_ptr<plataforma::Certificado>>
        certificados_; // los que han firmado; se sueltan antes que sus tarjetas
};

} // namespace

int servirTarjetas(int fd) {
    Servidor servidor(fd);
    constexpr auto Reposo = std::chrono::minutes(5);
    for (;;) {
        // En reposo demasiado tiempo, se acaba: quien lo arrancó arranca otro si lo necesita.
        if (servidor.enReposo()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(Reposo).count())) == 0)
                break;
        }
        Mensaje m;
        if (!servidor.canal().recibir(m))
            break;
        bool bien = true;
        if (m.tipo == 'L' || m.tipo == 'N')
            bien = servidor.listar(m.campos, m.tipo == 'N');
        else if (m.tipo == 'G' && m.campos.size() == 5)
            bien = servidor.firmar(m);
        else if (m.tipo == 'R')
            servidor.soltar();
        else
            break;
        if (!bien)
            return 1;
    }
    // Acabada la conversación se sale sin descargar los módulos (las sesiones ya están
    // cerradas): su C_Finalize puede tardar o no volver, y quien espera a que acabe es FIRMA.
    ::_exit(0);
}

} // namespace morvelin::almacenes
