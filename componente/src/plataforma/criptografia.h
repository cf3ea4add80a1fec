#pragma once
// Servicios criptográficos de la plataforma que usa la firma de facturas: el almacén personal
// de certificados del usuario, el resumen SHA-1, la firma PKCS #7 desprendida y su comprobación.
//
// Los pasos de los métodos solo ven estas interfaces. Windows las cumple con sus servicios
// criptográficos (componente/windows); Linux, con los almacenes de almacenes/ (la carpeta con
// OpenSSL, las bases de datos NSS y las tarjetas de p11-kit con NSS) y OpenSSL para lo demás.
// Ninguna función lanza por un fallo criptográfico: devuelven nullptr, false o un valor vacío,
// y el paso que las llama decide el mensaje.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::plataforma {

/// Un atributo del sujeto de un certificado, leído del propio certificado.
struct AtributoSujeto {
    /// El identificador del atributo en números con puntos ("2.5.4.3").
    std::string oid;
    /// El valor tal como se presenta (UTF-8 en Linux; la página de códigos del sistema en
    /// Windows): entre comillas dobles si contiene separadores (, + = " < > # ; o un fin de
    /// línea) o empieza o acaba en blanco, y entonces sus comillas se duplican
    /// (valorEntrecomillado, en codificacion.h).
    std::string valor;
    bool operator==(const AtributoSujeto&) const = default;
};

/// Los atributos del sujeto, en el orden en que están codificados en el certificado (los de un
/// componente con varios valores, seguidos).
using AtributosSujeto = std::vector<AtributoSujeto>;

/// El resumen con el que se firma.
enum class ResumenFirma { Sha1, Sha256, Sha384, Sha512 };

/// Cómo se firma con la clave de un certificado.
struct AlgoritmoFirma {
    enum class Esquema {
        Pkcs1, ///< RSA PKCS #1 v1.5: se firma el DigestInfo del resumen
        Pss,   ///< RSA-PSS con MGF1 del mismo resumen y una sal del largo del resumen
        Ecdsa, ///< ECDSA; la firma es la SEQUENCE DER de r y s
    };
    Esquema esquema = Esquema::Pkcs1;
    ResumenFirma resumen = ResumenFirma::Sha256;
    /// false: los datos se resumen al firmar (una firma RSA-SHA256 de un documento); true: los
    /// datos ya son el resumen, de su largo (lo que firma un cliente TLS, que resume él).
    bool resumido = false;
};

/// Un certificado del almacén, con su clave privada si el almacén la tiene.
///
/// La clave no sale de su almacén: la base de datos NSS o la tarjeta firman por sí mismas. Si
/// hace falta un PIN o una contraseña, se pide la primera vez que se firma y vale mientras viva
/// el objeto: una operación que firma muchas veces (mil registros, una sesión TLS) lo pide una
/// sola vez. Si no se da (cancelado, incorrecto, sin diálogo), las firmas siguientes fallan sin
/// volver a preguntar: cada intento fallido acerca el bloqueo de una tarjeta.
class Certificado {
public:
    virtual ~Certificado() = default;

    /// Los atributos del sujeto, uno a uno: cada valor con su identificador, nunca buscados en
    /// un texto.
    virtual AtributosSujeto atributosSujeto() const = 0;

    /// El certificado en DER.
    virtual std::string der() const = 0;

    /// La firma de `datos` con la clave del certificado por `algoritmo` (el esquema ha de ser el
    /// de la clave: PKCS #1 o PSS con RSA, ECDSA con EC). `para` completa la petición del PIN,
    /// si se pide: «para firmar la factura». Sin valor si no se puede firmar (sin clave
    /// utilizable, otro esquema, un resumen de otro largo, el PIN no se da).
    virtual std::optional<std::string> firmar(const AlgoritmoFirma& algoritmo,
                                              std::string_view datos,
                                              std::string_view para) const = 0;

    /// Firma PKCS #7 (SignedData, DER) desprendida de `contenido`: SHA-1, solo el certificado
    /// del firmante, y como atributos firmados el tipo de contenido, el resumen del mensaje, la
    /// hora de la firma (la hora UTC de la llamada) y las capacidades S/MIME con una sola
    /// entrada, RC2-CBC con el entero 40. Sin valor si no se puede firmar (por ejemplo, sin
    /// clave privada utilizable).
    virtual std::optional<std::string> firmarDesprendida(std::string_view contenido) const = 0;
};

/// El almacén personal de certificados del usuario.
class AlmacenCertificados {
public:
    virtual ~AlmacenCertificados() = default;

    /// El certificado con el que FIRMA firma para el identificador `texto`, por la regla de la
    /// plataforma: uno con un valor del sujeto que contiene `texto` sin distinguir mayúsculas de
    /// minúsculas, el primero en el orden en que el almacén los enumera (en Linux, con la regla
    /// de almacenes/eleccion.h). No mira fechas ni si hay clave privada. nullptr si no hay
    /// ninguno.
    virtual std::unique_ptr<Certificado> buscar(const std::string& texto) = 0;
};

