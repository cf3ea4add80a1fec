// Las tarjetas vistas desde el proceso que firma: arranca el ayudante de las tarjetas, recoge lo
// que hay en ellas y le pasa las firmas (y los PIN que pide), todo con plazo.
#include "almacenes/tarjetas.h"

#include "almacenes/canal_tarjetas.h"
#include "plataforma/openssl/firma_clave.h"
#include "plataforma/openssl/x509.h"
#include "plataforma/pin.h"
#include "plataforma/proceso/proceso.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;
#include <utility>

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

// Un ayudante en marcha y la conversación con él, que comparten sus tarjetas y los certificados
// que salen de ellas. Una conversación cada vez.
class Ayudante : private Canal {
public:
    enum class Recibido { Bien, Plazo, Fin };

    bool arrancar(const std::string& ruta) {
        entorno_ = entornoActual();
        return proceso_.arrancar({ruta});
    }
    /// Si se arrancó en el entorno de ahora: el ayudante y sus módulos leen las variables de
    /// entorno (la configuración de p11-kit y de cada módulo) y el sistema de ficheros.
    bool mismoEntorno() const { return entorno_ == entornoActual(); }
    bool enMarcha() const { return proceso_.enMarcha(); }
    /// Lo mata sin esperar: no contesta como debe.
    void matar() { proceso_.terminar(std::chrono::milliseconds(0)); }

    /// Le pide que cargue los módulos (salvo los de `saltar`) y mande lo que hay.
    bool pedirListado(Modulos modulos, const std::vector<std::string>& saltar,
                      std::chrono::milliseconds espera) {
        plazo_ = Reloj::now() + espera;
        return enviar(modulos == Modulos::DeNuevo ? 'N' : 'L',
                      std::vector<std::string_view>(saltar.begin(), saltar.end()));
    }

    /// Le pide que suelte las tarjetas (y las sesiones con el PIN), sin esperar a que lo haga.
    /// false si no se le puede decir.
    bool soltarTarjetas() {
        plazo_ = Reloj::now() + std::chrono::seconds(1);
        return enviar('R', {});
    }

    Recibido recibir(Mensaje& m, std::chrono::milliseconds espera) {
        plazo_ = Reloj::now() + espera;
        if (Canal::recibir(m))
            return Recibido::Bien;
        return ultima_ == ProcesoAuxiliar::Lectura::Plazo ? Recibido::Plazo : Recibido::Fin;
    }

    /// La firma de `resumen` por `algoritmo` con el certificado `posicion` de la tarjeta
    /// `tarjeta`; el PIN, si hace falta, se pide aquí con pinentry (si se sabe que hará falta,
    /// `conPin`, pinentry arranca ya, mientras el ayudante prepara la firma). Si el ayudante no
    /// contesta a tiempo, se le mata.
    std::optional<std::string> firmar(const std::string& tarjeta, std::size_t posicion,
                                      const plataforma::AlgoritmoFirma& algoritmo,
                                      std::string_view resumen, std::string_view para,
                                      bool conPin) {
        const std::lock_guard bloqueo(conversacion_);
        std::optional<plataforma::DialogoPin> dialogo;
        if (conPin)
            dialogo.emplace();
        const auto espera = plazos().firma;
        plazo_ = Reloj::now() + espera;
        const std::string p = std::to_string(posicion);
        const std::string a = textoAlgoritmo(algoritmo);
        if (!enviar('G', {tarjeta, p, a, resumen, para}))
            return std::nullopt;
        for (;;) {
            Mensaje m;
            if (recibir(m, espera) != Recibido::Bien) {
                matar();
                return std::nullopt;
            }
            if (m.tipo == 'Y' && m.campos.size() == 1)
                return std::move(m.campos[0]);
            if (m.tipo != 'P' || m.campos.size() != 3)
                return std::nullopt;
            // El tiempo del diálogo es de pinentry; el plazo vuelve a contar al contestar.
            const plataforma::PeticionPin peticion{m.campos[0], m.campos[1], m.campos[2]};
            plataforma::Secreto pin;
            if (!dialogo)
                dialogo.emplace();
            const auto r = dialogo->pedir(peticion, pin);
            plazo_ = Reloj::now() + espera;
            const bool enviado =
                enviar('p', {r == plataforma::RespuestaPin::Dado        ? "dado"
                             : r == plataforma::RespuestaPin::Cancelado ? "cancelado"
                                                                        : "sin-dialogo",
                             std::string_view(pin.c_str(), pin.size())});
            dialogo.reset(); // pinentry acaba mientras la tarjeta recibe el PIN
            if (!enviado)
                return std::nullopt;
        }
    }

private:
    bool escribirBytes(const std::vector<std::string_view>& partes) override {
        return proceso_.escribir(partes, plazo_);
    }
    // Lo que manda el ayudante (certificados, firmas; nunca un PIN) se lee a bloques.
    bool leerBytes(char* destino, std::size_t n) override {
        while (n > 0) {
            if (inicio_ == entrada_.size()) {
                entrada_.resize(TamanoBloque);
                std::size_t leidos = 0;
                ultima_ = proceso_.leerDisponible(entrada_.data(), TamanoBloque, leidos, plazo_);
                entrada_.resize(leidos);
                inicio_ = 0;
                if (ultima_ != ProcesoAuxiliar::Lectura::Leido)
                    return false;
            }
            const std::size_t d = std::min(n, entrada_.size() - inicio_);
            std::copy_n(entrada_.data() + inicio_, d, destino);
            inicio_ += d;
            destino += d;
            n -= d;
        }
        return true;
    }

