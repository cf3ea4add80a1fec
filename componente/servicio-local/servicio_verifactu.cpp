#include "servicio_verifactu.h"

#include "credenciales.h"

#include "verifactu/cadena.h"
#include "verifactu/huella.h"

#include <httplib.h>
#include <libxml/catalog.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <condition_variable>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace servicio_local {

namespace {

namespace vf = morvelin::verifactu;

constexpr const char* Ruta = "/wlpl/TIKE-CONT/ws/SistemaFacturacion/VerifactuSOAP";
constexpr const char* Esquemas = MORVELIN_ESQUEMAS_VERIFACTU;
constexpr const char* EspacioRespuesta =
    "https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/aplicaciones/es/"
    "aeat/tike/cont/ws/RespuestaSuministro.xsd";
constexpr const char* EspacioInformacion =
    "https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/aplicaciones/es/"
    "aeat/tike/cont/ws/SuministroInformacion.xsd";

std::string escapar(std::string_view t) {
    std::string r;
    r.reserve(t.size());
    for (const char c : t) {
        switch (c) {
        case '<':
            r += "&lt;";
            break;
        case '>':
            r += "&gt;";
            break;
        case '&':
            r += "&amp;";
            break;
        case '"':
            r += "&quot;";
            break;
        default:
            r += c;
        }
    }
    return r;
}

bool es(const xmlNode* n, const char* nombre) {
    return n != nullptr && n->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(n->name), nombre) == 0;
}

const xmlNode* hijo(const xmlNode* n, const char* nombre) {
    for (const xmlNode* h = n ? n->children : nullptr; h != nullptr; h = h->next)
        if (es(h, nombre))
            return h;
    return nullptr;
}

std::string texto(const xmlNode* n) {
    if (n == nullptr)
        return {};
    xmlChar* t = xmlNodeGetContent(n);
    std::string s(vf::recortar(t ? reinterpret_cast<const char*>(t) : ""));
    xmlFree(t);
    return s;
}

std::string textoDe(const xmlNode* n, const char* nombre) {
    return texto(hijo(n, nombre));
}

std::string fechaHttp(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm utc{};
    gmtime_r(&tt, &utc);
    char b[64];
    std::strftime(b, sizeof b, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return b;
}

std::string alAzar(std::size_t n) {
    static const char cifras[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    unsigned char b[64];
    RAND_bytes(b, static_cast<int>(n));
    std::string r;
    for (std::size_t i = 0; i < n; ++i)
        r += cifras[b[i] % 36];
    return r;
}

std::string sobre(const std::string& cuerpo) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<env:Envelope xmlns:env=\"http://schemas.xmlsoap.org/soap/envelope/\"><env:Body>" +
           cuerpo + "</env:Body></env:Envelope>\n";
}

std::string fallo(const char* clase, int codigo) {
    return sobre("<env:Fault><faultcode>env:" + std::string(clase) +
                 "</faultcode><faultstring>Codigo[" + std::to_string(codigo) + "]." +
                 escapar(textoErrorAgencia(codigo)) + "</faultstring></env:Fault>");
}

// El NIF del titular de un certificado: su serialNumber, sin el prefijo de país o de tipo
// («IDCES-», «VATES-»).
std::string nifDe(X509* x) {
    if (x == nullptr)
        return {};
    const X509_NAME* n = X509_get_subject_name(x);
    const int i = X509_NAME_get_index_by_NID(n, NID_serialNumber, -1);
    if (i < 0)
        return {};
    const ASN1_STRING* v = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(n, i));
    std::string s(reinterpret_cast<const char*>(ASN1_STRING_get0_data(v)),
                  static_cast<std::size_t>(ASN1_STRING_length(v)));
    if (const auto g = s.find('-'); g != std::string::npos && g <= 5)
        s.erase(0, g + 1);
    return s;
}

using IdRegistro = std::tuple<std::string, std::string, std::string, bool>;

struct Guardado {
    std::string idPeticion;
    std::string estado; // Correcta o AceptadaConErrores
};

} // namespace

