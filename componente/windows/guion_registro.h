#pragma once
// Guion de registro del componente (el recurso REGISTRY 103) y su aplicación al registro.
//
// El guion describe las claves bajo la raíz de clases:
//
//     HKCR
//     {
//         NoRemove CLSID
//         {
//             ForceRemove {…} = s 'Descripción'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Apartment'
//                 }
//             }
//         }
//     }
//
// Las piezas van separadas por blancos; los textos entre comillas simples ('' dentro es una
// comilla). Solo hay valores de texto ("s"). Al registrar, cada clave se crea con su valor por
// omisión y sus valores con nombre; una clave ForceRemove se borra entera antes de crearla. Al
// quitar el registro, una clave NoRemove se conserva (solo se recorren sus hijas) y cualquier
// otra se borra con todo lo que tenga debajo. "%MODULE%" se cambia por la ruta del componente.
// Todos los textos van en UTF-8.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::registro {

struct Valor {
    std::string nombre;
    std::string texto;

    bool operator==(const Valor&) const = default;
};

struct Clave {
    std::string nombre;
    std::optional<std::string> porOmision;
    std::vector<Valor> valores;
    std::vector<Clave> hijas;
    bool noRemove = false;
    bool forceRemove = false;
};

/// Lee el guion y devuelve las claves que cuelgan de HKCR. Un guion mal formado lanza
/// std::invalid_argument con la línea del fallo.
std::vector<Clave> leerGuion(std::string_view guion);

/// Lo que el guion necesita del registro. Las rutas son relativas a la raíz de clases, con "\"
/// entre niveles. Cada operación dice si tuvo éxito.
class Registro {
public:
    virtual ~Registro() = default;
    /// Crea la clave (y las que falten por encima); abrir una que ya existe también vale.
    virtual bool crearClave(const std::string& ruta) = 0;
    /// Borra la clave con todo lo que tiene debajo; que no exista también vale.
    virtual bool borrarArbol(const std::string& ruta) = 0;
    /// Pone un valor de texto en una clave existente; nombre vacío es el valor por omisión.
    virtual bool ponerValor(const std::string& ruta, const std::string& nombre,
                            const std::string& texto) = 0;
};

/// Escribe las claves del guion. Se detiene en la primera operación que falla y devuelve false.
bool registrar(const std::vector<Clave>& claves, Registro& registro, std::string_view modulo);

/// Quita lo que registrar escribió, respetando NoRemove. Sigue aunque algo falle (quita todo lo
/// que pueda) y devuelve false si algo falló.
bool desregistrar(const std::vector<Clave>& claves, Registro& registro);

} // namespace morvelin::registro