/// Lo que dice una firma PKCS #7 desprendida comprobada sobre su contenido.
struct FirmaComprobada {
    enum class Estado {
        Ilegible,      ///< no es una SignedData desprendida con un solo firmante y su certificado
        OtroContenido, ///< el resumen firmado no es el del contenido
        FirmaAlterada, ///< el resumen coincide, pero la firma de los atributos no verifica
        Valida,
    };
    Estado estado = Estado::Ilegible;
    /// Del certificado del firmante (si la firma se ha podido leer): los atributos del sujeto
    /// como Certificado::atributosSujeto(), el certificado en DER y su validez en segundos desde
    /// 1970-01-01 UTC.
    AtributosSujeto atributosSujeto;
    std::string certificadoDer;
    long long validoDesde = 0, validoHasta = 0;
    /// La hora de la firma (atributo firmado), en segundos desde 1970-01-01 UTC; sin valor si
    /// no la lleva o no se lee.
    std::optional<long long> horaFirma;
    /// Solo cuando se han dado autoridades: vacío si el certificado lleva a una de ellas en la
    /// hora de la firma; si no, por qué no (en español).
    std::optional<std::string> fueraDeCadena;
};

/// Comprueba `firmaDer` (DER) sobre `contenido`. Con `autoridades` no vacío (un fichero PEM o
/// DER, o una carpeta de ellos), comprueba además la cadena del firmante hasta ellas en la hora
/// de la firma. No mira la validez del certificado en ninguna hora: lo decide quien llama.
FirmaComprobada comprobarFirmaDesprendida(std::string_view firmaDer, std::string_view contenido,
                                          const std::string& autoridades = {});

/// Abre el almacén personal del usuario actual. nullptr si no se puede abrir.
std::unique_ptr<AlmacenCertificados> abrirAlmacenPersonal();

using ResumenSha1 = std::array<unsigned char, 20>;

/// Un SHA-1 que se calcula por partes.
class CalculoSha1 {
public:
    virtual ~CalculoSha1() = default;
    /// Añade bytes; false si la plataforma falla.
    virtual bool anadir(std::string_view datos) = 0;
    /// El resumen de todo lo añadido; sin valor si la plataforma falla.
    virtual std::optional<ResumenSha1> terminar() = 0;
};

/// Un cálculo nuevo; nullptr si la plataforma no puede calcular SHA-1.
std::unique_ptr<CalculoSha1> empezarSha1();

/// Pone a cero `n` bytes en `p` de forma que el compilador no lo omita aunque nadie los vuelva
/// a leer: contraseñas y claves sin cifrar, antes de soltar su memoria.
void borrarMemoria(void* p, std::size_t n);

/// Borra todo el búfer de `texto` (también lo que queda tras su tamaño) y lo deja vacío.
inline void borrarTexto(std::string& texto) {
    borrarMemoria(texto.data(), texto.capacity());
    texto.clear();
}

/// Borra un texto con `borrarTexto` al salir del ámbito, pase lo que pase.
struct BorrarAlSalir {
    std::string& texto;
    ~BorrarAlSalir() { borrarTexto(texto); }
};

/// Memoria para un secreto (un PIN, una contraseña): Secreto::Capacidad + 1 bytes a cero en una
/// página propia que no entra en los volcados de memoria del proceso (core) y que, donde el
/// sistema lo deja, queda bloqueada en la memoria física (nunca va al disco de intercambio). No
/// cambia si el proceso deja volcados o no. Lanza std::bad_alloc si no hay memoria.
char* reservarMemoriaSecreta();
/// La borra y la devuelve al sistema.
void soltarMemoriaSecreta(char* memoria);

/// Un texto secreto, como una contraseña o un PIN: sus caracteres están en memoria de
/// reservarMemoriaSecreta() (nunca en memoria que se suelte sin borrar ni en un volcado) y se
/// borran al destruirlo; moverlo pasa esa misma memoria al otro, sin copiarla.
class Secreto {
public:
    /// Caracteres que caben (la contraseña de una clave PEM tampoco puede tener más).
    static constexpr std::size_t Capacidad = 1023;

    Secreto() = default;
    Secreto(const Secreto&) = delete;
    Secreto& operator=(const Secreto&) = delete;
    Secreto(Secreto&& otro) noexcept : datos_(otro.datos_), largo_(otro.largo_) {
        otro.datos_ = nullptr;
        otro.largo_ = 0;
    }
    Secreto& operator=(Secreto&& otro) noexcept {
        if (this != &otro) {
            soltar();
            datos_ = otro.datos_;
            largo_ = otro.largo_;
            otro.datos_ = nullptr;
            otro.largo_ = 0;
        }
        return *this;
    }
    ~Secreto() { soltar(); }

    /// Añade un carácter al final; false (y nada cambia) si ya no cabe. Lanza std::bad_alloc si
    /// no hay memoria para el primero.
    bool anadir(char c) {
        if (largo_ == Capacidad)
            return false;
        if (datos_ == nullptr)
            datos_ = reservarMemoriaSecreta();
        datos_[largo_++] = c;
        return true;
    }
    /// Quita el último carácter, si lo hay.
    void quitarUltimo() {
        if (largo_ > 0)
            datos_[--largo_] = '\0';
    }
    /// Terminado en un byte 0.
    const char* c_str() const { return datos_ != nullptr ? datos_ : ""; }
    std::size_t size() const { return largo_; }
    bool empty() const { return largo_ == 0; }
    char back() const { return largo_ > 0 ? datos_[largo_ - 1] : '\0'; }
    /// Borra los caracteres (su memoria sigue siendo suya).
    void borrar() {
        if (datos_ != nullptr)
            borrarMemoria(datos_, Capacidad + 1);
        largo_ = 0;
    }

private:
    void soltar() {
        if (datos_ != nullptr)
            soltarMemoriaSecreta(datos_);
        datos_ = nullptr;
        largo_ = 0;
    }

    char* datos_ = nullptr;
    std::size_t largo_ = 0;
};

} // namespace morvelin::plataforma
