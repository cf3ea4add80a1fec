#include "verifactu/remision.h"

#include "verifactu/respuesta.h"
#include "verifactu/xml.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <tuple>

namespace morvelin::verifactu {

namespace {

// Lo que identifica un registro en la respuesta: su factura y si es alta o anulación.
using Clave = std::tuple<std::string, std::string, std::string, bool>;

struct RegistroEnviado {
    std::int64_t numero = 0;
    Clave clave;
    bool contestado = false;
};

Veredicto veredictoDeLinea(const LineaRespuesta& l) {
    if (l.estadoRegistro == "Correcto")
        return Veredicto::Correcto;
    if (l.estadoRegistro == "AceptadoConErrores")
        return Veredicto::AceptadoConErrores;
    if (l.duplicado || l.codigo == "3000")
        return Veredicto::Duplicado;
    return Veredicto::Incorrecto;
}

std::string textoDesfase(std::int64_t desfase) {
    const std::int64_t s = desfase < 0 ? -desfase : desfase;
    return "El reloj de este equipo va " + std::to_string(s) + " s " +
           (desfase > 0 ? "por detrás" : "por delante") + " del de la agencia (se admiten " +
           std::to_string(MargenRelojSegundos) +
           "): la hora de sus registros puede no ser la debida.";
}

std::string descripcion(const RegistroEnCola& r) {
    return "nº " + std::to_string(r.numero) + (r.alta ? " alta " : " anulación ") + r.idEmisor +
           " " + r.numSerie + " " + r.fechaExpedicion;
}

class Remision {
public:
    Remision(AlmacenCadena& a, const Enviador& enviar, const Reloj& reloj, const Espera& esperar)
        : almacen_(a), enviar_(enviar), reloj_(reloj), esperar_(esperar) {}

    InformeRemision ejecutar() {
        enviarTodo();
        resumir();
        return std::move(informe_);
    }

private:
    void enviarTodo() {
        const auto turno = almacen_.tomarTurnoEnvio();
        if (!turno)
            return cortar("Otro proceso está enviando los registros de esta cadena.");
        const DatosCadena datos = almacen_.datos();
        if (datos.modo != "verifactu")
            return cortar("La cadena no está en modo VERI*FACTU: sus registros no se envían.");
        nombre_ = datos.nombreEmisor;
        nif_ = datos.nifEmisor;
        for (;;) {
            const ResumenCola cola = almacen_.resumenCola();
            if (cola.pendientes == 0)
                return;
            if (nombre_.empty())
                return cortar("La cadena no tiene todavía ninguna alta: falta el nombre del "
                              "obligado para la cabecera del envío.");
            if (cola.horaUltimoEnvio && cola.pendientes < static_cast<std::int64_t>(MaximoRemesa)) {
                const std::int64_t listo =
                    *cola.horaUltimoEnvio + cola.tiempoEspera.value_or(EsperaInicialSegundos);
                if (const std::int64_t ahora = reloj_(); ahora < listo)
                    esperar_(listo - ahora);
            }
            if (!unEnvio())
                return;
        }
    }

    void cortar(std::string motivo) {
        informe_.correcto = false;
        informe_.motivo = std::move(motivo);
    }

    void resumir() {
        const ResumenCola c = almacen_.resumenCola();
        informe_.resumen =
            "Enviados " + std::to_string(registros_) + " registros en " + std::to_string(envios_) +
            (envios_ == 1 ? " envío" : " envíos") + ": " + std::to_string(correctos_) +
            " correctos, " + std::to_string(conErrores_) + " aceptados con errores, " +
            std::to_string(incorrectos_) + " incorrectos, " + std::to_string(duplicados_) +
            " duplicados. Pendientes: " + std::to_string(c.pendientes) + ".";
        if (!csvs_.empty()) {
            informe_.resumen += " CSV:";
            for (const auto& csv : csvs_)
                informe_.resumen += " " + csv;
            informe_.resumen += ".";
        }
    }

