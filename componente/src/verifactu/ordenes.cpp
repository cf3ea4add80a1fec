#include "verifactu/ordenes.h"

#include "almacenes/eleccion.h"
#include "infraestructura/escritura.h"
#include "operaciones/firma.h"
#include "plataforma/openssl/x509.h"
#include "verifactu/comprobacion.h"
#include "verifactu/eventos.h"
#include "verifactu/firma.h"
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
    } catch (const xades::ErrorFirmaXml& e) {
        return {false, std::string("No se ha podido firmar: ") + e.what() + ".", {}};
    }
}

// Firma una vez antes de tomar el cerrojo de la cadena: si el certificado tiene PIN, se pide
// ahora, y un certificado que no firma se ve antes de tocar nada.
void probarFirma(const xades::Firmante& f) {
    if (!f.firmar || !f.firmar("MORVELIN: el firmante de la cadena de registros"))
        throw ErrorAlmacen("El certificado del firmante no firma (sin clave a su alcance, o el "
                           "PIN o la contraseña no se han dado).");
}

// Las firmas de los registros son RSA de al menos 1024 bits.
void comprobarClaveRsa(const std::string& der, const std::string& nif) {
    const auto x = plataforma::openssl::certificadoDeDer(der);
    EVP_PKEY* clave = x ? X509_get0_pubkey(x.get()) : nullptr;
    if (!clave || EVP_PKEY_get_base_id(clave) != EVP_PKEY_RSA || EVP_PKEY_get_bits(clave) < 1024)
        throw ErrorAlmacen("El certificado de " + nif +
                           " no tiene una clave RSA de al menos 1024 bits, que es la que piden "
                           "las firmas de los registros.");
}

// El nombre del titular de un certificado: su organización o, si no tiene, su nombre común.
std::string titular(const std::string& der) {
    const auto x = plataforma::openssl::certificadoDeDer(der);
    if (!x)
        return {};
    const X509_NAME* sujeto = X509_get_subject_name(x.get());
    const int i = X509_NAME_get_index_by_NID(sujeto, NID_organizationName, -1);
    if (i >= 0)
        return plataforma::openssl::valorUtf8(
            X509_NAME_ENTRY_get_data(X509_NAME_get_entry(sujeto, i)));
    return plataforma::openssl::nombreComun(x.get());
}

