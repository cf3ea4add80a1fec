// Lectura del fichero de firma (VERIFICA): el texto por trozos y los tres campos entre etiquetas.
//
// Propiedades:
//   - con cualquier contenido, los campos son los de una lectura de referencia hecha de una
//     vez (CR LF y LF sueltos fuera, CR sueltos dentro; cada campo entre la primera etiqueta de
//     apertura y la primera de cierre, vacío si el cierre va delante), o falta una etiqueta y
//     la lectura lo dice con FormatoFirmado;
//   - un fichero de nueve líneas escrito con unos campos cualesquiera (sin etiquetas ni fines de
//     línea dentro; el nombre, cualquiera, escrito como lo escribe FIRMA) devuelve esos mismos
//     campos.
// Un primer byte 0xFF pide un relleno delante de casi 64 KiB, para que lo que sigue caiga en la
// frontera entre dos bloques de lectura.

#include "propiedad.h"

#include "infraestructura/mensajes.h"
#include "infraestructura/registro_firma.h"
#include "infraestructura/trampa.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

using namespace morvelin;

namespace {

// Lee el contenido con leerFicheroFirma desde un fichero en memoria; nada si le falta una
// etiqueta.
std::optional<RegistroFirma> Leer(const std::string& contenido) {
    // fmemopen no abre un búfer vacío: el contenido vacío se lee como un blanco, que tampoco
    // tiene etiquetas.
    const std::string bufer = contenido.empty() ? std::string(" ") : contenido;
    std::FILE* f = fmemopen(const_cast<char*>(bufer.data()), bufer.size(), "rb");
    EXIGIR(f != nullptr);
    RegistroFirma r;
    std::optional<RegistroFirma> leido;
    try {
        leerFicheroFirma(f, r);
        leido = r;
    } catch (const FalloPaso& fallo) {
        EXIGIR(fallo.id == FormatoFirmado);
    }
    std::fclose(f);
    return leido;
}

// El texto entero sin sus fines de línea: cada LF fuera, con el CR que lo preceda.
std::string TextoDeReferencia(std::string_view c) {
    std::string t;
    t.reserve(c.size());
    for (std::size_t desde = 0; desde < c.size();) {
        std::size_t lf = c.find('\n', desde);
        const bool ultima = lf == std::string_view::npos;
        if (ultima)
            lf = c.size();
        const std::size_t fin = !ultima && lf > desde && c[lf - 1] == '\r' ? lf - 1 : lf;
        t.append(c.substr(desde, fin - desde));
        desde = lf + 1;
    }
    return t;
}

std::optional<std::string> CampoDeReferencia(const std::string& t, const EtiquetasCampo& e) {
    const auto a = t.find(e.apertura), c = t.find(e.cierre);
    if (a == std::string::npos || c == std::string::npos)
        return std::nullopt;
    const auto desde = a + e.apertura.size();
    return c > desde ? t.substr(desde, c - desde) : std::string();
}

// Lo que puede ir dentro de un campo del fichero de nueve líneas.
std::string Limpio(std::string_view s) {
    std::string r;
    for (char c : s)
        if (c != '\r' && c != '\n' && c != '<')
            r += c;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    if (n == 0)
        return 0;
    // El relleno es caro (64 KiB por ejecución): solo lo piden las entradas que empiezan por
    // 0xFF, y el segundo byte dice cuántos bytes de lo que sigue caben antes de la frontera.
    std::size_t salto = 1;
    std::string contenido;
    if (datos[0] == 0xFF && n >= 2) {
        contenido.assign(65536 - datos[1] % 64, 'x');
        salto = 2;
    }
    contenido.append(reinterpret_cast<const char*>(datos) + salto, n - salto);

    // Cualquier contenido contra la lectura de referencia.
    const std::string texto = TextoDeReferencia(contenido);
    const auto nombre = CampoDeReferencia(texto, EtiquetasNombre);
    const auto factura = CampoDeReferencia(texto, EtiquetasFactura);
    const auto firma = CampoDeReferencia(texto, EtiquetasFirma);
    const auto leido = Leer(contenido);
    EXIGIR(leido.has_value() == (nombre && factura && firma));
    if (leido) {
        EXIGIR(leido->nombreFichero == *nombre);
        EXIGIR(leido->facturaBase64 == *factura);
        EXIGIR(leido->firmaBase64 == *firma);
    }

    // Los bytes de la entrada como los tres campos (separados por NUL) de un fichero bien
    // escrito.
    const std::string_view resto(reinterpret_cast<const char*>(datos) + salto, n - salto);
    std::array<std::string_view, 3> partes;
    std::string_view pendiente = resto;
    for (std::size_t i = 0; i < partes.size(); ++i) {
        const std::size_t corte = i + 1 < partes.size() ? pendiente.find('\0') : pendiente.npos;
        partes[i] = pendiente.substr(0, corte);
        pendiente = corte == pendiente.npos ? std::string_view() : pendiente.substr(corte + 1);
    }
    RegistroFirma campos;
    campos.nombreFichero = nombreEnFicheroFirma(partes[0]);
    campos.facturaBase64 = Limpio(partes[1]);
    campos.firmaBase64 = Limpio(partes[2]);
    std::string fichero;
    for (const auto& [etiquetas, valor] : {std::pair{EtiquetasNombre, &campos.nombreFichero},
                                           std::pair{EtiquetasFactura, &campos.facturaBase64},
                                           std::pair{EtiquetasFirma, &campos.firmaBase64}}) {
        fichero += etiquetas.apertura;
        fichero += FinLineaFirma;
        fichero += *valor;
        fichero += FinLineaFirma;
        fichero += etiquetas.cierre;
        fichero += FinLineaFirma;
    }
    const auto releido = Leer(fichero);
    EXIGIR(releido.has_value());
    EXIGIR(releido->nombreFichero == campos.nombreFichero);
    EXIGIR(releido->facturaBase64 == campos.facturaBase64);
    EXIGIR(releido->firmaBase64 == campos.firmaBase64);
    return 0;
}