    static constexpr std::size_t TamanoBloque = 64 * 1024;

    // Las variables de entorno, el usuario y el espacio de montajes de este hilo.
    static std::vector<std::string> entornoActual() {
        std::vector<std::string> e;
        for (char** v = environ; v != nullptr && *v != nullptr; ++v)
            e.emplace_back(*v);
        struct stat montajes {};
        ::stat("/proc/thread-self/ns/mnt", &montajes);
        e.push_back(std::to_string(::geteuid()) + " " + std::to_string(montajes.st_ino));
        return e;
    }

    ProcesoAuxiliar proceso_;
    std::string entrada_;    // lo leído del ayudante
    std::size_t inicio_ = 0; // lo que queda por entregar empieza aquí
    std::vector<std::string> entorno_;
    Reloj::time_point plazo_;
    ProcesoAuxiliar::Lectura ultima_ = ProcesoAuxiliar::Lectura::Leido;
    std::mutex conversacion_;
};

// El ayudante en reposo, sin tarjetas abiertas, para la siguiente búsqueda; a lo sumo uno. Vive
// hasta el final del proceso (su conexión se cierra entonces, y él acaba).
std::mutex enReposoCerrojo;
std::shared_ptr<Ayudante>* const enReposo = new std::shared_ptr<Ayudante>();

// El ayudante en reposo, si lo hay y se arrancó en el entorno de ahora.
std::shared_ptr<Ayudante> tomarEnReposo() {
    std::shared_ptr<Ayudante> ayudante;
    {
        const std::lock_guard bloqueo(enReposoCerrojo);
        ayudante = std::move(*enReposo);
    }
    return ayudante && ayudante->mismoEntorno() ? ayudante : nullptr;
}

// Un ayudante mientras lo usa una búsqueda (sus tarjetas y los certificados que salen de ellas):
// al soltarlo, si sigue bien, suelta sus tarjetas y queda en reposo.
class Prestamo {
public:
    explicit Prestamo(std::shared_ptr<Ayudante> ayudante) : ayudante_(std::move(ayudante)) {}
    Prestamo(const Prestamo&) = delete;
    Prestamo& operator=(const Prestamo&) = delete;
    ~Prestamo() {
        if (!ayudante_->enMarcha() || !ayudante_->soltarTarjetas())
            return;
        // El que estuviera en reposo se suelta (y se le espera) fuera del cerrojo.
        std::shared_ptr<Ayudante> anterior;
        {
            const std::lock_guard bloqueo(enReposoCerrojo);
            anterior = std::exchange(*enReposo, std::move(ayudante_));
        }
    }
    Ayudante& ayudante() const { return *ayudante_; }

private:
    std::shared_ptr<Ayudante> ayudante_;
};

// Los módulos que han dejado mal a un ayudante hace poco, por su fichero, y por qué: durante
// unos minutos no se vuelven a cargar (uno que no contesta costaría su plazo en cada firma).
struct Roto {
    std::string motivo;
    Reloj::time_point hasta;
};
constexpr auto TiempoRoto = std::chrono::minutes(5);
std::mutex rotosCerrojo;
std::map<std::string, Roto>* const rotos = new std::map<std::string, Roto>();

void anotarRoto(const std::string& fichero, std::string motivo) {
    const std::lock_guard bloqueo(rotosCerrojo);
    (*rotos)[fichero] = {std::move(motivo), Reloj::now() + TiempoRoto};
}

