#include "infraestructura/registro_firma.h"

#include "infraestructura/codificacion.h"
#include "infraestructura/trampa.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

namespace morvelin {

namespace {

// Bytes de la factura que se codifican de una vez, directamente en el bloque del fichero:
// múltiplo de 3, para que los trozos encajen, y con su texto (128 KiB) dentro de un bloque.
constexpr std::size_t TrozoFactura = 96 * 1024;
static_assert(TrozoFactura % PiezaBase64 == 0);
static_assert(longitudBase64(TrozoFactura) <= FicheroNuevo::TamanoBloque);

template <class EscribirContenido>
bool grabarCampo(FicheroNuevo& salida, EtiquetasCampo etiquetas, EscribirContenido contenido) {
    return salida.escribir(etiquetas.apertura) && salida.escribir(FinLineaFirma) && contenido() &&
           salida.escribir(FinLineaFirma) && salida.escribir(etiquetas.cierre) &&
           salida.escribir(FinLineaFirma);
}

/// Lectura de un fichero como texto, por trozos. CR LF llega como LF (el CR delante de un LF se
/// quita al llenar el búfer; uno al final de un bloque espera al byte siguiente).
class LectorTexto {
public:
    /// Lanza NoSeLeeFirmado si la lectura falla o pasa de `maximo` bytes.
    LectorTexto(std::FILE* f, std::uint64_t maximo) : f_(f), quedan_(maximo) {}

    /// Lee hasta el próximo LF, que se consume y no se copia, o hasta `maximo` caracteres.
    /// Falso cuando ya no queda nada.
    bool leerTrozo(std::string& trozo, std::size_t maximo) {
        trozo.clear();
        if (pos_ == fin_ && !llenar())
            return false;
        while (trozo.size() < maximo) {
            if (pos_ == fin_ && !llenar())
                break;
            const std::size_t cabe = std::min(fin_ - pos_, maximo - trozo.size());
            const char* desde = bufer_.data() + pos_;
            if (const void* lf = std::memchr(desde, '\n', cabe)) {
                const auto n = static_cast<std::size_t>(static_cast<const char*>(lf) - desde);
                trozo.append(desde, n);
                pos_ += n + 1;
                break;
            }
            trozo.append(desde, cabe);
            pos_ += cabe;
        }
        return true;
    }

private:
    bool llenar() {
        pos_ = fin_ = 0;
        while (fin_ == 0) {
            std::size_t n = 0;
            if (crPendiente_) {
                bufer_[n++] = '\r';
                crPendiente_ = false;
            }
            const std::size_t leidos = std::fread(bufer_.data() + n, 1, bufer_.size() - n, f_);
            if (leidos < bufer_.size() - n && std::ferror(f_))
                lanzar(NoSeLeeFirmado);
            if (leidos > quedan_)
                lanzar(NoSeLeeFirmado);
            quedan_ -= leidos;
            n += leidos;
            if (n == 0)
                return false;
            std::size_t j = 0;
            for (std::size_t i = 0; i < n; ++i)
                if (!(bufer_[i] == '\r' && i + 1 < n && bufer_[i + 1] == '\n'))
                    bufer_[j++] = bufer_[i];
            if (leidos > 0 && bufer_[j - 1] == '\r') {
                crPendiente_ = true;
                --j;
            }
            fin_ = j;
        }
        return true;
    }

