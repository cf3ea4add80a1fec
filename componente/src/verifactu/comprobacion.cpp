// Una cadena de millones de registros se comprueba por tramos de números consecutivos, varios a
// la vez: cada revisor, con su propia conexión al almacén, lee un tramo, relee el XML de cada
// registro y recalcula su huella mientras sus bytes están aún en la caché, y comprueba los
// enlaces dentro del tramo. Este hilo junta los tramos en el orden de la cadena: el enlace del
// primer registro de cada uno con el último del anterior, y el primer registro que la rompe.
#include "verifactu/comprobacion.h"

#include "verifactu/firma.h"
#include "verifactu/xml.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace morvelin::verifactu {

std::string Comprobacion::texto() const {
    if (!entera)
        return "Cadena rota en el registro nº " + std::to_string(rotoEn) + ": " + motivo + "\n";
    if (registros == 0)
        return "La cadena está vacía.\n";
    return "Cadena entera: " + std::to_string(registros) + " registros" +
           (conFirmas ? ", todos con su firma válida" : "") +
           "; huella del último: " + ultimaHuella + "\n";
}

namespace {

// Lo que hace falta de un registro para comprobar el enlace del siguiente.
struct Enlace {
    std::int64_t numero = 0; ///< 0: ninguno (antes del primero)
    std::string idEmisor, numSerie, fechaExpedicion, huella;