    // Un envío con los primeros pendientes, con sus reintentos. false si la remisión se corta.
    bool unEnvio() {
        for (int intento = 0;; ++intento) {
            const EnvioEnCurso envio = almacen_.empezarEnvio(reloj_(), MaximoRemesa);
            if (envio.id == 0)
                return true;
            std::vector<RegistroEnviado> enviados;
            std::vector<std::string> xmls;
            enviados.reserve(envio.registros.size());
            xmls.reserve(envio.registros.size());
            almacen_.recorrer(
                envio.registros.front(), envio.registros.back(), true, [&](const VistaRegistro& v) {
                    if (std::binary_search(envio.registros.begin(), envio.registros.end(),
                                           v.numero)) {
                        enviados.push_back(
                            {v.numero, Clave(v.idEmisor, v.numSerie, v.fechaExpedicion, v.alta),
                             false});
                        xmls.emplace_back(v.xml);
                    }
                    return true;
                });
            const std::vector<std::string_view> vistas(xmls.begin(), xmls.end());
            const std::string peticion = xmlPeticionSoap(nombre_, nif_, vistas);
            xmls.clear();

            EnvioTerminado fin;
            RespuestaHttp http;
            try {
                http = enviar_(peticion);
            } catch (const FalloConexion& f) {
                fin.resultado = ResultadoEnvio::SinRespuesta;
                fin.hora = reloj_();
                fin.mensaje = f.motivo;
                almacen_.terminarEnvio(envio.id, fin);
                cortar(f.motivo);
                return false;
            }
            fin.hora = reloj_();
            if (http.fecha)
                fin.desfaseReloj = *http.fecha - fin.hora;
            const RespuestaServicio r = leerRespuesta(http.cuerpo);
            fin.respuesta = std::move(http.cuerpo);
            switch (r.clase) {
            case RespuestaServicio::Clase::Respuesta:
                return respondido(envio, enviados, r, fin);
            case RespuestaServicio::Clase::FalloCliente: {
                const std::string motivo =
                    "La agencia rechaza la petición entera (" + r.falloCodigo + ": " +
                    r.falloTexto + "). La cola queda detenida: corrija la causa y vuelva a enviar.";
                fin.resultado = ResultadoEnvio::FalloCliente;
                fin.mensaje = motivo;
                almacen_.terminarEnvio(envio.id, fin);
                almacen_.detenerCola(motivo);
                cortar(motivo);
                return false;
            }
            case RespuestaServicio::Clase::FalloServidor: {
                const std::string motivo = "La agencia contesta con un fallo suyo (" +
                                           r.falloCodigo + ": " + r.falloTexto + ").";
                fin.resultado = ResultadoEnvio::FalloServidor;
                fin.mensaje = motivo;
                almacen_.terminarEnvio(envio.id, fin);
                if (intento >= ReintentosServidor) {
                    cortar(motivo + " Tras " + std::to_string(ReintentosServidor) +
                           " reintentos, los registros siguen pendientes.");
                    return false;
                }
                esperar_(EsperaReintentoSegundos << intento);
                continue;
            }
            case RespuestaServicio::Clase::Ilegible:
                break;
            }
            const std::string motivo = "La respuesta del servidor (HTTP " +
                                       std::to_string(http.estado) +
                                       ") no es una respuesta del servicio: los registros "
                                       "siguen pendientes.";
            fin.resultado = ResultadoEnvio::SinRespuesta;
            fin.mensaje = motivo;
            almacen_.terminarEnvio(envio.id, fin);
            cortar(motivo);
            return false;
        }
    }

    // false si la respuesta calla algún registro: se corta para no reenviarlo sin fin.
    bool respondido(const EnvioEnCurso& envio, std::vector<RegistroEnviado>& enviados,
                    const RespuestaServicio& r, EnvioTerminado& fin) {
        fin.resultado = ResultadoEnvio::Respondido;
        fin.csv = r.csv;
        fin.estadoEnvio = r.estadoEnvio;
        fin.tiempoEspera = r.tiempoEspera;
        std::string aviso;
        if (fin.desfaseReloj && std::abs(*fin.desfaseReloj) > MargenRelojSegundos) {
            aviso = textoDesfase(*fin.desfaseReloj);
            informe_.avisos.push_back(aviso);
        }
        // Cada línea, al primer registro enviado de su factura y operación que no tenga otra.
        for (const LineaRespuesta& l : r.lineas) {
            const Clave clave(l.idEmisor, l.numSerie, l.fechaExpedicion, l.alta);
            const auto e = std::find_if(enviados.begin(), enviados.end(), [&](const auto& x) {
                return !x.contestado && x.clave == clave;
            });
            if (e == enviados.end())
                continue;
            e->contestado = true;
            VeredictoRegistro v{e->numero, veredictoDeLinea(l), l.codigo, l.descripcion, aviso};
            if (l.duplicado && !l.duplicado->estado.empty())
                v.descripcion += " (la agencia lo tiene como " + l.duplicado->estado + ")";
            fin.veredictos.push_back(std::move(v));
        }
        almacen_.terminarEnvio(envio.id, fin);
        if (!almacen_.resumenCola().detenida.empty())
            almacen_.detenerCola({});
        ++envios_;
        registros_ += static_cast<std::int64_t>(enviados.size());
        if (!r.csv.empty())
            csvs_.push_back(r.csv);
        for (const auto& v : fin.veredictos) {
            const auto& [id, serie, fecha, alta] =
                std::find_if(enviados.begin(), enviados.end(), [&](const auto& x) {
                    return x.numero == v.numero;
                })->clave;
            informe_.lineas.push_back(descripcion({v.numero, alta, id, serie, fecha, v, {}}) +
                                      ": " + textoVeredicto(v));
            switch (v.estado) {
            case Veredicto::Correcto:
                ++correctos_;
                break;
            case Veredicto::AceptadoConErrores:
                ++conErrores_;
                break;
            case Veredicto::Incorrecto:
                ++incorrectos_;
                break;
            case Veredicto::Duplicado:
                ++duplicados_;
                break;
            case Veredicto::Pendiente:
                break;
            }
        }
        const std::size_t sinLinea = enviados.size() - fin.veredictos.size();
        if (sinLinea == 0)
            return true;
        cortar("La respuesta no dice nada de " + std::to_string(sinLinea) +
               " registros enviados: siguen pendientes.");
        return false;
    }

