#pragma once
// La regla que elige el certificado de FIRMA entre los de los almacenes, y por qué no los demás.
//
// FIRMA la aplica a los almacenes según los va abriendo y «morvelin certificados» a todos: los
// dos eligen con esta función y nada más. La regla, en su orden:
//   - el identificador ha de medir 9 caracteres; si no, no se busca;
//   - gana el primer almacén que tiene alguno cuyo sujeto lo contiene (en algún valor, sin
//     distinguir mayúsculas de minúsculas ASCII);
//   - en él, el primero que lo contiene; en los almacenes que prefieren el no repudio (las
//     tarjetas), el primero de ellos cuya clave tiene ese uso, si lo hay.
// No mira fechas ni si hay clave privada.

#include "infraestructura/codificacion.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::almacenes {

/// El bit del uso de la clave para firmar con no repudio.
inline constexpr unsigned UsoNoRepudio = 0x40;

/// Lo que la regla mira de un certificado de un almacén.
struct Candidato {
    /// false si la entrada no se ha podido leer como certificado: nunca se elige.
    bool legible = true;
    /// Los valores del sujeto (UTF-8), uno por atributo: en ellos se busca el identificador.
    std::vector<std::string> valoresSujeto;
    /// Los bits del uso de la clave (UsoNoRepudio entre ellos); sin valor si el certificado no
    /// lo restringe. Solo cuenta en los almacenes que prefieren el no repudio.
    std::optional<unsigned> usosClave;
};

/// Un almacén tal como lo mira la regla: sus certificados, en el orden en que se buscan.
struct AlmacenCandidatos {
    bool prefiereNoRepudio = false;
    std::vector<Candidato> certificados;
};

/// Por qué la regla usa o no un certificado.
enum class Veredicto {
    Elegido,           ///< FIRMA firma con él
    Ilegible,          ///< no se puede leer como certificado
    IdentificadorMalo, ///< el identificador no mide 9 caracteres: no se busca
    NoLoContiene,      ///< su sujeto no contiene el identificador
    OtroAlmacenAntes,  ///< lo contiene, pero un almacén anterior tiene el elegido
    SinNoRepudio,      ///< lo contiene, pero su clave no es de no repudio y la del elegido sí
    Detras,            ///< lo contiene, pero va detrás del elegido en su almacén
};

/// Dónde está un certificado: el almacén y su lugar en él.
struct Posicion {
    std::size_t almacen = 0, certificado = 0;
    bool operator==(const Posicion&) const = default;
};

/// Lo que la regla decide.
struct Eleccion {
    /// El certificado con el que FIRMA firma; sin valor si ninguno.
    std::optional<Posicion> elegido;
    /// Un veredicto por certificado, en el orden de `almacenes` y de sus certificados.
    std::vector<std::vector<Veredicto>> veredictos;
};

/// Si el identificador se busca: mide 9 caracteres ("1234567Ñ" mide nueve bytes en UTF-8 pero
/// tiene ocho).
inline bool identificadorValido(std::string_view identificador) {
    return longitudEnCaracteres(identificador) == 9;
}

/// Si el certificado vale para firmar con no repudio (uno sin restricciones también).
bool conNoRepudio(const Candidato& certificado);

/// La regla entera: el elegido para `identificador` y el veredicto de cada certificado.
Eleccion elegirCertificado(const std::vector<AlmacenCandidatos>& almacenes,
                           std::string_view identificador);

} // namespace morvelin::almacenes
