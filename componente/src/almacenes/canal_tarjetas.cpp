#include "almacenes/canal_tarjetas.h"

#include <cerrno>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace morvelin::almacenes {

namespace {

constexpr std::uint32_t LargoMaximo = 64u << 20;

std::string cuatroBytes(std::uint32_t n) {
    return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
            static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
}

std::uint32_t deCuatroBytes(const char* b) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = (n << 8) | static_cast<unsigned char>(b[i]);
    return n;
}

constexpr std::pair<plataforma::AlgoritmoFirma::Esquema, std::string_view> Esquemas[] = {
    {plataforma::AlgoritmoFirma::Esquema::Pkcs1, "pkcs1"},
    {plataforma::AlgoritmoFirma::Esquema::Pss, "pss"},
    {plataforma::AlgoritmoFirma::Esquema::Ecdsa, "ecdsa"},
};
constexpr std::pair<plataforma::ResumenFirma, std::string_view> Resumenes[] = {
    {plataforma::ResumenFirma::Sha1, "sha1"},
    {plataforma::ResumenFirma::Sha256, "sha256"},
    {plataforma::ResumenFirma::Sha384, "sha384"},
    {plataforma::ResumenFirma::Sha512, "sha512"},
};

} // namespace

std::string textoAlgoritmo(const plataforma::AlgoritmoFirma& algoritmo) {
    std::string texto;
    for (const auto& [esquema, nombre] : Esquemas)
        if (esquema == algoritmo.esquema)
            texto = nombre;
    for (const auto& [resumen, nombre] : Resumenes)
        if (resumen == algoritmo.resumen)
            texto += "/" + std::string(nombre);
    return texto;
}

std::optional<plataforma::AlgoritmoFirma> algoritmoDeTexto(std::string_view texto) {
    for (const auto& [esquema, e] : Esquemas)
        for (const auto& [resumen, r] : Resumenes)
            if (texto.size() == e.size() + 1 + r.size() && texto.starts_with(e) &&
                texto[e.size()] == '/' && texto.ends_with(r))
                return plataforma::AlgoritmoFirma{esquema, resumen, true};
    return std::nullopt;
}

bool Canal::enviar(char tipo, const std::vector<std::string_view>& campos) {
    // Las cabeceras se hacen aparte; los campos van tal cual, sin copiarse.
    std::vector<std::string> cabeceras;
    cabeceras.reserve(campos.size() + 1);
    cabeceras.push_back(std::string(1, tipo) +
                        cuatroBytes(static_cast<std::uint32_t>(campos.size())));
    std::vector<std::string_view> partes{cabeceras.back()};
    for (const std::string_view c : campos) {
        if (c.size() > LargoMaximo)
            return false;
        cabeceras.push_back(cuatroBytes(static_cast<std::uint32_t>(c.size())));
        partes.push_back(cabeceras.back());
        partes.push_back(c);
    }
    return escribirBytes(partes);
}

bool Canal::recibir(Mensaje& m, plataforma::Secreto* secreto) {
    char cabecera[5];
    if (!leerBytes(cabecera, sizeof cabecera))
        return false;
    m.tipo = cabecera[0];
    const std::uint32_t n = deCuatroBytes(cabecera + 1);
    if (n > 1024 || (secreto != nullptr && n == 0))
        return false;
    m.campos.clear();
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        char largo[4];
        if (!leerBytes(largo, sizeof largo))
            return false;
        const std::uint32_t l = deCuatroBytes(largo);
        total += l;
        if (total > LargoMaximo)
            return false;
        if (secreto != nullptr && i + 1 == n) {
            secreto->borrar();
            for (std::uint32_t k = 0; k < l; ++k) {
                char c;
                if (!leerBytes(&c, 1) || !secreto->anadir(c))
                    return false;
            }
            return true;
        }
        std::string& campo = m.campos.emplace_back(l, '\0');
        if (!leerBytes(campo.data(), l))
            return false;
    }
    return true;
}

bool CanalDescriptor::escribirBytes(const std::vector<std::string_view>& partes) {
    // Un mensaje del ayudante no lleva secretos: sale de una vez, y quien lo espera despierta
    // una vez.
    std::string todo;
    for (const std::string_view p : partes)
        todo.append(p);
    for (std::string_view falta = todo; !falta.empty();) {
        const ssize_t n = ::send(fd_, falta.data(), falta.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        falta.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool CanalDescriptor::leerBytes(char* destino, std::size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd_, destino, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        destino += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

} // namespace morvelin::almacenes
