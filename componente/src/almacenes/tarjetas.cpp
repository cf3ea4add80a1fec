// Las tarjetas vistas desde el proceso que firma: arranca el ayudante de las tarjetas, recoge lo
// que hay en ellas y le pasa las firmas (y los PIN que pide), todo con plazo.
#include "almacenes/tarjetas.h"

#include "almacenes/canal_tarjetas.h"
#include "plataforma/openssl/x509.h"
#include "plataforma/pin.h"
#include "plataforma/proceso/proceso.h"

#include <atomic>
#include <charconv>
#include <map>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace morvelin::almacenes {

namespace {

namespace ossl = plataforma::openssl;
using plataforma::ProcesoAuxiliar;
using plataforma::Reloj;

std::atomic<const PlazosTarjetas*> otrosPlazos{nullptr};

PlazosTarjetas plazos() {
    const PlazosTarjetas* otros = otrosPlazos.load();
    return otros ? *otros : PlazosTarjetas{};
}

// El ayudante: el de la compilación, si la hay (las pruebas), o el instalado.
std::string rutaAyudante() {
#if defined(MORVELIN_AYUDANTE_COMPILADO)
    if (::access(MORVELIN_AYUDANTE_COMPILADO, X_OK) == 0)
        return MORVELIN_AYUDANTE_COMPILADO;
#endif
    return MORVELIN_AYUDANTE_INSTALADO;
}

std::size_t numero(const std::string& texto) {
    std::size_t n = SIZE_MAX;
    std::from_chars(texto.data(), texto.data() + texto.size(), n);
    return n;
}

// Un ayudante en marcha y la conversación con él, que comparten sus tarjetas y los certificados
// que salen de ellas. Una conversación cada vez.
class Ayudante : private Canal {
public:
    enum class Recibido { Bien, Plazo, Fin };

    bool arrancar(const std::string& ruta, const std::map<std::size_t, std::string>& saltar) {
        std::vector<std::string> argumentos{ruta};
        for (const auto& [indice, motivo] : saltar)
            argumentos.push_back(std::to_string(indice));
        return proceso_.arrancar(argumentos);
    }

    Recibido recibir(Mensaje& m, std::chrono::milliseconds espera) {
        plazo_ = Reloj::now() + espera;
        if (Canal::recibir(m))
            return Recibido::Bien;
        return ultima_ == ProcesoAuxiliar::Lectura::Plazo ? Recibido::Plazo : Recibido::Fin;
    }

    /// La firma de `contenido` con el certificado `posicion` de la tarjeta `tarjeta`; el PIN, si
    /// hace falta, se pide aquí con pinentry. Si el ayudante no contesta a tiempo, se le mata.
    std::optional<std::string> firmar(const std::string& tarjeta, std::size_t posicion,
                                      std::string_view contenido) {
        const std::lock_guard bloqueo(conversacion_);
        const auto espera = plazos().firma;
        plazo_ = Reloj::now() + espera;
        const std::string p = std::to_string(posicion);
        if (!enviar('Q', {tarjeta, p, contenido}))
            return std::nullopt;
        for (;;) {
            Mensaje m;
            if (recibir(m, espera) != Recibido::Bien) {
                proceso_.terminar(std::chrono::milliseconds(0));
                return std::nullopt;
            }
            if (m.tipo == 'Y' && m.campos.size() == 1)
                return std::move(m.campos[0]);
            if (m.tipo != 'P' || m.campos.size() != 3)
                return std::nullopt;
            // El tiempo del diálogo es de pinentry; el plazo vuelve a contar al contestar.
            const plataforma::PeticionPin peticion{m.campos[0], m.campos[1], m.campos[2]};
            plataforma::Secreto pin;
            const auto r = plataforma::pedirPin(peticion, pin);
            plazo_ = Reloj::now() + espera;
            const bool enviado =
                enviar('p', {r == plataforma::RespuestaPin::Dado        ? "dado"
                             : r == plataforma::RespuestaPin::Cancelado ? "cancelado"
                                                                        : "sin-dialogo",
                             std::string_view(pin.c_str(), pin.size())});
            if (!enviado)
                return std::nullopt;
        }
    }

private:
    bool escribirBytes(const std::vector<std::string_view>& partes) override {
        return proceso_.escribir(partes, plazo_);
    }
    bool leerBytes(char* destino, std::size_t n) override {
        ultima_ = proceso_.leer(destino, n, plazo_);
        return ultima_ == ProcesoAuxiliar::Lectura::Leido;
    }

    ProcesoAuxiliar proceso_;
    Reloj::time_point plazo_;
    ProcesoAuxiliar::Lectura ultima_ = ProcesoAuxiliar::Lectura::Leido;
    std::mutex conversacion_;
};

class CertificadoTarjeta : public plataforma::Certificado {
public:
    CertificadoTarjeta(std::shared_ptr<Ayudante> ayudante, std::string tarjeta,
                       std::size_t posicion, ossl::X509Propio x509)
        : ayudante_(std::move(ayudante)), tarjeta_(std::move(tarjeta)), posicion_(posicion),
          x509_(std::move(x509)) {}

