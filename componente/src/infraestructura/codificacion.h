#pragma once
// Codificaciones de texto del componente: base64 (alfabeto estándar, "=" de relleno, en una sola
// línea), la codificación de formularios con "%XX" del cuerpo de la petición al servicio, y lo
// poco que se mira de los caracteres de un texto.

#include <cstddef>
#include <string>
#include <string_view>

namespace morvelin {

/// Base64 de `bytes` (cualquier valor, cualquier longitud) en una línea, sin saltos. Cada grupo
/// de tres bytes da cuatro caracteres; un byte sobrante da dos caracteres y "==", dos sobrantes
/// tres caracteres y "=". La entrada vacía da el texto vacío.
std::string codificarBase64(std::string_view bytes);

/// Longitud del base64 de `n` bytes.
constexpr std::size_t longitudBase64(std::size_t n) {
    return (n + 2) / 3 * 4;
}

/// Añade a `salida` el base64 de `bytes`. Codificar una secuencia por trozos cuya longitud sea
/// múltiplo de PiezaBase64 (salvo el último) da el mismo texto que codificarla entera.
void anadirBase64(std::string_view bytes, std::string& salida);
inline constexpr std::size_t PiezaBase64 = 3;

/// Escribe el base64 de `bytes` en `destino`, que tiene sitio para longitudBase64(bytes.size())
/// caracteres, y devuelve cuántos ha escrito.
std::size_t codificarBase64En(std::string_view bytes, char* destino);

/// Base64 estricto: longitud múltiplo de 4, solo el alfabeto y a lo sumo dos "=" al final.
/// false (y `bytes` sin valor útil) si el texto no lo es.
bool decodificarBase64Estricto(std::string_view texto, std::string& bytes);

/// Decodifica base64; nunca falla. Toma los caracteres de cuatro en cuatro, sin saltarse
/// ninguno, e ignora un grupo final de menos de cuatro. Cada grupo da tres bytes, de los que se
/// retira uno si el cuarto carácter es "=" y otro más si lo es el tercero. Un carácter que no es
/// del alfabeto ni "=" vale 255 (todos los bits a uno) y ocupa su lugar en el grupo. Para el
/// texto de codificarBase64 es la decodificación exacta.
///
/// La tabla de decodificación se construye en el primer uso del proceso, a salvo de dos primeros
/// usos a la vez, y se conserva hasta el final.
std::string decodificarBase64(std::string_view texto);

/// Añade a `salida` lo decodificado de `texto`. Decodificar por trozos cuya longitud sea múltiplo
/// de 4 (salvo el último) da lo mismo que decodificar el texto entero.
void anadirDecodificado(std::string_view texto, std::string& salida);

/// Codifica `texto` en su sitio para un formulario: el espacio pasa a "+", letras ASCII y cifras
/// quedan igual y cualquier otro byte pasa a "%" y su valor en dos cifras hexadecimales
/// mayúsculas. El resultado mide a lo sumo el triple.
void codificarUrl(std::string& texto);

/// Un valor de un nombre X.509 como se presenta en el texto de un sujeto: entre comillas dobles
/// (y con sus comillas duplicadas) si contiene , + = " < > # ; CR o LF o si empieza o acaba en
/// espacio o tabulador; si no, tal cual.
std::string valorEntrecomillado(std::string_view valor);

/// Un texto UTF-8 de fuera (un nombre de un certificado, la etiqueta de una tarjeta, un nombre
/// de fichero) para escribirlo en un terminal sin que lo gobierne: los caracteres de control
/// (C0, DEL y C1: escape, fin de línea, retorno...), los de dirección del texto (que invierten
/// lo que sigue) y los bytes que no son UTF-8 válido se escriben visibles como "\xHH" (cada
/// byte). Lo demás queda igual: nunca tiene más de una
/// línea.
std::string textoVisible(std::string_view texto);

/// El valor de una cifra hexadecimal (mayúscula o minúscula); -1 si no lo es.
int valorHexadecimal(char c);

/// El texto con las letras ASCII en minúscula; los demás bytes quedan igual.
std::string minusculasAscii(std::string texto);

/// Cuántos caracteres (no bytes) tiene un texto de la página de códigos del sistema: en
/// Windows la de la configuración regional; en los demás sistemas, UTF-8.
std::size_t longitudEnCaracteres(std::string_view texto);

} // namespace morvelin
