// servidor-averiado: el servidor HTTPS averiado de las pruebas de red como programa, para
// probar el cliente de otra plataforma (el componente para Windows bajo Wine) con las mismas
// averías. Atiende con una sola avería hasta SIGTERM o SIGINT y dice entonces cuántas
// conexiones aceptó.
//
//   servidor-averiado --averia NOMBRE --puerto N --autoridad FICHERO --clave-autoridad FICHERO
//                     [--certificado caducado|aun-no-valido|otro-servidor|autofirmado]
//                     [--pausa-ms N] [--listo-en FICHERO]
#include "servidor_averiado.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <pthread.h>

using namespace morvelin::pruebas;

int main(int argc, char** argv) {
    const std::map<std::string, Averia> averias = {
        {"ninguna", Averia::Ninguna},
        {"sin-longitud", Averia::SinLongitud},
        {"acepta-y-calla", Averia::AceptaYCalla},
        {"no-lee-la-peticion", Averia::NoLeeLaPeticion},
        {"cierra-sin-contestar", Averia::CierraSinContestar},
        {"cierra-en-las-cabeceras", Averia::CierraEnLasCabeceras},
        {"cierra-tras-provisional", Averia::CierraTrasProvisional},
        {"cierra-a-mitad-del-cuerpo", Averia::CierraAMitadDelCuerpo},
        {"corta-a-mitad-del-cuerpo", Averia::CortaAMitadDelCuerpo},
        {"cierra-a-mitad-de-un-trozo", Averia::CierraAMitadDeUnTrozo},
        {"corta-cuerpo-sin-longitud", Averia::CortaCuerpoSinLongitud},
        {"gotea", Averia::Gotea},
        {"cuerpo-sin-fin", Averia::CuerpoSinFin},
        {"longitud-desmesurada", Averia::LongitudDesmesurada},
        {"cabeceras-sin-fin", Averia::CabecerasSinFin},
        {"provisionales-sin-fin", Averia::ProvisionalesSinFin},
    };
    const long dia = 24 * 3600;
    std::map<std::string, CertificadoServidor> certificados = {{"valido", {}}};
    certificados["caducado"].desde = -2 * dia;
    certificados["caducado"].hasta = -dia;
    certificados["aun-no-valido"].desde = dia;
    certificados["aun-no-valido"].hasta = 2 * dia;
    certificados["otro-servidor"].nombresDns = {"otro.ejemplo"};
    certificados["otro-servidor"].ips = {"127.0.0.2"};
    certificados["autofirmado"].autofirmado = true;

    CLI::App app("Servidor HTTPS averiado en 127.0.0.1, para pruebas de red.", "servidor-averiado");
    app.set_help_flag("-h,--ayuda", "Muestra esta ayuda");
    Averia averia = Averia::Ninguna;
    std::string certificado = "valido", listoEn;
    Escucha escucha;
    long pausa = 100;
    app.add_option("--averia", averia, "La avería de cada conexión")
        ->required()
        ->transform(CLI::CheckedTransformer(averias));
    app.add_option("--puerto", escucha.puerto, "Puerto en 127.0.0.1")->required();
    app.add_option("--autoridad", escucha.autoridad, "Certificado de la autoridad (PEM)")
        ->required();
    app.add_option("--clave-autoridad", escucha.claveAutoridad, "Su clave privada (PEM)")
        ->required();
    app.add_option("--certificado", certificado, "El certificado que presenta")
        ->check(CLI::IsMember(certificados));
    app.add_option("--pausa-ms", pausa, "Pausa entre byte y byte al gotear")
        ->check(CLI::Range(0, 60000));
    app.add_option("--listo-en", listoEn, "Fichero que se crea cuando ya escucha");
    CLI11_PARSE(app, argc, argv);

    // Las señales de parada se esperan en el hilo principal: el del servidor no las ve.
    sigset_t parada;
    sigemptyset(&parada);
    sigaddset(&parada, SIGTERM);
    sigaddset(&parada, SIGINT);
    pthread_sigmask(SIG_BLOCK, &parada, nullptr);

    try {
        ServidorAveriado servidor(averia, certificados.at(certificado),
                                  std::chrono::milliseconds(pausa), escucha);
        if (!listoEn.empty()) {
            const std::string temporal = listoEn + ".tmp";
            std::ofstream(temporal) << servidor.direccion() << '\n';
            std::rename(temporal.c_str(), listoEn.c_str());
        }
        int senal = 0;
        sigwait(&parada, &senal);
        servidor.parar();
        std::cout << "conexiones " << servidor.conexiones() << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "servidor-averiado: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
