// VERIFICA de punta a punta contra el servicio de verificación local: veredictos, la petición
// tal como llega al servidor, certificados del servidor, límites del intercambio y la línea de
// órdenes.
#include "certificados_prueba.h"
#include "credenciales.h"
#include "infraestructura/mensajes.h"
#include "infraestructura/trampa.h"
#include "metodos.h"
#include "operaciones/verificacion_en_linea.h"
#include "servicio_local.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvelin;
using namespace std::chrono_literals;
namespace sl = servicio_local;

namespace {

using morvelin::pruebas::leerTodo;

void escribir(const fs::path& ruta, const std::string& contenido) {
    morvelin::pruebas::escribirTodo(ruta, contenido);
}

/// Un firmante de prueba: certificado con su clave.
struct Firmante {
    sl::Certificado certificado;
    EVP_PKEY* clave;
};

/// Un fichero de firma con las nueve líneas, para `factura` firmada por `f`.
std::string ficheroFirma(const std::string& factura, const Firmante& f,
                         const std::string& finLinea = "\r\n") {
    const std::string firma =
        sl::firmaSeparada(sl::resumenSha1Hex(factura), f.certificado.get(), f.clave);
    std::string t;
    for (const std::string& linea :
         {std::string("<NOMFIC>"), std::string("factura.xml"), std::string("</NOMFIC>"),
          std::string("<FACB64>"), sl::base64(factura), std::string("</FACB64>"),
          std::string("<FIRB64>"), sl::base64(firma), std::string("</FIRB64>")})
        t += linea + finLinea;
    return t;
}

/// Un comportamiento del servicio con lo que cambie `cambio`.
template <class Cambio> sl::Comportamiento con(Cambio cambio) {
    sl::Comportamiento c;
    cambio(c);
    return c;
}

/// Deja las variables de certificados de autoridad como se pide (nullptr: sin poner).
void autoridades(const char* bundle, const char* fichero, const char* carpeta) {
    const std::pair<const char*, const char*> vars[] = {
        {"CURL_CA_BUNDLE", bundle}, {"SSL_CERT_FILE", fichero}, {"SSL_CERT_DIR", carpeta}};
    for (const auto& [nombre, valor] : vars) {
        if (valor)
            ::setenv(nombre, valor, 1);
        else
            ::unsetenv(nombre);
    }
}

class ContraServicio : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        servicio = new sl::ServicioLocal();
        carpetaSuite = fs::temp_directory_path() / ("morvelin-srv-" + std::to_string(::getpid()));
        fs::create_directories(carpetaSuite);
        autoridad = (carpetaSuite / "autoridad.pem").string();
        servicio->grabarAutoridad(autoridad);