std::string textoErrorAgencia(int codigo) {
    static const std::map<int, std::string> textos = [] {
        std::map<int, std::string> t;
        std::ifstream f(std::string(Esquemas) + "/errores.properties", std::ios::binary);
        std::string linea;
        while (std::getline(f, linea)) {
            const auto igual = linea.find(" = ");
            if (igual == std::string::npos)
                continue;
            int c = 0;
            try {
                c = std::stoi(linea.substr(0, igual));
            } catch (...) {
                continue;
            }
            // ISO-8859-1 a UTF-8.
            std::string utf8;
            for (const unsigned char ch : std::string(vf::recortar(linea.substr(igual + 3)))) {
                if (ch < 0x80) {
                    utf8 += static_cast<char>(ch);
                } else {
                    utf8 += static_cast<char>(0xC0 | (ch >> 6));
                    utf8 += static_cast<char>(0x80 | (ch & 0x3F));
                }
            }
            t.emplace(c, std::move(utf8));
        }
        return t;
    }();
    const auto i = textos.find(codigo);
    return i == textos.end() ? std::string() : i->second;
}

struct ServicioVerifactu::Estado {
    Clave claveAutoridad, claveServidor;
    Certificado autoridad, servidor;
    std::unique_ptr<httplib::SSLServer> http;
    std::thread hilo;
    unsigned short puerto = 0;
    xmlSchemaPtr esquema = nullptr;

    mutable std::mutex m;
    std::condition_variable despertar;
    bool parando = false;
    ComportamientoVerifactu comportamiento;
    std::size_t peticiones = 0, registros = 0;
    std::map<IdRegistro, Guardado> guardados;
    std::map<std::string, std::string> ultimaHuella; // por emisor
    std::vector<RegistroRecibido> registrados;
    std::int64_t siguientePeticion = 1;

    bool esperar(std::chrono::milliseconds t) {
        std::unique_lock l(m);
        return !despertar.wait_for(l, t, [&] { return parando; });
    }

