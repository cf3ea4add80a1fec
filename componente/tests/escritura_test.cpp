// La capa de escritura (temporal, volcado y renombrado), las carpetas a lo largo de una ruta y
// el fichero de firma, con fallos provocados en cada paso.
#include "codificacion.h"
#include "escritura.h"
#include "registro_firma.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace morvelin;

namespace {

std::string leer(const fs::path& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void escribirFichero(const fs::path& ruta, const std::string& contenido) {
    std::ofstream(ruta, std::ios::binary) << contenido;
}

// Un sistema de ficheros que falla donde se le pide.
class SistemaConFallos : public SistemaFicheros {
public:
    std::size_t bytesHastaFallo = SIZE_MAX; // la escritura que pase de aquí falla
    bool fallaVolcar = false;
    bool fallaReemplazar = false;
    bool fallaCrearCarpeta = false;
    std::size_t escritos = 0;

    bool escribir(Manejador f, const char* d, std::size_t n) override {
        if (escritos + n > bytesHastaFallo) {
            // Entra una parte, como en un disco que se llena a mitad.
            SistemaFicheros::escribir(f, d, bytesHastaFallo - escritos);
            escritos = bytesHastaFallo;
            return false;
        }
        escritos += n;
        return SistemaFicheros::escribir(f, d, n);
    }
    bool volcar(Manejador f) override { return !fallaVolcar && SistemaFicheros::volcar(f); }
    bool reemplazar(const std::string& a, const std::string& b) override {
        return !fallaReemplazar && SistemaFicheros::reemplazar(a, b);
    }
    bool crearCarpeta(const std::string& ruta, unsigned permisos) override {
        return !fallaCrearCarpeta && SistemaFicheros::crearCarpeta(ruta, permisos);
    }
};

class Escritura : public ::testing::Test {
protected:
    void SetUp() override {
        raiz = fs::temp_directory_path() /
               ("morvelin-esc-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(raiz);
        fs::create_directories(raiz);
        usarSistemaFicheros(&fallos);
    }
    void TearDown() override {
        usarSistemaFicheros(nullptr);
        fs::remove_all(raiz);
    }
    std::string ruta(const std::string& nombre) const { return (raiz / nombre).string(); }
    // Lo que hay en la carpeta de pruebas, para comprobar que no quedan temporales.
    std::vector<std::string> contenido(const fs::path& carpeta) const {
        std::vector<std::string> nombres;
        for (const auto& e : fs::directory_iterator(carpeta))
            nombres.push_back(e.path().filename().string());
        std::sort(nombres.begin(), nombres.end());
        return nombres;
    }

    fs::path raiz;
    SistemaConFallos fallos;
};

using Nombres = std::vector<std::string>;

} // namespace

TEST_F(Escritura, SustituyeElFicheroEnteroYConservaSusPermisos) {
    escribirFichero(ruta("f.txt"), std::string(100000, 'v'));
    ::chmod(ruta("f.txt").c_str(), 0640);
    FicheroNuevo f(ruta("f.txt"));
    ASSERT_TRUE(f.abrir());
    // Trozos pequeños y uno mayor que el bloque interno, mezclados.
    std::string esperado;
    for (int i = 0; i < 1000; ++i) {
        const std::string trozo = std::to_string(i) + ",";
        esperado += trozo;
        ASSERT_TRUE(f.escribir(trozo));
    }
    const std::string grande(600 * 1024, 'g');
    esperado += grande;
    ASSERT_TRUE(f.escribir(grande));
    EXPECT_EQ(leer(ruta("f.txt")), std::string(100000, 'v')) << "intacto hasta confirmar";
    ASSERT_TRUE(f.confirmar());
    EXPECT_EQ(leer(ruta("f.txt")), esperado);
    struct stat st {};
    ::stat(ruta("f.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(contenido(raiz), Nombres{"f.txt"});
}

TEST_F(Escritura, UnFalloEnCualquierPasoDejaElDestinoComoEstabaYSinTemporales) {
    struct Caso {
        const char* nombre;
        std::size_t bytesHastaFallo;
        bool volcar, reemplazar;
    };
    const Caso casos[] = {
        {"disco lleno al principio", 0, false, false},
        {"disco lleno a mitad", 300 * 1024, false, false},
        {"disco lleno en el último bloque", 1024 * 1024 - 1, false, false},
        {"falla el volcado", SIZE_MAX, true, false},
        {"falla el renombrado", SIZE_MAX, false, true},
    };
    for (const bool habiaFichero : {true, false}) {
        for (const Caso& c : casos) {
            fs::remove(ruta("f.txt"));
            if (habiaFichero)
                escribirFichero(ruta("f.txt"), "viejo");
            fallos.escritos = 0;
            fallos.bytesHastaFallo = c.bytesHastaFallo;
            fallos.fallaVolcar = c.volcar;
            fallos.fallaReemplazar = c.reemplazar;
            {
                FicheroNuevo f(ruta("f.txt"));
                ASSERT_TRUE(f.abrir());
                for (int i = 0; i < 16; ++i)
                    f.escribir(std::string(64 * 1024, 'n'));
                EXPECT_FALSE(f.confirmar()) << c.nombre;
                EXPECT_FALSE(f.escribir("más")) << c.nombre;
            }
            if (habiaFichero) {
                EXPECT_EQ(leer(ruta("f.txt")), "viejo") << c.nombre;
                EXPECT_EQ(contenido(raiz), Nombres{"f.txt"}) << c.nombre;
            } else {
                EXPECT_EQ(contenido(raiz), Nombres{}) << c.nombre;
            }
        }
    }
}

TEST_F(Escritura, SinConfirmarNoQuedaNada) {
    {
        FicheroNuevo f(ruta("f.txt"));
        ASSERT_TRUE(f.abrir());
        f.escribir(std::string(1 << 20, 'x'));
    }
    EXPECT_EQ(contenido(raiz), Nombres{});
}

TEST_F(Escritura, DestinosQueNoSePuedenCrear) {
    fs::create_directories(raiz / "carpeta");
    for (const std::string& destino :
         {std::string(), ruta("no-existe/f.txt"), ruta("carpeta"), ruta("carpeta/")}) {
        FicheroNuevo f(destino);
        EXPECT_FALSE(f.abrir()) << destino;
        EXPECT_FALSE(f.confirmar()) << destino;
    }
    EXPECT_EQ(contenido(raiz), Nombres{"carpeta"});
    EXPECT_EQ(contenido(raiz / "carpeta"), Nombres{});
}

TEST_F(Escritura, UnEnlaceSigueSiendoEnlaceYUnDispositivoSeEscribeDirectamente) {
    escribirFichero(ruta("real.txt"), "viejo");
    fs::create_symlink(ruta("real.txt"), ruta("enlace.txt"));
    FicheroNuevo f(ruta("enlace.txt"));
    ASSERT_TRUE(f.abrir());
    f.escribir("nuevo");
    ASSERT_TRUE(f.confirmar());
    EXPECT_TRUE(fs::is_symlink(ruta("enlace.txt")));
    EXPECT_EQ(leer(ruta("real.txt")), "nuevo");

    // /dev/null no se sustituye por un fichero; /dev/full es un disco lleno de verdad.
    FicheroNuevo nulo("/dev/null");
    ASSERT_TRUE(nulo.abrir());
    nulo.escribir(std::string(1 << 20, 'x'));
    EXPECT_TRUE(nulo.confirmar());
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // Lo que se escribe por adelantado, sin saber aún si se confirmará, solo va a un temporal.
    FicheroNuevo adelantado("/dev/null");
    EXPECT_FALSE(adelantado.abrirTemporal());
    FicheroNuevo normal(ruta("enlace.txt"));
    ASSERT_TRUE(normal.abrirTemporal());
    normal.escribir("otro");
    ASSERT_TRUE(normal.confirmar());
    EXPECT_EQ(leer(ruta("real.txt")), "otro");

    FicheroNuevo lleno("/dev/full");
    ASSERT_TRUE(lleno.abrir());
    lleno.escribir("algo");
    EXPECT_FALSE(lleno.confirmar());
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(Escritura, CrearCarpetasALoLargoDeLaRuta) {
    EXPECT_TRUE(crearCarpetas(ruta("a/b/c/f.txt")));
    EXPECT_TRUE(fs::is_directory(raiz / "a/b/c"));
    EXPECT_FALSE(fs::exists(raiz / "a/b/c/f.txt")) << "el nombre del fichero no es carpeta";
    EXPECT_TRUE(crearCarpetas(ruta("a/b/c/f.txt"))) << "ya existen";
    EXPECT_TRUE(crearCarpetas(ruta("a//d/f.txt")));
    EXPECT_TRUE(fs::is_directory(raiz / "a/d"));
    EXPECT_TRUE(crearCarpetas("sin-separador.txt"));
    EXPECT_TRUE(crearCarpetas("/")) << "la raíz existe";

    // Un fichero en medio del camino, o una carpeta que no se deja crear.
    escribirFichero(ruta("fichero"), "x");
    EXPECT_FALSE(crearCarpetas(ruta("fichero/b/f.txt")));
    EXPECT_FALSE(fs::exists(raiz / "fichero/b"));
    fallos.fallaCrearCarpeta = true;
    EXPECT_FALSE(crearCarpetas(ruta("x/y/f.txt")));
    EXPECT_TRUE(crearCarpetas(ruta("a/b/f.txt"))) << "las que existen no se crean";

    EXPECT_EQ(nombreSinCarpetas("/a/b/factura.xml"), "factura.xml");
    EXPECT_EQ(nombreSinCarpetas("factura.xml"), "factura.xml");
    EXPECT_EQ(nombreSinCarpetas("a\\b.xml"), "a\\b.xml");
    EXPECT_EQ(nombreSinCarpetas("/a/"), "");
}

TEST_F(Escritura, FicheroDeFirmaNueveLineasConCrLf) {
    RegistroFirma r;
    r.nombreFichero = "factura 1.xml";
    r.facturaBase64 = codificarBase64("hola");
    r.firmaBase64 = "MIIB";
    FicheroNuevo f(ruta("f.sig"));
    ASSERT_TRUE(f.abrir());
    ASSERT_TRUE(grabarFicheroFirma(f, r));
    ASSERT_TRUE(f.confirmar());
    EXPECT_EQ(leer(ruta("f.sig")), "<NOMFIC>\r\nfactura 1.xml\r\n</NOMFIC>\r\n"
                                   "<FACB64>\r\naG9sYQ==\r\n</FACB64>\r\n"
                                   "<FIRB64>\r\nMIIB\r\n</FIRB64>\r\n");
}

TEST_F(Escritura, FacturaCodificadaAlVueloIgualQueEntera) {
    // Tamaños alrededor del trozo interno y del bloque de escritura.
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{48 * 1024 - 1},
                                std::size_t{48 * 1024 + 1}, std::size_t{1000003}}) {
        std::string factura(n, '\0');
        for (std::size_t i = 0; i < n; ++i)
            factura[i] = static_cast<char>(i * 131 % 256);
        RegistroFirma entero;
        entero.nombreFichero = "f.xml";
        entero.facturaBase64 = codificarBase64(factura);
        entero.firmaBase64 = "FIRMA";
        RegistroFirma alVuelo = entero;
        alVuelo.facturaBase64.clear();

        FicheroNuevo a(ruta("a.sig")), b(ruta("b.sig"));
        ASSERT_TRUE(a.abrir() && b.abrir());
        ASSERT_TRUE(grabarFicheroFirma(a, entero));
        ASSERT_TRUE(grabarFicheroFirma(b, alVuelo, factura));
        ASSERT_TRUE(a.confirmar() && b.confirmar());
        EXPECT_EQ(leer(ruta("a.sig")), leer(ruta("b.sig"))) << n;
    }
}

TEST_F(Escritura, FicheroDeFirmaEnDiscoLlenoNoSeDaPorBueno) {
    const std::string factura(2 << 20, 'F');
    fallos.bytesHastaFallo = 1 << 20;
    FicheroNuevo f(ruta("f.sig"));
    ASSERT_TRUE(f.abrir());
    EXPECT_FALSE(grabarFicheroFirma(f, RegistroFirma{}, factura));
    EXPECT_FALSE(f.confirmar());
    // Tras el fallo no se sigue codificando ni escribiendo.
    EXPECT_EQ(fallos.escritos, std::size_t{1} << 20);
    EXPECT_EQ(contenido(raiz), Nombres{});
}
