#pragma once
// Escritura de ficheros del componente.
//
// Todo fichero que graba el componente (el fichero de firma, la factura verificada, las
// entradas del almacén de certificados) se escribe igual: en un temporal junto al destino, con
// cada escritura comprobada, volcado al disco y renombrado sobre el destino al final. Un fallo o
// una caída a medias deja el fichero anterior entero, o ningún fichero si no lo había; nunca un
// fichero a medio escribir. Solo se sustituye un fichero normal (o se crea uno): un destino que
// es una carpeta, un dispositivo, una tubería o un enlace que no se debe seguir no se toca.
//
// Las llamadas al sistema pasan por SistemaFicheros, que las pruebas sustituyen para provocar
// fallos (las pruebas corren como root: los permisos no bastan para que una escritura falle).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin {

/// Separador de carpetas de la plataforma.
#if defined(_WIN32)
inline constexpr char SeparadorRuta = '\\';
#else
inline constexpr char SeparadorRuta = '/';
#endif

/// Las operaciones del sistema de ficheros que usa la capa de escritura. Cada una devuelve false
/// (o un manejador inválido) si falla; ninguna lanza.
class SistemaFicheros {
public:
    using Manejador = std::intptr_t;
    static constexpr Manejador Invalido = -1;

    virtual ~SistemaFicheros() = default;

    /// Crea un fichero nuevo (falla si ya existe) y lo abre para escribir. `permisos` son los
    /// bits de modo a la manera de POSIX, a los que el sistema aplica su máscara habitual.
    virtual Manejador crearNuevo(const std::string& ruta, unsigned permisos);
    /// Escribe todos los bytes, reintentando las escrituras cortas; false si no caben todos.
    virtual bool escribir(Manejador f, const char* datos, std::size_t n);
    /// Vuelca al disco lo escrito.
    virtual bool volcar(Manejador f);
    virtual bool cerrar(Manejador f);
    /// Pone `desde` en lugar de `hacia` de una vez: quien abra `hacia` ve el fichero viejo o el
    /// nuevo, nunca una mezcla.
    virtual bool reemplazar(const std::string& desde, const std::string& hacia);
    virtual void borrar(const std::string& ruta);

    enum class Tipo { Ninguno, Fichero, Carpeta, Otro };
    /// Qué hay en `ruta`, siguiendo los enlaces: nada, un fichero normal, una carpeta u otra
    /// cosa (un dispositivo, una tubería).
    virtual Tipo tipo(const std::string& ruta);
    /// Lo que se sustituye al escribir en `ruta`: la ruta con cada enlace simbólico que se
    /// encuentra al recorrerla resuelto, sea una carpeta en medio de la ruta o el propio
    /// fichero (siguiendo la cadena, aunque no lleve a nada que exista). Cada enlace se sigue
    /// solo si enlaceSeSigue() lo permite. Sin valor si un enlace no se debe seguir o los
    /// enlaces no acaban: no se escribe nada.
    virtual std::optional<std::string> rutaReal(const std::string& ruta);
    virtual bool crearCarpeta(const std::string& ruta, unsigned permisos);
    /// Copia a `f` los permisos de `ruta` si existe; si no existe, no hace nada.
    virtual void copiarPermisos(const std::string& ruta, Manejador f);
    /// Empieza a llevar al disco lo escrito en `f` sin esperar, para que el volcado final de
    /// un fichero grande no tenga que hacerlo todo. Solo es una indicación: puede no hacer nada.
    virtual void adelantarVolcado(Manejador f);
    /// Nombres (sin carpeta) de lo que hay en `carpeta` que empieza por `prefijo`.
    virtual std::vector<std::string> nombres(const std::string& carpeta,
                                             const std::string& prefijo);
    /// Borra el temporal `ruta` si ninguna escritura lo tiene abierto: es el resto de una que se
    /// interrumpió (un proceso que murió). Uno abierto por crearNuevo, en este proceso o en otro,
    /// no se toca; si el sistema no permite saberlo, tampoco.
    virtual void borrarAbandonado(const std::string& ruta);
};

/// La protección de enlaces de las carpetas compartidas (como /tmp), la regla del sistema: un
/// enlace simbólico se sigue si su carpeta no es a la vez pegajosa (bit t) y escribible por
/// todos, o si el enlace es de quien lo sigue o del dueño de la carpeta. `modoCarpeta` son los
/// bits de modo de la carpeta a la manera de POSIX; los dueños, identificadores de usuario.
bool enlaceSeSigue(unsigned modoCarpeta, std::uint64_t duenoCarpeta, std::uint64_t duenoEnlace,
                   std::uint64_t quienSigue);

/// El sistema en uso: el de la plataforma, salvo que una prueba ponga otro.
SistemaFicheros& sistemaFicheros();