    // Un registro de la petición: su línea de respuesta. Con el cerrojo tomado.
    std::string linea(const xmlNode* registro, const std::string& nifObligado,
                      const std::string& idPeticion, std::int64_t ahora, bool& correcto) {
        const bool alta = es(registro, "RegistroAlta");
        const xmlNode* id = hijo(registro, "IDFactura");
        const std::string emisor = textoDe(id, alta ? "IDEmisorFactura" : "IDEmisorFacturaAnulada");
        const std::string serie = textoDe(id, alta ? "NumSerieFactura" : "NumSerieFacturaAnulada");
        const std::string fecha =
            textoDe(id, alta ? "FechaExpedicionFactura" : "FechaExpedicionFacturaAnulada");
        const xmlNode* encadenamiento = hijo(registro, "Encadenamiento");
        const std::string anterior = textoDe(hijo(encadenamiento, "RegistroAnterior"), "Huella");
        const std::string generado = textoDe(registro, "FechaHoraHusoGenRegistro");
        const std::string huella = textoDe(registro, "Huella");
        const bool subsanacion = textoDe(registro, "Subsanacion") == "S";
        const IdRegistro clave(emisor, serie, fecha, alta);

        std::string estado = "Correcto";
        int codigo = 0;
        std::string duplicado;
        const auto ya = guardados.find(clave);
        if (ya != guardados.end() && !subsanacion) {
            estado = "Incorrecto";
            codigo = 3000;
            duplicado = "<sfR:RegistroDuplicado><sf:IdPeticionRegistroDuplicado>" +
                        ya->second.idPeticion +
                        "</sf:IdPeticionRegistroDuplicado><sf:EstadoRegistroDuplicado>" +
                        ya->second.estado + "</sf:EstadoRegistroDuplicado></sfR:RegistroDuplicado>";
        } else {
            std::string calculada;
            if (alta)
                calculada = vf::calcularHuella(
                    vf::CamposHuellaAlta{emisor, serie, fecha, textoDe(registro, "TipoFactura"),
                                         textoDe(registro, "CuotaTotal"),
                                         textoDe(registro, "ImporteTotal"), anterior, generado});
            else
                calculada = vf::calcularHuella(
                    vf::CamposHuellaAnulacion{emisor, serie, fecha, anterior, generado});
            const auto hora = vf::leerFechaHoraHuso(generado);
            const auto previa = ultimaHuella.find(emisor);
            const auto porSerie = comportamiento.codigoPorSerie.find(serie);
            if (emisor != nifObligado)
                codigo = 1108;
            else if (comportamiento.nifsDesconocidos.count(emisor) > 0)
                codigo = 1110;
            else if (porSerie != comportamiento.codigoPorSerie.end())
                codigo = porSerie->second;
            else if (calculada != huella)
                codigo = 2000;
            else if (previa != ultimaHuella.end() && previa->second != anterior)
                codigo = 2003;
            else if (!hora || *hora > ahora + comportamiento.margenReloj ||
                     *hora < ahora - comportamiento.margenReloj)
                codigo = 2004;
            if (codigo != 0)
                estado = codigo / 1000 == 2 ? "AceptadoConErrores" : "Incorrecto";
            // También un registro rechazado encadena: el siguiente cuelga de él.
            ultimaHuella[emisor] = huella;
            if (estado != "Incorrecto")
                guardados[clave] = {idPeticion,
                                    estado == "Correcto" ? "Correcta" : "AceptadaConErrores"};
            registrados.push_back({emisor, serie, fecha, alta, estado, codigo});
        }
        correcto = estado != "Incorrecto";
        std::string l = "<sfR:RespuestaLinea><sfR:IDFactura><sf:IDEmisorFactura>" +
                        escapar(emisor) + "</sf:IDEmisorFactura><sf:NumSerieFactura>" +
                        escapar(serie) + "</sf:NumSerieFactura><sf:FechaExpedicionFactura>" +
                        escapar(fecha) +
                        "</sf:FechaExpedicionFactura></sfR:IDFactura><sfR:Operacion>"
                        "<sf:TipoOperacion>" +
                        (alta ? "Alta" : "Anulacion") +
                        "</sf:TipoOperacion></sfR:Operacion><sfR:EstadoRegistro>" + estado +
                        "</sfR:EstadoRegistro>";
        if (codigo != 0)
            l += "<sfR:CodigoErrorRegistro>" + std::to_string(codigo) +
                 "</sfR:CodigoErrorRegistro><sfR:DescripcionErrorRegistro>" +
                 escapar(textoErrorAgencia(codigo)) + "</sfR:DescripcionErrorRegistro>";
        return l + duplicado + "</sfR:RespuestaLinea>";
    }
};