// Los módulos rotos que siguen sin cargarse, con su motivo.
std::map<std::string, std::string> rotosVigentes() {
    const std::lock_guard bloqueo(rotosCerrojo);
    std::map<std::string, std::string> vigentes;
    for (auto r = rotos->begin(); r != rotos->end();) {
        if (r->second.hasta <= Reloj::now()) {
            r = rotos->erase(r);
        } else {
            vigentes.emplace(r->first, r->second.motivo);
            ++r;
        }
    }
    return vigentes;
}

class CertificadoTarjeta : public CertificadoDeAlmacen {
public:
    CertificadoTarjeta(std::shared_ptr<Prestamo> prestamo, std::string tarjeta,
                       std::size_t posicion, ossl::X509Propio x509, bool conPin)
        : CertificadoDeAlmacen(std::move(x509)), prestamo_(std::move(prestamo)),
          tarjeta_(std::move(tarjeta)), posicion_(posicion), conPin_(conPin) {}

    // Al ayudante solo va el resumen. Tras la primera firma, la tarjeta ya tiene el PIN.
    std::optional<std::string> firmar(const plataforma::AlgoritmoFirma& algoritmo,
                                      std::string_view datos,
                                      std::string_view para) const override {
        const auto resumen = ossl::resumenAFirmar(algoritmo, datos);
        if (!resumen)
            return std::nullopt;
        auto resumido = algoritmo;
        resumido.resumido = true;
        auto firma = prestamo_->ayudante().firmar(tarjeta_, posicion_, resumido, *resumen, para,
                                                  conPin_.load());
        if (firma)
            conPin_ = false;
        return firma;
    }

private:
    std::shared_ptr<Prestamo> prestamo_;
    std::string tarjeta_;
    std::size_t posicion_;
    mutable std::atomic<bool> conPin_; // si la siguiente firma pedirá el PIN
};

// Una tarjeta del ayudante: lo que mandó de ella (sus certificados, ya leídos), y él firma.
class AlmacenTarjeta : public Almacen {
public:
    AlmacenTarjeta(std::shared_ptr<Prestamo> prestamo, std::string tarjeta, ListadoAlmacen listado,
                   std::vector<ossl::X509Propio> x509)
        : prestamo_(std::move(prestamo)), tarjeta_(std::move(tarjeta)),
          listado_(std::move(listado)), x509_(std::move(x509)) {}

    AlmacenCandidatos candidatos() override { return candidatosDe(listado_); }
    std::unique_ptr<plataforma::Certificado> certificado(std::size_t i) override {
        if (i >= x509_.size() || X509_up_ref(x509_[i].get()) != 1)
            return nullptr;
        return std::make_unique<CertificadoTarjeta>(prestamo_, tarjeta_, i,
                                                    ossl::X509Propio(x509_[i].get()),
                                                    listado_.certificados[i].claveTrasPin);
    }
    ListadoAlmacen listar() override { return listado_; }

private:
    std::shared_ptr<Prestamo> prestamo_;
    std::string tarjeta_;
    ListadoAlmacen listado_;
    std::vector<ossl::X509Propio> x509_; // los de listado_, en su orden
};

// La tarjeta de un mensaje T; nullptr si el mensaje no es como debe.
std::unique_ptr<Almacen> tarjetaDe(const std::shared_ptr<Prestamo>& prestamo, const Mensaje& m) {
    if (m.campos.size() < 3 || (m.campos.size() - 3) % 4 != 0)
        return nullptr;
    ListadoAlmacen l{"PKCS #11", m.campos[1], {}, m.campos[2], true, {}};
    std::vector<ossl::X509Propio> x509;
    for (std::size_t i = 3; i < m.campos.size(); i += 4) {
        auto x = ossl::certificadoDeDer(m.campos[i + 1]);
        if (!x)
            return nullptr;
        FichaCertificado f = fichaDe(x.get(), m.campos[i + 2] == "1");
        f.claveTrasPin = m.campos[i + 3] == "1";
        f.donde = m.campos[i];
        l.certificados.push_back(std::move(f));
        x509.push_back(std::move(x));
    }
    return std::make_unique<AlmacenTarjeta>(prestamo, m.campos[0], std::move(l), std::move(x509));
}

} // namespace

void usarPlazosTarjetas(const PlazosTarjetas* p) {
    otrosPlazos.store(p);
}

// Un listado pedido a un ayudante, a falta de recoger lo que mande.
struct TarjetasPedidas {
    std::shared_ptr<Ayudante> ayudante;
    Modulos modulos = Modulos::DeNuevo;
    bool delReposo = false; // el que estaba en reposo (puede haber acabado)
    std::shared_ptr<Prestamo> prestamo;
    std::map<std::string, std::string> rotos; // los que no se cargan, y por qué
    bool pedido = false;                      // si se le ha podido pedir
};