std::string sinSalto(std::string t) {
    if (!t.empty() && t.back() == '\n')
        t.pop_back();
    return t;
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

xades::Firmante firmanteDeLosAlmacenes(const std::string& nif) {
    auto elegido = elegirCertificadoPara(nif);
    if (elegido.estado == CertificadoElegido::Estado::SinAlmacen)
        throw ErrorAlmacen("No se tiene acceso a ningún almacén de certificados.");
    if (elegido.estado != CertificadoElegido::Estado::Elegido)
        throw ErrorAlmacen("No hay ningún certificado de " + nif +
                           " en los almacenes (morvelin certificados " + nif + " dice por qué).");
    std::shared_ptr<const plataforma::Certificado> c = std::move(elegido.certificado);
    return {c->der(), [c](std::string_view datos) {
                return c->firmar({plataforma::AlgoritmoFirma::Esquema::Pkcs1,
                                  plataforma::ResumenFirma::Sha256, false},
                                 datos, "para firmar los registros de facturación");
            }};
}

Ordenes::Ordenes(std::string destino, Reloj reloj, ObtenerFirmante firmantes)
    : destino_(std::move(destino)), reloj_(std::move(reloj)), firmantes_(std::move(firmantes)) {}

AlmacenCadena& Ordenes::almacen() {
    if (!almacen_)
        almacen_ = abrirAlmacen(destino_.empty() ? destinoPorOmision() : destino_);
    return *almacen_;
}

Salida Ordenes::alta(const std::string& json) {
    return proteger([&] {
        const Alta a = leerAltaJson(json);
        auto hecho = anadirAlta(almacen(), a, reloj_, firmantes_);
        return Salida{true, hecho.registro.huella, std::move(hecho.avisos)};
    });
}

Salida Ordenes::anula(const std::string& json) {
    return proteger([&] {
        const Anulacion a = leerAnulacionJson(json);
        auto hecho = anadirAnulacion(almacen(), a, reloj_, firmantes_);
        return Salida{true, hecho.registro.huella, std::move(hecho.avisos)};
    });
}

Salida Ordenes::exporta(const std::string& ruta, std::int64_t desde) {
    return proteger([&] {
        const Remesa r = prepararRemesa(almacen(), desde);
        // Sin remisión, la exportación se anota: el firmante se pide antes de grabar nada.
        const auto f = firmanteDe(almacen().datos(), firmantes_);
        if (f)
            probarFirma(*f);
        std::string texto = "Remesa con los registros del nº " + std::to_string(r.primero) +
                            " al " + std::to_string(r.ultimo) + " en " + ruta + ".";
        Salida s = grabar(ruta, r.xml, texto);
        if (s.correcto && r.quedan > 0)
            s.avisos.push_back("Quedan " + std::to_string(r.quedan) +
                               " registros posteriores (una remesa lleva a lo sumo " +
                               std::to_string(MaximoRemesa) + "): --desde " +
                               std::to_string(r.ultimo + 1) + ".");
        if (s.correcto && f) {
            const std::int64_t ahora = reloj_();
            almacen().transaccion([&](Transaccion& t) {
                anotarResumenSiToca(t, *f, ahora);
                const auto e = anotarEvento(t, *f, tipo_evento::ExportacionRegistros,
                                            exportacionRegistros(t, r.primero, r.ultimo), ahora);
                s.texto += " Anotada en el registro de eventos (evento nº " +
                           std::to_string(e.numero) + ").";
            });
        }
        return s;
    });
}

Salida Ordenes::comprueba() {
    return proteger([&] {
        AlmacenCadena& a = almacen();
        const DatosCadena d = a.datos();
        if (d.modo != ModoNoVerifactu) {
            const Comprobacion c = comprobarCadena(a);
            return Salida{c.entera, sinSalto(c.texto()), {}};
        }
        // Sin remisión: también las firmas y los eventos, y se anota lo hecho y lo encontrado
        // (salvo en una cadena cerrada, que ya no anota nada).
        const auto f = firmanteDe(d, firmantes_);
        if (f)
            probarFirma(*f);
        const std::int64_t ahora = reloj_();
        const Comprobacion c = comprobarCadena(a, 4096, ComprobacionFirmas{d.firmante, ahora});
        const ComprobacionEventos e = comprobarEventos(a, d.firmante, ahora);
        std::string texto = c.texto() + e.texto();
        if (f) {
            std::vector<std::int64_t> anotados;
            a.transaccion([&](Transaccion& t) {
                anotados.clear();
                const auto anotar = [&](const char* tipo, NodoXml datos) {
                    anotados.push_back(anotarEvento(t, *f, tipo, std::move(datos), ahora).numero);
                };
                anotarResumenSiToca(t, *f, ahora);
                anotar(tipo_evento::LanzamientoRegistros, lanzamientoRegistros(c));
                if (!c.entera)
                    anotar(tipo_evento::AnomaliaRegistros, anomaliaRegistros(c));
                anotar(tipo_evento::LanzamientoEventos, lanzamientoEventos(e));
                if (!e.entero)
                    anotar(tipo_evento::AnomaliaEventos, anomaliaEventos(e));
            });
            texto += "Anotado en el registro de eventos: la comprobación (eventos nº " +
                     std::to_string(anotados.front()) + " al " + std::to_string(anotados.back()) +
                     (c.entera && e.entero ? ")." : ", con las anomalías encontradas).");
        } else {
            texto += "La cadena está cerrada: la comprobación no se anota.";
        }
        return Salida{c.entera && e.entero, texto, {}};
    });
}

Salida Ordenes::modo(const std::string& modo, const std::string& certificado,
                     const std::string& obligado, const std::string& nombre) {
    return proteger([&] {
        AlmacenCadena& a = almacen();
        const auto sinNada = [&](Transaccion& t) {
            if (t.ultimo() || t.ultimoEvento())
                throw ErrorAlmacen("La cadena ya tiene registros o eventos: su modo (" +
                                   t.cadena().modo + ") se fija antes del primero.");
        };
        if (modo == ModoVerifactu) {
            a.transaccion([&](Transaccion& t) {
                DatosCadena d = t.cadena();
                if (d.modo == ModoVerifactu)
                    return;
                sinNada(t);
                d.modo = ModoVerifactu;
                d.firmante.clear();
                t.ponerDatos(d);
            });
            return Salida{true, "Cadena VERI*FACTU: sus registros se remiten a la agencia.", {}};
        }
        if (modo != ModoNoVerifactu)
            throw ErrorCampo("modo", "es «verifactu» o «no-verifactu».");
        if (!almacenes::identificadorValido(certificado))
            throw ErrorCampo("--certificado", "el NIF o CIF de 9 caracteres con el que se busca "
                                              "el certificado que firma.");
        const std::string nif = obligado.empty() ? certificado : obligado;
        comprobarNif("ObligadoEmision", nif);
        // El certificado (y su PIN) antes de tomar el cerrojo de la cadena.
        const xades::Firmante f = firmantes_(certificado);
        comprobarClaveRsa(f.certificadoDer, certificado);
        probarFirma(f);
        const std::string nombreObligado = nombre.empty() ? titular(f.certificadoDer) : nombre;
        comprobarTexto("NombreRazon", nombreObligado, 120);
        const std::int64_t ahora = reloj_();
        EventoCadena inicio;
        a.transaccion([&](Transaccion& t) {
            sinNada(t);
            DatosCadena d = t.cadena();
            d.modo = ModoNoVerifactu;
            d.firmante = certificado;
            d.nifEmisor = nif;
            d.nombreEmisor = nombreObligado;
            t.ponerDatos(d);
            inicio = anotarEvento(t, f, tipo_evento::Inicio, std::nullopt, ahora);
        });
        return Salida{true,
                      "Cadena sin remisión (NO VERI*FACTU) de " + nif + " (" + nombreObligado +
                          "): cada registro y cada evento se guardan firmados con el "
                          "certificado de " +
                          certificado + ". Anotado el inicio (evento nº " +
                          std::to_string(inicio.numero) + ").",
                      {}};
    });
}

Salida Ordenes::cierra() {
    return proteger([&] {
        AlmacenCadena& a = almacen();
        const DatosCadena d = a.datos();
        if (d.modo != ModoNoVerifactu)
            throw ErrorAlmacen("Solo se cierra una cadena sin remisión (NO VERI*FACTU).");
        if (d.cerrada)
            throw ErrorAlmacen("La cadena ya está cerrada.");
        const auto f = firmanteDe(d, firmantes_);
        if (!f)
            throw ErrorAlmacen("No se ha dado con qué firmar el fin del modo sin remisión.");
        probarFirma(*f);
        const std::int64_t ahora = reloj_();
        EventoCadena fin;
        a.transaccion([&](Transaccion& t) {
            if (t.cadena().cerrada)
                throw ErrorAlmacen("La cadena ya está cerrada.");
            anotarResumenSiToca(t, *f, ahora);
            fin = anotarEvento(t, *f, tipo_evento::Fin, std::nullopt, ahora);
        });
        return Salida{true,
                      "Cadena cerrada: anotado el fin del modo sin remisión (evento nº " +
                          std::to_string(fin.numero) + "). No admite más registros.",
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
