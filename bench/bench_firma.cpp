// Rendimiento de FIRMA.
//
// 1. Una factura de 256 MiB: tiempo y memoria residente máxima de FIRMA, junto al de la misma
//    tarea hecha con herramientas (openssl dgst -sha1, base64 -w0 y openssl cms -sign) sobre el
//    mismo fichero. Objetivo: no más lento que las herramientas y memoria máxima de a lo sumo
//    el tamaño de la factura más 64 MiB.
// 2. Una factura de 50 KiB: mediana de la latencia de FIRMA en el proceso con un certificado en
//    el almacén (objetivo: menos de 10 ms) y con 20 (el buscado, el último).
//
// Uso: bench_firma [MiB de la factura grande] (256 por omisión). Trabaja en $TMPDIR o /tmp.
#include "apoyo.h"
#include "metodos.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Reloj = std::chrono::steady_clock;

using bench::abandonar;
using bench::conComas;
using bench::mediana;
using bench::orden;

namespace {

double segundosDesde(Reloj::time_point t) {
    return std::chrono::duration<double>(Reloj::now() - t).count();
}

// Un certificado RSA 2048 con su clave, en PEM, con el identificador en el número de serie.
void crearCertificado(const fs::path& pem, const std::string& nif) {
    orden("openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/C=ES/serialNumber=" + nif +
          "/SN=PRUEBA/GN=BANCO/CN=NOMBRE PRUEBA BANCO - NIF " + nif + "' -keyout '" + pem.string() +
          ".key' -out '" + pem.string() + "' 2>/dev/null");
    orden("cat '" + pem.string() + ".key' >> '" + pem.string() + "' && rm '" + pem.string() +
          ".key'");
}

// Factura pseudoaleatoria (incompresible) escrita por trozos, sin tenerla entera en memoria.
void crearFactura(const fs::path& ruta, std::size_t bytes) {
    std::ofstream f(ruta, std::ios::binary);
    std::mt19937_64 g(42);
    std::vector<std::uint64_t> trozo(1 << 17);
    for (std::size_t hecho = 0; hecho < bytes;) {
        for (auto& v : trozo)
            v = g();
        const std::size_t n = std::min(bytes - hecho, trozo.size() * sizeof(std::uint64_t));
        f.write(reinterpret_cast<const char*>(trozo.data()), static_cast<std::streamsize>(n));
        hecho += n;
    }
    if (!f)
        abandonar("no se puede escribir la factura de prueba");
}

struct Medida {
    double segundos;
    double cpu; // usuario + sistema, del hijo y de los suyos
    long maximaKiB;
    int estado;
};

// Ejecuta `trabajo` en un proceso hijo y mide su tiempo y su memoria residente máxima.
template <class Trabajo> Medida enHijo(Trabajo trabajo) {
    const auto t = Reloj::now();
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(trabajo());
    int st = 0;
    rusage uso{};
    ::wait4(pid, &st, 0, &uso);
    const auto s = [](timeval v) {
        return static_cast<double>(v.tv_sec) + v.tv_usec / 1e6;
    };
    return {segundosDesde(t), s(uso.ru_utime) + s(uso.ru_stime), uso.ru_maxrss,
            WIFEXITED(st) ? WEXITSTATUS(st) : -1};
}

double latenciaMediana(const std::string& factura, const std::string& nif,
                       const std::string& destino, int veces) {
    std::vector<double> ms;
    for (int i = 0; i < veces; ++i) {
        const auto t = Reloj::now();
        const std::string r = morvelin::FIRMA(factura, nif, destino);
        ms.push_back(segundosDesde(t) * 1000);
        if (!r.starts_with("00"))
            abandonar("FIRMA no firma: " + r);
    }
    return mediana(ms);
}

} // namespace

