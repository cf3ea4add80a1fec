// VERIFICA de un fichero de firma con una factura de 64 MiB contra el servicio local (en otro
// proceso, para que su memoria no cuente): tiempo total, memoria máxima del proceso durante la
// verificación comparada con el tamaño del fichero de firma, y velocidad de la codificación
// para URL del cuerpo y de la decodificación base64 de la factura.
#include "credenciales.h"
#include "infraestructura/codificacion.h"
#include "operaciones/verificacion_en_linea.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
namespace sl = servicio_local;
using Reloj = std::chrono::steady_clock;

namespace {

constexpr std::size_t MiB = 1024 * 1024;
constexpr std::size_t TamanoFactura = 64 * MiB;

double segundos(Reloj::duration d) {
    return std::chrono::duration<double>(d).count();
}

/// Tiempo de procesador del hilo: en una máquina compartida, lo que costó de verdad.
double cpuHilo() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// Memoria residente máxima del proceso (VmHWM), en bytes.
std::size_t picoMemoria() {
    std::ifstream f("/proc/self/status");
    for (std::string linea; std::getline(f, linea);)
        if (linea.rfind("VmHWM:", 0) == 0)
            return std::stoul(linea.substr(6)) * 1024;
    return 0;
}

/// Vuelve a contar el pico de memoria desde la residente actual.
bool reiniciarPico() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    f.close();
    return static_cast<bool>(f);
}

std::string mib(double bytes) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f MiB", bytes / MiB);
    return b;
}

} // namespace

