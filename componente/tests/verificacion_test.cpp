// VERIFICA sin red: lectura del fichero de firma, cuerpo de la petición, código y orden de la
// respuesta del servicio, y grabación de la factura.
#include "infraestructura/escritura.h"
#include "infraestructura/mensajes.h"
#include "infraestructura/trampa.h"
#include "metodos.h"
#include "operaciones/verificacion_en_linea.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvelin;

namespace {

using Fichero = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// Un fichero temporal con ese contenido, abierto para leer.
Fichero abrirCon(const std::string& contenido) {
    Fichero f(std::tmpfile(), &std::fclose);
    std::fwrite(contenido.data(), 1, contenido.size(), f.get());
    std::rewind(f.get());
    return f;
}

// El identificador que lanza leerFicheroFirma, o 0 si no lanza.
int leer(const std::string& contenido, RegistroFirma& r,
         std::uint64_t maximo = FicheroFirmaMaximo) {
    Fichero f = abrirCon(contenido);
    try {
        leerFicheroFirma(f.get(), r, maximo);
    } catch (const FalloPaso& fallo) {
        return fallo.id;
    }
    return 0;
}

std::string leerTodo(const fs::path& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

int grabar(const std::string& bytes, const std::string& ruta) {
    try {
        grabarFactura(bytes, ruta);
    } catch (const FalloPaso& fallo) {
        return fallo.id;
    }
    return 0;
}

} // namespace

TEST(FicheroFirma, LasFormasDeEscribirloLeenLoMismo) {
    // Una línea de base64 más larga que varios trozos, con el CR del fin de línea justo en el
    // borde de un trozo y en el de un bloque de lectura.
    std::string largo;
    for (std::size_t i = 0; largo.size() < 3 * TrozoFicheroFirma + 17; ++i)
        largo += "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[i * 7 % 64];
    // "<NOMFIC>f.xml</NOMFIC><FACB64>" mide 30: el primer trozo acaba justo antes del LF.
    const std::string alBorde(TrozoFicheroFirma - 30, 'Q');
    const std::string bloque(65536 - 11, 'B'); // "<FACB64>\r\n" mide 10: el CR cae en 65535

    const struct {
        const char* caso;
        std::string contenido;
        std::string factura;
    } casos[] = {
        {"CR LF, como lo graba FIRMA",
         "<NOMFIC>\r\nf.xml\r\n</NOMFIC>\r\n<FACB64>\r\nQUJD\r\n</FACB64>\r\n<FIRB64>\r\nRklS\r\n"
         "</FIRB64>\r\n",
         "QUJD"},
        {"solo LF",
         "<NOMFIC>\nf.xml\n</NOMFIC>\n<FACB64>\nQUJD\n</FACB64>\n<FIRB64>\nRklS\n</FIRB64>\n",
         "QUJD"},
        {"todo en una línea", "<NOMFIC>f.xml</NOMFIC><FACB64>QUJD</FACB64><FIRB64>RklS</FIRB64>",
         "QUJD"},
        {"partido en muchas líneas",
         "<NOMFIC>f.x\r\nml</NOMFIC>\n<FACB64>Q\nU\r\nJ\nD</FACB64><FIRB64>Rk\nlS</FIRB64>",
         "QUJD"},
        {"línea más larga que un trozo",
         "<NOMFIC>\r\nf.xml\r\n</NOMFIC>\r\n<FACB64>\r\n" + largo +
             "\r\n</FACB64>\r\n<FIRB64>\r\nRklS\r\n</FIRB64>\r\n",
         largo},
        {"CR al final de un trozo",
         "<NOMFIC>f.xml</NOMFIC><FACB64>" + alBorde + "\r\n</FACB64><FIRB64>RklS</FIRB64>",
         alBorde},
        {"CR LF partido entre dos bloques de lectura",
         "<FACB64>\r\n" + bloque + "\r\n</FACB64><NOMFIC>f.xml</NOMFIC><FIRB64>RklS</FIRB64>",
         bloque},
    };
    for (const auto& c : casos) {
        RegistroFirma r;
        ASSERT_EQ(leer(c.contenido, r), 0) << c.caso;
        EXPECT_EQ(r.nombreFichero, "f.xml") << c.caso;
        EXPECT_EQ(r.facturaBase64, c.factura) << c.caso;
        EXPECT_EQ(r.firmaBase64, "RklS") << c.caso;
    }
}

TEST(FicheroFirma, UnCRSueltoNoEsFinDeLinea) {
    RegistroFirma r;
    ASSERT_EQ(leer("<NOMFIC>a\rb\r</NOMFIC><FACB64>\r\r\n</FACB64><FIRB64>\r</FIRB64>", r), 0);
    EXPECT_EQ(r.nombreFichero, "a\rb\r");
    EXPECT_EQ(r.facturaBase64, "\r");
    EXPECT_EQ(r.firmaBase64, "\r");
}

TEST(FicheroFirma, FaltaUnaEtiquetaEsFormatoIncorrecto) {
    const std::string bien = "<NOMFIC>f</NOMFIC><FACB64>QQ==</FACB64><FIRB64>QQ==</FIRB64>";
    for (const char* etiqueta :
         {"<NOMFIC>", "</NOMFIC>", "<FACB64>", "</FACB64>", "<FIRB64>", "</FIRB64>"}) {
        std::string sin = bien;
        sin.erase(sin.find(etiqueta), std::string(etiqueta).size());
        RegistroFirma r;
        EXPECT_EQ(leer(sin, r), FormatoFirmado) << "sin " << etiqueta;
    }
    RegistroFirma r;
    EXPECT_EQ(leer("", r), FormatoFirmado) << "fichero vacío";
    EXPECT_EQ(leer("<facb64>QQ==</facb64>" + bien.substr(0, 18), r), FormatoFirmado)
        << "las etiquetas distinguen mayúsculas";
}

TEST(FicheroFirma, CierreDelanteDeLaAperturaDaCampoVacio) {
    RegistroFirma r;
    ASSERT_EQ(leer("</NOMFIC><NOMFIC>x</FACB64><FACB64>y<FIRB64>z</FIRB64></NOMFIC>", r), 0);
    EXPECT_EQ(r.nombreFichero, "");
    EXPECT_EQ(r.facturaBase64, "");
    EXPECT_EQ(r.firmaBase64, "z");
    // La primera apertura y el primer cierre, aunque haya más.
    ASSERT_EQ(leer("<NOMFIC>a</NOMFIC><NOMFIC>b</NOMFIC><FACB64></FACB64><FIRB64></FIRB64>", r), 0);
    EXPECT_EQ(r.nombreFichero, "a");
}

TEST(FicheroFirma, NoSeLeeMasDeLaCuenta) {
    const std::string bien = "<NOMFIC>f</NOMFIC><FACB64>QQ==</FACB64><FIRB64>QQ==</FIRB64>";
    RegistroFirma r;
    EXPECT_EQ(leer(bien, r, bien.size()), 0);
    EXPECT_EQ(leer(bien, r, bien.size() - 1), NoSeLeeFirmado);
    // Algo que no acaba (antes crecía hasta agotar la memoria del programa que llama) se corta
    // al pasar de la cuenta, sin tocar el destino.
    const std::string destino = ::testing::TempDir() + "morvelin-cero.xml";
    std::remove(destino.c_str());
    ServicioVerificacion servicio;
    servicio.ficheroMaximo = 4 << 20;
    EXPECT_EQ(verificar("/dev/zero", destino, servicio), cargarMensaje(NoSeLeeFirmado));
    EXPECT_FALSE(fs::exists(destino));
    // Uno que ya mide más que el tope de VERIFICA ni se empieza a leer (sin bloques: no ocupa).
    const std::string grande = ::testing::TempDir() + "morvelin-grande.sig";
    std::ofstream(grande) << bien;
    fs::resize_file(grande, FicheroFirmaMaximo + 1);
    EXPECT_EQ(VERIFICA(grande, destino), cargarMensaje(NoSeLeeFirmado));
    EXPECT_FALSE(fs::exists(destino));
    fs::remove(grande);
}

TEST(FicheroFirma, UnaCarpetaNoSeLee) {
    Fichero f(std::fopen(::testing::TempDir().c_str(), "rb"), &std::fclose);
    ASSERT_TRUE(f);
    RegistroFirma r;
    try {
        leerFicheroFirma(f.get(), r);
        FAIL() << "una carpeta no es un fichero de firma";
    } catch (const FalloPaso& fallo) {
        EXPECT_EQ(fallo.id, NoSeLeeFirmado);
    }
}

TEST(Peticion, CuerpoConLosSeisCamposEnSuOrden) {
    RegistroFirma r;
    r.nombreFichero = "no viaja.xml";
    r.facturaBase64 = "QUI+/w==";
    r.firmaBase64 = "MII=";
    EXPECT_EQ(cuerpoPeticion(r), "HID=QUENDRAL&NIE=&NIR=&TXT=QUI+/w==&FIR=MII=&FIN=F");
    EXPECT_EQ(cuerpoPeticion(RegistroFirma{}), "HID=QUENDRAL&NIE=&NIR=&TXT=&FIR=&FIN=F");
}

TEST(Peticion, DireccionesQueNoSeAnalizanOInvalidasNoLleganALaRed) {
    for (const char* url : {"", "no es una dirección", "ftp://servidor/sincertificados", "https://",
                            "https://servicio.invalid/sincertificados",
                            "https://SERVICIO.INVALID./sincertificados", "https://invalid/x"}) {
        PeticionServicio p;
        p.url = url;
        p.cuerpo = "HID=QUENDRAL";
        try {
            enviarPeticion(p);
            ADD_FAILURE() << url;
        } catch (const FalloPaso& fallo) {
            EXPECT_EQ(fallo.id, SinConexion) << url;
        }
        EXPECT_EQ(p.respuesta, "") << url;
    }
}

TEST(Respuesta, CodigoAlPrincipio) {
    const std::pair<const char*, long> casos[] = {
        {"00 NOMBRE", 0}, {"12 Firma", 12}, {"  \t13x", 13}, {"+14", 14},
        {"-15", -15},     {"0016", 16},     {"99", 99},      {"", 0},
        {"abc 12", 0},    {"- 12", 0},      {"\n18\n", 18},  {"99999999999999999999999", LONG_MAX}};
    for (const auto& [respuesta, codigo] : casos)
        EXPECT_EQ(codigoRespuesta(respuesta), codigo) << '"' << respuesta << '"';
}

TEST(Respuesta, CadaCodigoDaSuMensajeYLoDemasEsDesconocido) {
    const std::pair<const char*, int> casos[] = {
        {"12 FIRMA NO VALIDA\n", FirmaNoValida},
        {"13\n", CertificadoCaducado},
        {"14 x\n", CertificadoRevocado},
        {"15\n", CertificadoNoValido},
        {"16\n", FormatoInvalido},
        {"99 ERROR\n", ErrorTecnico},
        {"099\n", ErrorTecnico},
        {"17\n", ErrorDesconocido},
        {"18\n", ErrorDesconocido},
        {"1\n", ErrorDesconocido},
        {"-12\n", ErrorDesconocido},
        {"0 NOMBRE X - NIF 1\n", ErrorDesconocido},
        {" 00 NOMBRE X\n", ErrorDesconocido},
        {"+00 NOMBRE\n", ErrorDesconocido},
        {"<html>Error 500</html>\n", ErrorDesconocido},
        {"", ErrorDesconocido},
    };
    for (const auto& [respuesta, id] : casos)
        EXPECT_EQ(resultadoRespuesta(respuesta), cargarMensaje(id)) << '"' << respuesta << '"';
}

TEST(Respuesta, LaRespuesta00SeOrdena) {
    const std::pair<const char*, const char*> casos[] = {
        {"00 NOMBRE GARCIA ANA          - NIF 12345678Z\n", "00 NOMBRE GARCIA ANA - NIF 12345678Z"},
        {"00 NOMBRE GARCIA ANA \t - NIF 12345678Z \r\n\n", "00 NOMBRE GARCIA ANA - NIF 12345678Z"},
        {"00 NOMBRE A - NIF 1\n", "00 NOMBRE A - NIF 1"},
        {"00 NOMBRE A   - NIF 1   - NIF 2\n", "00 NOMBRE A - NIF 1   - NIF 2"},
        {"00 SIN IDENTIFICADOR   \n\n", "00 SIN IDENTIFICADOR"},
        {"00\n", "00"},
        {"00 A\nsegunda línea  - NIF 9\n", "00 A\nsegunda línea - NIF 9"},
        {"00    - NIF 1\n", "00 - NIF 1"},
    };
    for (const auto& [respuesta, resultado] : casos)
        EXPECT_EQ(resultadoRespuesta(respuesta), resultado) << '"' << respuesta << '"';
}

class Factura : public ::testing::Test {
protected:
    void SetUp() override {
        raiz = fs::temp_directory_path() /
               ("morvelin-fac-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(raiz);
        fs::create_directories(raiz);
    }
    void TearDown() override {
        usarSistemaFicheros(nullptr);
        fs::remove_all(raiz);
    }
    std::string ruta(const std::string& nombre) const { return (raiz / nombre).string(); }
    fs::path raiz;
};

TEST_F(Factura, SeGrabaEnteraCreandoCarpetasYSustituyendoLaAnterior) {
    std::string bytes;
    for (int i = 0; i < 3 * 10240 + 5; ++i)
        bytes += static_cast<char>(i * 31 % 256);
    ASSERT_EQ(grabar(bytes, ruta("a/b/c/factura.xml")), 0);
    EXPECT_EQ(leerTodo(ruta("a/b/c/factura.xml")), bytes);

    std::ofstream(ruta("vieja.xml")) << "una factura anterior mucho más larga que la nueva";
    ASSERT_EQ(grabar("nueva", ruta("vieja.xml")), 0);
    EXPECT_EQ(leerTodo(ruta("vieja.xml")), "nueva");

    ASSERT_EQ(grabar("", ruta("vacia.xml")), 0);
    EXPECT_TRUE(fs::exists(ruta("vacia.xml")));
    EXPECT_EQ(fs::file_size(ruta("vacia.xml")), 0u);
}

TEST_F(Factura, LoQueNoSePuedeGrabarEs20YNoDejaNadaAMedias) {
    std::ofstream(ruta("fichero")) << "x";
    EXPECT_EQ(grabar("abc", ""), NoSeGrabaFactura);
    EXPECT_EQ(grabar("abc", ruta("fichero/dentro.xml")), NoSeGrabaFactura) << "carpeta imposible";
    EXPECT_EQ(grabar("abc", raiz.string()), NoSeGrabaFactura) << "el destino es una carpeta";
    // Lo que no es un fichero normal no pasa a serlo (como root, el /dev/null del sistema), y un
    // enlace de otro usuario en una carpeta como /tmp no lleva la factura a un fichero ajeno.
    EXPECT_EQ(grabar("abc", "/dev/null"), NoSeGrabaFactura);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    fs::create_directory(raiz / "compartida");
    ::chmod((raiz / "compartida").c_str(), 01777);
    fs::create_symlink(ruta("fichero"), raiz / "compartida/f.xml");
    ASSERT_EQ(::lchown((raiz / "compartida/f.xml").c_str(), 4242, 4242), 0);
    EXPECT_EQ(grabar("abc", ruta("compartida/f.xml")), NoSeGrabaFactura);
    EXPECT_EQ(leerTodo(ruta("fichero")), "x");
    fs::remove_all(raiz / "compartida");

    // Un disco que se llena a mitad: la factura anterior queda entera y sin temporales.
    struct DiscoLleno : SistemaFicheros {
        std::size_t escritos = 0;
        bool escribir(Manejador f, const char* d, std::size_t n) override {
            if (escritos + n > 15000)
                return false;
            escritos += n;
            return SistemaFicheros::escribir(f, d, n);
        }
    } lleno;
    std::ofstream(ruta("factura.xml")) << "anterior";
    usarSistemaFicheros(&lleno);
    EXPECT_EQ(grabar(std::string(40000, 'z'), ruta("factura.xml")), NoSeGrabaFactura);
    usarSistemaFicheros(nullptr);
    EXPECT_EQ(leerTodo(ruta("factura.xml")), "anterior");
    std::size_t ficheros = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(raiz))
        ++ficheros;
    EXPECT_EQ(ficheros, 2u) << "solo «fichero» y la factura anterior";
}
