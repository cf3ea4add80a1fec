#pragma once
// Servicios criptográficos de la plataforma que usa la firma de facturas: el almacén personal
// de certificados del usuario, el resumen SHA-1 y la firma PKCS #7 desprendida.
//
// Los pasos de los métodos solo ven estas interfaces; cada plataforma las implementa con su
// biblioteca (aquí, OpenSSL). Ninguna función lanza por un fallo criptográfico: devuelven
// nullptr, false o un valor vacío, y el paso que las llama decide el mensaje.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

/// El almacén personal de certificados del usuario.
class AlmacenCertificados {
public:
    virtual ~AlmacenCertificados() = default;

    /// El primer certificado, en el orden en que el almacén los enumera, con un valor del
    /// sujeto que contiene `texto` sin distinguir mayúsculas de minúsculas (ASCII). No mira
    /// fechas, usos de la clave ni si hay clave privada. nullptr si no hay ninguno.
    virtual std::unique_ptr<Certificado> buscarPorSujeto(const std::string& texto) = 0;
};

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

} // namespace morvelin::plataforma
