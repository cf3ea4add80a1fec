// Rendimiento de VERI*FACTU.
//
// 1. Añadir un alta con durabilidad (validación, XML, transacción confirmada en el disco):
//    mediana sobre un fichero SQLite en disco (no en tmpfs) y sobre un PostgreSQL privado.
//    Objetivos: 5 ms (SQLite) y 10 ms (PostgreSQL).
// 2. comprueba sobre una cadena de 1.000.000 de registros (SQLite). Objetivo: 200.000
//    registros/s. Con la cifra, el tiempo de CPU por registro y la carga de la máquina: el
//    primero no depende de la segunda.
// 3. El QR de una factura en PNG (300 ppp, 40 mm y 6 mm de margen). Objetivo: 2 ms.
// 4. Sin remisión, con el certificado RSA 2048 en la carpeta del almacén: un alta firmada
//    (XAdES-EPES) y guardada en SQLite en disco, como la orden alta (busca el certificado y
//    firma). Objetivo: 10 ms (mediana). Y comprueba con las firmas de 2.000 registros y sus
//    eventos. Objetivo: 500 registros/s.
// Junto a cada cifra, lo que tarda sha256sum sobre los mismos textos de huella (en un fichero).
//
// Uso: bench_verifactu [registros de la cadena larga] (1.000.000 por omisión). Trabaja en
// $TMPDIR o /var/tmp.
#include "apoyo.h"
#include "postgresql_privado.h"
#include "verifactu/cadena.h"
#include "verifactu/comprobacion.h"
#include "verifactu/eventos.h"
#include "verifactu/huella.h"
#include "verifactu/ordenes.h"
#include "verifactu/qr.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
namespace vf = morvelin::verifactu;
using Reloj = std::chrono::steady_clock;

using bench::abandonar;
using bench::conComas;
using bench::mediana;

namespace {

constexpr long Tmpfs = 0x01021994;

// El tiempo de CPU del proceso (todos sus hilos), que no depende de la carga de la máquina.
double segundosDeCpu() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ms(Reloj::time_point desde) {
    return std::chrono::duration<double, std::milli>(Reloj::now() - desde).count();
}

std::string altaJson(long n) {
    return R"({"IDEmisorFactura":"89890001K","NumSerieFactura":"B-)" + std::to_string(n) +
           R"(","FechaExpedicionFactura":"03-02-2025","NombreRazonEmisor":"Talleres Ejemplo",
       "TipoFactura":"F1","DescripcionOperacion":"Reparación",
       "Destinatarios":[{"NombreRazon":"Cliente","NIF":"89890002E"}],
       "Desglose":[{"ClaveRegimen":"01","CalificacionOperacion":"S1","TipoImpositivo":"21",
                    "BaseImponibleOimporteNoSujeto":"100.00","CuotaRepercutida":"21.00"}],
       "CuotaTotal":"21.00","ImporteTotal":"121.00"})";
}

// sha256sum sobre los textos de huella de la cadena, uno por línea, en un fichero.
double sha256sumMs(vf::AlmacenCadena& a, const fs::path& fichero) {
    {
        std::ofstream f(fichero, std::ios::binary);
        std::string xml;
        a.recorrer(1, vf::HastaElFinal, true, [&](const vf::VistaRegistro& r) {
            xml = r.xml;
            const auto l = vf::leerRegistro(xml);
            f << vf::textoHuella(vf::CamposHuellaAlta{
                     l->idEmisor, l->numSerie, l->fechaExpedicion, l->tipoFactura, l->cuotaTotal,
                     l->importeTotal, l->anterior.huella, l->fechaHoraHusoGenRegistro})
              << '\n';
            return true;
        });
    }
    const auto t = Reloj::now();
    bench::orden("sha256sum '" + fichero.string() + "' >/dev/null");
    const double r = ms(t);
    fs::remove(fichero);
    return r;
}

void medirAnadir(const std::string& nombre, const std::string& destino, const fs::path& carpeta,
                 double objetivo) {
    auto a = vf::abrirAlmacen(destino);
    std::vector<double> tiempos;
    const auto reloj = vf::relojDelSistema();
    for (long i = 0; i < 300; ++i) {
        const auto alta = vf::leerAltaJson(altaJson(i));
        const auto t = Reloj::now();
        vf::anadirAlta(*a, alta, reloj);
        tiempos.push_back(ms(t));
    }
    std::printf("Añadir un alta (%s): mediana %s ms (objetivo: %s ms); sha256sum de los 300 "
                "textos: %s ms\n",
                nombre.c_str(), conComas(mediana(tiempos), 2).c_str(),
                conComas(objetivo, 0).c_str(),
                conComas(sha256sumMs(*a, carpeta / "huellas.txt"), 1).c_str());
}

} // namespace