    void tomar(const VistaRegistro& v) {
        numero = v.numero;
        idEmisor = v.idEmisor;
        numSerie = v.numSerie;
        fechaExpedicion = v.fechaExpedicion;
        huella = v.huella;
    }
};

// Lo que un registro dice de su anterior: su columna y su RegistroAnterior.
struct Anterior {
    std::string huellaGuardada, idEmisor, numSerie, fechaExpedicion, huella;
};

// Por qué se rompe la cadena: la clase de anomalía y el motivo.
struct Falta {
    const char* tipo;
    std::string motivo;
};

using namespace tipo_anomalia;

// Sin valor si el registro enlaza con `anterior`; si no, por qué.
std::optional<Falta> razonEnlace(const Enlace& anterior, std::string_view huellaGuardada,
                                 const AnteriorLeido& leido) {
    if (leido.huella != anterior.huella || huellaGuardada != anterior.huella)
        return Falta{HuellaAnteriorDistinta, "no enlaza con la huella del registro nº " +
                                                 std::to_string(anterior.numero) + "."};
    if (leido.idEmisorFactura != anterior.idEmisor || leido.numSerieFactura != anterior.numSerie ||
        leido.fechaExpedicionFactura != anterior.fechaExpedicion)
        return Falta{CadenaOtros, "su RegistroAnterior no es la factura del registro nº " +
                                      std::to_string(anterior.numero) + "."};
    return std::nullopt;
}

Falta falta(std::int64_t siguiente) {
    return {SinAnterior, "falta (el siguiente es el nº " + std::to_string(siguiente) + ")."};
}

// El primero que rompe la cadena dentro de un tramo.
struct Rotura {
    std::int64_t numero = 0;
    Falta falta;
    std::optional<RegistroCadena> registro;
};

// Lo que un revisor sabe de su tramo.
struct Tramo {
    std::int64_t registros = 0;
    std::int64_t primero = 0;                   ///< 0: el tramo no tiene ningún registro
    Anterior entrada;                           ///< lo que su primer registro dice de su anterior
    std::optional<RegistroCadena> primeroLeido; ///< su primer registro, sin el XML
    Enlace ultimo;                              ///< el último registro bueno del tramo
    std::optional<Rotura> rotura;
};

// Las comprobaciones de un registro que no dependen de otro, y la marca de primer registro.
std::optional<Falta> razonRegistro(const VistaRegistro& v, const std::optional<LecturaRegistro>& l,
                                   const std::string& calculada) {
    if (!l)
        return Falta{IntegridadOtros,
                     "su XML no se puede leer o no es un registro de alta o de anulación."};
    if (l->alta != v.alta)
        return Falta{IntegridadOtros, "su XML no es del tipo guardado (alta o anulación)."};
    if (l->idEmisor != v.idEmisor || l->numSerie != v.numSerie ||
        l->fechaExpedicion != v.fechaExpedicion)
        return Falta{IntegridadOtros, "la factura de su XML no es la guardada en la cadena."};
    if (l->tipoHuella != "01")
        return Falta{IntegridadHuella, "TipoHuella no es «01» (SHA-256)."};
    if (calculada != l->huella)
        return Falta{IntegridadHuella, "su huella no corresponde a sus datos (calculada " +
                                           calculada + ", escrita " + std::string(l->huella) +
                                           ")."};
    if (l->huella != v.huella)
        return Falta{IntegridadOtros, "la huella de su XML no es la guardada en la cadena."};
    if (l->fechaHoraHusoGenRegistro != v.fechaHoraHusoGenRegistro)
        return Falta{IntegridadOtros, "la hora de su XML no es la guardada en la cadena."};
    if (v.numero == 1) {
        if (!l->primerRegistro || !v.huellaAnterior.empty() || !l->anterior.huella.empty())
            return Falta{CadenaOtros,
                         "es el primero de la cadena y no está marcado como PrimerRegistro."};
    } else if (l->primerRegistro) {
        return Falta{CadenaOtros, "está marcado como PrimerRegistro y no es el primero."};
    }
    return std::nullopt;
}

// Revisa los registros de `desde` a `hasta`: cada uno por sí mismo (y su firma, con `firmas`)
// y, salvo el primero, su enlace con el anterior. Se para en el primero que rompe la cadena.
Tramo revisarTramo(AlmacenCadena& almacen, std::int64_t desde, std::int64_t hasta,
                   const std::optional<ComprobacionFirmas>& firmas) {
    Tramo t;
    Enlace anterior;
    std::string bytes, calculada;
    almacen.recorrer(desde, hasta, true, [&](const VistaRegistro& v) {
        const auto romper = [&](std::int64_t numero, Falta f, bool conRegistro = true) {
            t.rotura = Rotura{numero, std::move(f), std::nullopt};
            if (conRegistro) {
                t.rotura->registro = copia(v);
                t.rotura->registro->xml.clear();
            }
            return false;
        };
        const std::int64_t esperado = anterior.numero == 0 ? desde : anterior.numero + 1;
        if (t.primero != 0 && v.numero != esperado)
            return romper(esperado, falta(v.numero), false);
        // Los bytes de la fila solo valen durante la visita; la lectura los altera.
        bytes.assign(v.xml);
        const auto l = leerRegistro(bytes);
        if (l)
            calculada = huellaDe(*l);
        if (auto razon = razonRegistro(v, l, calculada))
            return romper(v.numero, std::move(*razon));
        if (firmas) {
            if (auto razon = razonFirmaRegistro(v.xml, v.alta, firmas->firmante, firmas->ahora);
                !razon.empty())
                return romper(v.numero, Falta{IntegridadFirma, std::move(razon)});
        }
        const AnteriorLeido& leido = l->anterior;
        if (t.primero == 0) {
            t.primero = v.numero;
            t.primeroLeido = copia(v);
            t.primeroLeido->xml.clear();
            t.entrada = {std::string(v.huellaAnterior), std::string(leido.idEmisorFactura),
                         std::string(leido.numSerieFactura),
                         std::string(leido.fechaExpedicionFactura), std::string(leido.huella)};
        } else if (auto razon = razonEnlace(anterior, v.huellaAnterior, leido)) {
            return romper(v.numero, std::move(*razon));
        }
        anterior.tomar(v);
        ++t.registros;
        return true;
    });
    t.ultimo = std::move(anterior);
    return t;
}

// Los revisores y lo que van acabando, para juntarlo en orden.
class Revisores {
public:
    Revisores(AlmacenCadena& almacen, std::int64_t ultimo, std::int64_t porTramo,
              const std::optional<ComprobacionFirmas>& firmas)
        : ultimo_(ultimo), porTramo_(porTramo), firmas_(firmas) {
        const std::int64_t tramos = (ultimo + porTramo - 1) / porTramo;
        const auto nucleos = static_cast<std::int64_t>(std::thread::hardware_concurrency());
        const std::int64_t cuantos = std::clamp<std::int64_t>(std::min(nucleos, tramos), 1, 4);
        // Una conexión por revisor; si una no se puede abrir, revisan los que la tienen.
        conexiones_.push_back(&almacen);
        for (std::int64_t i = 1; i < cuantos; ++i) {
            try {
                propias_.push_back(almacen.otraConexion());
                conexiones_.push_back(propias_.back().get());
            } catch (const ErrorAlmacen&) {
                break;
            }
        }
        try {
            for (AlmacenCadena* c : conexiones_)
                hilos_.emplace_back([this, c] { revisar(*c); });
        } catch (...) {
            parar();
            throw;
        }
    }