ServicioVerifactu::ServicioVerifactu(const std::string& autoridadesClientes, unsigned short puerto)
    : e_(std::make_unique<Estado>()) {
    std::signal(SIGPIPE, SIG_IGN);
    static const bool catalogo = [] {
        xmlLoadCatalog((std::string(Esquemas) + "/catalog.xml").c_str());
        return true;
    }();
    (void)catalogo;
    xmlSchemaParserCtxtPtr ctxt =
        xmlSchemaNewParserCtxt((std::string(Esquemas) + "/SuministroLR.xsd").c_str());
    e_->esquema = ctxt ? xmlSchemaParse(ctxt) : nullptr;
    xmlSchemaFreeParserCtxt(ctxt);
    if (e_->esquema == nullptr)
        throw std::runtime_error("no se pueden leer los esquemas de la agencia en " +
                                 std::string(Esquemas));

    e_->claveAutoridad = claveEc();
    DatosCertificado ca;
    ca.sujeto = {{"O", "ZOQ pruebas"}, {"CN", "Autoridad del doble del servicio VERI*FACTU"}};
    ca.autoridad = true;
    e_->autoridad = emitir(ca, e_->claveAutoridad.get());
    e_->claveServidor = claveEc();
    DatosCertificado srv;
    srv.sujeto = {{"O", "ZOQ pruebas"}, {"CN", "localhost"}};
    srv.servidor = true;
    srv.nombresDns = {"localhost"};
    srv.ips = {"127.0.0.1"};
    e_->servidor =
        emitir(srv, e_->claveServidor.get(), e_->autoridad.get(), e_->claveAutoridad.get());

    // Las autoridades de los clientes: el almacén pasa a ser del contexto TLS.
    X509_STORE* clientes = X509_STORE_new();
    BIO* bio =
        BIO_new_mem_buf(autoridadesClientes.data(), static_cast<int>(autoridadesClientes.size()));
    int cuantas = 0;
    while (X509* x = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        cuantas += X509_STORE_add_cert(clientes, x) == 1;
        X509_free(x);
    }
    BIO_free(bio);
    ERR_clear_error(); // el final del PEM, o lo que no es un certificado (una clave)
    if (cuantas == 0) {
        X509_STORE_free(clientes);
        throw std::runtime_error("no hay autoridades de clientes");
    }
    e_->http =
        std::make_unique<httplib::SSLServer>(e_->servidor.get(), e_->claveServidor.get(), clientes);
    if (!e_->http->is_valid())
        throw std::runtime_error("no se ha podido preparar el servidor TLS");
    e_->http->set_read_timeout(30, 0);
    e_->http->set_write_timeout(30, 0);
    e_->http->set_payload_max_length(64u << 20);

    Estado* e = e_.get();
    e_->http->Post(Ruta, [this, e](const httplib::Request& req, httplib::Response& res) {
        ComportamientoVerifactu c;
        {
            std::lock_guard l(e->m);
            c = e->comportamiento;
        }
        if (c.silencio.count() > 0 && !e->esperar(c.silencio))
            return;
        X509* x = req.ssl ? SSL_get1_peer_certificate(req.ssl) : nullptr;
        const std::string nif = nifDe(x);
        X509_free(x);
        const std::int64_t ahora = std::time(nullptr) + c.desfaseReloj;
        const std::string respuesta = responder(req.body, nif, ahora);
        res.set_header("Date", fechaHttp(ahora));
        res.status = respuesta.find("<env:Fault>") != std::string::npos ? 500 : 200;
        res.set_content(respuesta, "text/xml; charset=utf-8");
    });
    if (puerto == 0) {
        const int p = e_->http->bind_to_any_port("127.0.0.1");
        if (p <= 0)
            throw std::runtime_error("no se ha podido escuchar en 127.0.0.1");
        e_->puerto = static_cast<unsigned short>(p);
    } else {
        if (!e_->http->bind_to_port("127.0.0.1", puerto))
            throw std::runtime_error("no se ha podido escuchar en 127.0.0.1:" +
                                     std::to_string(puerto));
        e_->puerto = puerto;
    }
    e_->hilo = std::thread([e] { e->http->listen_after_bind(); });
    // Hasta que escucha: parar() antes no lo pararía.
    while (!e_->http->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ServicioVerifactu::~ServicioVerifactu() {
    parar();
    xmlSchemaFree(e_->esquema);
}

void ServicioVerifactu::parar() {
    {
        std::lock_guard l(e_->m);
        e_->parando = true;
    }
    e_->despertar.notify_all();
    if (e_->hilo.joinable()) {
        e_->http->stop();
        e_->hilo.join();
    }
}

unsigned short ServicioVerifactu::puerto() const {
    return e_->puerto;
}

std::string ServicioVerifactu::direccion() const {
    return "https://127.0.0.1:" + std::to_string(e_->puerto) + Ruta;
}

std::string ServicioVerifactu::autoridadPem() const {
    return pem(e_->autoridad.get());
}

void ServicioVerifactu::grabarAutoridad(const std::string& ruta) const {
    std::ofstream f(ruta, std::ios::binary | std::ios::trunc);
    f << autoridadPem();
    f.close();
    if (!f)
        throw std::runtime_error("no se ha podido grabar la autoridad en " + ruta);
}

void ServicioVerifactu::comportamiento(const ComportamientoVerifactu& c) {
    std::lock_guard l(e_->m);
    e_->comportamiento = c;
}

std::size_t ServicioVerifactu::peticiones() const {
    std::lock_guard l(e_->m);
    return e_->peticiones;
}

std::size_t ServicioVerifactu::registrosRecibidos() const {
    std::lock_guard l(e_->m);
    return e_->registros;
}

std::vector<RegistroRecibido> ServicioVerifactu::registrados() const {
    std::lock_guard l(e_->m);
    return e_->registrados;
}

std::string ServicioVerifactu::responder(const std::string& peticion,
                                         const std::string& nifCertificado, std::int64_t ahora) {
    std::lock_guard l(e_->m);
    ++e_->peticiones;
    auto& c = e_->comportamiento;
    if (c.fallosServidor > 0) {
        --c.fallosServidor;
        return fallo("Server", 3501);
    }
    if (c.falloCliente)
        return fallo("Client", 4118);
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
        xmlReadMemory(peticion.data(), static_cast<int>(peticion.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    const xmlNode* raiz = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    xmlNode* remesa = nullptr;
    const xmlNode* cuerpo = es(raiz, "Envelope") ? hijo(raiz, "Body") : nullptr;
    for (xmlNode* n = cuerpo ? cuerpo->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE) {
            remesa = n;
            break;
        }
    if (remesa == nullptr)
        return fallo("Client", 4103);
    xmlSchemaValidCtxtPtr v = xmlSchemaNewValidCtxt(e_->esquema);
    xmlSchemaSetValidStructuredErrors(
        v, [](void*, xmlErrorPtr) {}, nullptr);
    const int valido = v ? xmlSchemaValidateOneElement(v, remesa) : -1;
    xmlSchemaFreeValidCtxt(v);
    if (valido != 0)
        return fallo("Client", 4102);
    const xmlNode* obligado = hijo(hijo(remesa, "Cabecera"), "ObligadoEmision");
    const std::string nif = textoDe(obligado, "NIF");
    if (nif != nifCertificado)
        return fallo("Client", 4112);

    const std::string idPeticion = std::to_string(e_->siguientePeticion++);
    std::string lineas;
    std::size_t registros = 0, correctos = 0;
    for (const xmlNode* r = remesa->children; r != nullptr; r = r->next) {
        if (!es(r, "RegistroFactura"))
            continue;
        for (const xmlNode* q = r->children; q != nullptr; q = q->next)
            if (es(q, "RegistroAlta") || es(q, "RegistroAnulacion")) {
                bool correcto = false;
                lineas += e_->linea(q, nif, idPeticion, ahora, correcto);
                ++registros;
                correctos += correcto;
            }
    }
    e_->registros += registros;
    const std::string estadoEnvio = correctos == registros ? "Correcto"
                                    : correctos == 0       ? "Incorrecto"
                                                           : "ParcialmenteCorrecto";
    std::string r = "<sfR:RespuestaRegFactuSistemaFacturacion xmlns:sfR=\"" +
                    std::string(EspacioRespuesta) + "\" xmlns:sf=\"" + EspacioInformacion + "\">";
    if (correctos > 0)
        r += "<sfR:CSV>A-" + alAzar(14) + "</sfR:CSV><sfR:DatosPresentacion><sf:NIFPresentador>" +
             escapar(nifCertificado) + "</sf:NIFPresentador><sf:TimestampPresentacion>" +
             vf::fechaHoraHuso(ahora) + "</sf:TimestampPresentacion></sfR:DatosPresentacion>";
    r += "<sfR:Cabecera><sf:ObligadoEmision><sf:NombreRazon>" +
         escapar(textoDe(obligado, "NombreRazon")) + "</sf:NombreRazon><sf:NIF>" + escapar(nif) +
         "</sf:NIF></sf:ObligadoEmision></sfR:Cabecera><sfR:TiempoEsperaEnvio>" +
         std::to_string(c.tiempoEspera) + "</sfR:TiempoEsperaEnvio><sfR:EstadoEnvio>" +
         estadoEnvio + "</sfR:EstadoEnvio>" + lineas + "</sfR:RespuestaRegFactuSistemaFacturacion>";
    return sobre(r);
}

} // namespace servicio_local