    plataforma::AtributosSujeto atributosSujeto() const override {
        return ossl::atributosSujeto(x509_.get());
    }
    std::optional<std::string> firmarDesprendida(std::string_view contenido) const override {
        return ayudante_->firmar(tarjeta_, posicion_, contenido);
    }

private:
    std::shared_ptr<Ayudante> ayudante_;
    std::string tarjeta_;
    std::size_t posicion_;
    ossl::X509Propio x509_;
};

// Una tarjeta del ayudante: lo que mandó de ella, y él firma.
class AlmacenTarjeta : public Almacen {
public:
    AlmacenTarjeta(std::shared_ptr<Ayudante> ayudante, std::string tarjeta, ListadoAlmacen listado)
        : ayudante_(std::move(ayudante)), tarjeta_(std::move(tarjeta)),
          listado_(std::move(listado)) {}

    AlmacenCandidatos candidatos() override { return candidatosDe(listado_); }
    std::unique_ptr<plataforma::Certificado> certificado(std::size_t i) override {
        if (i >= listado_.certificados.size())
            return nullptr;
        auto x = ossl::certificadoDeDer(listado_.certificados[i].der);
        if (!x)
            return nullptr;
        return std::make_unique<CertificadoTarjeta>(ayudante_, tarjeta_, i, std::move(x));
    }
    ListadoAlmacen listar() override { return listado_; }

private:
    std::shared_ptr<Ayudante> ayudante_;
    std::string tarjeta_;
    ListadoAlmacen listado_;
};

// La tarjeta de un mensaje T; nullptr si el mensaje no es como debe.
std::unique_ptr<Almacen> tarjetaDe(const std::shared_ptr<Ayudante>& ayudante, const Mensaje& m) {
    if (m.campos.size() < 3 || (m.campos.size() - 3) % 4 != 0)
        return nullptr;
    ListadoAlmacen l{"PKCS #11", m.campos[1], {}, m.campos[2], true, {}};
    for (std::size_t i = 3; i < m.campos.size(); i += 4) {
        const auto x = ossl::certificadoDeDer(m.campos[i + 1]);
        if (!x)
            return nullptr;
        FichaCertificado f = fichaDe(x.get(), m.campos[i + 2] == "1");
        f.claveTrasPin = m.campos[i + 3] == "1";
        f.donde = m.campos[i];
        l.certificados.push_back(std::move(f));
    }
    return std::make_unique<AlmacenTarjeta>(ayudante, m.campos[0], std::move(l));
}

} // namespace

void usarPlazosTarjetas(const PlazosTarjetas* p) {
    otrosPlazos.store(p);
}

std::vector<std::unique_ptr<Almacen>> abrirTarjetas() {
    const std::string ruta = rutaAyudante();
    const PlazosTarjetas p = plazos();
    const auto sinTarjetas = [&](const std::string& donde, const std::string& motivo) {
        std::vector<std::unique_ptr<Almacen>> una;
        una.push_back(std::make_unique<AlmacenSinAbrir>("PKCS #11", donde, motivo));
        return una;
    };
    // Los módulos que dejaron mal a un ayudante anterior, y por qué; el siguiente no los carga.
    std::map<std::size_t, std::string> rotos;
    for (int intento = 0; intento < 32; ++intento) {
        const auto ayudante = std::make_shared<Ayudante>();
        if (!ayudante->arrancar(ruta, rotos))
            return sinTarjetas("ayudante de las tarjetas, " + ruta,
                               "no se puede arrancar: las tarjetas no se pueden mirar");
        std::vector<std::unique_ptr<Almacen>> tarjetas;
        std::optional<std::size_t> modulo;
        for (;;) {
            Mensaje m;
            const auto r = ayudante->recibir(m, p.modulo);
            if (r != Ayudante::Recibido::Bien) {
                if (!modulo)
                    return sinTarjetas("módulos de p11-kit",
                                       r == Ayudante::Recibido::Plazo
                                           ? "no responden: no se pueden mirar las tarjetas"
                                           : "no se pueden cargar");
                rotos[*modulo] =
                    r == Ayudante::Recibido::Plazo
                        ? "no responde (se ha dejado tras " +
                              std::to_string(
                                  std::chrono::ceil<std::chrono::seconds>(p.modulo).count()) +
                              " s)"
                        : "el módulo falla: hace acabar al programa que lo carga";
                break;
            }
            if (m.tipo == 'F' && m.campos.empty())
                return tarjetas;
            if (m.tipo == 'M' && m.campos.size() == 3) {
                modulo = numero(m.campos[0]);
                if (const auto roto = rotos.find(*modulo); roto != rotos.end())
                    tarjetas.push_back(std::make_unique<AlmacenSinAbrir>(
                        "PKCS #11", "módulo «" + m.campos[1] + "», " + m.campos[2], roto->second));
            } else if (m.tipo == 'S' && m.campos.size() == 2) {
                tarjetas.push_back(
                    std::make_unique<AlmacenSinAbrir>("PKCS #11", m.campos[0], m.campos[1]));
            } else if (auto t = m.tipo == 'T' ? tarjetaDe(ayudante, m) : nullptr) {
                tarjetas.push_back(std::move(t));
            } else {
                return sinTarjetas("ayudante de las tarjetas, " + ruta,
                                   "no contesta como debe: las tarjetas no se pueden mirar");
            }
        }
    }
    return sinTarjetas("módulos de p11-kit", "demasiados módulos fallan");
}

} // namespace morvelin::almacenes