/// Solo para pruebas: sustituye el sistema en uso (nullptr vuelve al de la plataforma). No se
/// debe llamar mientras otro hilo escribe.
void usarSistemaFicheros(SistemaFicheros* sistema);

/// Un fichero que se está escribiendo para sustituir a `destino`.
///
/// abrir() crea el temporal en la carpeta del destino; escribir() acumula y escribe por bloques;
/// confirmar() escribe lo pendiente, vuelca, cierra y renombra sobre el destino. Cualquier fallo
/// se recuerda: las escrituras siguientes no hacen nada y confirmar() devuelve false. Si no se
/// llega a confirmar con éxito, el destructor borra el temporal y el destino queda como estaba.
/// Lo que pasó por el bloque interno se borra de la memoria al terminar (confirmado o no): por
/// él pasan también claves privadas sin cifrar.
///
/// El renombrado no se vuelca: tras un corte de luz el destino tiene el fichero viejo o el nuevo,
/// los dos enteros.
///
/// El temporal se llama ".morvelin-HHHHHHHH-XXXXXXXXXX.tmp": oculto, con una terminación que
/// ningún lector toma por datos; las H dependen del nombre del destino y las X son al azar.
/// Mientras se escribe está abierto (y en POSIX bajo cerrojo) hasta que deja de ser temporal;
/// uno que no lo está es el resto de una escritura interrumpida, y abrir() borra los que hay del
/// mismo destino.
///
/// Si el destino es un enlace simbólico que se puede seguir (SistemaFicheros::rutaReal), se
/// sustituye el fichero al que lleva y el enlace queda. Si es una carpeta o algo que no es un
/// fichero normal (un dispositivo como /dev/null, una tubería, un socket), abrir() falla y no lo
/// toca.
class FicheroNuevo {
public:
    /// `permisos`: bits de modo del fichero nuevo (0666 menos la máscara del proceso, como un
    /// fichero creado a la manera habitual). Si el destino ya existe, se conservan los suyos.
    explicit FicheroNuevo(std::string destino, unsigned permisos = 0666);
    FicheroNuevo(const FicheroNuevo&) = delete;
    FicheroNuevo& operator=(const FicheroNuevo&) = delete;
    virtual ~FicheroNuevo();

    /// Crea el temporal. false si no se puede (carpeta inexistente, destino vacío, destino que
    /// no es un fichero normal, enlace que no se sigue...). Nadie ve nada hasta confirmar(): se
    /// puede escribir por adelantado algo que quizá no se confirme.
    bool abrir();
    /// Añade bytes al fichero. false si este o un paso anterior ha fallado.
    bool escribir(std::string_view datos);
    /// Para quien produce los bytes directamente en el fichero: un hueco de `n` bytes (a lo sumo
    /// TamanoBloque) tras lo ya escrito, o nullptr si algo ha fallado. ocupar(m) añade al
    /// fichero los `m` primeros bytes del hueco (m <= n).
    char* hueco(std::size_t n);
    void ocupar(std::size_t m);

    /// Bytes que FicheroNuevo junta antes de entregarlos al sistema.
    static constexpr std::size_t TamanoBloque = 256 * 1024;
    /// Termina el fichero y lo pone en su sitio. false si algo ha fallado; entonces el destino
    /// queda como estaba y no queda temporal.
    bool confirmar();

    bool correcto() const { return correcto_; }
    const std::string& destino() const { return destino_; }

private:
    SistemaFicheros::Manejador crearTemporal();
    void barrerTemporales();
    bool vaciarBloque();
    bool entregar(const char* datos, std::size_t n);
    void descartar();
    void borrarBloque();

    std::string destino_;
    std::string real_;     // el destino tras seguir un enlace simbólico
    std::string temporal_; // vacío si no hay temporal abierto
    unsigned permisos_;
    SistemaFicheros::Manejador f_ = SistemaFicheros::Invalido;
    std::unique_ptr<char[]> bloque_;
    std::size_t usados_ = 0;        // bytes pendientes en el bloque
    std::size_t ocupadoMaximo_ = 0; // hasta dónde se ha escrito en el bloque
    std::size_t sinAdelantar_ = 0;  // bytes entregados desde el último adelantarVolcado
    bool correcto_ = false;
};

/// Crea las carpetas que faltan a lo largo de `ruta`: cada prefijo anterior a un separador que
/// no exista como carpeta se crea. El último componente (el nombre del fichero) nunca se crea.
/// true si al final existen todas; false en la primera que no existe ni se puede crear. En esta
/// plataforma una ruta que empieza por el separador parte de la raíz, que existe.
bool crearCarpetas(const std::string& ruta);

/// La parte de `ruta` tras su último separador (toda la ruta si no lo tiene).
std::string nombreSinCarpetas(const std::string& ruta);

} // namespace morvelin
