// Base64 y codificación de formularios, contra los vectores de referencia y contra la
// decodificación de OpenSSL.
#include "infraestructura/codificacion.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace morvelin;

namespace {

std::string bytesAleatorios(std::size_t n, unsigned semilla) {
    std::mt19937 g(semilla);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(g());
    return s;
}

// Decodificación de referencia (OpenSSL), descontando el relleno.
std::string decodificarOpenSsl(const std::string& texto) {
    std::string salida(texto.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(salida.data()),
                                  reinterpret_cast<const unsigned char*>(texto.data()),
                                  static_cast<int>(texto.size()));
    salida.resize(static_cast<std::size_t>(n));
    if (texto.ends_with("=="))
        salida.resize(salida.size() - 2);
    else if (texto.ends_with("="))
        salida.resize(salida.size() - 1);
    return salida;
}

} // namespace

TEST(Base64, VectoresDeReferenciaEnAmbosSentidos) {
    const std::pair<std::string, std::string> casos[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xff\xfe", 3), "AP/+"},
        {std::string("\xe9\0", 2), "6QA="},
    };
    for (const auto& [bytes, texto] : casos) {
        EXPECT_EQ(codificarBase64(bytes), texto);
        EXPECT_EQ(decodificarBase64(texto), bytes) << texto;
    }
}

TEST(Base64, DecodificaPorGruposDeCuatroSinSaltarseNada) {
    const std::pair<std::string, std::string> casos[] = {
        // El grupo final incompleto se ignora.
        {"Zm9vYm", "foo"},
        {"Zm9", ""},
        {"Zm9vY", "foo"},
        // Un "=" solo en la tercera posición retira un byte; el grupo siguiente sigue detrás.
        {"Zm=vZm9v", "f`foo"},
        {"Zg==Zm8=Zm9v", "ffofoo"},
        // Un carácter fuera del alfabeto vale 255 y ocupa su sitio: el salto de línea no se
        // salta.
        {"Zm9v\r\nYmFy", "foo\xff\xf6&"},
        {"!!!!", "\xff\xff\xff"},
    };
    for (const auto& [texto, bytes] : casos)
        EXPECT_EQ(decodificarBase64(texto), bytes) << texto;
}

TEST(Base64, IdaYVueltaDeCualquierLongitudYPorTrozos) {
    for (std::size_t n = 0; n < 200; ++n) {
        const std::string bytes = bytesAleatorios(n, static_cast<unsigned>(n));
        const std::string texto = codificarBase64(bytes);
        ASSERT_EQ(texto.size(), longitudBase64(n));
        ASSERT_EQ(decodificarBase64(texto), bytes) << n;
        ASSERT_EQ(decodificarOpenSsl(texto), bytes) << n;
    }
    // Por trozos (múltiplos de 3 al codificar y de 4 al decodificar) sale lo mismo que entero,
    // también por encima del trozo interno de la codificación.
    const std::string grande = bytesAleatorios((std::size_t{7} << 20) + 2, 7);
    const std::string entero = codificarBase64(grande);
    std::string porTrozos;
    for (std::size_t i = 0; i < grande.size(); i += 3 * 1001)
        anadirBase64(std::string_view(grande).substr(i, 3 * 1001), porTrozos);
    EXPECT_EQ(porTrozos, entero);
    std::string decodificado;
    for (std::size_t i = 0; i < entero.size(); i += 4 * 999)
        anadirDecodificado(std::string_view(entero).substr(i, 4 * 999), decodificado);
    EXPECT_EQ(decodificado, grande);
}

