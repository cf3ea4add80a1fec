// servicio-verificacion: el servicio de verificación local como programa, para la
// demostración y las pruebas de rendimiento.
//
//   servicio-verificacion --autoridad FICHERO [--puerto N] [--direccion-en FICHERO]
//                         [--revocado ID]... [--no-valido ID]... [--fallo-tecnico]
//
// Graba su autoridad en FICHERO (para que el cliente confíe en ella), escribe su dirección en
// la salida estándar (y en el fichero de --direccion-en, cuando está lista) y atiende hasta
// recibir SIGTERM o SIGINT.
#include "arranque.h"
#include "servicio_local.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <pthread.h>

using servicio_local::anunciarYEsperar;
using servicio_local::reservarSenalesDeParada;

int main(int argc, char** argv) {
    CLI::App app("Servicio de verificación de firmas local, para pruebas y demostración.",
                 "servicio-verificacion");
    app.set_help_flag("-h,--ayuda", "Muestra esta ayuda");
    std::string autoridad, direccionEn;
    unsigned short puerto = 0;
    servicio_local::Comportamiento comportamiento;
    std::vector<std::string> revocados, noValidos;
    app.add_option("--autoridad", autoridad, "Fichero donde grabar la autoridad (PEM)")->required();
    app.add_option("--puerto", puerto, "Puerto en 127.0.0.1 (0: uno libre)");
    app.add_option("--direccion-en", direccionEn, "Fichero donde escribir la dirección");
    app.add_option("--revocado", revocados, "Identificador que se trata como revocado");
    app.add_option("--no-valido", noValidos, "Identificador que se trata como no válido");
    app.add_flag("--fallo-tecnico", comportamiento.falloTecnico, "Contestar 99 a todo");
    CLI11_PARSE(app, argc, argv);
    comportamiento.revocados.insert(revocados.begin(), revocados.end());
    comportamiento.noValidos.insert(noValidos.begin(), noValidos.end());

    reservarSenalesDeParada();

    try {
        servicio_local::Opciones opciones;
        opciones.puerto = puerto;
        opciones.guardarPeticiones = false;
        servicio_local::ServicioLocal servicio(opciones);
        servicio.comportamiento(comportamiento);
        servicio.grabarAutoridad(autoridad);
        anunciarYEsperar(servicio.direccion(), direccionEn);
        servicio.parar();
    } catch (const std::exception& e) {
        std::cerr << "servicio-verificacion: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
