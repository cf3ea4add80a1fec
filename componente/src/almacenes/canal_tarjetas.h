#pragma once
// Los mensajes entre quien busca o lista los certificados (FIRMA, «morvelin certificados») y el
// ayudante de las tarjetas, el proceso aparte que carga los módulos PKCS #11 (tarjetas.h).
//
// Un mensaje es una letra de tipo y una lista de campos de bytes: la letra, el número de campos
// (4 bytes, de menor a mayor peso) y cada campo con su largo delante (igual). Ninguno pasa de
// 64 MiB.

#include "plataforma/criptografia.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::almacenes {

struct Mensaje {
    char tipo = '\0';
    std::vector<std::string> campos;
};

/// Un algoritmo de firma en un campo: "pkcs1/sha256", "pss/sha384", "ecdsa/sha512"...
std::string textoAlgoritmo(const plataforma::AlgoritmoFirma& algoritmo);
/// El algoritmo de un campo, sobre un resumen ya calculado; sin valor si no es ninguno.
std::optional<plataforma::AlgoritmoFirma> algoritmoDeTexto(std::string_view texto);

/// Un extremo de la conexión.
class Canal {
public:
    virtual ~Canal() = default;

    /// false si no se puede escribir entero.
    bool enviar(char tipo, const std::vector<std::string_view>& campos);

    /// El siguiente mensaje. false si la conexión se acaba, no llega a tiempo o no es un
    /// mensaje. Con `secreto`, el último campo (un PIN) va a él y no a `m.campos`: nunca pasa por
    /// memoria que no se borre.
    bool recibir(Mensaje& m, plataforma::Secreto* secreto = nullptr);

protected:
    virtual bool escribirBytes(const std::vector<std::string_view>& partes) = 0;
    virtual bool leerBytes(char* destino, std::size_t n) = 0;
};

/// El extremo del ayudante: la conexión que recibe en `fd`, sin plazos (quien lo arranca le pone
/// los suyos y, si se pasan, lo mata).
class CanalDescriptor final : public Canal {
public:
    explicit CanalDescriptor(int fd) : fd_(fd) {}

protected:
    bool escribirBytes(const std::vector<std::string_view>& partes) override;
    bool leerBytes(char* destino, std::size_t n) override;

private:
    int fd_;
};

} // namespace morvelin::almacenes