int main(int argc, char** argv) {
    bench::programa = "bench_verifactu";
    const long largos = argc > 1 ? std::atol(argv[1]) : 1000000;
    const char* tmp = std::getenv("TMPDIR");
    const fs::path carpeta = fs::path(tmp && *tmp ? tmp : "/var/tmp") /
                             ("bench-verifactu-" + std::to_string(::getpid()));
    fs::create_directories(carpeta);
    struct statfs sf {};
    if (::statfs(carpeta.c_str(), &sf) == 0 && static_cast<long>(sf.f_type) == Tmpfs)
        std::printf("Aviso: %s está en tmpfs; la cifra de SQLite no es la de un disco.\n",
                    carpeta.c_str());

    medirAnadir("SQLite en disco", (carpeta / "cadena.sqlite").string(), carpeta, 5);
    std::string motivo;
    if (auto pg = pruebas::PostgresqlPrivado::arrancar(motivo))
        medirAnadir("PostgreSQL local", pg->nuevaBase(), carpeta, 10);
    else
        std::printf("Añadir un alta (PostgreSQL): OMITIDA (%s)\n", motivo.c_str());

    // La cadena larga, en una transacción (su construcción no se mide).
    {
        auto a = vf::abrirAlmacen((carpeta / "larga.sqlite").string());
        long n = 0;
        const vf::Alta base = vf::leerAltaJson(altaJson(0));
        a->anadirVarios(static_cast<std::size_t>(largos), [&](vf::Transaccion& t) {
            vf::Alta al = base;
            al.idFactura.numSerieFactura = "L-" + std::to_string(++n);
            return vf::construirAlta(t, t.ultimo(), al, vf::fechaHoraHuso(1738589400 + n));
        });
        const double cpu = segundosDeCpu();
        const auto t = Reloj::now();
        const auto c = vf::comprobarCadena(*a);
        const double segundos = ms(t) / 1000;
        const double cpuPorRegistro = (segundosDeCpu() - cpu) * 1e6 / static_cast<double>(largos);
        if (!c.entera || c.registros != largos)
            abandonar("la cadena larga no está entera: " + c.texto());
        double carga[1] = {0};
        if (::getloadavg(carga, 1) != 1)
            carga[0] = -1;
        std::printf("comprueba sobre %ld registros: %s s, %s registros/s (objetivo: 200.000); "
                    "%s µs de CPU por registro, con %u núcleos y carga %s; sha256sum de sus "
                    "textos de huella: %s s\n",
                    largos, conComas(segundos, 2).c_str(),
                    conComas(static_cast<double>(largos) / segundos, 0).c_str(),
                    conComas(cpuPorRegistro, 2).c_str(), std::thread::hardware_concurrency(),
                    conComas(carga[0], 2).c_str(),
                    conComas(sha256sumMs(*a, carpeta / "huellas.txt") / 1000, 2).c_str());
    }

    // El QR en PNG, en memoria y con el fichero grabado.
    {
        const vf::Alta alta = vf::leerAltaJson(altaJson(1));
        std::vector<double> memoria, fichero;
        for (int i = 0; i < 300; ++i) {
            auto t = Reloj::now();
            const std::string url =
                vf::urlCotejo(alta, vf::Entorno::Produccion, vf::Modo::Verifactu);
            const std::string png = vf::qrPng(url, {});
            memoria.push_back(ms(t));
            t = Reloj::now();
            const auto s = vf::ordenQr(altaJson(1), (carpeta / "qr.png").string(), {},
                                       vf::Entorno::Produccion, vf::Modo::Verifactu);
            fichero.push_back(ms(t));
            if (!s.correcto || png.empty())
                abandonar("el QR no se escribe: " + s.texto);
        }
        std::printf("QR en PNG: mediana %s ms en memoria (objetivo: 2 ms); %s ms desde el JSON "
                    "hasta el fichero en el disco\n",
                    conComas(mediana(memoria), 3).c_str(), conComas(mediana(fichero), 3).c_str());
    }
    // Sin remisión con el certificado en la carpeta.
    {
        const fs::path almacen = carpeta / "datos/MORVELIN/MY";
        fs::create_directories(almacen);
        ::setenv("XDG_DATA_HOME", (carpeta / "datos").c_str(), 1);
        bench::orden("openssl req -x509 -newkey rsa:2048 -nodes -days 30 "
                     "-subj '/C=ES/serialNumber=89890001K/O=Talleres Ejemplo/CN=TALLERES' "
                     "-keyout '" +
                     (almacen / "talleres.key").string() + "' -out '" +
                     (almacen / "talleres.pem").string() + "' 2>/dev/null");
        vf::Ordenes o((carpeta / "firmada.sqlite").string());
        if (const auto m = o.modo("no-verifactu", "89890001K"); !m.correcto)
            abandonar("no se fija el modo sin remisión: " + m.texto);
        constexpr long Firmados = 2000;
        std::vector<double> tiempos;
        for (long i = 0; i < Firmados; ++i) {
            const auto t = Reloj::now();
            const auto r = o.alta(altaJson(i));
            if (i < 300)
                tiempos.push_back(ms(t));
            if (!r.correcto)
                abandonar("el alta firmada no se guarda: " + r.texto);
        }
        std::printf("Sin remisión: alta firmada con la carpeta (RSA 2048) y guardada en SQLite: "
                    "mediana %s ms (objetivo: 10 ms)\n",
                    conComas(mediana(tiempos), 2).c_str());
        auto a = vf::abrirAlmacen((carpeta / "firmada.sqlite").string());
        const std::int64_t ahora = vf::relojDelSistema()();
        const auto t = Reloj::now();
        const auto c = vf::comprobarCadena(*a, 4096, vf::ComprobacionFirmas{"89890001K", ahora});
        const auto e = vf::comprobarEventos(*a, "89890001K", ahora);
        const double segundos = ms(t) / 1000;
        if (!c.entera || c.registros != Firmados || !e.entero)
            abandonar("la cadena firmada no está entera: " + c.texto() + e.texto());
        std::printf("comprueba con las firmas: %ld registros y %lld eventos en %s s, %s "
                    "registros/s (objetivo: 500)\n",
                    Firmados, static_cast<long long>(e.eventos), conComas(segundos, 2).c_str(),
                    conComas(static_cast<double>(Firmados) / segundos, 0).c_str());
    }
    fs::remove_all(carpeta);
    return 0;
}