        clave = sl::claveRsa().release();
        auto emitir = [](std::vector<std::pair<std::string, std::string>> sujeto, long desde,
                         long hasta) {
            sl::DatosCertificado d;
            d.sujeto = std::move(sujeto);
            d.desde = desde;
            d.hasta = hasta;
            return Firmante{sl::emitir(d, clave), clave};
        };
        const long dia = 24 * 3600;
        ana = new Firmante(emitir({{"C", "ES"},
                                   {"serialNumber", "12345678Z"},
                                   {"CN", "NOMBRE GARCIA LOPEZ ANA - NIF 12345678Z"}},
                                  -dia, 365 * dia));
        luis = new Firmante(emitir({{"C", "ES"},
                                    {"SN", "PÉREZ MARTÍN"},
                                    {"GN", "LUIS"},
                                    {"serialNumber", "87654321X"},
                                    {"CN", "LUIS PÉREZ"}},
                                   -dia, 365 * dia));
        // Una entidad con coma en el nombre (el componente lo pone entre comillas) y otra que lo
        // dice todo en su nombre común, sin " - NIF ".
        entidad = new Firmante(emitir({{"CN", "EMPRESA, S.L."},
                                       {"serialNumber", "B12345674"},
                                       {"SN", "PÉREZ"},
                                       {"GN", "ANA"},
                                       {"1.3.6.1.4.1.18838.1.1", "87654321X"}},
                                      -dia, 365 * dia));
        entidadSinNif =
            new Firmante(emitir({{"CN", "ENTIDAD ACME - CIF A58818501"}}, -dia, 365 * dia));
        caducado =
            new Firmante(emitir({{"CN", "NOMBRE CADUCADO - NIF 11111111H"}}, -400 * dia, -dia));
        revocado =
            new Firmante(emitir({{"CN", "NOMBRE REVOCADO - NIF 22222222J"}}, -dia, 365 * dia));
        noValido =
            new Firmante(emitir({{"CN", "NOMBRE NO VALIDO - NIF 33333333P"}}, -dia, 365 * dia));
    }
    static void TearDownTestSuite() {
        for (Firmante* f : {ana, luis, entidad, entidadSinNif, caducado, revocado, noValido})
            delete f;
        EVP_PKEY_free(clave);
        delete servicio;
        fs::remove_all(carpetaSuite);
    }

    void SetUp() override {
        autoridades(autoridad.c_str(), nullptr, nullptr);
        for (const char* v : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                              "no_proxy", "NO_PROXY"})
            ::unsetenv(v);
        servicio->comportamiento({});
        raiz = carpetaSuite / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(raiz);
        // Bytes de todo valor, ceros incluidos; su base64 pasa de varios trozos de lectura.
        factura.clear();
        for (int i = 0; i < 20000; ++i)
            factura += static_cast<char>(i * 131 % 256);
    }

    std::string ruta(const std::string& nombre) const { return (raiz / nombre).string(); }
    ServicioVerificacion local(red::Limites limites = {}) const {
        return {servicio->direccion(), limites};
    }

    static inline sl::ServicioLocal* servicio = nullptr;
    static inline fs::path carpetaSuite;
    static inline std::string autoridad;
    static inline EVP_PKEY* clave = nullptr;
    static inline Firmante *ana, *luis, *entidad, *entidadSinNif, *caducado, *revocado, *noValido;
    fs::path raiz;
    std::string factura;
};

} // namespace

TEST_F(ContraServicio, CadaVeredictoDaSuResultadoYLaFacturaQuedaGrabada) {
    const std::string mensaje12 = cargarMensaje(FirmaNoValida);
    const struct {
        const char* caso;
        std::string fichero;
        sl::Comportamiento comportamiento;
        std::string resultado;
    } casos[] = {
        {"firma buena",
         ficheroFirma(factura, *ana),
         {},
         "00 NOMBRE GARCIA LOPEZ ANA - NIF 12345678Z"},
        {"nombre compuesto de apellidos, nombre y número de serie",
         ficheroFirma(factura, *luis),
         {},
         "00 NOMBRE PÉREZ MARTÍN LUIS - NIF 87654321X"},
        {"entidad: el nombre del firmante, como lo compone FIRMA",
         ficheroFirma(factura, *entidad),
         {},
         "00 ENTIDAD \"EMPRESA, S.L.\" - CIF B12345674 - NOMBRE PÉREZ ANA - NIF 87654321X"},
        {"entidad cuyo nombre común ya es el nombre",
         ficheroFirma(factura, *entidadSinNif),
         {},
         "00 ENTIDAD ACME - CIF A58818501"},
        {"firma de otra factura",
         [&] {
             std::string f = ficheroFirma(factura, *ana);
             const std::string otra = ficheroFirma(factura + "x", *ana);
             const auto firma = [](const std::string& t) {
                 const auto a = t.find("<FIRB64>"), c = t.find("</FIRB64>");
                 return std::make_pair(a, t.substr(a, c - a));
             };
             const auto [pos, propia] = firma(f);
             return f.replace(pos, propia.size(), firma(otra).second);
         }(),
         {},
         mensaje12},
        {"certificado caducado",
         ficheroFirma(factura, *caducado),
         {},
         cargarMensaje(CertificadoCaducado)},
        {"certificado revocado", ficheroFirma(factura, *revocado),
         con([&](auto& c) { c.revocados = {"22222222J"}; }), cargarMensaje(CertificadoRevocado)},
        {"certificado no válido", ficheroFirma(factura, *noValido),
         con([&](auto& c) { c.noValidos = {"33333333P"}; }), cargarMensaje(CertificadoNoValido)},
        {"firma mal formada",
         "<NOMFIC>f</NOMFIC><FACB64>" + sl::base64(factura) + "</FACB64><FIRB64>" +
             sl::base64("esto no es PKCS #7") + "</FIRB64>",
         {},
         cargarMensaje(FormatoInvalido)},
        {"fallo técnico", ficheroFirma(factura, *ana), con([&](auto& c) { c.falloTecnico = true; }),
         cargarMensaje(ErrorTecnico)},
        {"código desconocido", ficheroFirma(factura, *ana),
         con([&](auto& c) { c.respuestaFija = "42 ALGO NUEVO\r\n"; }),
         cargarMensaje(ErrorDesconocido)},
        {"un 0 que no es 00", ficheroFirma(factura, *ana),
         con([&](auto& c) { c.respuestaFija = "0 NOMBRE X - NIF 1\r\n"; }),
         cargarMensaje(ErrorDesconocido)},
        {"sin número", ficheroFirma(factura, *ana),
         con([&](auto& c) { c.respuestaFija = "<html>Servicio en mantenimiento</html>\r\n"; }),
         cargarMensaje(ErrorDesconocido)},
        {"00 con relleno y líneas de más", ficheroFirma(factura, *ana), con([&](auto& c) {
             c.respuestaFija = "00 NOMBRE X" + std::string(30, ' ') + " - NIF 9\r\n\r\n";
         }),
         "00 NOMBRE X - NIF 9"},
    };
    int n = 0;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        servicio->comportamiento(c.comportamiento);
        const std::string firmado = ruta("f" + std::to_string(n) + ".sig");
        const std::string destino = ruta("salida/factura" + std::to_string(n++) + ".xml");
        escribir(firmado, c.fichero);
        EXPECT_EQ(verificar(firmado, destino, local()), c.resultado);
        EXPECT_EQ(leerTodo(destino), factura) << "la factura se graba sea cual sea el veredicto";
    }
}

