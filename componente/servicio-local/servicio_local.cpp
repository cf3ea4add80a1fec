#include "servicio_local.h"

#include "arranque.h"
#include "credenciales.h"

#include "infraestructura/codificacion.h"
#include "operaciones/comprobacion_sin_red.h"

#include <httplib.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <strings.h>
#include <thread>

namespace servicio_local {

namespace {

constexpr const char* Ruta = "/sincertificados";

const std::string R12 = "12 FIRMA NO VALIDA PARA LA FACTURA\r\n";
const std::string R13 = "13 CERTIFICADO CADUCADO\r\n";
const std::string R14 = "14 CERTIFICADO REVOCADO\r\n";
const std::string R15 = "15 CERTIFICADO NO VALIDO\r\n";
const std::string R16 = "16 FORMATO INVALIDO\r\n";
const std::string R99 = "99 ERROR TECNICO\r\n";

/// El nombre del firmante que compone el componente, partido por su primer " - NIF ": el nombre
/// y el identificador. Sin " - NIF " (una entidad que lo dice todo en su nombre común), todo es
/// el nombre.
struct NombreEIdentificador {
    std::string nombre;
    std::optional<std::string> identificador;
};

NombreEIdentificador partir(const std::string& firmante) {
    const std::size_t nif = firmante.find(" - NIF ");
    if (nif == std::string::npos)
        return {firmante, std::nullopt};
    return {firmante.substr(0, nif), firmante.substr(nif + 7)};
}

} // namespace

bool decodificarUrl(const std::string& texto, std::string& salida) {
    salida.clear();
    salida.reserve(texto.size());
    for (std::size_t i = 0; i < texto.size(); ++i) {
        const char c = texto[i];
        if (c == '+') {
            salida += ' ';
        } else if (c == '%') {
            if (i + 2 >= texto.size())
                return false;
            const int a = morvelin::valorHexadecimal(texto[i + 1]);
            const int b = morvelin::valorHexadecimal(texto[i + 2]);
            if (a < 0 || b < 0)
                return false;
            salida += static_cast<char>(a * 16 + b);
            i += 2;
        } else {
            salida += c;
        }
    }
    return true;
}

std::string PeticionRecibida::cabecera(const std::string& nombre) const {
    for (const auto& [n, v] : cabeceras)
        if (strcasecmp(n.c_str(), nombre.c_str()) == 0)
            return v;
    return {};
}

std::size_t PeticionRecibida::cuantasCabeceras(const std::string& nombre) const {
    return static_cast<std::size_t>(
        std::count_if(cabeceras.begin(), cabeceras.end(), [&](const auto& c) {
            return strcasecmp(c.first.c_str(), nombre.c_str()) == 0;
        }));
}

struct ServicioLocal::Estado {
    Opciones opciones;
    Clave claveAutoridad, claveServidor;
    Certificado autoridad, servidor;
    std::unique_ptr<httplib::SSLServer> http;
    std::thread hilo;
    unsigned short puerto = 0;

    mutable std::mutex m;
    std::condition_variable despertar;
    bool parando = false;
    Comportamiento comportamiento;
    std::size_t peticiones = 0;
    PeticionRecibida ultima;

