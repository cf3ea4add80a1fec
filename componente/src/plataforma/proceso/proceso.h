#pragma once
// Un programa auxiliar con el que se habla por un par de conexiones locales puestas en su
// entrada y su salida estándar: pinentry, que pide el PIN, y el ayudante de las tarjetas, que
// carga los módulos PKCS #11 fuera del proceso que firma. Nada se le espera sin límite: cada
// lectura y cada escritura tienen su plazo, y al terminar se le da un tiempo para acabar antes
// de matarlo. Un auxiliar que muere no tumba al que lo llama (nada de SIGPIPE).

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::plataforma {

using Reloj = std::chrono::steady_clock;

class ProcesoAuxiliar {
public:
    ProcesoAuxiliar() = default;
    ProcesoAuxiliar(const ProcesoAuxiliar&) = delete;
    ProcesoAuxiliar& operator=(const ProcesoAuxiliar&) = delete;
    /// terminar() con la espera de siempre.
    ~ProcesoAuxiliar();

    /// Arranca `argumentos` (el primero es el programa; sin «/» se busca en PATH) con la
    /// conexión en su entrada y su salida estándar y la salida de errores en /dev/null. Hereda
    /// el entorno. false si no arranca.
    bool arrancar(const std::vector<std::string>& argumentos);

    /// Escribe todos los bytes de `partes`, seguidos (de una vez si caben, sin copiarlos),
    /// antes de `plazo`. false si no caben a tiempo o la conexión se ha cerrado.
    bool escribir(const std::vector<std::string_view>& partes, Reloj::time_point plazo);

    enum class Lectura {
        Leido,
        Fin,   ///< el auxiliar ha cerrado la conexión (o ha muerto) antes
        Plazo, ///< no ha llegado todo a tiempo
    };
    /// Lee exactamente `n` bytes en `destino` antes de `plazo`.
    Lectura leer(char* destino, std::size_t n, Reloj::time_point plazo);
    /// Lee lo que haya, al menos un byte y a lo sumo `maximo`, antes de `plazo`; `leidos` dice
    /// cuántos.
    Lectura leerDisponible(char* destino, std::size_t maximo, std::size_t& leidos,
                           Reloj::time_point plazo);

    /// Cierra la conexión y le da hasta `espera` para acabar; si no ha acabado, lo mata. Al
    /// volver ya no existe (salvo que el sistema no deje recogerlo: entonces se deja).
    void terminar(std::chrono::milliseconds espera = std::chrono::seconds(2));

    bool enMarcha() const { return fd_ >= 0; }
    pid_t pid() const { return pid_; }

private:
    // Espera a que acabe hasta `plazo`; true si ha acabado (y se ha recogido).
    bool esperarFin(Reloj::time_point plazo);

    int fd_ = -1;
    pid_t pid_ = -1;
};

} // namespace morvelin::plataforma