TEST_F(ContraServicio, LasFormasDelFicheroDeFirmaDanElMismoVeredicto) {
    const std::string crlf = ficheroFirma(factura, *ana);
    std::string lf = crlf, unaLinea = crlf;
    for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;)
        lf.erase(p, 1);
    for (std::size_t p; (p = unaLinea.find("\r\n")) != std::string::npos;)
        unaLinea.erase(p, 2);
    for (const auto& [caso, contenido] :
         {std::pair{"CR LF", crlf}, std::pair{"LF", lf}, std::pair{"una línea", unaLinea}}) {
        escribir(ruta("f.sig"), contenido);
        EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), local()),
                  "00 NOMBRE GARCIA LOPEZ ANA - NIF 12345678Z")
            << caso;
        EXPECT_EQ(leerTodo(ruta("f.xml")), factura) << caso;
    }
}

TEST_F(ContraServicio, LaPeticionLlegaComoLaEsperaElServicio) {
    escribir(ruta("f.sig"), "<NOMFIC>\r\nmi factura.xml\r\n</NOMFIC>\r\n<FACB64>\r\nQUI+/w==\r\n"
                            "</FACB64>\r\n<FIRB64>\r\nMIIB/+8=\r\n</FIRB64>\r\n");
    verificar(ruta("f.sig"), ruta("f.xml"), local());
    const sl::PeticionRecibida p = servicio->ultimaPeticion();
    EXPECT_EQ(p.metodo, "POST");
    EXPECT_EQ(p.ruta, "/sincertificados");
    EXPECT_EQ(p.cuerpo, "HID%3DQUENDRAL%26NIE%3D%26NIR%3D%26TXT%3DQUI%2B%2Fw%3D%3D%26FIR%3DMIIB%2F%"
                        "2B8%3D%26FIN%3DF");
    EXPECT_EQ(p.cuantasCabeceras("Content-Type"), 1u);
    EXPECT_EQ(p.cabecera("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(p.cabecera("User-Agent"), "Microsoft Internet Browser");
    EXPECT_EQ(p.cabecera("Content-Length"), std::to_string(p.cuerpo.size()));
    EXPECT_EQ(p.cuantasCabeceras("Accept"), 0u);
    EXPECT_EQ(p.cuantasCabeceras("Expect"), 0u);
    EXPECT_EQ(leerTodo(ruta("f.xml")), "AB>\xFF");
}

TEST_F(ContraServicio, SinFicheroLegibleOBienFormadoNoSeLlamaAlServicio) {
    const std::size_t antes = servicio->peticiones();
    escribir(ruta("sin-cierre.sig"), "<NOMFIC>f</NOMFIC><FACB64>QQ==</FACB64><FIRB64>QQ==");
    EXPECT_EQ(verificar(ruta("sin-cierre.sig"), ruta("a.xml"), local()),
              cargarMensaje(FormatoFirmado));
    escribir(ruta("vacio.sig"), "");
    EXPECT_EQ(verificar(ruta("vacio.sig"), ruta("a.xml"), local()), cargarMensaje(FormatoFirmado));
    EXPECT_EQ(verificar(ruta("no-existe.sig"), ruta("a.xml"), local()),
              cargarMensaje(NoSeLeeFirmado));
    EXPECT_EQ(verificar(raiz.string(), ruta("a.xml"), local()), cargarMensaje(NoSeLeeFirmado));
    EXPECT_EQ(servicio->peticiones(), antes);
    EXPECT_FALSE(fs::exists(ruta("a.xml")));
}

TEST_F(ContraServicio, UnDestinoImposibleEs20TrasLlamarAlServicio) {
    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    escribir(ruta("fichero"), "x");
    for (const std::string& destino : {std::string(), ruta("fichero/f.xml"), raiz.string()}) {
        const std::size_t antes = servicio->peticiones();
        EXPECT_EQ(verificar(ruta("f.sig"), destino, local()), cargarMensaje(NoSeGrabaFactura))
            << destino;
        EXPECT_EQ(servicio->peticiones(), antes + 1) << destino;
    }
}

TEST_F(ContraServicio, LasAutoridadesSalenDelEntornoComoEnCurl) {
    // SSL_CERT_DIR: una carpeta con el enlace por resumen del sujeto, como la deja c_rehash.
    const fs::path carpeta = raiz / "autoridades";
    fs::create_directories(carpeta);
    {
        FILE* f = std::fopen(autoridad.c_str(), "r");
        X509* ca = PEM_read_X509(f, nullptr, nullptr, nullptr);
        std::fclose(f);
        char nombre[16];
        std::snprintf(nombre, sizeof nombre, "%08lx.0", X509_subject_name_hash(ca));
        X509_free(ca);
        fs::create_symlink(autoridad, carpeta / nombre);
    }
    const std::string vacia = (raiz / "ninguna").string();
    fs::create_directories(vacia);
    const std::string sistema = "/etc/ssl/certs/ca-certificates.crt";
    const std::string bien = "00 NOMBRE GARCIA LOPEZ ANA - NIF 12345678Z";
    const std::string m17 = cargarMensaje(SinConexion);
    const struct {
        const char *bundle, *fichero, *carpeta;
        std::string resultado;
    } casos[] = {
        {autoridad.c_str(), nullptr, nullptr, bien},
        {nullptr, autoridad.c_str(), nullptr, bien},
        {"", autoridad.c_str(), nullptr, bien},
        {sistema.c_str(), autoridad.c_str(), nullptr, m17}, // CURL_CA_BUNDLE manda
        {nullptr, nullptr, carpeta.c_str(), bien},
        {sistema.c_str(), nullptr, vacia.c_str(), m17},
        {nullptr, nullptr, nullptr, m17}, // el almacén del sistema no conoce esta autoridad
    };
    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    for (const auto& c : casos) {
        autoridades(c.bundle, c.fichero, c.carpeta);
        fs::remove(ruta("f.xml"));
        EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), local()), c.resultado)
            << (c.bundle ? c.bundle : "-") << " " << (c.fichero ? c.fichero : "-") << " "
            << (c.carpeta ? c.carpeta : "-");
        EXPECT_EQ(fs::exists(ruta("f.xml")), c.resultado == bien);
    }
}

