// Rendimiento del envío de VERI*FACTU: registros por segundo de la cola de una cadena SQLite a
// «aceptado» por el doble local de la agencia, en envíos de 1000 sobre TLS con certificado de
// cliente (RSA 2048 en un almacén de carpeta), y la memoria máxima del proceso que envía.
// Objetivos: 2.000 registros/s; menos de 64 MiB.
//
// El doble corre en su propio proceso (servicio-verifactu) y el que envía es un proceso nuevo
// (este mismo programa con --enviar), para que su memoria sea solo la suya.
//
// Uso: bench_verifactu_envio [registros] (10.000 por omisión). Trabaja en $TMPDIR o /var/tmp.
#include "apoyo.h"
#include "verifactu/cadena.h"
#include "verifactu/ordenes.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
namespace vf = morvelin::verifactu;
using Reloj = std::chrono::steady_clock;

namespace {

constexpr const char* Nif = "89890001K";

int enviar(const std::string& cadena, const std::string& servicio, const std::string& autoridad) {
    vf::Ordenes ordenes(cadena);
    const auto t = Reloj::now();
    const auto s = ordenes.envia({false, Nif, servicio, autoridad}, [](std::int64_t) {});
    const double segundos = std::chrono::duration<double>(Reloj::now() - t).count();
    if (!s.correcto)
        bench::abandonar("el envío no ha ido bien: " + s.texto.substr(s.texto.rfind('\n') + 1));
    std::printf("%.6f\n", segundos);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    bench::programa = "bench_verifactu_envio";
    if (argc == 5 && std::string(argv[1]) == "--enviar")
        return enviar(argv[2], argv[3], argv[4]);
    const long registros = argc > 1 ? std::atol(argv[1]) : 10000;
    const char* tmp = std::getenv("TMPDIR");
    const fs::path carpeta = fs::path(tmp && *tmp ? tmp : "/var/tmp") /
                             ("bench-verifactu-envio-" + std::to_string(::getpid()));
    fs::remove_all(carpeta);
    const fs::path almacen = carpeta / "datos/MORVELIN/MY";
    fs::create_directories(almacen);
    ::setenv("XDG_DATA_HOME", (carpeta / "datos").c_str(), 1);
    ::setenv("HOME", carpeta.c_str(), 1);
    ::unsetenv("MORVELIN_NSSDB");
    const std::string certificado = (almacen / "obligado.pem").string();
    bench::orden("openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "
                 "'/serialNumber=" +
                 std::string(Nif) + "/CN=TALLERES EJEMPLO' -keyout '" +
                 (carpeta / "clave.pem").string() + "' -out '" + (carpeta / "cert.pem").string() +
                 "' 2>/dev/null && cat '" + (carpeta / "cert.pem").string() + "' '" +
                 (carpeta / "clave.pem").string() + "' > '" + certificado + "'");

    // La cadena, en una transacción (no se mide), con la hora de ahora: la que admite el doble.
    const std::string cadena = (carpeta / "cadena.sqlite").string();
    {
        auto a = vf::abrirAlmacen(cadena);
        const vf::Alta base = vf::leerAltaJson(
            R"({"IDEmisorFactura":"89890001K","NumSerieFactura":"B-0",
                "FechaExpedicionFactura":"03-02-2025","NombreRazonEmisor":"Talleres Ejemplo",
                "TipoFactura":"F1","DescripcionOperacion":"Reparación",
                "Destinatarios":[{"NombreRazon":"Cliente","NIF":"89890002E"}],
                "Desglose":[{"ClaveRegimen":"01","CalificacionOperacion":"S1",
                             "TipoImpositivo":"21","BaseImponibleOimporteNoSujeto":"100.00",
                             "CuotaRepercutida":"21.00"}],
                "CuotaTotal":"21.00","ImporteTotal":"121.00"})");
        const std::string hora = vf::fechaHoraHuso(std::time(nullptr));
        long n = 0;
        a->anadirVarios(static_cast<std::size_t>(registros), [&](vf::Transaccion& t) {
            vf::Alta al = base;
            al.idFactura.numSerieFactura = "B-" + std::to_string(++n);
            return vf::construirAlta(t, t.ultimo(), al, hora);
        });
    }

    const std::string direccionEn = (carpeta / "direccion").string();
    const std::string autoridad = (carpeta / "autoridad.pem").string();
    const pid_t doble = ::fork();
    if (doble == 0) {
        if (!std::freopen("/dev/null", "w", stdout))
            ::_exit(127);
        ::execl(SERVICIO_VERIFACTU, SERVICIO_VERIFACTU, "--autoridad", autoridad.c_str(),
                "--clientes", (carpeta / "cert.pem").c_str(), "--espera", "0", "--direccion-en",
                direccionEn.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 200 && !fs::exists(direccionEn); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string servicio;
    std::getline(std::ifstream(direccionEn), servicio);
    if (servicio.empty()) {
        ::kill(doble, SIGTERM);
        bench::abandonar("el doble de la agencia no ha arrancado");
    }

    const std::string salida = (carpeta / "segundos").string();
    const pid_t hijo = ::fork();
    if (hijo == 0) {
        if (!std::freopen(salida.c_str(), "w", stdout))
            ::_exit(127);
        ::execl("/proc/self/exe", argv[0], "--enviar", cadena.c_str(), servicio.c_str(),
                autoridad.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int estado = 0;
    rusage uso{};
    ::wait4(hijo, &estado, 0, &uso);
    ::kill(doble, SIGTERM);
    ::waitpid(doble, nullptr, 0);
    double segundos = 0;
    std::ifstream(salida) >> segundos;
    fs::remove_all(carpeta);
    if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0 || segundos <= 0)
        bench::abandonar("el proceso que envía no ha acabado bien");
    std::printf("Envío de %ld registros en envíos de 1000 (TLS con certificado de cliente, "
                "SQLite): %s s, %s registros/s (objetivo: 2.000); memoria máxima del que envía: "
                "%s MiB (objetivo: menos de 64)\n",
                registros, bench::conComas(segundos, 2).c_str(),
                bench::conComas(static_cast<double>(registros) / segundos, 0).c_str(),
                bench::conComas(static_cast<double>(uso.ru_maxrss) / 1024, 1).c_str());
    return 0;
}
