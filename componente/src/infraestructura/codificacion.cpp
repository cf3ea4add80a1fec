#include "infraestructura/codificacion.h"

#if defined(_WIN32)
#include <windows.h>

#include <wincrypt.h>
#else
#include <openssl/evp.h>
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace morvelin {

namespace {

// EVP_EncodeBlock recibe la longitud como int: se le da la entrada por trozos (múltiplos de 3).
constexpr std::size_t TrozoCodificacion = std::size_t{3} << 20;

using TablaDecodificacion = std::array<std::uint8_t, 256>;

constexpr std::uint8_t Invalido = 0xFF;
constexpr std::uint8_t Relleno = 64;

TablaDecodificacion construirTabla() {
    TablaDecodificacion t;
    t.fill(Invalido);
    const std::string_view alfabeto =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alfabeto.size(); ++i)
        t[static_cast<unsigned char>(alfabeto[i])] = static_cast<std::uint8_t>(i);
    t['='] = Relleno;
    return t;
}

// Una vez por proceso; la inicialización de un estático local es segura entre hilos.
const TablaDecodificacion& tablaDecodificacion() {
    static const TablaDecodificacion tabla = construirTabla();
    return tabla;
}

// Qué bytes pasan sin cambio por codificarUrl.
constexpr std::array<bool, 256> construirLiterales() {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return t;
}
constexpr std::array<bool, 256> Literales = construirLiterales();

} // namespace

std::size_t codificarBase64En(std::string_view bytes, char* destino) {
    auto* o = reinterpret_cast<unsigned char*>(destino);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t escritos = 0;
    for (std::size_t hecho = 0; hecho < bytes.size(); hecho += TrozoCodificacion) {
        const std::size_t n = std::min(TrozoCodificacion, bytes.size() - hecho);
#if defined(_WIN32)
        // CryptBinaryToStringA añade un cero final: se codifica en un búfer aparte.
        DWORD largo = static_cast<DWORD>(longitudBase64(n) + 1);
        std::string trozo(largo, '\0');
        if (!CryptBinaryToStringA(b + hecho, static_cast<DWORD>(n),
                                  CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, trozo.data(), &largo))
            throw std::bad_alloc(); // solo falla sin memoria
        std::memcpy(o + escritos, trozo.data(), longitudBase64(n));
        escritos += longitudBase64(n);
#else
        escritos +=
            static_cast<std::size_t>(EVP_EncodeBlock(o + escritos, b + hecho, static_cast<int>(n)));
#endif
    }
    return escritos;
}

void anadirBase64(std::string_view bytes, std::string& salida) {
    const std::size_t inicio = salida.size();
    salida.resize(inicio + longitudBase64(bytes.size()));
    codificarBase64En(bytes, salida.data() + inicio);
}

std::string codificarBase64(std::string_view bytes) {
    std::string texto;
    anadirBase64(bytes, texto);
    return texto;
}

void anadirDecodificado(std::string_view texto, std::string& salida) {
    const TablaDecodificacion& t = tablaDecodificacion();
    const std::size_t grupos = texto.size() / 4;
    const std::size_t inicio = salida.size();
    salida.resize(inicio + grupos * 3);
    auto* o = reinterpret_cast<unsigned char*>(salida.data() + inicio);
    const auto* c = reinterpret_cast<const unsigned char*>(texto.data());
    for (std::size_t g = 0; g < grupos; ++g, c += 4) {
        const std::uint8_t v1 = t[c[0]], v2 = t[c[1]], v3 = t[c[2]], v4 = t[c[3]];
        o[0] = static_cast<unsigned char>((v1 << 2) | ((v2 >> 4) & 0x03));
        o[1] = static_cast<unsigned char>(((v2 & 0x0F) << 4) | ((v3 >> 2) & 0x0F));
        o[2] = static_cast<unsigned char>(((v3 & 0x03) << 6) | v4);
        // Se retiran los bytes de los "=": el grupo siguiente continúa tras el último que queda.
        o += 3 - (v4 == Relleno) - (v3 == Relleno);
    }
    salida.resize(static_cast<std::size_t>(reinterpret_cast<char*>(o) - salida.data()));
}

bool decodificarBase64Estricto(std::string_view texto, std::string& bytes) {
    if (texto.size() % 4 != 0)
        return false;
    const std::size_t relleno = std::min(texto.find('='), texto.size());
    if (texto.size() - relleno > 2 ||
        texto.find_first_not_of('=', relleno) != std::string_view::npos)
        return false;
    const TablaDecodificacion& t = tablaDecodificacion();
    for (const unsigned char c : texto.substr(0, relleno))
        if (t[c] >= Relleno)
            return false;
    bytes = decodificarBase64(texto);
    return true;
}

