#include "verifactu/ordenes.h"

#include "infraestructura/escritura.h"
#include "operaciones/firma.h"
#include "verifactu/comprobacion.h"
#include "verifactu/servicio.h"

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

Salida Ordenes::modo(const std::string& modo) {
    return proteger([&] {
        if (modo != "verifactu" && modo != "no-verifactu")
            return Salida{false, "El modo es «verifactu» o «no-verifactu».", {}};
        almacen().ponerModo(modo);
        return Salida{true,
                      modo == "verifactu"
                          ? "La cadena está en modo VERI*FACTU: sus registros se envían a la "
                            "agencia."
                          : "La cadena está en modo no VERI*FACTU: sus registros no se envían.",
                      {}};
    });
}

Salida Ordenes::envia(const OpcionesEnvio& o, const Espera& esperar) {
    return proteger([&] {
        const std::string nif = o.certificado.empty() ? almacen().datos().nifEmisor : o.certificado;
        if (nif.empty())
            return Salida{false, "La cadena no tiene registros: no hay nada que enviar.", {}};
        auto elegido = elegirCertificadoPara(nif);
        if (elegido.estado == CertificadoElegido::Estado::SinAlmacen)
            return Salida{false, "No se puede abrir ningún almacén de certificados.", {}};
        if (elegido.estado == CertificadoElegido::Estado::SinCertificado)
            return Salida{false, "No hay ningún certificado de " + nif + ".", {}};
        std::shared_ptr<const plataforma::Certificado> certificado = std::move(elegido.certificado);
        OpcionesConexion conexion;
        conexion.direccion =
            o.servicio.empty()
                ? direccionServicio(o.pruebas ? Entorno::Pruebas : Entorno::Produccion,
                                    esCertificadoDeSello(certificado->der()))
                : o.servicio;
        conexion.autoridades = o.autoridades;
        try {
            ConexionServicio servicio(conexion, certificado);
            const Enviador enviar = [&](const std::string& p) {
                return servicio.enviar(p);
            };
            InformeRemision i = remitirCola(almacen(), enviar, reloj_, esperar);
            std::string t;
            for (const auto& l : i.lineas)
                t += l + "\n";
            if (!i.correcto)
                t += i.motivo + "\n";
            t += i.resumen;
            return Salida{i.correcto, t, std::move(i.avisos)};
        } catch (const FalloConexion& f) {
            return Salida{false, f.motivo, {}};
        }
    });
}

Salida Ordenes::estado() {
    return proteger([&] { return Salida{true, textoEstadoCola(almacen(), reloj_), {}}; });
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
