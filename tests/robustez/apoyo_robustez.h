#pragma once
// Apoyo de las pruebas de robustez: carpetas de trabajo, procesos hijos y la semilla del azar.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace robustez {

/// Una carpeta nueva bajo la temporal del sistema, que se borra al final.
class Carpeta {
public:
    explicit Carpeta(const std::string& nombre);
    ~Carpeta();
    Carpeta(const Carpeta&) = delete;
    Carpeta& operator=(const Carpeta&) = delete;
    const std::filesystem::path& ruta() const { return ruta_; }
    std::filesystem::path operator/(const std::string& nombre) const { return ruta_ / nombre; }
    /// Nombres de lo que hay dentro, ordenados.
    std::vector<std::string> nombres() const;

private:
    std::filesystem::path ruta_;
};

std::string leerTodo(const std::filesystem::path& ruta);
void escribirTodo(const std::filesystem::path& ruta, const std::string& bytes);

/// Arranca `trabajo` en un proceso hijo (fork); el hijo sale con el código que devuelve, sin
/// pasar por los destructores globales del padre. Devuelve el pid. Con `aviso`, deja en él un
/// descriptor que se puede leer en cuanto el trabajo ha terminado (antes de que el hijo acabe de
/// salir, que con los comprobadores de memoria tarda); lo cierra quien llama.
int hijo(const std::function<int()>& trabajo, int* aviso = nullptr);

/// Espera hasta que se pueda leer de `fd` (o hasta que se cierre).
void esperarAviso(int fd);

/// Espera al hijo y devuelve su estado de waitpid.
int esperar(int pid);

/// La semilla del azar: la de la variable ZOQ_SEMILLA si está puesta (para repetir una pasada),
/// si no una nueva. Se imprime para poder repetir.
std::uint64_t semilla(const char* prueba);

} // namespace robustez