    AlmacenCadena& almacen_;
    const Enviador& enviar_;
    const Reloj& reloj_;
    const Espera& esperar_;
    std::string nombre_, nif_;
    InformeRemision informe_;
    std::int64_t envios_ = 0, registros_ = 0, correctos_ = 0, conErrores_ = 0, incorrectos_ = 0,
                 duplicados_ = 0;
    std::vector<std::string> csvs_;
};

} // namespace

Espera esperaDelSistema() {
    return [](std::int64_t segundos) {
        std::this_thread::sleep_for(std::chrono::seconds(segundos));
    };
}

std::string textoVeredicto(const VeredictoRegistro& v) {
    std::string t;
    switch (v.estado) {
    case Veredicto::Pendiente:
        t = "pendiente de enviar";
        break;
    case Veredicto::Correcto:
        t = "correcto";
        break;
    case Veredicto::AceptadoConErrores:
        t = "aceptado con errores";
        break;
    case Veredicto::Incorrecto:
        t = "incorrecto (no se vuelve a enviar: corríjalo con un registro nuevo)";
        break;
    case Veredicto::Duplicado:
        t = "duplicado (la agencia ya lo tenía)";
        break;
    }
    if (!v.codigo.empty() || !v.descripcion.empty())
        t += " [" + v.codigo + (v.codigo.empty() ? "" : ": ") + v.descripcion + "]";
    if (!v.aviso.empty())
        t += " Aviso: " + v.aviso;
    return t;
}

InformeRemision remitirCola(AlmacenCadena& almacen, const Enviador& enviar, const Reloj& reloj,
                            const Espera& esperar) {
    return Remision(almacen, enviar, reloj, esperar).ejecutar();
}

std::string textoEstadoCola(AlmacenCadena& almacen, const Reloj& reloj) {
    std::string t;
    almacen.recorrerCola([&](const RegistroEnCola& r) {
        t += descripcion(r) + ": " + textoVeredicto(r.veredicto);
        if (!r.csv.empty() && r.veredicto.estado != Veredicto::Pendiente)
            t += " CSV " + r.csv;
        t += "\n";
        return true;
    });
    const ResumenCola c = almacen.resumenCola();
    t += "Pendientes: " + std::to_string(c.pendientes) +
         "; correctos: " + std::to_string(c.correctos) +
         "; aceptados con errores: " + std::to_string(c.aceptadosConErrores) +
         "; incorrectos: " + std::to_string(c.incorrectos) +
         "; duplicados: " + std::to_string(c.duplicados) + ".";
    if (!c.ultimoCsv.empty())
        t += " Último CSV: " + c.ultimoCsv + ".";
    if (c.pendientes > 0 && c.horaUltimoEnvio) {
        const std::int64_t listo =
            *c.horaUltimoEnvio + c.tiempoEspera.value_or(EsperaInicialSegundos);
        const std::int64_t falta = listo - reloj();
        if (falta > 0 && c.pendientes < static_cast<std::int64_t>(MaximoRemesa))
            t += " El próximo envío, dentro de " + std::to_string(falta) + " s.";
    }
    if (!c.detenida.empty())
        t += "\nCola detenida: " + c.detenida;
    return t;
}

} // namespace morvelin::verifactu