    Comportamiento actual() const {
        std::lock_guard l(m);
        return comportamiento;
    }
    /// Espera ese tiempo o hasta que el servicio se pare. Falso si se para.
    bool esperar(std::chrono::milliseconds t) {
        std::unique_lock l(m);
        return !despertar.wait_for(l, t, [&] { return parando; });
    }
};

ServicioLocal::ServicioLocal(const Opciones& opciones) : e_(std::make_unique<Estado>()) {
    // Un cliente que corta a medias (las pruebas de límites lo hacen) no debe matar el proceso
    // con SIGPIPE al escribirle.
    std::signal(SIGPIPE, SIG_IGN);

    e_->opciones = opciones;
    e_->claveAutoridad = claveEc();
    DatosCertificado ca;
    ca.sujeto = {{"O", "ZOQ pruebas"}, {"CN", "Autoridad del servicio local de verificación"}};
    ca.autoridad = true;
    e_->autoridad = emitir(ca, e_->claveAutoridad.get());

    e_->claveServidor = claveEc();
    DatosCertificado srv;
    srv.sujeto = {{"O", "ZOQ pruebas"}, {"CN", "localhost"}};
    srv.servidor = true;
    srv.nombresDns = {"localhost"};
    if (opciones.certificadoConIp)
        srv.ips = {"127.0.0.1"};
    e_->servidor =
        emitir(srv, e_->claveServidor.get(), e_->autoridad.get(), e_->claveAutoridad.get());

    e_->http = std::make_unique<httplib::SSLServer>(e_->servidor.get(), e_->claveServidor.get());
    if (!e_->http->is_valid())
        throw std::runtime_error("no se ha podido preparar el servidor TLS");
    e_->http->set_read_timeout(30, 0);
    e_->http->set_write_timeout(30, 0);

    Estado* e = e_.get();
    e_->http->Post(Ruta, [this, e](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& lector) {
        std::string cuerpo;
        lector([&](const char* datos, std::size_t n) {
            cuerpo.append(datos, n);
            return true;
        });
        const Comportamiento c = e->actual();
        {
            std::lock_guard l(e->m);
            ++e->peticiones;
            if (e->opciones.guardarPeticiones) {
                e->ultima = PeticionRecibida{req.method, req.path, {}, cuerpo};
                for (const auto& [n, v] : req.headers)
                    e->ultima.cabeceras.emplace_back(n, v);
            }
        }
        if (c.silencio.count() > 0 && !e->esperar(c.silencio))
            return;
        std::string respuesta = responder(cuerpo);
        cuerpo = std::string();
        if (c.goteo.count() > 0) {
            res.set_chunked_content_provider(
                "text/plain; charset=utf-8",
                [e, respuesta, goteo = c.goteo](std::size_t desde, httplib::DataSink& sumidero) {
                    if (desde >= respuesta.size()) {
                        sumidero.done();
                        return true;
                    }
                    if (!e->esperar(goteo))
                        return false;
                    return sumidero.write(respuesta.data() + desde, 1);
                });
        } else {
            res.set_content(respuesta, "text/plain; charset=utf-8");
        }
    });

    e_->puerto = escuchar(*e_->http, opciones.puerto, e_->hilo);
}

ServicioLocal::~ServicioLocal() {
    parar();
}

void ServicioLocal::parar() {
    {
        std::lock_guard l(e_->m);
        e_->parando = true;
    }
    e_->despertar.notify_all();
    dejarDeEscuchar(*e_->http, e_->hilo);
}

unsigned short ServicioLocal::puerto() const {
    return e_->puerto;
}

std::string ServicioLocal::direccion() const {
    return "https://127.0.0.1:" + std::to_string(e_->puerto) + Ruta;
}

std::string ServicioLocal::direccionPorNombre() const {
    return "https://localhost:" + std::to_string(e_->puerto) + Ruta;
}

std::string ServicioLocal::autoridadPem() const {
    return pem(e_->autoridad.get());
}

void ServicioLocal::grabarAutoridad(const std::string& ruta) const {
    servicio_local::grabarAutoridad(ruta, autoridadPem());
}

void ServicioLocal::comportamiento(const Comportamiento& c) {
    std::lock_guard l(e_->m);
    e_->comportamiento = c;
}

std::size_t ServicioLocal::peticiones() const {
    std::lock_guard l(e_->m);
    return e_->peticiones;
}

PeticionRecibida ServicioLocal::ultimaPeticion() const {
    std::lock_guard l(e_->m);
    return e_->ultima;
}

std::string ServicioLocal::responder(const std::string& cuerpo) const {
    const Comportamiento c = e_->actual();
    if (c.respuestaFija)
        return *c.respuestaFija;
    if (c.falloTecnico)
        return R99;

    std::string claro;
    if (!decodificarUrl(cuerpo, claro))
        return R16;
    // Seis campos, en su orden: HID=QUENDRAL&NIE=&NIR=&TXT=...&FIR=...&FIN=F
    static const char* const nombres[] = {"HID", "NIE", "NIR", "TXT", "FIR", "FIN"};
    std::string valores[6];
    std::size_t desde = 0;
    for (int i = 0; i < 6; ++i) {
        std::size_t fin = claro.find('&', desde);
        if ((fin == std::string::npos) != (i == 5))
            return R16;
        if (fin == std::string::npos)
            fin = claro.size();
        const std::string_view par(claro.data() + desde, fin - desde);
        const std::size_t igual = par.find('=');
        if (igual == std::string_view::npos || par.substr(0, igual) != nombres[i])
            return R16;
        valores[i] = std::string(par.substr(igual + 1));
        desde = fin + 1;
    }
    claro = std::string();
    if (valores[0] != "QUENDRAL" || valores[5] != "F")
        return R16;

    // La comprobación de la firma es la misma de «morvelin comprueba»; la validez del
    // certificado se mira aquí en la hora actual, como la mira el servicio de verdad.
    using V = morvelin::ComprobacionFirma::Veredicto;
    const morvelin::ComprobacionFirma comprobada =
        morvelin::comprobarFirmaFactura(valores[3], valores[4]);
    if (comprobada.veredicto == V::OtraFactura || comprobada.veredicto == V::FirmaAlterada ||
        comprobada.veredicto == V::HoraFutura)
        return R12;
    if (!comprobada.buena())
        return R16;
    const long long ahora = std::time(nullptr);
    if (comprobada.firma.validoHasta < ahora)
        return R13;
    const auto [nombre, identificador] = partir(comprobada.firmante);
    if (c.revocados.count(identificador.value_or("")))
        return R14;
    if (c.noValidos.count(identificador.value_or("")) || comprobada.firma.validoDesde > ahora)
        return R15;

    std::string respuesta = "00 " + nombre;
    if (!identificador)
        return respuesta + "\r\n";
    if (respuesta.size() < 3 + c.anchoNombre)
        respuesta.append(3 + c.anchoNombre - respuesta.size(), ' ');
    return respuesta + " - NIF " + *identificador + "\r\n";
}

} // namespace servicio_local