    std::FILE* f_;
    std::uint64_t quedan_; // bytes que aún se pueden leer
    std::array<char, 1 << 16> bufer_;
    std::size_t pos_ = 0;
    std::size_t fin_ = 0;
    bool crPendiente_ = false;
};

/// El texto entre la primera etiqueta de apertura y la primera de cierre.
std::string campo(const std::string& texto, const EtiquetasCampo& etiquetas) {
    const std::size_t a = texto.find(etiquetas.apertura);
    const std::size_t c = texto.find(etiquetas.cierre);
    if (a == std::string::npos || c == std::string::npos)
        lanzar(FormatoFirmado);
    const std::size_t desde = a + etiquetas.apertura.size();
    return c > desde ? texto.substr(desde, c - desde) : std::string();
}

} // namespace

bool escribirBase64(FicheroNuevo& salida, std::string_view bytes) {
    for (std::size_t hecho = 0; hecho < bytes.size(); hecho += TrozoFactura) {
        const std::string_view trozo = bytes.substr(hecho, TrozoFactura);
        char* hueco = salida.hueco(longitudBase64(trozo.size()));
        if (hueco == nullptr)
            return false;
        salida.ocupar(codificarBase64En(trozo, hueco));
    }
    return salida.correcto();
}

std::string nombreEnFicheroFirma(std::string_view nombreFichero) {
    std::string nombre(nombreFichero);
    for (char& c : nombre)
        if (c == '<' || c == '\r' || c == '\n')
            c = '_';
    return nombre;
}

bool empezarFicheroFirma(FicheroNuevo& salida, std::string_view nombreFichero) {
    const std::string nombre = nombreEnFicheroFirma(nombreFichero);
    return grabarCampo(salida, EtiquetasNombre, [&] { return salida.escribir(nombre); }) &&
           salida.escribir(EtiquetasFactura.apertura) && salida.escribir(FinLineaFirma);
}

bool terminarFicheroFirma(FicheroNuevo& salida, std::string_view firmaBase64) {
    return salida.escribir(FinLineaFirma) && salida.escribir(EtiquetasFactura.cierre) &&
           salida.escribir(FinLineaFirma) &&
           grabarCampo(salida, EtiquetasFirma, [&] { return salida.escribir(firmaBase64); });
}

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro,
                        const LineaFactura& lineaFactura) {
    return empezarFicheroFirma(salida, registro.nombreFichero) && lineaFactura(salida) &&
           terminarFicheroFirma(salida, registro.firmaBase64);
}

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro) {
    return grabarFicheroFirma(salida, registro,
                              [&](FicheroNuevo& s) { return s.escribir(registro.facturaBase64); });
}

bool grabarFicheroFirma(FicheroNuevo& salida, const RegistroFirma& registro,
                        std::string_view factura) {
    return grabarFicheroFirma(salida, registro,
                              [&](FicheroNuevo& s) { return escribirBase64(s, factura); });
}

void leerFicheroFirma(std::FILE* fichero, RegistroFirma& registro, std::uint64_t maximo) {
    // El texto acumulado cabe en el tamaño del fichero: se reserva de una vez, después de la
    // primera lectura (una carpeta "mide" lo que quiera, pero no se deja leer). Uno que ya mide
    // más de la cuenta no se lee; lo que no tiene tamaño (una tubería, /dev/zero) se corta al
    // pasar de la cuenta.
    long tamano = -1;
    if (std::fseek(fichero, 0, SEEK_END) == 0) {
        tamano = std::ftell(fichero);
        std::rewind(fichero);
    }
    if (tamano > 0 && static_cast<std::uint64_t>(tamano) > maximo)
        lanzar(NoSeLeeFirmado);
    LectorTexto lector(fichero, maximo);
    std::string texto, trozo;
    trozo.reserve(TrozoFicheroFirma);
    for (bool primero = true; lector.leerTrozo(trozo, TrozoFicheroFirma); primero = false) {
        if (primero && tamano > 0) {
            try {
                texto.reserve(static_cast<std::size_t>(tamano));
            } catch (const std::exception&) {
                // Sin reserva también se lee, creciendo a medida.
            }
        }
        texto += trozo;
    }

    registro.nombreFichero = campo(texto, EtiquetasNombre);
    registro.facturaBase64 = campo(texto, EtiquetasFactura);
    registro.firmaBase64 = campo(texto, EtiquetasFirma);
}

} // namespace morvelin