TEST_F(ContraServicio, ElNombreDelServidorSeCompruebaSiempre) {
    sl::Opciones opciones;
    opciones.certificadoConIp = false; // certificado solo para "localhost"
    sl::ServicioLocal otro(opciones);
    const std::string ca = ruta("otra-autoridad.pem");
    otro.grabarAutoridad(ca);
    autoridades(ca.c_str(), nullptr, nullptr);
    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), {otro.direccion(), {}}),
              cargarMensaje(SinConexion));
    EXPECT_FALSE(fs::exists(ruta("f.xml")));
    EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), {otro.direccionPorNombre(), {}}),
              "00 NOMBRE GARCIA LOPEZ ANA - NIF 12345678Z");
}

TEST_F(ContraServicio, SinServicioAlOtroLadoEs17YNoSeGrabaNada) {
    // Un puerto que nadie escucha.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    const std::string cerrado =
        "https://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/sincertificados";

    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    for (const std::string& url :
         {cerrado, std::string("https://servicio-verificacion.invalid/sincertificados"),
          std::string("esto no es una dirección"),
          "http://127.0.0.1:" + std::to_string(servicio->puerto()) + "/sincertificados"}) {
        EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), {url, {}}), cargarMensaje(SinConexion))
            << url;
        EXPECT_FALSE(fs::exists(ruta("f.xml"))) << url;
    }
    // La dirección fija de esta compilación está en ".invalid": contesta 17 sin esperar.
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_EQ(VERIFICA(ruta("f.sig"), ruta("f.xml")), cargarMensaje(SinConexion));
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 1s);
}

