// servicio-verifactu: el doble local del servicio VERI*FACTU de la agencia como programa, para
// la demostración y las pruebas de rendimiento.
//
//   servicio-verifactu --autoridad FICHERO --clientes FICHERO [--puerto N]
//                      [--direccion-en FICHERO] [--espera SEGUNDOS] [--codigo SERIE=CÓDIGO]...
//
// Graba su autoridad en FICHERO, admite a los clientes cuyos certificados verifican los de
// --clientes (PEM), escribe su dirección en la salida estándar (y en el fichero de
// --direccion-en, cuando está lista) y atiende hasta recibir SIGTERM o SIGINT.
#include "servicio_verifactu.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <pthread.h>

int main(int argc, char** argv) {
    CLI::App app("Doble local del servicio VERI*FACTU, para pruebas y demostración.",
                 "servicio-verifactu");
    app.set_help_flag("-h,--ayuda", "Muestra esta ayuda");
    std::string autoridad, clientes, direccionEn;
    unsigned short puerto = 0;
    servicio_local::ComportamientoVerifactu comportamiento;
    std::vector<std::string> codigos;
    app.add_option("--autoridad", autoridad, "Fichero donde grabar la autoridad (PEM)")->required();
    app.add_option("--clientes", clientes, "Certificados que verifican a los clientes (PEM)")
        ->required();
    app.add_option("--puerto", puerto, "Puerto en 127.0.0.1 (0: uno libre)");
    app.add_option("--direccion-en", direccionEn, "Fichero donde escribir la dirección");
    app.add_option("--espera", comportamiento.tiempoEspera, "TiempoEsperaEnvio, en segundos");
    app.add_option("--codigo", codigos, "SERIE=CÓDIGO: código de la agencia para una serie")
        ->allow_extra_args(false);
    CLI11_PARSE(app, argc, argv);
    for (const auto& c : codigos) {
        const auto igual = c.rfind('=');
        try {
            comportamiento.codigoPorSerie[c.substr(0, igual)] = std::stoi(c.substr(igual + 1));
        } catch (const std::exception&) {
            std::cerr << "servicio-verifactu: --codigo es SERIE=CÓDIGO (" << c << ").\n";
            return 2;
        }
    }

    sigset_t parada;
    sigemptyset(&parada);
    sigaddset(&parada, SIGTERM);
    sigaddset(&parada, SIGINT);
    pthread_sigmask(SIG_BLOCK, &parada, nullptr);

    try {
        std::ifstream f(clientes, std::ios::binary);
        const std::string pem{std::istreambuf_iterator<char>(f), {}};
        servicio_local::ServicioVerifactu servicio(pem, puerto);
        servicio.comportamiento(comportamiento);
        servicio.grabarAutoridad(autoridad);
        std::cout << servicio.direccion() << std::endl;
        if (!direccionEn.empty()) {
            const std::string temporal = direccionEn + ".tmp";
            std::ofstream(temporal) << servicio.direccion() << '\n';
            std::rename(temporal.c_str(), direccionEn.c_str());
        }
        int senal = 0;
        sigwait(&parada, &senal);
        servicio.parar();
    } catch (const std::exception& e) {
        std::cerr << "servicio-verifactu: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
