#pragma once
// El fichero de firma: nueve líneas terminadas en CR LF con tres secciones entre etiquetas.
//
//   <NOMFIC>            nombre del fichero de la factura, sin carpetas
//   <FACB64>            la factura en base64, en una sola línea por larga que sea
//   <FIRB64>            la firma PKCS #7 en base64, en una línea
//
// cada una seguida de su línea de contenido y de su etiqueta de cierre ("</NOMFIC>"...). Quien
// lo lee solo depende de los tres pares de etiquetas, no de las líneas.
//
// FIRMA lo escribe; VERIFICA y la comprobación sin red lo leen.

#include "infraestructura/escritura.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace morvelin {

/// Los tres campos del fichero de firma.
class RegistroFirma {
public:
    RegistroFirma() = default;
    RegistroFirma(const RegistroFirma&) = default;
    RegistroFirma& operator=(const RegistroFirma&) = default;
    virtual ~RegistroFirma() = default;

    std::string nombreFichero; ///< el nombre de la factura, sin carpetas
    std::string facturaBase64; ///< la factura en base64
    std::string firmaBase64;   ///< la firma en base64
};

/// Las etiquetas de apertura y cierre de cada campo, en el orden del fichero.
struct EtiquetasCampo {
    std::string_view apertura, cierre;
};
inline constexpr EtiquetasCampo EtiquetasNombre{"<NOMFIC>", "</NOMFIC>"};
inline constexpr EtiquetasCampo EtiquetasFactura{"<FACB64>", "</FACB64>"};
inline constexpr EtiquetasCampo EtiquetasFirma{"<FIRB64>", "</FIRB64>"};

/// Fin de línea del fichero de firma, el mismo en todas las plataformas.
inline constexpr std::string_view FinLineaFirma = "\r\n";

/// Escribe las nueve líneas de `registro` en `salida` (el nombre, con nombreEnFicheroFirma()).
/// Devuelve false si alguna escritura falla (lo dice también salida.correcto()); el fichero no
/// queda en su sitio hasta confirmarlo.
bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro);

/// Igual, pero la línea de la factura es el base64 de `factura`, que se codifica por trozos
/// directamente en `salida` sin guardarlo entero en memoria; registro.facturaBase64 no se usa.
/// El fichero es idéntico byte a byte al de la otra forma con facturaBase64 ya calculado.
bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro,
                        std::string_view factura);

/// Escribe la línea de la factura (sin su fin de línea); false si no puede.
using LineaFactura = std::function<bool(FicheroNuevo& salida)>;

/// Igual, con la línea de la factura escrita por `lineaFactura`, por ejemplo con
/// escribirBase64() a medida que se lee la factura. Si `lineaFactura` devuelve false, no se
/// escribe nada más y devuelve false.
bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro,
                        const LineaFactura& lineaFactura);

/// El nombre tal como se escribe en el fichero de firma: cada "<", CR o LF pasa a ser "_". Un
/// nombre de fichero puede llevarlos (en Linux, todo menos "/" y el byte 0), y dentro de
/// <NOMFIC> abrirían una etiqueta o una línea que cambiarían lo que se lee del fichero. El
/// nombre no se firma ni se envía al servicio.
std::string nombreEnFicheroFirma(std::string_view nombreFichero);

/// El fichero en dos tiempos, para llevar la factura al fichero mientras se calcula su resumen y
/// firmar después: empezarFicheroFirma() escribe hasta la línea de la factura (sin ella) y
/// terminarFicheroFirma() desde el fin de esa línea hasta el final. Entre las dos, quien llama
/// escribe la línea de la factura. Devuelven false si alguna escritura falla.
bool empezarFicheroFirma(FicheroNuevo& salida, std::string_view nombreFichero);
bool terminarFicheroFirma(FicheroNuevo& salida, std::string_view firmaBase64);

/// Escribe en `salida` el base64 de `bytes`, codificado directamente en sus bloques. Una
/// secuencia escrita por trozos de longitud múltiplo de 3 (salvo el último) da el mismo texto
/// que escrita entera.
bool escribirBase64(FicheroNuevo& salida, std::string_view bytes);

/// Tamaño máximo de cada trozo leído del fichero de firma.
inline constexpr std::size_t TrozoFicheroFirma = 10239;

/// Lo más que se lee de un fichero de firma: 256 MiB, el de una factura de unos 190 MiB, cientos
/// de veces más que una factura de verdad. VERIFICA contesta 19 ante uno mayor, o ante algo que
/// no acaba (/dev/zero), sin llenar la memoria del programa que lo llama.
inline constexpr std::uint64_t FicheroFirmaMaximo = std::uint64_t{256} << 20;

/// Lee el fichero de firma abierto en el registro. El fichero se lee como texto: CR LF llega
/// como fin de línea, los fines de línea desaparecen y las líneas largas llegan en trozos de
/// TrozoFicheroFirma caracteres que se vuelven a unir. Cada campo es lo que hay entre la
/// primera etiqueta de apertura y la primera de cierre (vacío si el cierre va delante). Lanza
/// FormatoFirmado (108) si falta una etiqueta, NoSeLeeFirmado (116) si la lectura falla o el
/// fichero pasa de `maximo` bytes.
void leerFicheroFirma(std::FILE* fichero, RegistroFirma& registro,
                      std::uint64_t maximo = FicheroFirmaMaximo);

} // namespace morvelin
