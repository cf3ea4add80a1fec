// Una cadena de millones de registros se comprueba en etapas a la vez:
//   - este hilo lee del almacén por tandas: los bytes de cada tanda van seguidos en un búfer
//     que se reutiliza, sin reservar memoria por registro;
//   - unos hilos revisores releen el XML de cada registro (sobre esos mismos bytes) y
//     recalculan su huella, cada uno una tanda;
//   - las tandas revisadas se comprueban en el orden de la cadena, con sus enlaces, en este
//     hilo, que se para en el primer registro que la rompe.
#include "verifactu/comprobacion.h"

#include "verifactu/xml.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
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
    return "Cadena entera: " + std::to_string(registros) +
           " registros; huella del último: " + ultimaHuella + "\n";
}

namespace {

// Un trozo de los bytes de una tanda.
struct Tramo {
    std::size_t desde = 0, largo = 0;
};

// Un registro de una tanda: dónde están sus columnas y lo que dice su XML.
struct Fila {
    std::int64_t numero = 0;
    bool alta = true;
    Tramo idEmisor, numSerie, fechaExpedicion, huella, huellaAnterior, fechaHora, xml;
    std::optional<LecturaRegistro> lectura; ///< sin valor: el XML no se puede leer
    std::string calculada;                  ///< la huella que corresponde a su XML
};

class Tanda {
public:
    static constexpr std::size_t MaximoFilas = 512, MaximoBytes = 1 << 20;

    std::uint64_t orden = 0;

    void vaciar() {
        bytes_.clear();
        cuantas_ = 0;
    }
    bool llena() const { return cuantas_ == MaximoFilas || bytes_.size() >= MaximoBytes; }
    std::size_t cuantas() const { return cuantas_; }
    Fila& fila(std::size_t i) { return filas_[i]; }
    std::string_view ver(Tramo t) const {
        return std::string_view(bytes_).substr(t.desde, t.largo);
    }

    void anadir(const VistaRegistro& v) {
        if (cuantas_ == filas_.size())
            filas_.emplace_back();
        Fila& f = filas_[cuantas_++];
        f.numero = v.numero;
        f.alta = v.alta;
        f.idEmisor = guardar(v.idEmisor);
        f.numSerie = guardar(v.numSerie);
        f.fechaExpedicion = guardar(v.fechaExpedicion);
        f.huella = guardar(v.huella);
        f.huellaAnterior = guardar(v.huellaAnterior);
        f.fechaHora = guardar(v.fechaHoraHusoGenRegistro);
        f.xml = guardar(v.xml);
    }

    // La etapa de los revisores: leer cada XML sobre sus bytes y recalcular su huella.
    void revisar() {
        for (std::size_t i = 0; i < cuantas_; ++i) {
            Fila& f = filas_[i];
            f.lectura = leerRegistro(bytes_.data() + f.xml.desde, f.xml.largo);
            if (f.lectura)
                f.calculada = huellaDe(*f.lectura);
        }
    }

private:
    Tramo guardar(std::string_view v) {
        const Tramo t{bytes_.size(), v.size()};
        bytes_.append(v);
        return t;
    }

    std::string bytes_;
    std::vector<Fila> filas_;
    std::size_t cuantas_ = 0;
};

// La etapa en orden: cada registro revisado frente a lo guardado en sus columnas y frente al
// anterior, del que se guarda una copia (los bytes de su tanda se reutilizan).
class Enlaces {
public:
    explicit Enlaces(Comprobacion& c) : c_(c) {}

    // false si el registro rompe la cadena; `c_` dice dónde y por qué.
    bool revisar(const Tanda& t, const Fila& f) {
        const auto romper = [&](const std::string& motivo) {
            c_.entera = false;
            c_.rotoEn = f.numero;
            c_.motivo = motivo;
            return false;
        };
        const std::int64_t esperado = numero_ + 1;
        if (f.numero != esperado) {
            c_.entera = false;
            c_.rotoEn = esperado;
            c_.motivo = "falta (el siguiente es el nº " + std::to_string(f.numero) + ").";
            return false;
        }
        const auto& l = f.lectura;
        if (!l)
            return romper("su XML no se puede leer o no es un registro de alta o de anulación.");
        if (l->alta != f.alta)
            return romper("su XML no es del tipo guardado (alta o anulación).");
        if (l->idEmisor != t.ver(f.idEmisor) || l->numSerie != t.ver(f.numSerie) ||
            l->fechaExpedicion != t.ver(f.fechaExpedicion))
            return romper("la factura de su XML no es la guardada en la cadena.");
        if (l->tipoHuella != "01")
            return romper("TipoHuella no es «01» (SHA-256).");
        if (f.calculada != l->huella)
            return romper("su huella no corresponde a sus datos (calculada " + f.calculada +
                          ", escrita " + std::string(l->huella) + ").");
        if (l->huella != t.ver(f.huella))
            return romper("la huella de su XML no es la guardada en la cadena.");
        if (l->fechaHoraHusoGenRegistro != t.ver(f.fechaHora))
            return romper("la hora de su XML no es la guardada en la cadena.");
        if (numero_ == 0) {
            if (!l->primerRegistro || !t.ver(f.huellaAnterior).empty() ||
                !l->anterior.huella.empty())
                return romper("es el primero de la cadena y no está marcado como PrimerRegistro.");
        } else {
            if (l->primerRegistro)
                return romper("está marcado como PrimerRegistro y no es el primero.");
            if (l->anterior.huella != huella_ || t.ver(f.huellaAnterior) != huella_)
                return romper("no enlaza con la huella del registro nº " + std::to_string(numero_) +
                              ".");
            if (l->anterior.idEmisorFactura != idEmisor_ ||
                l->anterior.numSerieFactura != numSerie_ ||
                l->anterior.fechaExpedicionFactura != fechaExpedicion_)
                return romper("su RegistroAnterior no es la factura del registro nº " +
                              std::to_string(numero_) + ".");
        }
        numero_ = f.numero;
        idEmisor_ = t.ver(f.idEmisor);
        numSerie_ = t.ver(f.numSerie);
        fechaExpedicion_ = t.ver(f.fechaExpedicion);
        huella_ = t.ver(f.huella);
        ++c_.registros;
        return true;
    }

