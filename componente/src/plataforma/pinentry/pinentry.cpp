// El PIN por pinentry: el programa del escritorio que pide PIN y contraseñas, con el protocolo
// Assuan (una orden por línea de a lo sumo 1000 bytes; el servidor contesta «OK», «ERR código
// texto» o datos en líneas «D ...» con %XX para los bytes especiales, y puede intercalar
// comentarios «#» y estado «S»). Cada paso tiene su plazo (PlazosPinentry).
#include "plataforma/pin.h"

#include "infraestructura/codificacion.h"
#include "plataforma/proceso/proceso.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace morvelin::plataforma {

namespace {

// Lo más que mide una línea de Assuan sin su fin: pinentry no lee una más larga (el de
// terminal acaba sin decir nada).
constexpr std::size_t LargoLinea = 1000;
// Lo más que se acepta de comentarios y líneas de estado antes de la respuesta.
constexpr int LineasPorRespuesta = 1000;

std::atomic<const PlazosPinentry*> otrosPlazos{nullptr};

// Un texto para una orden: %, CR, LF y los demás caracteres de control van como %XX.
std::string escapar(std::string_view texto) {
    static const char hex[] = "0123456789ABCDEF";
    std::string r;
    for (const char c : texto) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '%') {
            r += '%';
            r += hex[u >> 4];
            r += hex[u & 0x0F];
        } else {
            r += c;
        }
    }
    return r;
}

