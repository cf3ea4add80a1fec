#include "verifactu/ordenes.h"

#include "infraestructura/escritura.h"
#include "verifactu/comprobacion.h"

#include <algorithm>
#include <cctype>

namespace morvelin::verifactu {

namespace {

template <class F> Salida proteger(F&& f) {
    try {
        return f();
    } catch (const ErrorCampo& e) {
        return {false, e.what(), {}};
    } catch (const ErrorAlmacen& e) {
        return {false, e.what(), {}};
    }
}

Salida grabar(const std::string& ruta, const std::string& bytes, const std::string& texto) {
    FicheroNuevo f(ruta);
    if (!f.abrir() || !f.escribir(bytes) || !f.confirmar())
        return {false, "No se puede grabar " + ruta + ".", {}};
    return {true, texto, {}};
}

std::string extension(const std::string& ruta) {
    const auto p = ruta.rfind('.');
    if (p == std::string::npos || ruta.find('/', p) != std::string::npos)
        return {};
    std::string e = ruta.substr(p + 1);
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

} // namespace

Ordenes::Ordenes(std::string destino, Reloj reloj)
    : destino_(std::move(destino)), reloj_(std::move(reloj)) {}

AlmacenCadena& Ordenes::almacen() {
    if (!almacen_)
        almacen_ = abrirAlmacen(destino_.empty() ? destinoPorOmision() : destino_);
    return *almacen_;
}

Salida Ordenes::alta(const std::string& json) {
    return proteger([&] {
        const Alta a = leerAltaJson(json);
        auto hecho = anadirAlta(almacen(), a, reloj_);
        return Salida{true, hecho.registro.huella, std::move(hecho.avisos)};
    });
}

Salida Ordenes::anula(const std::string& json) {
    return proteger([&] {
        const Anulacion a = leerAnulacionJson(json);
        auto hecho = anadirAnulacion(almacen(), a, reloj_);
        return Salida{true, hecho.registro.huella, std::move(hecho.avisos)};
    });
}

Salida Ordenes::exporta(const std::string& ruta, std::int64_t desde) {
    return proteger([&] {
        const Remesa r = prepararRemesa(almacen(), desde);
        std::string texto = "Remesa con los registros del nº " + std::to_string(r.primero) +
                            " al " + std::to_string(r.ultimo) + " en " + ruta + ".";
        Salida s = grabar(ruta, r.xml, texto);
        if (s.correcto && r.quedan > 0)
            s.avisos.push_back("Quedan " + std::to_string(r.quedan) +
                               " registros posteriores (una remesa lleva a lo sumo " +
                               std::to_string(MaximoRemesa) + "): --desde " +
                               std::to_string(r.ultimo + 1) + ".");
        return s;
    });
}

Salida Ordenes::comprueba() {
    return proteger([&] {
        const Comprobacion c = comprobarCadena(almacen());
        std::string t = c.texto();
        if (!t.empty() && t.back() == '\n')
            t.pop_back();
        return Salida{c.entera, t, {}};
    });
}

Salida ordenQr(const std::string& json, const std::string& ruta, const OpcionesQr& opciones,
               Entorno entorno, Modo modo) {
    return proteger([&] {
        const Alta a = leerAltaJson(json);
        validarDatosQr(a);
        comprobarOpcionesQr(opciones);
        const std::string url = urlCotejo(a, entorno, modo);
        const std::string e = extension(ruta);
        if (e != "png" && e != "svg")
            return Salida{false, "La imagen ha de acabar en .png o .svg (" + ruta + ").", {}};
        return grabar(ruta, e == "png" ? qrPng(url, opciones) : qrSvg(url, opciones), url);
    });
}

} // namespace morvelin::verifactu