    ~Revisores() { parar(); }

    Revisores(const Revisores&) = delete;
    Revisores& operator=(const Revisores&) = delete;

    // El tramo siguiente en el orden de la cadena, en cuanto esté revisado.
    Tramo siguiente() {
        std::unique_lock<std::mutex> l(m_);
        hecho_.wait(l, [&] { return fallo_ || hechos_.count(siguiente_) > 0; });
        if (fallo_)
            std::rethrow_exception(fallo_);
        const auto i = hechos_.find(siguiente_++);
        Tramo t = std::move(i->second);
        hechos_.erase(i);
        return t;
    }

    void parar() {
        {
            std::lock_guard<std::mutex> l(m_);
            parar_ = true;
        }
        hecho_.notify_all();
        for (auto& h : hilos_)
            h.join();
        hilos_.clear();
    }

private:
    void revisar(AlmacenCadena& almacen) {
        for (;;) {
            std::int64_t n;
            {
                std::lock_guard<std::mutex> l(m_);
                if (parar_ || fallo_ || repartidos_ * porTramo_ >= ultimo_)
                    return;
                n = repartidos_++;
            }
            try {
                const std::int64_t desde = n * porTramo_ + 1;
                Tramo t =
                    revisarTramo(almacen, desde, std::min(desde + porTramo_ - 1, ultimo_), firmas_);
                std::lock_guard<std::mutex> l(m_);
                hechos_.emplace(n, std::move(t));
            } catch (...) {
                std::lock_guard<std::mutex> l(m_);
                if (!fallo_)
                    fallo_ = std::current_exception();
            }
            hecho_.notify_all();
        }
    }

    const std::int64_t ultimo_, porTramo_;
    const std::optional<ComprobacionFirmas> firmas_;
    std::vector<AlmacenCadena*> conexiones_;
    std::vector<std::unique_ptr<AlmacenCadena>> propias_;
    std::mutex m_;
    std::condition_variable hecho_;
    std::int64_t repartidos_ = 0, siguiente_ = 0;
    std::map<std::int64_t, Tramo> hechos_;
    bool parar_ = false;
    std::exception_ptr fallo_;
    std::vector<std::thread> hilos_;
};

} // namespace

Comprobacion comprobarCadena(AlmacenCadena& almacen, std::int64_t porTramo,
                             const std::optional<ComprobacionFirmas>& firmas) {
    porTramo = std::max<std::int64_t>(porTramo, 1);
    Comprobacion c;
    c.conFirmas = firmas.has_value();
    // Los registros que hay al empezar: los que se añadan mientras tanto quedan para otra vez.
    const std::int64_t ultimo = almacen.ultimoNumero();
    if (ultimo == 0)
        return c;
    Revisores revisores(almacen, ultimo, porTramo, firmas);
    Enlace anterior;
    const auto romper = [&](std::int64_t numero, const Falta& f,
                            std::optional<RegistroCadena> registro = std::nullopt) {
        c.entera = false;
        c.rotoEn = numero;
        c.motivo = f.motivo;
        c.tipoAnomalia = f.tipo;
        c.registroRoto = std::move(registro);
        return c;
    };
    for (std::int64_t desde = 1; desde <= ultimo; desde += porTramo) {
        Tramo t = revisores.siguiente();
        if (t.primero == 0 && !t.rotura)
            continue; // todo el tramo falta: lo dice el primero que haya después
        const std::int64_t esperado = anterior.numero + 1;
        if (t.primero != esperado) {
            const std::int64_t siguiente = t.primero != 0 ? t.primero : t.rotura->numero;
            if (siguiente != esperado)
                return romper(esperado, falta(siguiente));
        }
        // Un fallo del primer registro por sí mismo va antes que su enlace.
        if (t.primero == 0)
            return romper(t.rotura->numero, t.rotura->falta, t.rotura->registro);
        if (anterior.numero != 0) {
            const Anterior& e = t.entrada;
            const auto razon =
                razonEnlace(anterior, e.huellaGuardada,
                            AnteriorLeido{e.idEmisor, e.numSerie, e.fechaExpedicion, e.huella});
            if (razon)
                return romper(t.primero, *razon, t.primeroLeido);
        }
        c.registros += t.registros;
        if (t.rotura)
            return romper(t.rotura->numero, t.rotura->falta, t.rotura->registro);
        anterior = std::move(t.ultimo);
    }
    c.ultimaHuella = anterior.huella;
    return c;
}

} // namespace morvelin::verifactu