// Cuántos bytes mide el carácter UTF-8 que empieza en `texto[i]`.
std::size_t largoCaracter(std::string_view texto, std::size_t i) {
    std::size_t n = 1;
    while (i + n < texto.size() && (static_cast<unsigned char>(texto[i + n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

// La orden `nombre` con su texto en una línea de Assuan: si no cabe, el texto se corta entre
// dos caracteres y acaba en «…».
std::string ordenConTexto(std::string_view nombre, std::string_view texto) {
    std::string linea = std::string(nombre) + " " + escapar(texto);
    if (linea.size() <= LargoLinea)
        return linea;
    constexpr std::string_view Puntos = "…";
    linea = std::string(nombre) + " ";
    for (std::size_t i = 0; i < texto.size();) {
        const std::size_t n = largoCaracter(texto, i);
        const std::string pieza = escapar(texto.substr(i, n));
        if (linea.size() + pieza.size() + Puntos.size() > LargoLinea)
            break;
        linea += pieza;
        i += n;
    }
    return linea + std::string(Puntos);
}

} // namespace

// La conversación con un pinentry en marcha.
class Pinentry {
public:
    explicit Pinentry(const PlazosPinentry& plazos) : plazos_(plazos) {}
    Pinentry(const Pinentry&) = delete;
    Pinentry& operator=(const Pinentry&) = delete;
    // Se despide sin esperar su respuesta y le da su plazo para acabar; si no, lo mata.
    ~Pinentry() {
        if (proceso_.enMarcha())
            enviar("BYE");
        proceso_.terminar(plazos_.salida);
        if (entrada_ != nullptr)
            soltarMemoriaSecreta(entrada_);
    }

    enum class Respuesta { Ok, Err, Fallo };

    /// Lo arranca sin esperar su saludo, que tiene su plazo desde ahora.
    bool arrancar(const char* programa) {
        plazoSaludo_ = Reloj::now() + plazos_.saludo;
        return proceso_.arrancar({programa});
    }

    /// Espera su saludo.
    bool saludo() { return leerRespuesta(nullptr, plazoSaludo_) == Respuesta::Ok; }

    bool enviar(std::string_view orden) {
        return proceso_.escribir({orden, "\n"}, Reloj::now() + plazos_.orden);
    }

    /// La respuesta a una orden ya enviada, que ha de llegar antes de `espera`. Las líneas de
    /// datos van, descodificadas, a `datos`.
    Respuesta respuesta(std::chrono::milliseconds espera, Secreto* datos = nullptr) {
        return leerRespuesta(datos, Reloj::now() + espera);
    }

private:
    // Lee líneas hasta «OK» o «ERR». Fallo si acaba la conexión, se pasa el plazo, llegan
    // demasiadas líneas o una que no vale.
    Respuesta leerRespuesta(Secreto* datos, Reloj::time_point plazo) {
        for (int lineas = 0; lineas < LineasPorRespuesta; ++lineas) {
            if (!leerLinea(plazo))
                return Respuesta::Fallo;
            const std::string_view l(linea_.c_str(), linea_.size());
            if (l == "OK" || l.starts_with("OK "))
                return Respuesta::Ok;
            if (l == "ERR" || l.starts_with("ERR "))
                return Respuesta::Err;
            if (l.starts_with("D ") && datos != nullptr && !anadirDatos(l.substr(2), *datos))
                return Respuesta::Fallo;
            // Comentarios (#), estado (S) y lo demás no cambian nada.
        }
        return Respuesta::Fallo;
    }

    // Un byte 0 en los datos no se admite: el PIN se corta en él al dárselo a la tarjeta, que
    // lo contaría como un intento con otro PIN.
    static bool anadirDatos(std::string_view d, Secreto& datos) {
        for (std::size_t i = 0; i < d.size(); ++i) {
            char c = d[i];
            if (c == '%') {
                if (i + 2 >= d.size())
                    return false;
                const int alto = valorHexadecimal(d[i + 1]), bajo = valorHexadecimal(d[i + 2]);
                if (alto < 0 || bajo < 0)
                    return false;
                c = static_cast<char>(alto * 16 + bajo);
                i += 2;
            }
            if (c == '\0' || !datos.anadir(c))
                return false;
        }
        return true;
    }

    // La línea siguiente, en linea_. Lo que llega se lee a bloques en memoria secreta, como la
    // línea: puede llevar el PIN.
    bool leerLinea(Reloj::time_point plazo) {
        linea_.borrar();
        for (;;) {
            if (inicio_ == leidos_) {
                if (entrada_ == nullptr)
                    entrada_ = reservarMemoriaSecreta();
                borrarMemoria(entrada_, leidos_);
                inicio_ = leidos_ = 0;
                if (proceso_.leerDisponible(entrada_, Secreto::Capacidad, leidos_, plazo) !=
                    ProcesoAuxiliar::Lectura::Leido)
                    return false;
            }
            const char c = entrada_[inicio_++];
            if (c == '\n')
                return true;
            if (linea_.size() == LargoLinea || !linea_.anadir(c))
                return false; // más larga de lo que permite el protocolo
        }
    }

    PlazosPinentry plazos_;
    ProcesoAuxiliar proceso_;
    Reloj::time_point plazoSaludo_;
    char* entrada_ = nullptr; // lo leído (Secreto::Capacidad bytes); se entrega desde inicio_
    std::size_t inicio_ = 0, leidos_ = 0;
    Secreto linea_;
};

namespace {

PlazosPinentry plazosPinentry() {
    const PlazosPinentry* otros = otrosPlazos.load();
    return otros ? *otros : PlazosPinentry{};
}

std::string localeCaracteres() {
    for (const char* v : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* valor = std::getenv(v); valor && *valor)
            return valor;
    return {};
}

} // namespace

void usarPlazosPinentry(const PlazosPinentry* plazos) {
    otrosPlazos.store(plazos);
}

std::string valorParaDialogo(std::string_view valor, std::size_t maximo) {
    std::string r;
    std::size_t caracteres = 0;
    for (std::size_t i = 0; i < valor.size();) {
        if (caracteres == maximo)
            return r + "…";
        const std::size_t n = largoCaracter(valor, i);
        const auto c = static_cast<unsigned char>(valor[i]);
        if (c < 0x20 || c == 0x7F)
            r += ' ';
        else
            r.append(valor.substr(i, n));
        i += n;
        ++caracteres;
    }
    return r;
}

DialogoPin::DialogoPin() : pinentry_(std::make_unique<Pinentry>(plazosPinentry())) {
    const char* programa = std::getenv("MORVELIN_PINENTRY");
    if (programa == nullptr || *programa == '\0')
        programa = "pinentry";
    if (!pinentry_->arrancar(programa))
        pinentry_.reset();
}

DialogoPin::~DialogoPin() = default;

RespuestaPin pedirPin(const PeticionPin& peticion, Secreto& pin) {
    return DialogoPin().pedir(peticion, pin);
}

RespuestaPin DialogoPin::pedir(const PeticionPin& peticion, Secreto& pin) {
    pin.borrar();
    if (!pinentry_ || std::exchange(pedido_, true) || !pinentry_->saludo())
        return RespuestaPin::SinDialogo;
    Pinentry& p = *pinentry_;
    const PlazosPinentry plazos = plazosPinentry();
    // El terminal y el idioma, para el pinentry de terminal; los de ventana usan DISPLAY o
    // WAYLAND_DISPLAY, que heredan. Una opción que no conozca no importa.
    std::vector<std::string> opciones;
    if (char tty[256]; ::isatty(0) && ::ttyname_r(0, tty, sizeof tty) == 0) {
        opciones.push_back(ordenConTexto("OPTION", "ttyname=" + std::string(tty)));
        if (const char* term = std::getenv("TERM"); term && *term)
            opciones.push_back(ordenConTexto("OPTION", "ttytype=" + std::string(term)));
    }
    if (const std::string lc = localeCaracteres(); !lc.empty())
        opciones.push_back(ordenConTexto("OPTION", "lc-ctype=" + lc));
    // El diálogo se cierra solo cuando se acaba el tiempo de escribir el PIN (en segundos).
    const auto segundos =
        std::max<long long>(1, std::chrono::ceil<std::chrono::seconds>(plazos.pin).count());
    std::vector<std::string> textos = {
        ordenConTexto("SETTITLE", "Firma de facturas"),
        ordenConTexto("SETDESC", peticion.descripcion),
        ordenConTexto("SETPROMPT", peticion.indicacion),
        ordenConTexto("SETOK", "_Firmar"),
        ordenConTexto("SETCANCEL", "_Cancelar"),
    };
    if (!peticion.aviso.empty())
        textos.push_back(ordenConTexto("SETERROR", peticion.aviso));
    const std::string tiempo = "SETTIMEOUT " + std::to_string(segundos);
    // Todo de una vez, y después las respuestas, en su orden: sin esperar a cada una.
    for (const auto* lista : {&opciones, &textos})
        for (const auto& o : *lista)
            if (!p.enviar(o))
                return RespuestaPin::SinDialogo;
    if (!p.enviar(tiempo))
        return RespuestaPin::SinDialogo;
    using R = Pinentry::Respuesta;
    for (std::size_t i = 0; i < opciones.size(); ++i)
        if (p.respuesta(plazos.orden) == R::Fallo)
            return RespuestaPin::SinDialogo;
    for (std::size_t i = 0; i < textos.size(); ++i)
        if (p.respuesta(plazos.orden) != R::Ok)
            return RespuestaPin::SinDialogo;
    // Uno que no sepa cerrar el diálogo a tiempo vale igual: el plazo de GETPIN lo cubre.
    if (p.respuesta(plazos.orden) == R::Fallo || !p.enviar("GETPIN"))
        return RespuestaPin::SinDialogo;
    switch (p.respuesta(plazos.pin + plazos.orden, &pin)) {
    case R::Ok:
        return RespuestaPin::Dado;
    case R::Err:
        pin.borrar();
        return RespuestaPin::Cancelado;
    case R::Fallo:
        break;
    }
    pin.borrar();
    return RespuestaPin::SinDialogo;
}

} // namespace morvelin::plataforma
