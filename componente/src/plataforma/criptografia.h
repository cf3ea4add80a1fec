#pragma once
// Servicios criptográficos de la plataforma que usa la firma de facturas: el almacén personal
// de certificados del usuario, el resumen SHA-1 y la firma PKCS #7 desprendida.
//
// Los pasos de los métodos solo ven estas interfaces; cada plataforma las implementa con su
// biblioteca (aquí, OpenSSL). Ninguna función lanza por un fallo criptográfico: devuelven
// nullptr, false o un valor vacío, y el paso que las llama decide el mensaje.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::plataforma {

/// Un certificado del almacén, con su clave privada si el almacén la tiene.
class Certificado {
public:
    virtual ~Certificado() = default;

    /// El sujeto como texto: un atributo por línea, en el orden en que están codificados en el
    /// certificado, líneas separadas por CR LF; cada línea es el identificador del atributo en
    /// forma de números con puntos, "=" y el valor (UTF-8). Un valor va entre comillas dobles si
    /// contiene separadores (, + = " < > # ; o un fin de línea) o empieza o acaba en blanco, y
    /// entonces sus comillas se duplican. Varios atributos de un mismo componente del nombre
    /// van en la misma línea separados por " + ".
    virtual std::string textoSujeto() const = 0;

    /// Firma PKCS #7 (SignedData, DER) desprendida de `contenido`: SHA-1, solo el certificado
    /// del firmante, y como atributos firmados el tipo de contenido, el resumen del mensaje, la
    /// hora de la firma (la hora UTC de la llamada) y las capacidades S/MIME con una sola
    /// entrada, RC2-CBC con el entero 40. Sin valor si no se puede firmar (por ejemplo, sin
    /// clave privada utilizable).
    virtual std::optional<std::string> firmarDesprendida(std::string_view contenido) const = 0;
};

/// Un certificado de un almacén tal como se lista: lo que se sabe sin pedir PIN ni usar la clave.
struct FichaCertificado {
    /// Dónde está dentro de su almacén: el fichero, o el apodo en la base de datos o la tarjeta.
    std::string donde;
    /// false si la entrada no se ha podido leer como certificado (entonces solo vale `donde` y
    /// `motivo`).
    bool legible = true;
    std::string motivo;
    /// Como Certificado::textoSujeto().
    std::string textoSujeto;
    /// Los valores del sujeto (UTF-8), uno por atributo: en ellos se busca el identificador.
    std::vector<std::string> valoresSujeto;
    /// Sujeto y emisor en una línea, para leerlos.
    std::string sujeto, emisor;
    /// Validez, en segundos desde 1970-01-01 UTC.
    long long validoDesde = 0, validoHasta = 0;
    /// Si el almacén tiene la clave privada de este certificado a su alcance.
    bool conClave = false;
    /// Si sus claves solo se ven tras dar el PIN o la contraseña (y no se han mirado).
    bool claveTrasPin = false;
    /// Los bits del uso de la clave (0x80 firma digital, 0x40 no repudio, 0x20 cifrado de claves,
    /// 0x10 cifrado de datos, 0x08 acuerdo de claves, 0x04 firma de certificados, 0x02 firma de
    /// listas de revocación); sin valor si el certificado no lo restringe.
    std::optional<unsigned> usosClave;
};

/// Un almacén de los que se miran, con sus certificados en el orden en que se buscan.
struct ListadoAlmacen {
    std::string clase; ///< "carpeta", "NSS", "PKCS #11"
    std::string donde; ///< la carpeta, la base de datos o la tarjeta
    /// Vacío si se ha podido leer; si no, por qué no (en español).
    std::string estado;
    /// Algo que conviene saber aunque se haya leído (en español), o vacío.
    std::string nota;
    /// Entre varios certificados del identificador, el primero con uso de no repudio (las
    /// tarjetas); si no, el primero sin más.
    bool prefiereNoRepudio = false;
    std::vector<FichaCertificado> certificados;
};

/// El almacén personal de certificados del usuario.
class AlmacenCertificados {
public:
    virtual ~AlmacenCertificados() = default;

    /// Todos los almacenes que se miran, en el orden en que se buscan. Nunca pide un PIN. Las
    /// plataformas que no saben listar devuelven una lista vacía.
    virtual std::vector<ListadoAlmacen> listar() { return {}; }

    /// El primer certificado, en el orden en que el almacén los enumera, con un valor del
    /// sujeto que contiene `texto` sin distinguir mayúsculas de minúsculas (ASCII). No mira
    /// fechas, usos de la clave ni si hay clave privada. nullptr si no hay ninguno.
    virtual std::unique_ptr<Certificado> buscarPorSujeto(const std::string& texto) = 0;
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
    /// Del certificado del firmante (si la firma se ha podido leer): el texto del sujeto como
    /// Certificado::textoSujeto(), el certificado en DER y su validez en segundos desde
    /// 1970-01-01 UTC.
    std::string textoSujeto, certificadoDer;
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

/// Lo que hay en cada almacén que abrirAlmacenPersonal() mira, en su orden, también de los que
/// no se pueden abrir. Nunca pide un PIN. (Solo en las plataformas que lo saben listar.)
std::vector<ListadoAlmacen> listarAlmacenes();

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

/// Un texto secreto, como una contraseña: sus caracteres están en el propio objeto (nunca en
/// memoria que se suelte sin borrar) y se borran al destruirlo o al moverlo a otro.
class Secreto {
public:
    /// Caracteres que caben (la contraseña de una clave PEM tampoco puede tener más).
    static constexpr std::size_t Capacidad = 1023;

    Secreto() = default;
    Secreto(const Secreto&) = delete;
    Secreto& operator=(const Secreto&) = delete;
    Secreto(Secreto&& otro) noexcept { tomar(otro); }
    Secreto& operator=(Secreto&& otro) noexcept {
        if (this != &otro) {
            borrar();
            tomar(otro);
        }
        return *this;
    }
    ~Secreto() { borrar(); }

    /// Añade un carácter al final; false (y nada cambia) si ya no cabe.
    bool anadir(char c) {
        if (largo_ == Capacidad)
            return false;
        datos_[largo_++] = c;
        return true;
    }
    /// Quita el último carácter, si lo hay.
    void quitarUltimo() {
        if (largo_ > 0)
            datos_[--largo_] = '\0';
    }
    /// Terminado en un byte 0.
    const char* c_str() const { return datos_; }
    std::size_t size() const { return largo_; }
    bool empty() const { return largo_ == 0; }
    char back() const { return largo_ > 0 ? datos_[largo_ - 1] : '\0'; }
    void borrar() {
        borrarMemoria(datos_, sizeof datos_);
        largo_ = 0;
    }

private:
    void tomar(Secreto& otro) {
        for (std::size_t i = 0; i < otro.largo_; ++i)
            datos_[i] = otro.datos_[i];
        largo_ = otro.largo_;
        otro.borrar();
    }

    char datos_[Capacidad + 1] = {};
    std::size_t largo_ = 0;
};

} // namespace morvelin::plataforma
