// El ayudante de las tarjetas por dentro (el programa «morvelin-tarjetas»): carga en NSS los
// módulos que registra p11-kit, manda lo que hay en sus tarjetas y firma lo que se le pide. El
// PIN lo pide, por la misma conexión, el proceso que lo arrancó: él tiene el terminal y el
// escritorio del usuario.
//
// Mensajes (canal_tarjetas.h). Del ayudante, al arrancar, por cada módulo en su orden:
//   M  índice, nombre, fichero       antes de cargarlo (si no contesta o falla, se sabe cuál)
//   S  dónde, por qué                un módulo que no carga o un lector sin tarjeta
//   T  identificador, dónde, nota y, por certificado: apodo, DER, clave a su alcance (0/1),
//      clave tras el PIN (0/1)       una tarjeta
// y al final F. Después, a cada petición Q (identificador de la tarjeta, posición del
// certificado, contenido) contesta Y (la firma PKCS #7) o X (no se ha podido firmar); entre
// medias puede pedir el PIN con P (descripción, indicación, aviso), que se contesta con p
// (dado, cancelado o sin-dialogo, y el PIN).
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
#include <cstdint>
#include <string>

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

int servirTarjetas(int fd, const std::vector<std::size_t>& saltar) {
    CanalDescriptor canal(fd);
    const auto pinRemoto = [&canal](const PeticionPin& p, Secreto& pin) {
        if (!canal.enviar('P', {p.descripcion, p.indicacion, p.aviso}))
            return RespuestaPin::SinDialogo;
        Mensaje m;
        if (!canal.recibir(m, &pin) || m.tipo != 'p' || m.campos.size() != 1) {
            pin.borrar();
            return RespuestaPin::SinDialogo;
        }
        return m.campos[0] == "dado"        ? RespuestaPin::Dado
               : m.campos[0] == "cancelado" ? RespuestaPin::Cancelado
                                            : RespuestaPin::SinDialogo;
    };

    const auto registro = std::make_shared<RegistroP11Kit>();
    const auto& registrados = registro->modulos();
    const auto sesion = registrados.empty() ? nullptr : SesionNss::obtener();
    std::vector<std::unique_ptr<Almacen>> tarjetas;
    for (std::size_t i = 0; i < registrados.size(); ++i) {
        const ModuloRegistrado& r = registrados[i];
        if (!canal.enviar('M', {std::to_string(i), r.nombre, r.fichero}))
            return 1;
        if (std::find(saltar.begin(), saltar.end(), i) != saltar.end())
            continue;
        const std::string modulo = "módulo «" + r.nombre + "»";
        SECMODModule* m = cargar(r, i, sesion != nullptr);
        if (m == nullptr) {
            if (!canal.enviar('S', {modulo + ", " + r.fichero, "el módulo no se puede cargar"}))
                return 1;
            continue;
        }
        const auto cargado = std::make_shared<ModuloNss>(sesion, registro, m);
        for (int k = 0; k < m->slotCount; ++k) {
            PK11SlotInfo* ranura = m->slots[k];
            const std::string lector = textoPkcs11(PK11_GetSlotName(ranura));
            if (!PK11_IsPresent(ranura)) {
                if (!canal.enviar('S', {"lector «" + lector + "», " + modulo,
                                        "no hay ninguna tarjeta en el lector"}))
                    return 1;
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
                 pinRemoto});
            const ListadoAlmacen l = tarjeta->listar();
            const std::string id = std::to_string(tarjetas.size());
            std::vector<std::string_view> campos = {id, l.donde, l.nota};
            for (const FichaCertificado& f : l.certificados) {
                campos.push_back(f.donde);
                campos.push_back(f.der);
                campos.push_back(f.conClave ? "1" : "0");
                campos.push_back(f.claveTrasPin ? "1" : "0");
            }
            if (!canal.enviar('T', campos))
                return 1;
            tarjetas.push_back(std::move(tarjeta));
        }
    }
    if (!canal.enviar('F', {}))
        return 1;

    // Las peticiones, hasta que se cierra la conexión.
    for (Mensaje m; canal.recibir(m) && m.tipo == 'Q' && m.campos.size() == 3;) {
        std::optional<std::string> firma;
        std::size_t id = SIZE_MAX, posicion = 0;
        std::from_chars(m.campos[0].data(), m.campos[0].data() + m.campos[0].size(), id);
        std::from_chars(m.campos[1].data(), m.campos[1].data() + m.campos[1].size(), posicion);
        if (id < tarjetas.size())
            if (const auto c = tarjetas[id]->certificado(posicion))
                firma = c->firmarDesprendida(m.campos[2]);
        if (!(firma ? canal.enviar('Y', {*firma}) : canal.enviar('X', {})))
            return 1;
    }
    return 0;
}

} // namespace morvelin::almacenes
