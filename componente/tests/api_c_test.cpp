// El componente visto por sus llamadores: la interfaz C, la clase C++ y la línea de órdenes.
#include "morvelin/MorvelinCtl.h"
#include "morvelin/morvelin.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace {

struct Salida {
    int estado;
    std::string texto;
};

// Ejecuta la línea de órdenes y recoge su salida estándar (o la de errores, con 2>&1).
Salida ejecutar(const std::string& argumentos) {
    const std::string orden = std::string(MORVELIN_CLI) + " " + argumentos;
    FILE* p = ::popen(orden.c_str(), "r");
    std::string texto;
    std::array<char, 4096> b{};
    for (std::size_t n; (n = std::fread(b.data(), 1, b.size(), p)) > 0;)
        texto.append(b.data(), n);
    const int st = ::pclose(p);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, texto};
}

} // namespace

TEST(InterfazC, EntregaElMensajeConSusAcentosYSeLibera) {
    char* r = nullptr;
    ASSERT_EQ(morvelin_verifica("/no/existe.sig", "/tmp/x.xml", &r), MORVELIN_OK);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "19 No se ha podido leer el fichero firmado.");
    morvelin_liberar(r);

    ASSERT_EQ(morvelin_firma(nullptr, nullptr, nullptr, &r), MORVELIN_OK);
    EXPECT_STREQ(r, "01 No se ha podido leer el fichero a firmar.");
    morvelin_liberar(r);

    EXPECT_EQ(morvelin_firma("a", "b", "c", nullptr), MORVELIN_PUNTERO_INVALIDO);
    morvelin_liberar(nullptr);
}

TEST(InterfazC, AcentosIntactosDesdeLaTablaDeCadenas) {
    // Un fichero de firma bien formado llega al envío; sin servicio alcanzable la respuesta es
    // el mensaje 17, con "conexión" en UTF-8 (ó = C3 B3).
    const std::string ruta = ::testing::TempDir() + "acentos.sig";
    std::ofstream(ruta) << "<NOMFIC>\r\nf.xml\r\n</NOMFIC>\r\n<FACB64>\r\nQQ==\r\n</FACB64>\r\n"
                           "<FIRB64>\r\nQQ==\r\n</FIRB64>\r\n";
    char* r = nullptr;
    ASSERT_EQ(morvelin_verifica(ruta.c_str(), (ruta + ".xml").c_str(), &r), MORVELIN_OK);
    EXPECT_STREQ(r, "17 No se ha podido establecer conexi\xC3\xB3n https con el servidor de la "
                    "ZELK para verificar la firma.");
    morvelin_liberar(r);
}

TEST(InterfazC, VersionesDelComponente) {
    EXPECT_STREQ(morvelin_version_fichero(), "5.10.0.0");
    EXPECT_STREQ(morvelin_version_producto(), "1.0.0.1");
}

TEST(ClaseCpp, DevuelveLaCadenaDeResultado) {
    morvelin::MorvelinCtl ctl;
    EXPECT_EQ(ctl.FIRMA("", "12345678Z", "/tmp/x.sig"),
              "01 No se ha podido leer el fichero a firmar.");
    EXPECT_EQ(ctl.VERIFICA("", "/tmp/x.xml"), "19 No se ha podido leer el fichero firmado.");
}

TEST(LineaDeOrdenes, ImprimeElResultadoYSaleSegunElCodigo) {
    auto s = ejecutar("verifica /no/existe.sig /tmp/x.xml");
    EXPECT_EQ(s.estado, 1);
    EXPECT_EQ(s.texto, "19 No se ha podido leer el fichero firmado.\n");

    s = ejecutar("firma '' 12345678Z /tmp/x.sig");
    EXPECT_EQ(s.estado, 1);
    EXPECT_EQ(s.texto, "01 No se ha podido leer el fichero a firmar.\n");
}

TEST(LineaDeOrdenes, ErroresDeUsoSalenCon2YExplicanEnEspanol) {
    for (const char* args : {"", "firma solo-uno", "verifica a b c", "borra x", "--nada"}) {
        const auto s = ejecutar(std::string(args) + " 2>&1");
        EXPECT_EQ(s.estado, 2) << args;
        EXPECT_NE(s.texto.find("Uso:"), std::string::npos) << args;
    }
    // Solo https: por http la factura viajaría a la vista y la respuesta no estaría comprobada.
    for (const char* url : {"http://127.0.0.1:1/sincertificados", "ftp://servidor/x", "servidor"}) {
        const auto s = ejecutar(std::string("verifica --servicio ") + url + " a.sig b.xml 2>&1");
        EXPECT_EQ(s.estado, 2) << url;
        EXPECT_NE(s.texto.find("ha de ser una dirección https://"), std::string::npos) << s.texto;
    }
    const auto ayuda = ejecutar("--ayuda");
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_NE(ayuda.texto.find("morvelin firma RUTA_ORIGEN CERTIFICADO RUTA_DESTINO"),
              std::string::npos);
}