std::string decodificarBase64(std::string_view texto) {
    std::string bytes;
    anadirDecodificado(texto, bytes);
    return bytes;
}

void codificarUrl(std::string& texto) {
    std::size_t otros = 0;
    for (unsigned char c : texto)
        otros += !Literales[c] && c != ' ';
    if (otros == 0) {
        for (char& c : texto)
            if (c == ' ')
                c = '+';
        return;
    }
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string codificado(texto.size() + 2 * otros, '\0');
    char* o = codificado.data();
    for (unsigned char c : texto) {
        if (Literales[c]) {
            *o++ = static_cast<char>(c);
        } else if (c == ' ') {
            *o++ = '+';
        } else {
            o[0] = '%';
            o[1] = Hex[c >> 4];
            o[2] = Hex[c & 0x0F];
            o += 3;
        }
    }
    texto = std::move(codificado);
}

std::string minusculasAscii(std::string texto) {
    for (char& c : texto)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return texto;
}

#if !defined(_WIN32)
std::size_t longitudEnCaracteres(std::string_view texto) {
    // Cada carácter de UTF-8 tiene un solo byte que no es de continuación (10xxxxxx).
    std::size_t n = 0;
    for (const unsigned char c : texto)
        n += (c & 0xC0) != 0x80;
    return n;
}
#endif

std::string valorEntrecomillado(std::string_view v) {
    const bool blancoEnExtremo = !v.empty() && (v.front() == ' ' || v.front() == '\t' ||
                                                v.back() == ' ' || v.back() == '\t');
    if (!blancoEnExtremo && v.find_first_of(",+=\"<>#;\r\n") == std::string_view::npos)
        return std::string(v);
    std::string q = "\"";
    for (const char c : v) {
        q += c;
        if (c == '"')
            q += '"';
    }
    return q + '"';
}

namespace {

// Cuántos bytes mide el carácter UTF-8 válido que empieza en `t[i]`; 0 si no es válido.
std::size_t caracterUtf8(std::string_view t, std::size_t i) {
    const auto b = [&](std::size_t k) {
        return i + k < t.size() ? static_cast<unsigned char>(t[i + k]) : 0u;
    };
    const unsigned c = b(0);
    const auto cont = [&](std::size_t k, unsigned desde = 0x80, unsigned hasta = 0xBF) {
        return b(k) >= desde && b(k) <= hasta;
    };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        // Sin formas largas (E0) ni sustitutos (ED).
        const bool primero = c == 0xE0 ? cont(1, 0xA0) : c == 0xED ? cont(1, 0x80, 0x9F) : cont(1);
        return primero && cont(2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const bool primero = c == 0xF0 ? cont(1, 0x90) : c == 0xF4 ? cont(1, 0x80, 0x8F) : cont(1);
        return primero && cont(2) && cont(3) ? 4 : 0;
    }
    return 0;
}

// Los controles de dirección del texto (U+061C, U+200E, U+200F, U+202A a U+202E, U+2066 a
// U+2069): invisibles, pero dan la vuelta a lo que sigue en la línea.
bool esControlDeDireccion(std::string_view t, std::size_t i, std::size_t n) {
    const auto b = [&](std::size_t k) {
        return static_cast<unsigned char>(t[i + k]);
    };
    if (n == 2)
        return b(0) == 0xD8 && b(1) == 0x9C;
    if (n != 3 || b(0) != 0xE2)
        return false;
    if (b(1) == 0x80)
        return b(2) == 0x8E || b(2) == 0x8F || (b(2) >= 0xAA && b(2) <= 0xAE);
    return b(1) == 0x81 && b(2) >= 0xA6 && b(2) <= 0xA9;
}

} // namespace

std::string textoVisible(std::string_view texto) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string r;
    r.reserve(texto.size());
    const auto escapar = [&](unsigned char c) {
        r += "\\x";
        r += Hex[c >> 4];
        r += Hex[c & 0x0F];
    };
    for (std::size_t i = 0; i < texto.size();) {
        const auto c = static_cast<unsigned char>(texto[i]);
        const std::size_t n = caracterUtf8(texto, i);
        if (n == 0 || c < 0x20 || c == 0x7F) {
            escapar(c);
            ++i;
        } else if ((c == 0xC2 && static_cast<unsigned char>(texto[i + 1]) < 0xA0) ||
                   esControlDeDireccion(texto, i, n)) {
            // U+0080 a U+009F, los controles C1 (CSI es U+009B), y los de dirección.
            for (std::size_t k = 0; k < n; ++k)
                escapar(static_cast<unsigned char>(texto[i + k]));
            i += n;
        } else {
            r.append(texto.substr(i, n));
            i += n;
        }
    }
    return r;
}

int valorHexadecimal(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace morvelin
