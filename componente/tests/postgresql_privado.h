#pragma once
// Un servidor PostgreSQL privado para las pruebas y las pruebas de rendimiento: initdb y pg_ctl
// en una carpeta temporal, solo por un socket de Unix en esa carpeta. Como root, el servidor
// corre como el usuario «nobody» (PostgreSQL no arranca como root).

#include <memory>
#include <string>

namespace pruebas {

class PostgresqlPrivado {
public:
    /// Arranca un servidor nuevo. nullptr si PostgreSQL no está instalado o no arranca; `motivo`
    /// dice por qué.
    static std::unique_ptr<PostgresqlPrivado> arrancar(std::string& motivo);
    ~PostgresqlPrivado();

    /// Una base nueva y vacía; devuelve su dirección «postgresql://...».
    std::string nuevaBase();
    /// Ejecuta una orden SQL en la base de `conexion`; false si falla.
    static bool ejecutar(const std::string& conexion, const std::string& sql);

private:
    PostgresqlPrivado() = default;
    std::string binarios_, carpeta_;
    int bases_ = 0;
};

} // namespace pruebas