TEST_F(ContraServicio, UnServicioQueNoAcabaCortaElIntercambio) {
    // Escucha pero nunca acepta: la conexión TCP entra en la cola, el saludo TLS nunca llega.
    const int mudo = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ASSERT_EQ(::bind(mudo, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(mudo, 4), 0);
    ::getsockname(mudo, reinterpret_cast<sockaddr*>(&a), &n);

    red::Limites cortos;
    cortos.conexion = 500ms;
    cortos.estancamiento = 1s;
    cortos.total = 2s;
    const struct {
        const char* caso;
        std::string url;
        sl::Comportamiento comportamiento;
    } casos[] = {
        {"sin saludo TLS",
         "https://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/sincertificados",
         {}},
        {"callado", servicio->direccion(), con([](auto& c) { c.silencio = 20s; })},
        {"goteando", servicio->direccion(), con([](auto& c) {
             c.respuestaFija = "00 " + std::string(200, 'A') + "\r\n";
             c.goteo = 50ms;
         })},
    };
    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    for (const auto& c : casos) {
        servicio->comportamiento(c.comportamiento);
        const auto inicio = std::chrono::steady_clock::now();
        EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), {c.url, cortos}),
                  cargarMensaje(SinConexion))
            << c.caso;
        EXPECT_LT(std::chrono::steady_clock::now() - inicio, 6s) << c.caso;
        EXPECT_FALSE(fs::exists(ruta("f.xml"))) << c.caso;
    }
    servicio->comportamiento({});
    ::close(mudo);
}

TEST_F(ContraServicio, UnaRespuestaDesmesuradaEsUnIntercambioFallido) {
    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    red::Limites limites;
    const std::size_t tope = limites.respuestaMaxima;
    const std::string justa = "00 " + std::string(tope - 5, 'A') + "\r\n";
    servicio->comportamiento(con([&](auto& c) { c.respuestaFija = justa; }));
    EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), local()), justa.substr(0, tope - 2));
    servicio->comportamiento(con([&](auto& c) { c.respuestaFija = justa + "X"; }));
    fs::remove(ruta("f.xml"));
    EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), local()), cargarMensaje(SinConexion));
    EXPECT_FALSE(fs::exists(ruta("f.xml")));
}

TEST_F(ContraServicio, LaRespuestaSeLeeLineaALinea) {
    const std::pair<const char*, const char*> casos[] = {
        {"a\r\nb\nc", "a\nb\nc\n"}, {"", ""},           {"\n\n", "\n\n"}, {"x\ry\r\n", "x\ry\n"},
        {"\r\n\r\n", "\n\n"},       {"sola", "sola\n"},
    };
    for (const auto& [cuerpo, respuesta] : casos) {
        servicio->comportamiento(con([&](auto& c) { c.respuestaFija = cuerpo; }));
        PeticionServicio p;
        p.url = servicio->direccion();
        p.cuerpo = "HID=QUENDRAL";
        p.respuesta = "previa|";
        enviarPeticion(p);
        EXPECT_EQ(p.respuesta, std::string("previa|") + respuesta) << '"' << cuerpo << '"';
        EXPECT_EQ(p.cuerpo, "HID%3DQUENDRAL") << "el cuerpo se codifica en su sitio";
    }
}