int main() {
    const fs::path carpeta =
        fs::temp_directory_path() / ("bench-verifica-" + std::to_string(getpid()));
    fs::create_directories(carpeta);
    const std::string firmado = (carpeta / "factura.sig").string();
    const std::string destino = (carpeta / "factura.xml").string();
    const std::string autoridad = (carpeta / "autoridad.pem").string();
    const std::string direccionEn = (carpeta / "direccion").string();

    // El fichero de firma, hecho aquí y soltado antes de medir.
    {
        std::string factura(TamanoFactura, '\0');
        std::mt19937_64 azar(42);
        for (std::size_t i = 0; i + 8 <= factura.size(); i += 8) {
            const auto v = azar();
            std::memcpy(factura.data() + i, &v, 8);
        }
        auto clave = sl::claveRsa();
        sl::DatosCertificado d;
        d.sujeto = {{"serialNumber", "12345678Z"},
                    {"CN", "NOMBRE PRUEBA RENDIMIENTO - NIF 12345678Z"}};
        auto certificado = sl::emitir(d, clave.get());
        const std::string firma =
            sl::firmaSeparada(sl::resumenSha1Hex(factura), certificado.get(), clave.get());
        std::ofstream f(firmado, std::ios::binary);
        f << "<NOMFIC>\r\nfactura.xml\r\n</NOMFIC>\r\n<FACB64>\r\n"
          << morvelin::codificarBase64(factura) << "\r\n</FACB64>\r\n<FIRB64>\r\n"
          << morvelin::codificarBase64(firma) << "\r\n</FIRB64>\r\n";
    }
    const auto tamanoFirmado = static_cast<double>(fs::file_size(firmado));

    // El servicio, en su propio proceso.
    const pid_t servicio = fork();
    if (servicio == 0) {
        if (!std::freopen("/dev/null", "w", stdout))
            _exit(127);
        execl(SERVICIO_VERIFICACION, SERVICIO_VERIFICACION, "--autoridad", autoridad.c_str(),
              "--direccion-en", direccionEn.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && !fs::exists(direccionEn); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string url;
    std::ifstream(direccionEn) >> url;
    if (url.empty()) {
        std::cerr << "bench_verifica: el servicio local no ha arrancado\n";
        kill(servicio, SIGTERM);
        return 1;
    }
    setenv("CURL_CA_BUNDLE", autoridad.c_str(), 1);
    unsetenv("SSL_CERT_FILE");
    unsetenv("SSL_CERT_DIR");
    setenv("no_proxy", "127.0.0.1", 1);

    const bool picoReiniciado = reiniciarPico();
    const std::size_t base = picoMemoria();
    const auto inicio = Reloj::now();
    const double cpuInicio = cpuHilo();
    const std::string resultado =
        morvelin::verificar(firmado, destino, morvelin::ServicioVerificacion{url, {}});
    const double cpuTotal = cpuHilo() - cpuInicio;
    const double total = segundos(Reloj::now() - inicio);
    const std::size_t pico = picoMemoria();

    kill(servicio, SIGTERM);
    waitpid(servicio, nullptr, 0);

    // Las dos codificaciones del camino, por separado, sobre los mismos datos.
    morvelin::RegistroFirma registro;
    {
        std::FILE* f = std::fopen(firmado.c_str(), "rb");
        morvelin::leerFicheroFirma(f, registro);
        std::fclose(f);
    }
    // La mejor de tres pasadas: la máquina se comparte y una pasada suelta puede caer en mal
    // momento.
    const std::string cuerpo = morvelin::cuerpoPeticion(registro);
    const double tamanoCuerpo = static_cast<double>(cuerpo.size());
    double codificar = 1e9, decodificar = 1e9, cpuCodificar = 1e9, cpuDecodificar = 1e9;
    std::string bytes;
    for (int pasada = 0; pasada < 3; ++pasada) {
        std::string copia = cuerpo;
        auto t = Reloj::now();
        double c = cpuHilo();
        morvelin::codificarUrl(copia);
        cpuCodificar = std::min(cpuCodificar, cpuHilo() - c);
        codificar = std::min(codificar, segundos(Reloj::now() - t));
        copia = std::string();
        bytes = std::string();
        t = Reloj::now();
        c = cpuHilo();
        bytes = morvelin::decodificarBase64(registro.facturaBase64);
        cpuDecodificar = std::min(cpuDecodificar, cpuHilo() - c);
        decodificar = std::min(decodificar, segundos(Reloj::now() - t));
    }
    std::ostringstream grabada;
    grabada << std::ifstream(destino, std::ios::binary).rdbuf();
    const bool igual = bytes.size() == TamanoFactura && grabada.str() == bytes;
    fs::remove_all(carpeta);

    std::printf("Resultado: %s\n", resultado.c_str());
    std::printf("Factura grabada completa: %s\n", igual ? "sí" : "NO");
    std::printf("Fichero de firma: %s (factura de %s)\n", mib(tamanoFirmado).c_str(),
                mib(TamanoFactura).c_str());
    std::printf("VERIFICA: %.2f s en total (%.2f s de procesador en el cliente; el resto, el "
                "servicio y la carga de la máquina)\n",
                total, cpuTotal);
    std::printf("Memoria máxima: %s (%.2f veces el fichero de firma; objetivo < 4; %s de base)%s\n",
                mib(static_cast<double>(pico)).c_str(), pico / tamanoFirmado,
                mib(static_cast<double>(base)).c_str(),
                picoReiniciado ? "" : " [sin reiniciar el pico: incluye la preparación]");
    const double tamanoBase64 = static_cast<double>(registro.facturaBase64.size());
    std::printf("codificarUrl: %.0f MB/s (%.0f MB/s por segundo de procesador; objetivo >= 300)\n",
                tamanoCuerpo / codificar / 1e6, tamanoCuerpo / cpuCodificar / 1e6);
    std::printf("decodificarBase64: %.0f MB/s (%.0f MB/s por segundo de procesador; objetivo >= "
                "300)\n",
                tamanoBase64 / decodificar / 1e6, tamanoBase64 / cpuDecodificar / 1e6);
    return resultado.compare(0, 2, "00") == 0 && igual ? 0 : 1;
}
