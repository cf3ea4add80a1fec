// VERIFICA contra servidores averiados en 127.0.0.1: cada avería de la red acaba en 17, dentro
// del límite que le toca, sin tocar el destino ni dejar nada a su lado; el mismo servidor sin
// avería contesta y la factura se graba. Los límites se acortan para que la prueba dure
// segundos; cada fila deja lejos los que no le tocan, de modo que la duración dice cuál cortó.
#include "certificados_prueba.h"
#include "infraestructura/mensajes.h"
#include "infraestructura/trampa.h"
#include "metodos.h"
#include "operaciones/verificacion_en_linea.h"
#include "servidor_averiado.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvelin;
using namespace morvelin::pruebas;
using namespace std::chrono_literals;
using Reloj = std::chrono::steady_clock;

namespace {

/// Solo la autoridad del servidor averiado, por CURL_CA_BUNDLE; las otras dos, fuera.
void soloEstaAutoridad(const std::string& fichero) {
    ::setenv("CURL_CA_BUNDLE", fichero.c_str(), 1);
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    for (const char* v : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(v);
}

/// Límites de prueba: el que debe cortar, corto; los demás, lejos.
red::Limites limites(std::chrono::milliseconds conexion = 10s,
                     std::chrono::seconds estancamiento = 10s,
                     std::chrono::milliseconds total = 10s) {
    red::Limites l;
    l.conexion = conexion;
    l.estancamiento = estancamiento;
    l.total = total;
    return l;
}

struct Caso {
    const char* nombre;
    Averia averia;
    red::Limites limites;
    /// Lo que debe durar VERIFICA: desde el límite que corta hasta un margen holgado, siempre
    /// por debajo de los límites que no le tocan.
    std::chrono::milliseconds minimo, maximo;
    CertificadoServidor certificado = {};
    std::chrono::milliseconds pausa = 100ms;
    /// El resultado cuando el intercambio no falla (las filas testigo); si no, 17.
    const char* resultado = nullptr;
};

void PrintTo(const Caso& c, std::ostream* os) {
    *os << c.nombre;
}

CertificadoServidor valido(long desde, long hasta) {
    CertificadoServidor c;
    c.desde = desde;
    c.hasta = hasta;
    return c;
}
CertificadoServidor deOtroServidor() {
    CertificadoServidor c;
    c.nombresDns = {"otro.ejemplo"};
    c.ips = {"127.0.0.2"};
    return c;
}
CertificadoServidor autofirmado() {
    CertificadoServidor c;
    c.autofirmado = true;
    return c;
}

const long Dia = 24 * 3600;
const char* const Bueno = "00 NOMBRE PRUEBA DE RED - NIF 12345678Z";

// libcurl mide la velocidad sobre los últimos 5 s: el estancamiento corta entre el límite y
// unos 6 s más tarde, cuando lo último recibido (o enviado) sale de esa ventana.
const Caso Casos[] = {
    // Testigos: el mismo servidor, sin avería, contesta y la factura se graba.
    {"SinAveria", Averia::Ninguna, limites(), 0ms, 3s, {}, 0ms, Bueno},
    {"SinLongitudConCierreOrdenado", Averia::SinLongitud, limites(), 0ms, 3s, {}, 0ms, Bueno},
    // Sin respuesta.
    {"AceptaYCalla", Averia::AceptaYCalla, limites(300ms), 250ms, 3s},
    {"NoLeeLaPeticion", Averia::NoLeeLaPeticion, limites(10s, 1s), 900ms, 9s},
    {"GoteaSinEstancarse", Averia::Gotea, limites(10s, 10s, 1500ms), 1400ms, 4s},
    // Respuestas cortadas.
    {"CierraSinContestar", Averia::CierraSinContestar, limites(), 0ms, 3s},
    {"CierraEnLasCabeceras", Averia::CierraEnLasCabeceras, limites(), 0ms, 3s},
    {"CierraTrasProvisional", Averia::CierraTrasProvisional, limites(), 0ms, 3s},
    {"CierraAMitadDelCuerpo", Averia::CierraAMitadDelCuerpo, limites(), 0ms, 3s},
    {"CortaAMitadDelCuerpo", Averia::CortaAMitadDelCuerpo, limites(), 0ms, 3s},
    {"CierraAMitadDeUnTrozo", Averia::CierraAMitadDeUnTrozo, limites(), 0ms, 3s},
    {"CortaCuerpoSinLongitud", Averia::CortaCuerpoSinLongitud, limites(), 0ms, 3s},
    // Respuestas sin fin: las corta un tope de tamaño, no el tiempo.
    {"CuerpoSinFin", Averia::CuerpoSinFin, limites(), 0ms, 3s},
    {"LongitudDesmesurada", Averia::LongitudDesmesurada, limites(), 0ms, 3s},
    {"CabecerasSinFin", Averia::CabecerasSinFin, limites(), 0ms, 3s},
    {"ProvisionalesSinFin", Averia::ProvisionalesSinFin, limites(), 0ms, 3s},
    // Certificados del servidor que no se aceptan (el servidor contestaría bien).
    {"CertificadoCaducado", Averia::Ninguna, limites(), 0ms, 3s, valido(-2 * Dia, -Dia)},
    {"CertificadoAunNoValido", Averia::Ninguna, limites(), 0ms, 3s, valido(Dia, 2 * Dia)},
    {"CertificadoDeOtroServidor", Averia::Ninguna, limites(), 0ms, 3s, deOtroServidor()},
    {"CertificadoAutofirmado", Averia::Ninguna, limites(), 0ms, 3s, autofirmado()},
};

class ServidorConAveria : public ::testing::TestWithParam<Caso> {
protected:
    void SetUp() override {
        raiz = fs::temp_directory_path() /
               ("morvelin-averias-" + std::to_string(::getpid()) + "-" + GetParam().nombre);
        fs::create_directories(raiz);
        // Una factura de 3000 "A": el servidor averiado no mira la firma.
        std::string base64;
        for (int i = 0; i < 1000; ++i)
            base64 += "QUFB";
        escribirTodo(raiz / "f.sig",
                     "<NOMFIC>f.xml</NOMFIC><FACB64>" + base64 + "</FACB64><FIRB64>QUJD</FIRB64>");
    }
    void TearDown() override { fs::remove_all(raiz); }

    fs::path raiz;
};

} // namespace

TEST_P(ServidorConAveria, AcabaDentroDeSuLimiteConSuResultado) {
    const Caso& c = GetParam();
    ServidorAveriado servidor(c.averia, c.certificado, c.pausa);
    servidor.grabarAutoridad((raiz / "autoridad.pem").string());
    soloEstaAutoridad((raiz / "autoridad.pem").string());
    const fs::path destino = raiz / "destino.xml";
    const std::string anterior = "la factura que ya estaba";
    escribirTodo(destino, anterior);

    const auto inicio = Reloj::now();
    const std::string resultado =
        verificar((raiz / "f.sig").string(), destino.string(), {servidor.direccion(), c.limites});
    const auto duracion =
        std::chrono::duration_cast<std::chrono::milliseconds>(Reloj::now() - inicio);
    servidor.parar();
    RecordProperty("duracion_ms", std::to_string(duracion.count()));

    EXPECT_EQ(resultado, c.resultado ? c.resultado : cargarMensaje(SinConexion));
    EXPECT_GE(duracion, c.minimo);
    EXPECT_LT(duracion, c.maximo);
    EXPECT_EQ(servidor.conexiones(), 1u) << "el cliente llegó al servidor, una sola vez";
    const std::string queda = leerTodo(destino);
    if (c.resultado)
        EXPECT_EQ(queda, std::string(3000, 'A')) << "la factura se graba";
    else
        EXPECT_TRUE(queda == anterior) << "el destino cambió: " << queda.size() << " bytes";
    std::size_t ficheros = 0;
    for ([[maybe_unused]] const auto& f : fs::directory_iterator(raiz))
        ++ficheros;
    EXPECT_EQ(ficheros, 3u) << "ni temporales al lado del destino";
}

INSTANTIATE_TEST_SUITE_P(FallosDeRed, ServidorConAveria, ::testing::ValuesIn(Casos),
                         [](const auto& info) { return std::string(info.param.nombre); });

TEST(FallosDeRed, ElLimiteTotalAlcanzaALaResolucionDelNombre) {
    // El cliente pide a libcurl que no use señales; solo con la resolución en otro hilo sigue
    // cortándola el límite total, y ningún intercambio pasa de 10 min.
    const curl_version_info_data* v = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(v, nullptr);
    EXPECT_NE(v->features & CURL_VERSION_ASYNCHDNS, 0) << v->version;
}
