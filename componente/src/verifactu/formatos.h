#pragma once
// Los formatos de los campos de los registros: identificadores fiscales, fechas, importes y
// textos. Cada comprobación lanza ErrorCampo con el nombre del campo y el motivo en español.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morvelin::verifactu {

/// Un dato de entrada que no se admite. what() es «Campo: motivo».
class ErrorCampo : public std::runtime_error {
public:
    ErrorCampo(const std::string& campo, const std::string& motivo)
        : std::runtime_error(campo + ": " + motivo), campo_(campo) {}
    const std::string& campo() const { return campo_; }

private:
    std::string campo_;
};

/// Una fecha del calendario.
struct Fecha {
    int anio = 0, mes = 0, dia = 0;
    /// Días desde el 1-1-1970 (negativos antes): para comparar y restar.
    std::int64_t dias() const;
    friend bool operator==(const Fecha&, const Fecha&) = default;
};

/// Lee una fecha DD-MM-AAAA que existe en el calendario; sin valor si no lo es.
std::optional<Fecha> leerFecha(std::string_view texto);

/// La fecha de hoy en la hora local del equipo, para el instante `t`.
Fecha fechaLocal(std::int64_t t);

/// Comprueba un NIF español: DNI (8 cifras y letra), NIE (X, Y o Z, 7 cifras y letra), NIF de
/// persona física K, L o M (letra, 7 cifras y letra) o NIF de entidad (letra, 7 cifras y
/// control, cifra o letra según la entidad). La letra o cifra de control ha de corresponder.
void comprobarNif(const std::string& campo, const std::string& nif);
bool esNifValido(std::string_view nif);

/// Un importe con el formato del esquema, (+|-)?\d{1,enteras}(\.\d{0,2})?, sin ceros a la
/// izquierda que sobren. Devuelve el valor en céntimos.
std::int64_t comprobarImporte(const std::string& campo, const std::string& texto, int enteras = 12);

/// Un porcentaje con el formato del esquema, \d{1,3}(\.\d{0,2})?, sin ceros a la izquierda
/// que sobren. Devuelve el valor en centésimas de punto (21 → 2100).
std::int64_t comprobarPorcentaje(const std::string& campo, const std::string& texto);

/// Valor en céntimos de un texto que ya pasó comprobarImporte o comprobarPorcentaje.
std::int64_t centesimas(std::string_view texto);

/// Un texto de a lo sumo `maximo` caracteres (no bytes) UTF-8 válido; `obligatorio` exige
/// contenido.
void comprobarTexto(const std::string& campo, const std::string& texto, std::size_t maximo,
                    bool obligatorio = true);

/// Un valor de una lista cerrada («S», «N»...).
void comprobarValor(const std::string& campo, const std::string& texto,
                    std::initializer_list<std::string_view> admitidos);

/// NumSerieFactura: de 1 a 60 caracteres ASCII imprimibles (32 a 126) sin " ' < > =.
void comprobarNumSerie(const std::string& campo, const std::string& texto);

/// Un identificador NIF-IVA de un Estado miembro (prefijo del país y número con la forma de
/// ese país). `codigoPais`, si se da, ha de ser el del prefijo.
void comprobarNifIva(const std::string& campo, const std::string& id,
                     const std::optional<std::string>& codigoPais, const Fecha& fechaOperacion);

} // namespace morvelin::verifactu
