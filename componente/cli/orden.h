#pragma once
// Lo común a las órdenes de morvelin: los argumentos, el error de uso y los fallos que no son
// un resultado de la orden (memoria agotada, un error imprevisto).

#include "infraestructura/codificacion.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <string>

/// Dice el motivo y el uso en la salida de errores; devuelve el estado de un error de uso, 2.
inline int usoIncorrecto(const std::string& motivo, const char* uso) {
    std::cerr << "morvelin: " << motivo << "\n\n" << uso;
    return 2;
}

/// Lee los argumentos. Devuelve el estado de salida cuando la orden acaba aquí: 0 tras escribir
/// el uso pedido con la opción de ayuda, 2 ante argumentos incorrectos; nada si hay que seguir.
inline std::optional<int> leerArgumentos(CLI::App& app, int argc, char** argv, const char* uso,
                                         const std::string& motivo) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << uso;
        return 0;
    } catch (const CLI::ParseError&) {
        return usoIncorrecto(motivo, uso);
    }
    return std::nullopt;
}

/// Ejecuta la orden y devuelve su estado de salida; si lanza, dice en la salida de errores que
/// la operación no se ha completado y devuelve 3.
template <class Orden> int atenderOrden(Orden&& orden) noexcept {
    try {
        return orden();
    } catch (const std::bad_alloc&) {
        std::cerr << "morvelin: memoria agotada; la operación no se ha completado.\n";
    } catch (const std::exception& e) {
        std::cerr << "morvelin: fallo inesperado (" << morvelin::textoVisible(e.what())
                  << "); la operación no se ha completado.\n";
    } catch (...) {
        std::cerr << "morvelin: fallo inesperado; la operación no se ha completado.\n";
    }
    return 3;
}