namespace {

// Toma el ayudante en reposo, o arranca uno, y le pide el listado. nullptr si no arranca.
std::shared_ptr<TarjetasPedidas> pedirA(const std::string& ruta, Modulos modulos) {
    auto t = std::make_shared<TarjetasPedidas>();
    t->modulos = modulos;
    t->ayudante = tomarEnReposo();
    t->delReposo = t->ayudante != nullptr;
    if (!t->ayudante) {
        t->ayudante = std::make_shared<Ayudante>();
        if (!t->ayudante->arrancar(ruta))
            return nullptr;
    }
    t->prestamo = std::make_shared<Prestamo>(t->ayudante);
    t->rotos = rotosVigentes();
    std::vector<std::string> saltar;
    for (const auto& [fichero, motivo] : t->rotos)
        saltar.push_back(fichero);
    t->pedido = t->ayudante->pedirListado(modulos, saltar, plazos().modulo);
    return t;
}

} // namespace

std::shared_ptr<TarjetasPedidas> pedirTarjetas(Modulos modulos) {
    return pedirA(rutaAyudante(), modulos);
}

TarjetasAbiertas abrirTarjetas(Modulos modulos, std::shared_ptr<TarjetasPedidas> pedidas) {
    const std::string ruta = rutaAyudante();
    const PlazosTarjetas p = plazos();
    const auto sinTarjetas = [&](const std::string& donde, const std::string& motivo) {
        TarjetasAbiertas una;
        una.almacenes.push_back(std::make_unique<AlmacenSinAbrir>("PKCS #11", donde, motivo));
        return una;
    };
    for (int intento = 0; intento < 32; ++intento) {
        // El primero puede estar pedido ya; el que estaba en reposo puede haber acabado, y
        // entonces se arranca otro.
        const auto t = intento == 0 && pedidas ? std::move(pedidas) : pedirA(ruta, modulos);
        if (!t)
            return sinTarjetas("ayudante de las tarjetas, " + ruta,
                               "no se puede arrancar: las tarjetas no se pueden mirar");
        Ayudante& ayudante = *t->ayudante;
        // Uno recién arrancado carga todos los módulos.
        TarjetasAbiertas tarjetas{{}, t->delReposo && t->modulos == Modulos::YaCargados};
        std::optional<std::string> modulo; // el fichero del que se está cargando
        auto recibido = t->pedido ? Ayudante::Recibido::Bien : Ayudante::Recibido::Fin;
        while (recibido == Ayudante::Recibido::Bien) {
            Mensaje m;
            recibido = ayudante.recibir(m, p.modulo);
            if (recibido != Ayudante::Recibido::Bien)
                break;
            if (m.tipo == 'F' && m.campos.empty())
                return tarjetas;
            if (m.tipo == 'M' && m.campos.size() == 3) {
                modulo = m.campos[2];
                if (const auto roto = t->rotos.find(*modulo); roto != t->rotos.end())
                    tarjetas.almacenes.push_back(std::make_unique<AlmacenSinAbrir>(
                        "PKCS #11", "módulo «" + m.campos[1] + "», " + m.campos[2], roto->second));
            } else if (m.tipo == 'S' && m.campos.size() == 2) {
                tarjetas.almacenes.push_back(
                    std::make_unique<AlmacenSinAbrir>("PKCS #11", m.campos[0], m.campos[1]));
            } else if (auto tarjeta = m.tipo == 'T' ? tarjetaDe(t->prestamo, m) : nullptr) {
                tarjetas.almacenes.push_back(std::move(tarjeta));
            } else {
                ayudante.matar();
                return sinTarjetas("ayudante de las tarjetas, " + ruta,
                                   "no contesta como debe: las tarjetas no se pueden mirar");
            }
        }
        // No ha acabado el listado: el módulo que cargaba no contesta o lo ha hecho acabar.
        const bool plazo = recibido == Ayudante::Recibido::Plazo;
        ayudante.matar();
        if (!modulo) {
            if (t->delReposo)
                continue;
            return sinTarjetas("módulos de p11-kit",
                               plazo ? "no responden: no se pueden mirar las tarjetas"
                                     : "no se pueden cargar");
        }
        anotarRoto(
            *modulo,
            plazo ? "no responde (se ha dejado tras " +
                        std::to_string(std::chrono::ceil<std::chrono::seconds>(p.modulo).count()) +
                        " s)"
                  : "el módulo falla: hace acabar al programa que lo carga");
    }
    return sinTarjetas("módulos de p11-kit", "demasiados módulos fallan");
}

} // namespace morvelin::almacenes