    void terminar() {
        if (c_.entera)
            c_.ultimaHuella = huella_;
    }

private:
    Comprobacion& c_;
    std::int64_t numero_ = 0; ///< el del anterior; 0 antes del primero
    std::string idEmisor_, numSerie_, fechaExpedicion_, huella_;
};

class Etapas {
public:
    explicit Etapas(Comprobacion& c) : enlaces_(c) {
        const unsigned nucleos = std::max(1u, std::thread::hardware_concurrency());
        const unsigned revisores = std::min(nucleos, 4u);
        maximoTandas_ = 2 * revisores + 2;
        try {
            for (unsigned i = 0; i < revisores; ++i)
                revisores_.emplace_back([this] { revisar(); });
            actual_ = tandaLibre();
        } catch (...) {
            pararRevisores();
            throw;
        }
    }

    ~Etapas() { pararRevisores(); }

    Etapas(const Etapas&) = delete;
    Etapas& operator=(const Etapas&) = delete;

    // El paso de recorrer(): false para dejar de leer.
    bool anadir(const VistaRegistro& v) {
        actual_->anadir(v);
        if (actual_->llena()) {
            entregar();
            actual_ = tandaLibre();
        }
        return actual_ != nullptr;
    }

    // Tras la última fila: espera a que todo lo leído esté comprobado.
    void terminar() {
        if (actual_ && actual_->cuantas() > 0)
            entregar();
        actual_ = nullptr;
        for (;;) {
            std::unique_lock<std::mutex> l(m_);
            cambio_.wait(l, [&] {
                return parar_ || revisadas_.count(siguiente_) > 0 || siguiente_ == entregadas_;
            });
            if (parar_ || siguiente_ == entregadas_)
                break;
            comprobarSiguiente(l);
        }
        std::lock_guard<std::mutex> l(m_);
        if (fallo_)
            std::rethrow_exception(fallo_);
        enlaces_.terminar();
    }

private:
    void pararRevisores() {
        {
            std::lock_guard<std::mutex> l(m_);
            parar_ = true;
        }
        cambio_.notify_all();
        for (auto& h : revisores_)
            h.join();
    }

    void entregar() {
        {
            std::lock_guard<std::mutex> l(m_);
            actual_->orden = entregadas_++;
            leidas_.push_back(actual_);
        }
        cambio_.notify_all();
    }

    // Una tanda vacía para seguir leyendo; mientras no la hay, comprueba las revisadas. Nula
    // si hay que parar.
    Tanda* tandaLibre() {
        std::unique_lock<std::mutex> l(m_);
        for (;;) {
            if (parar_)
                return nullptr;
            if (revisadas_.count(siguiente_) > 0) {
                comprobarSiguiente(l);
                continue;
            }
            if (!libres_.empty()) {
                Tanda* t = libres_.back();
                libres_.pop_back();
                t->vaciar();
                return t;
            }
            if (tandas_.size() < maximoTandas_) {
                tandas_.push_back(std::make_unique<Tanda>());
                return tandas_.back().get();
            }
            cambio_.wait(l);
        }
    }

    // Comprueba en orden la tanda siguiente, ya revisada, sin el cerrojo; luego la deja libre.
    void comprobarSiguiente(std::unique_lock<std::mutex>& l) {
        const auto i = revisadas_.find(siguiente_);
        Tanda* t = i->second;
        revisadas_.erase(i);
        l.unlock();
        bool entera = true;
        for (std::size_t k = 0; k < t->cuantas() && entera; ++k)
            entera = enlaces_.revisar(*t, t->fila(k));
        l.lock();
        ++siguiente_;
        libres_.push_back(t);
        if (!entera)
            parar_ = true;
        cambio_.notify_all();
    }

    void revisar() {
        for (;;) {
            Tanda* t = nullptr;
            {
                std::unique_lock<std::mutex> l(m_);
                cambio_.wait(l, [&] { return parar_ || !leidas_.empty(); });
                if (parar_)
                    return;
                t = leidas_.front();
                leidas_.erase(leidas_.begin());
            }
            try {
                t->revisar();
            } catch (...) {
                std::lock_guard<std::mutex> l(m_);
                fallo_ = std::current_exception();
                parar_ = true;
                cambio_.notify_all();
                return;
            }
            {
                std::lock_guard<std::mutex> l(m_);
                revisadas_.emplace(t->orden, t);
            }
            cambio_.notify_all();
        }
    }

    Enlaces enlaces_;
    std::mutex m_;
    std::condition_variable cambio_;
    std::vector<std::unique_ptr<Tanda>> tandas_;
    std::size_t maximoTandas_ = 0;
    std::vector<Tanda*> leidas_, libres_;
    std::map<std::uint64_t, Tanda*> revisadas_;
    std::uint64_t entregadas_ = 0, siguiente_ = 0;
    bool parar_ = false;
    std::exception_ptr fallo_;
    Tanda* actual_ = nullptr;
    std::vector<std::thread> revisores_;
};

} // namespace

Comprobacion comprobarCadena(AlmacenCadena& almacen) {
    Comprobacion c;
    Etapas etapas(c);
    almacen.recorrer(1, true, [&](const VistaRegistro& v) { return etapas.anadir(v); });
    etapas.terminar();
    return c;
}

} // namespace morvelin::verifactu