TEST_F(ContraServicio, LineaDeOrdenesConOtroServicio) {
    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    auto ejecutar = [](const std::string& argumentos) {
        FILE* p = ::popen((std::string(MORVELIN_CLI) + " " + argumentos).c_str(), "r");
        std::string texto;
        std::array<char, 4096> b{};
        for (std::size_t n; (n = std::fread(b.data(), 1, b.size(), p)) > 0;)
            texto.append(b.data(), n);
        const int st = ::pclose(p);
        return std::make_pair(WIFEXITED(st) ? WEXITSTATUS(st) : -1, texto);
    };
    auto [estado, texto] = ejecutar("verifica --servicio " + servicio->direccion() + " '" +
                                    ruta("f.sig") + "' '" + ruta("f.xml") + "'");
    EXPECT_EQ(estado, 0);
    EXPECT_EQ(texto, "00 NOMBRE GARCIA LOPEZ ANA - NIF 12345678Z\n");
    EXPECT_EQ(leerTodo(ruta("f.xml")), factura);

    std::tie(estado, texto) = ejecutar("verifica '" + ruta("f.sig") + "' '" + ruta("g.xml") + "'");
    EXPECT_EQ(estado, 1);
    EXPECT_EQ(texto, cargarMensaje(SinConexion) + "\n");
}

TEST_F(ContraServicio, IdaYVueltaFirmaYVerifica) {
    // El almacén personal de prueba, con el certificado y la clave de Ana en un PEM.
    const fs::path almacen = raiz / "datos" / "MORVELIN" / "MY";
    fs::create_directories(almacen);
    escribir(almacen / "ana.pem", sl::pem(ana->certificado.get()) + sl::pem(ana->clave));
    ::setenv("XDG_DATA_HOME", (raiz / "datos").c_str(), 1);

    // Cada tamaño con su particularidad: vacía, un solo byte, y una cuyo base64 pasa de varios
    // trozos de lectura.
    for (const std::string& contenido : {std::string(), std::string("\0", 1), factura}) {
        escribir(ruta("factura.xml"), contenido);
        const std::string firma = FIRMA(ruta("factura.xml"), "12345678Z", ruta("firma/f.sig"));
        ASSERT_EQ(firma, "00 NOMBRE GARCIA LOPEZ ANA - NIF 12345678Z");
        EXPECT_EQ(verificar(ruta("firma/f.sig"), ruta("vuelta/factura.xml"), local()), firma);
        EXPECT_EQ(leerTodo(ruta("vuelta/factura.xml")), contenido);

        // La misma factura cambiada después de firmar ya no casa con la firma.
        std::string fichero = leerTodo(ruta("firma/f.sig"));
        const std::string otra = sl::base64(contenido + "!");
        const std::size_t desde = fichero.find("<FACB64>\r\n") + 10;
        fichero.replace(desde, fichero.find("\r\n", desde) - desde, otra);
        escribir(ruta("firma/f.sig"), fichero);
        EXPECT_EQ(verificar(ruta("firma/f.sig"), ruta("vuelta/factura.xml"), local()),
                  cargarMensaje(FirmaNoValida));
        EXPECT_EQ(leerTodo(ruta("vuelta/factura.xml")), contenido + "!");
    }
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(ContraServicio, ElEstadoHttpNoSeMiraYUnErrorEsUnCodigoDesconocido) {
    // Una ruta que el servicio no atiende: 404 sin cuerpo, que no empieza por "00".
    escribir(ruta("f.sig"), ficheroFirma(factura, *ana));
    const std::string otra =
        "https://127.0.0.1:" + std::to_string(servicio->puerto()) + "/otra-ruta?x=1";
    EXPECT_EQ(verificar(ruta("f.sig"), ruta("f.xml"), {otra, {}}), cargarMensaje(ErrorDesconocido));
    EXPECT_EQ(leerTodo(ruta("f.xml")), factura) << "el intercambio en sí fue bien";
}