int main(int argc, char** argv) {
    bench::programa = "bench_firma";
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const char* tmp = std::getenv("TMPDIR");
    const fs::path raiz =
        fs::path(tmp && *tmp ? tmp : "/tmp") / ("bench-firma-" + std::to_string(::getpid()));
    fs::create_directories(raiz / "datos/MORVELIN/MY");
    ::setenv("XDG_DATA_HOME", (raiz / "datos").c_str(), 1);
    const fs::path almacen = raiz / "datos/MORVELIN/MY";
    crearCertificado(almacen / "m-firmante.pem", "12345678Z");

    // 1. Factura grande.
    const fs::path grande = raiz / "grande.xml";
    crearFactura(grande, mib << 20);
    orden("cat '" + grande.string() + "' > /dev/null"); // en la caché de páginas para ambos
    const std::string destino = (raiz / "grande.sig").string();
    const Medida firma = enHijo([&] {
        const std::string r = morvelin::FIRMA(grande.string(), "12345678Z", destino);
        return r.starts_with("00") ? 0 : 1;
    });
    if (firma.estado != 0)
        abandonar("FIRMA de la factura grande no firma");
    const std::string cert = (almacen / "m-firmante.pem").string();
    const std::string g = grande.string(), r = raiz.string();
    const Medida herramientas = enHijo([&] {
        const std::string tuberia =
            "openssl dgst -sha1 -r '" + g + "' | cut -c1-40 | tr a-f A-F | tr -d '\\n' > '" + r +
            "/resumen.txt' && base64 -w0 '" + g + "' > '" + r +
            "/factura.b64' && openssl cms -sign -binary -md sha1 -nosmimecap -in '" + r +
            "/resumen.txt' -signer '" + cert + "' -outform DER -out '" + r + "/firma.der'";
        return std::system(tuberia.c_str()) == 0 ? 0 : 1;
    });
    if (herramientas.estado != 0)
        abandonar("la tubería de herramientas falla");

    const double limiteMiB = static_cast<double>(mib) + 64;
    const double maximaMiB = static_cast<double>(firma.maximaKiB) / 1024;
    std::printf("FIRMA de una factura de %zu MiB (tiempo real; entre paréntesis, de CPU)\n", mib);
    std::printf("  FIRMA:                                   %8s s (%s s)\n",
                conComas(firma.segundos, 3).c_str(), conComas(firma.cpu, 3).c_str());
    std::printf("  openssl dgst + base64 -w0 + openssl cms: %8s s (%s s)\n",
                conComas(herramientas.segundos, 3).c_str(), conComas(herramientas.cpu, 3).c_str());
    std::printf("  razón FIRMA / herramientas:              %8s   (objetivo: 1 o menos) %s\n",
                conComas(firma.segundos / herramientas.segundos, 2).c_str(),
                firma.segundos <= herramientas.segundos ? "cumple" : "NO CUMPLE");
    std::printf("  memoria residente máxima de FIRMA:       %8s MiB (límite %s MiB) %s\n",
                conComas(maximaMiB, 1).c_str(), conComas(limiteMiB, 0).c_str(),
                maximaMiB <= limiteMiB ? "cumple" : "NO CUMPLE");
    fs::remove(grande);
    fs::remove(destino);
    fs::remove(raiz / "factura.b64");

    // 2. Factura de 50 KiB.
    const fs::path pequena = raiz / "pequena.xml";
    crearFactura(pequena, 50 << 10);
    const std::string destinoPequena = (raiz / "pequena.sig").string();
    latenciaMediana(pequena.string(), "12345678Z", destinoPequena, 5); // calentamiento
    const double uno = latenciaMediana(pequena.string(), "12345678Z", destinoPequena, 101);
    // La misma llamada con el fichero de firma en memoria (/dev/shm): lo que cuesta el
    // componente sin la espera del disco al volcar el fichero.
    const bool hayShm = fs::is_directory("/dev/shm");
    const std::string enMemoria = "/dev/shm/bench-firma-" + std::to_string(::getpid()) + ".sig";
    const double unoEnMemoria =
        hayShm ? latenciaMediana(pequena.string(), "12345678Z", enMemoria, 101) : 0;
    // 19 certificados más que van antes por nombre: el buscado es el último que se enumera.
    for (int i = 0; i < 19; ++i) {
        char nif[16];
        std::snprintf(nif, sizeof nif, "%08dA", 10000000 + i);
        crearCertificado(almacen / ("a-" + std::to_string(100 + i) + ".pem"), nif);
    }
    const double veinte = latenciaMediana(pequena.string(), "12345678Z", destinoPequena, 101);
    const double veinteEnMemoria =
        hayShm ? latenciaMediana(pequena.string(), "12345678Z", enMemoria, 101) : 0;
    fs::remove(enMemoria);
    std::printf("FIRMA de una factura de 50 KiB, mediana de 101 llamadas (objetivo: menos de "
                "10 ms)\n");
    std::printf("  almacén de 1 certificado,   firma en %s: %7s ms %s\n", raiz.c_str(),
                conComas(uno, 2).c_str(), uno < 10 ? "cumple" : "NO CUMPLE");
    if (hayShm)
        std::printf("  almacén de 1 certificado,   firma en /dev/shm: %7s ms %s\n",
                    conComas(unoEnMemoria, 2).c_str(), unoEnMemoria < 10 ? "cumple" : "NO CUMPLE");
    std::printf("  almacén de 20 certificados, firma en %s: %7s ms\n", raiz.c_str(),
                conComas(veinte, 2).c_str());
    if (hayShm)
        std::printf("  almacén de 20 certificados, firma en /dev/shm: %7s ms\n",
                    conComas(veinteEnMemoria, 2).c_str());
    std::printf("  (la diferencia entre las dos carpetas es la espera del disco al volcar el "
                "fichero de firma)\n");

    fs::remove_all(raiz);
    return 0;
}