TEST(Base64, PrimerUsoDesdeVariosHilosALaVez) {
    // Cada caso corre en su propio proceso: aquí se construye la tabla por primera vez.
    const std::string bytes = bytesAleatorios(3000, 1);
    const std::string texto = codificarBase64(bytes);
    std::vector<std::thread> hilos;
    std::vector<int> bien(8, 0);
    for (int h = 0; h < 8; ++h)
        hilos.emplace_back([&, h] {
            for (int i = 0; i < 50; ++i)
                bien[h] += decodificarBase64(texto) == bytes;
        });
    for (auto& h : hilos)
        h.join();
    for (int h = 0; h < 8; ++h)
        EXPECT_EQ(bien[h], 50) << h;
}

TEST(CodificarUrl, CadaByteSegunSuClase) {
    std::string t = "A b=c&d";
    codificarUrl(t);
    EXPECT_EQ(t, "A+b%3Dc%26d");

    t = "\xe9";
    codificarUrl(t);
    EXPECT_EQ(t, "%E9");

    t = "SoloLetras09";
    codificarUrl(t);
    EXPECT_EQ(t, "SoloLetras09");

    t = "a b";
    codificarUrl(t);
    EXPECT_EQ(t, "a+b");

    t.clear();
    codificarUrl(t);
    EXPECT_EQ(t, "");

    // Los 256 valores, contra la regla escrita de otra forma.
    for (int c = 0; c < 256; ++c) {
        std::string uno(1, static_cast<char>(c));
        codificarUrl(uno);
        char esperado[4];
        std::snprintf(esperado, sizeof esperado, "%%%02X", c);
        if (c == ' ')
            EXPECT_EQ(uno, "+");
        else if (std::isalnum(c) && c < 128)
            EXPECT_EQ(uno, std::string(1, static_cast<char>(c)));
        else
            EXPECT_EQ(uno, esperado) << c;
    }
}

TEST(CodificarUrl, CuerpoConBase64ViajaSinAmbiguedad) {
    std::string cuerpo = "HID=QUENDRAL&NIE=&NIR=&TXT=" + codificarBase64("\xfb\xff") +
                         "&FIR=" + codificarBase64("\xf8") + "&FIN=F";
    codificarUrl(cuerpo);
    EXPECT_EQ(cuerpo, "HID%3DQUENDRAL%26NIE%3D%26NIR%3D%26TXT%3D%2B%2F8%3D%26FIR%3D%2BA%3D%3D"
                      "%26FIN%3DF");
}

TEST(TextoVisible, LosControlesYLoQueNoEsUtf8SeVenYLoDemasQuedaIgual) {
    const std::pair<std::string, std::string> casos[] = {
        {"NOMBRE PEÑA € 😀 \\ fin", "NOMBRE PEÑA € 😀 \\ fin"},
        {"a\x1b[2Kb", "a\\x1B[2Kb"},
        {"línea\r\notra\t\x7f", "línea\\x0D\\x0Aotra\\x09\\x7F"},
        {std::string("nul\0o", 5), "nul\\x00o"},
        // Los controles C1 en UTF-8 (CSI es U+009B) y sueltos.
        {"\xc2\x9b"
         "31m \xc2\xa0",
         "\\xC2\\x9B31m \xc2\xa0"},
        {"\x9b"
         "31m",
         "\\x9B31m"},
        // Los de dirección: «FIRMA» mostrado al revés; la marca árabe; el resto de U+20xx, no.
        {"x\xe2\x80\xae"
         "AMRIF\xe2\x81\xa9 \xd8\x9c \xe2\x80\x8f \xe2\x80\x94",
         "x\\xE2\\x80\\xAEAMRIF\\xE2\\x81\\xA9 \\xD8\\x9C \\xE2\\x80\\x8F \xe2\x80\x94"},
        // Lo que no es UTF-8: formas largas, sustitutos, secuencias cortadas.
        {"\xc0\xaf", "\\xC0\\xAF"},
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},
        {"\xe2\x82", "\\xE2\\x82"},
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        {"\xff", "\\xFF"},
    };
    for (const auto& [texto, visible] : casos)
        EXPECT_EQ(textoVisible(texto), visible) << visible;
}
