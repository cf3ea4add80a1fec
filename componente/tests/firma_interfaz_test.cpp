// FIRMA e importación de certificados tal como los ven los llamadores: la interfaz C y la línea
// de órdenes.
#include "certificados_prueba.h"
#include "morvelin/morvelin.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvelin::pruebas;

namespace {

const std::string NombreEntidad =
    "ENTIDAD \"EMPRESA, S.L.\" - CIF B12345674 - NOMBRE PÉREZ ANA - NIF 87654321X";

CertificadoPrueba entidad() {
    return CertificadoPrueba::crear({{"C", "ES"},
                                     {"CN", "EMPRESA, S.L."},
                                     {"serialNumber", "B12345674"},
                                     {"SN", "PÉREZ"},
                                     {"GN", "ANA"},
                                     {"1.3.6.1.4.1.18838.1.1", "87654321X"}});
}

std::string comillas(const std::string& s) {
    return "'" + s + "'";
}

std::string firmaC(const std::string& origen, const std::string& certificado,
                   const std::string& destino) {
    char* r = nullptr;
    if (morvelin_firma(origen.c_str(), certificado.c_str(), destino.c_str(), &r) != MORVELIN_OK)
        return "estado distinto de MORVELIN_OK";
    std::string texto = r;
    morvelin_liberar(r);
    return texto;
}

unsigned modo(const fs::path& ruta) {
    struct stat st {};
    ::stat(ruta.c_str(), &st);
    return st.st_mode & 07777;
}

class Interfaz : public ::testing::Test {
protected:
    void SetUp() override {
        raiz = fs::temp_directory_path() /
               ("morvelin-ifz-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(raiz);
        fs::create_directories(raiz);
        entorno.emplace(raiz);
        almacen = entorno->almacen();
        factura = ruta("factura.xml");
        escribirTodo(factura, "<Factura/>");
    }
    void TearDown() override {
        entorno.reset();
        fs::remove_all(raiz);
    }
    std::string ruta(const std::string& nombre) const { return (raiz / nombre).string(); }

    Salida morvelin(const std::string& argumentos) const {
        return ejecutar(std::string(MORVELIN_CLI) + " " + argumentos);
    }
    // La línea de órdenes con `entrada` (y un fin de línea) en su entrada estándar.
    Salida morvelin(const std::string& entrada, const std::string& argumentos) const {
        return ejecutar("printf '%s\\n' " + comillas(entrada) + " | " + MORVELIN_CLI + " " +
                        argumentos);
    }

    fs::path raiz, almacen;
    std::optional<EntornoAlmacenes> entorno;
    std::string factura;
};

} // namespace

TEST_F(Interfaz, CadaResultadoDeFirmaPorLaInterfazCYLaLineaDeOrdenes) {
    fs::create_directories(almacen);
    entidad().grabarPem(almacen / "entidad.pem", true);
    CertificadoPrueba::crear({{"serialNumber", "22222222J"}})
        .grabarPem(almacen / "sinclave.pem", false);
    escribirTodo(ruta("fichero"), "x");
    struct Caso {
        std::string origen, certificado, destino, resultado;
    };
    const Caso casos[] = {
        {factura, "B12345674", ruta("a/f.sig"), "00 " + NombreEntidad},
        {ruta("no.xml"), "B12345674", ruta("f.sig"),
         "01 No se ha podido leer el fichero a firmar."},
        {factura, "B1234567", ruta("f.sig"),
         "03 El certificado indicado no existe en el almacén de certificados."},
        {factura, "22222222J", ruta("f.sig"), "05 No se ha podido realizar la firma."},
        {factura, "B12345674", ruta("fichero/f.sig"),
         "04 No se ha podido grabar el fichero de firma en la ruta indicada."},
        {factura, "B12345674", "/dev/full",
         "04 No se ha podido grabar el fichero de firma en la ruta indicada."},
    };
    for (const Caso& c : casos) {
        const bool firma = c.resultado.starts_with("00");
        EXPECT_EQ(firmaC(c.origen, c.certificado, c.destino), c.resultado);
        if (firma) {
            EXPECT_FALSE(verificarFicheroFirma(c.destino, c.origen, raiz).empty());
        }
        const auto s = morvelin("firma " + comillas(c.origen) + " " + comillas(c.certificado) +
                                " " + comillas(c.destino));
        EXPECT_EQ(s.texto, c.resultado + "\n");
        EXPECT_EQ(s.estado, firma ? 0 : 1) << c.resultado;
        if (firma) {
            EXPECT_FALSE(verificarFicheroFirma(c.destino, c.origen, raiz).empty());
        }
    }
    // El almacén que no se abre.
    fs::remove_all(almacen);
    escribirTodo(almacen, "x");
    const std::string m02 = "02 No se tiene acceso al almacén de certificados.";
    EXPECT_EQ(firmaC(factura, "B12345674", ruta("f.sig")), m02);
    EXPECT_EQ(
        morvelin("firma " + comillas(factura) + " B12345674 " + comillas(ruta("f.sig"))).texto,
        m02 + "\n");
}

TEST_F(Interfaz, ImportaUnaCopiaAntiguaConContrasenaYLuegoFirma) {
    entidad().grabarPkcs12(ruta("copia.p12"), "secreto ñ", true);
    const auto s = morvelin("secreto ñ", "importa " + comillas(ruta("copia.p12")) + " 2>/dev/null");
    ASSERT_EQ(s.estado, 0) << s.texto;
    EXPECT_EQ(s.texto, "Certificado importado en " + (almacen / "copia.pem").string() +
                           ".\nResponde al identificador B12345674.\nFirmante: " + NombreEntidad +
                           "\n");
    EXPECT_EQ(modo(almacen), 0700u);
    EXPECT_EQ(modo(almacen / "copia.pem"), 0600u);
    EXPECT_EQ(firmaC(factura, "B12345674", ruta("f.sig")), "00 " + NombreEntidad);
    EXPECT_FALSE(verificarFicheroFirma(ruta("f.sig"), factura, raiz).empty());

    // Otra vez: no pisa la entrada que ya hay.
    ASSERT_EQ(morvelin("secreto ñ", "importa " + comillas(ruta("copia.p12"))).estado, 0);
    EXPECT_TRUE(fs::exists(almacen / "copia-2.pem"));
}

TEST_F(Interfaz, ImportaSinPedirContrasenaSiNoLaTieneYConClavePemCifrada) {
    entidad().grabarPkcs12(ruta("moderna.pfx"), "", false);
    auto s = morvelin("importa " + comillas(ruta("moderna.pfx")) + " </dev/null");
    EXPECT_EQ(s.estado, 0) << s.texto;

    const auto c = CertificadoPrueba::crear({{"CN", "PEM"}, {"serialNumber", "IDCES-11111111H"}});
    c.grabarPem(ruta("pem.pem"), true);
    ASSERT_EQ(ejecutar("openssl pkey -in " + comillas(ruta("pem.pem")) +
                       " -aes256 -passout pass:clave -out " + comillas(ruta("clave.pem")))
                  .estado,
              0);
    escribirTodo(ruta("cifrado.pem"), c.pemCertificado() + leerTodo(ruta("clave.pem")));
    s = morvelin("clave", "importa " + comillas(ruta("cifrado.pem")) + " 2>/dev/null");
    EXPECT_EQ(s.estado, 0) << s.texto;
    EXPECT_NE(s.texto.find("Responde al identificador 11111111H."), std::string::npos);
    EXPECT_EQ(firmaC(factura, "11111111H", ruta("f.sig")), "00 NOMBRE   - NIF IDCES-11111111H");
    EXPECT_FALSE(verificarFicheroFirma(ruta("f.sig"), factura, raiz).empty());
}

TEST_F(Interfaz, ImportacionesQueNoSeHacenNoDejanNada) {
    const auto c = entidad();
    c.grabarPkcs12(ruta("copia.p12"), "secreto", true);
    c.grabarPem(ruta("solo.crt"), false);
    escribirTodo(ruta("texto.txt"), "hola");
    struct Caso {
        std::string entrada, fichero, mensaje;
    };
    const Caso casos[] = {
        {"otra", ruta("copia.p12"), "La contraseña no es correcta."},
        {"", ruta("solo.crt"), "no trae la clave privada"},
        {"", ruta("texto.txt"), "no es un certificado"},
        {"", ruta("no-existe.p12"), "No se puede leer el fichero"},
    };
    const auto sinEntrada = morvelin("importa " + comillas(ruta("copia.p12")) + " </dev/null 2>&1");
    EXPECT_EQ(sinEntrada.estado, 1);
    EXPECT_NE(sinEntrada.texto.find("Sin contraseña"), std::string::npos) << sinEntrada.texto;
    for (const Caso& k : casos) {
        const auto s = morvelin(k.entrada, "importa " + comillas(k.fichero) + " 2>&1");
        EXPECT_EQ(s.estado, 1) << k.fichero;
        EXPECT_NE(s.texto.find(k.mensaje), std::string::npos) << s.texto;
        EXPECT_NE(s.texto.find("No se ha importado nada."), std::string::npos) << s.texto;
        EXPECT_FALSE(fs::exists(almacen) && !fs::is_empty(almacen)) << k.fichero;
    }
    EXPECT_EQ(morvelin("importa 2>&1").estado, 2);
}

namespace {

std::string base64(const std::string& bytes) {
    std::string t(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    t.resize(static_cast<std::size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(t.data()),
        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()))));
    return t;
}

// El fichero de firma con la línea `n` (1 a 9) cambiada.
std::string conLinea(const std::vector<std::string>& lineas, std::size_t n,
                     const std::string& nueva) {
    std::string t;
    for (std::size_t i = 0; i < lineas.size(); ++i)
        t += (i + 1 == n ? nueva : lineas[i]) + "\r\n";
    return t;
}

} // namespace

TEST_F(Interfaz, CompruebaSinRedLasFirmasBuenasYRechazaLasDemas) {
    fs::create_directories(almacen);
    const auto bueno = entidad();
    bueno.grabarPem(almacen / "entidad.pem", true);
    bueno.grabarPem(ruta("autoridad.pem"), false);
    fs::create_directories(ruta("autoridades"));
    bueno.grabarPem(ruta("autoridades/a.crt"), false);
    CertificadoPrueba::crear({{"serialNumber", "33333333P"}}, -30, -1)
        .grabarPem(almacen / "caducado.pem", true);
    ASSERT_EQ(firmaC(factura, "B12345674", ruta("buena.sig")), "00 " + NombreEntidad);
    ASSERT_EQ(firmaC(factura, "33333333P", ruta("caducada.sig")).substr(0, 2), "00");

    const auto lineas = lineasFirma(leerTodo(ruta("buena.sig")));
    ASSERT_EQ(lineas.size(), 9u);
    escribirTodo(ruta("otra-factura.sig"), conLinea(lineas, 5, base64("<Factura n='2'/>")));
    // Un byte cambiado en el valor de la firma (al final de la estructura).
    std::string firma(lineas[7].size() / 4 * 3, '\0');
    firma.resize(static_cast<std::size_t>(
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(firma.data()),
                        reinterpret_cast<const unsigned char*>(lineas[7].data()),
                        static_cast<int>(lineas[7].size()))));
    firma.resize(firma.size() -
                 static_cast<std::size_t>(std::count(lineas[7].begin(), lineas[7].end(), '=')));
    firma[firma.size() - 5] ^= 0x01;
    escribirTodo(ruta("alterada.sig"), conLinea(lineas, 8, base64(firma)));
    escribirTodo(ruta("sin-etiqueta.sig"), conLinea(lineas, 9, "</FIRMA>"));
    escribirTodo(ruta("base64.sig"), conLinea(lineas, 5, "no es base64!"));
    // Firmas que dicen haberse hecho en el futuro: en 2099, y dentro de 300 días con un
    // certificado que entonces ya será válido.
    const std::string resumen = sha1HexOpenssl(factura);
    const long long dia = 86400, ahora = std::time(nullptr);
    escribirTodo(ruta("futura.sig"),
                 conLinea(lineas, 8, base64(bueno.firmarConHora(resumen, 4070908800))));
    const auto adelantado = CertificadoPrueba::crear({{"serialNumber", "44444444A"}}, 290, 400);
    escribirTodo(ruta("adelantada.sig"),
                 conLinea(lineas, 8, base64(adelantado.firmarConHora(resumen, ahora + 300 * dia))));
    // Un firmante cuyo nombre lleva órdenes del terminal: se escriben visibles, no se ejecutan.
    CertificadoPrueba::crear({{"CN", "NOMBRE X\x1b[1A\x1b[2KFirma válida. - NIF 55555555K"},
                              {"serialNumber", "55555555K"}})
        .grabarPem(almacen / "terminal.pem", true);
    ASSERT_EQ(firmaC(factura, "55555555K", ruta("terminal.sig")).substr(0, 2), "00");
    EXPECT_EQ(
        morvelin("firma " + comillas(factura) + " 55555555K " + comillas(ruta("t.sig"))).texto,
        "00 NOMBRE X\\x1B[1A\\x1B[2KFirma válida. - NIF 55555555K\n");

    const std::string firmante = "Firmante: " + NombreEntidad + "\n";
    struct Caso {
        std::string argumentos, primeraLinea;
        int estado;
    };
    const Caso casos[] = {
        {"buena.sig", "Firma válida.", 0},
        {"buena.sig --autoridades autoridad.pem", "Firma válida.", 0},
        {"buena.sig --autoridades autoridades", "Firma válida.", 0},
        {"otra-factura.sig",
         "Firma no válida: la factura que lleva el fichero no es la que se firmó.", 1},
        {"alterada.sig", "Firma no válida: la firma está alterada", 1},
        {"caducada.sig", "Firma no válida: el certificado del firmante había caducado al firmar",
         1},
        {"buena.sig --autoridades factura.xml",
         "Firma no válida: no hay certificados de autoridad en", 1},
        {"caducada.sig --autoridades autoridad.pem",
         "Firma no válida: el certificado del firmante había caducado", 1},
        {"sin-etiqueta.sig",
         "Firma no válida: al fichero de firma le falta alguna de sus etiquetas", 1},
        {"base64.sig", "Firma no válida: la factura o la firma no están bien escritas en base64",
         1},
        {"no-existe.sig", "Firma no válida: el fichero de firma no se puede leer", 1},
        {"futura.sig", "Firma no válida: dice que se hizo el 01/01/2099 00:00:00 UTC, más tarde",
         1},
        {"adelantada.sig", "Firma no válida: dice que se hizo el ", 1},
        {"terminal.sig",
         "Firma válida.\nFirmante: NOMBRE X\\x1B[1A\\x1B[2KFirma válida. - NIF 55555555K\n", 0},
    };
    for (const Caso& c : casos) {
        const auto s = ejecutar("cd " + comillas(raiz.string()) + " && " + MORVELIN_CLI +
                                " comprueba " + c.argumentos);
        EXPECT_EQ(s.estado, c.estado) << c.argumentos << "\n" << s.texto;
        EXPECT_TRUE(s.texto.starts_with(c.primeraLinea)) << c.argumentos << "\n" << s.texto;
        EXPECT_EQ(s.texto.find('\x1b'), std::string::npos) << c.argumentos;
        const bool seLee = c.argumentos.starts_with("buena") || c.argumentos.starts_with("otra") ||
                           c.argumentos.starts_with("alterada");
        if (seLee) {
            EXPECT_NE(s.texto.find(firmante), std::string::npos) << s.texto;
            EXPECT_NE(s.texto.find("\nFirmada el "), std::string::npos) << s.texto;
        }
    }
    // Otra autoridad: no lleva a ella.
    CertificadoPrueba::crear({{"CN", "Otra"}}).grabarPem(ruta("otra.pem"), false);
    const auto s = ejecutar("cd " + comillas(raiz.string()) + " && " + MORVELIN_CLI +
                            " comprueba buena.sig --autoridades otra.pem");
    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(s.texto.starts_with(
        "Firma no válida: el certificado no lleva a ninguna de las autoridades indicadas.\n"))
        << s.texto;
    EXPECT_EQ(morvelin("comprueba 2>/dev/null").estado, 2);
    EXPECT_EQ(morvelin("comprueba f.sig --autoridades '' 2>/dev/null").estado, 2);
}

TEST_F(Interfaz, CertificadosDiceCualUsariaFirmaYLoQueContestaria) {
    fs::create_directories(almacen);
    // Un nombre de fichero con un salto de línea y un sujeto con órdenes del terminal: el
    // listado no pierde su forma ni gobierna el terminal.
    CertificadoPrueba::crear({{"CN", "\x1b]0;titulo\a\x1b[31mROJO"}, {"serialNumber", "66666666Q"}})
        .grabarPem(almacen / "4-con\nsalto.pem", true);
    CertificadoPrueba::crear({{"CN", "CADUCADO"}, {"serialNumber", "44444444A"}}, -30, -1)
        .grabarPem(almacen / "1-caducado.pem", true);
    CertificadoPrueba::crear({{"CN", "BUENO"}, {"serialNumber", "55555555K"}})
        .grabarPem(almacen / "2-bueno.pem", true);
    CertificadoPrueba::crear({{"CN", "SIN CLAVE"}, {"serialNumber", "55555555K"}})
        .grabarPem(almacen / "0-sinclave.pem", false);
    escribirTodo(almacen / "3-con-contrasena.p12", "no es PKCS #12");
    const std::string m03 = "03 El certificado indicado no existe en el almacén de certificados.";
    const std::string m05 = "05 No se ha podido realizar la firma.";
    struct Caso {
        std::string nif;
        int estado;
        std::string elegido; ///< el que FIRMA usaría, o vacío
        std::string firma;   ///< lo que FIRMA contesta, y el listado predice si no es "00"
    };
    const Caso casos[] = {
        {"55555555k", 0, "0-sinclave.pem", m05},
        {"44444444A", 0, "1-caducado.pem", "00 NOMBRE   - NIF 44444444A"},
        {"99999999R", 1, "", m03},
        {"5555555K", 1, "", m03},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nif);
        const auto s = morvelin("certificados " + c.nif + " </dev/null");
        EXPECT_EQ(s.estado, c.estado);
        // Una línea de veredicto por entrada, y la elección al final.
        std::size_t veredictos = 0;
        for (auto p = s.texto.find("Para «" + c.nif + "»: "); p != std::string::npos;
             p = s.texto.find("Para «" + c.nif + "»: ", p + 1))
            ++veredictos;
        EXPECT_EQ(veredictos, 5u) << s.texto;
        EXPECT_EQ(s.texto.find('\x1b'), std::string::npos) << s.texto;
        if (!c.elegido.empty()) {
            EXPECT_NE(s.texto.find("FIRMA usaría «" + c.elegido + "»"), std::string::npos)
                << s.texto;
        }
        if (!c.firma.starts_with("00")) {
            EXPECT_NE(s.texto.find("«" + c.firma + "»"), std::string::npos) << s.texto;
        }
        EXPECT_EQ(firmaC(factura, c.nif, ruta("f.sig")), c.firma);
    }
    // Sin NIF, las entradas en el orden en que se miran, sin veredictos.
    const auto s = morvelin("certificados </dev/null");
    EXPECT_EQ(s.estado, 0);
    EXPECT_EQ(s.texto.find("Para «"), std::string::npos) << s.texto;
    EXPECT_NE(s.texto.find("Sujeto: CN=CADUCADO, serialNumber=44444444A\n"), std::string::npos)
        << s.texto;
    EXPECT_NE(s.texto.find("Sujeto: CN=\\1B]0\\;titulo\\07\\1B[31mROJO, serialNumber=66666666Q\n"),
              std::string::npos)
        << s.texto;
    EXPECT_EQ(s.texto.find('\x1b'), std::string::npos) << s.texto;
    std::size_t anterior = 0;
    for (const char* entrada : {"0-sinclave.pem", "1-caducado.pem", "2-bueno.pem",
                                "3-con-contrasena.p12", "4-con\\x0Asalto.pem"}) {
        const auto p = s.texto.find(std::string("   - ") + entrada + "\n");
        EXPECT_NE(p, std::string::npos) << entrada;
        EXPECT_GT(p, anterior) << entrada;
        anterior = p;
    }
}

TEST_F(Interfaz, FirmaConLaClaveQueQuedaEnUnaBaseNssYLosPerfilesSeMiranPorOrden) {
    const auto persona = [](const std::string& cn) {
        return CertificadoPrueba::crear(
            {{"CN", cn}, {"serialNumber", "66666666Q"}, {"SN", "RUIZ"}, {"GN", cn}}, -1, 365, true);
    };
    // Firefox: el perfil predeterminado va segundo en profiles.ini, y se mira primero.
    const fs::path firefox = raiz / "casa/.mozilla/firefox";
    crearBaseNss(firefox / "a.otro", {{"otro", persona("OTRO")}});
    crearBaseNss(firefox / "b.predeterminado", {{"predeterminado", persona("PREDETERMINADO")}});
    escribirTodo(firefox / "profiles.ini",
                 "[Profile0]\nName=otro\nIsRelative=1\nPath=a.otro\n\n"
                 "[Profile1]\nName=principal\nIsRelative=1\nPath=b.predeterminado\nDefault=1\n");
    EXPECT_EQ(firmaC(factura, "66666666Q", ruta("firefox.sig")),
              "00 NOMBRE RUIZ PREDETERMINADO - NIF 66666666Q");
    EXPECT_FALSE(verificarFicheroFirma(ruta("firefox.sig"), factura, raiz).empty());
    EXPECT_EQ(morvelin("comprueba " + comillas(ruta("firefox.sig"))).estado, 0);

    // MORVELIN_NSSDB va antes que los perfiles; la carpeta, antes que todo.
    crearBaseNss(raiz / "propia", {{"propia", persona("PROPIA")}});
    ::setenv("MORVELIN_NSSDB", ("sql:" + (raiz / "propia").string()).c_str(), 1);
    const auto s = morvelin("firma " + comillas(factura) + " 66666666Q " + comillas(ruta("p.sig")));
    EXPECT_EQ(s.texto, "00 NOMBRE RUIZ PROPIA - NIF 66666666Q\n");
    EXPECT_FALSE(verificarFicheroFirma(ruta("p.sig"), factura, raiz).empty());
    const auto l = morvelin("certificados 66666666Q");
    const auto pos = [&](const std::string& t) {
        return l.texto.find(t);
    };
    EXPECT_LT(pos("MORVELIN_NSSDB): 1 certificado."), pos("perfil de Firefox «principal»"))
        << l.texto;
    EXPECT_LT(pos("perfil de Firefox «principal»"), pos("perfil de Firefox «otro»")) << l.texto;
    EXPECT_NE(pos("   - PROPIA\n     Sujeto: CN=PROPIA"), std::string::npos) << l.texto;
    EXPECT_NE(pos("antes se encuentra el de almacén NSS (" + (raiz / "propia").string()),
              std::string::npos)
        << l.texto;
    fs::create_directories(almacen);
    persona("CARPETA").grabarPem(almacen / "c.pem", true);
    EXPECT_EQ(firmaC(factura, "66666666Q", ruta("c.sig")),
              "00 NOMBRE RUIZ CARPETA - NIF 66666666Q");
}

namespace {

// `morvelin argumentos` en un terminal nuevo, con el pinentry de terminal: cuando aparece
// `espera` en pantalla, teclea `teclas`. Devuelve todo lo que se ha visto en el terminal.
std::string enTerminal(const std::string& argumentos, const std::string& espera,
                       const std::string& teclas) {
    int fd = -1;
    const pid_t pid = ::forkpty(&fd, nullptr, nullptr, nullptr);
    if (pid == 0) {
        const std::string orden = "TERM=xterm MORVELIN_PINENTRY=pinentry-curses " +
                                  std::string(MORVELIN_CLI) + " " + argumentos;
        ::execl("/bin/sh", "sh", "-c", orden.c_str(), nullptr);
        ::_exit(127);
    }
    std::string visto;
    bool tecleado = false;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            break;
        char b[4096];
        const ssize_t n = ::read(fd, b, sizeof b);
        if (n <= 0)
            break;
        visto.append(b, static_cast<std::size_t>(n));
        if (!tecleado && visto.find(espera) != std::string::npos) {
            tecleado = ::write(fd, teclas.data(), teclas.size()) > 0;
        }
    }
    ::close(fd);
    ::waitpid(pid, nullptr, 0);
    return visto;
}

} // namespace

namespace {

CertificadoPrueba titular(const std::string& nif, const std::string& uso,
                          const std::string& usoClave) {
    return CertificadoPrueba::crear({{"C", "ES"},
                                     {"serialNumber", nif},
                                     {"SN", "ESPAÑOL"},
                                     {"GN", "JUAN"},
                                     {"CN", "ESPAÑOL ESPAÑOL, JUAN (" + uso + ")"}},
                                    -1, 365, true, usoClave);
}

// Dos tarjetas de p11-kit. Como el DNI, una con uno de autenticación y otro de firma para el
// mismo titular (el de autenticación va antes por su etiqueta); otra con solo uno de
// autenticación.
class Tarjetas : public Interfaz {
protected:
    void SetUp() override {
        Interfaz::SetUp();
        crearTarjeta("DNI PRUEBA", "1234");
        titular("12345678Z", "AUTENTICACIÓN", "critical,digitalSignature")
            .cargarEnTarjeta("DNI PRUEBA", "1234", "a-autenticacion", "01", true, raiz);
        titular("12345678Z", "FIRMA", "critical,nonRepudiation")
            .cargarEnTarjeta("DNI PRUEBA", "1234", "b-firma", "02", true, raiz);
        crearTarjeta("SOLO AUTENTICACION", "1234");
        titular("87654321X", "AUTENTICACIÓN", "critical,digitalSignature")
            .cargarEnTarjeta("SOLO AUTENTICACION", "1234", "autenticacion", "01", true, raiz);
    }

    static constexpr const char* Firmado = "00 NOMBRE ESPAÑOL JUAN - NIF 12345678Z";
};

} // namespace

TEST_F(Tarjetas, ListarNoPideElPinYCuentaQueSePrefiereElCertificadoDeFirma) {
    auto l = morvelin("certificados 12345678Z");
    EXPECT_EQ(l.estado, 0);
    for (const std::string frase :
         {"almacén PKCS #11 (tarjeta «DNI PRUEBA» en «SoftHSM slot ",
          "Clave privada: no se sabe sin el PIN o la contraseña (no se piden aquí)",
          "FIRMA usaría «b-firma» del almacén PKCS #11 (tarjeta «DNI PRUEBA»",
          "FIRMA pedirá el PIN o la contraseña con pinentry"})
        EXPECT_NE(l.texto.find(frase), std::string::npos) << frase << "\n----\n" << l.texto;
    // La de solo autenticación es la que FIRMA usaría, con un aviso.
    l = morvelin("certificados 87654321X");
    EXPECT_NE(l.texto.find("FIRMA usaría «autenticacion»"), std::string::npos) << l.texto;
    EXPECT_NE(l.texto.find("Aviso: su clave no tiene el uso de no repudio"), std::string::npos)
        << l.texto;
    EXPECT_FALSE(fs::exists(ruta("pinentry.txt")));
}

TEST_F(Tarjetas, FirmaConElCertificadoDeFirmaTrasPedirElPinUnaSolaVez) {
    // El PIN: con un byte 0 (no llega a la tarjeta: no cuenta como intento), malo, cancelado,
    // bueno y sin programa que lo pida. Tras un PIN malo, la tarjeta avisa y el aviso se enseña.
    struct Caso {
        const char *pin, *pinentry, *resultado;
        bool aviso;
    };
    const Caso casos[] = {
        {"12%0034", PINENTRY_FALSO, "05 No se ha podido realizar la firma.", false},
        {"9999", PINENTRY_FALSO, "05 No se ha podido realizar la firma.", false},
        {"", PINENTRY_FALSO, "05 No se ha podido realizar la firma.", true},
        {"1234", PINENTRY_FALSO, Firmado, true},
        {"1234", "/no/hay/pinentry", "05 No se ha podido realizar la firma.", false},
    };
    std::string pedido;
    for (const Caso& c : casos) {
        ::setenv("PIN_FALSO", c.pin, 1);
        ::setenv("MORVELIN_PINENTRY", c.pinentry, 1);
        fs::remove(ruta("f.sig"));
        fs::remove(ruta("pinentry.txt"));
        EXPECT_EQ(firmaC(factura, "12345678Z", ruta("f.sig")), c.resultado) << c.pin;
        const std::string apuntado = leerTodo(ruta("pinentry.txt"));
        EXPECT_EQ(apuntado.find("SETERROR El PIN ya ha fallado antes") != std::string::npos,
                  c.aviso)
            << c.pin << "\n"
            << apuntado;
        pedido += apuntado;
        if (std::string(c.resultado).starts_with("00")) {
            const auto impreso = verificarFicheroFirma(ruta("f.sig"), factura, raiz);
            EXPECT_NE(impreso.find("(FIRMA)"), std::string::npos) << impreso;
            EXPECT_EQ(morvelin("comprueba " + comillas(ruta("f.sig"))).estado, 0);
        } else {
            EXPECT_FALSE(fs::exists(ruta("f.sig")));
        }
    }
    EXPECT_NE(pedido.find("SETDESC Introduzca el PIN de la tarjeta «DNI PRUEBA» para firmar la "
                          "factura como «ESPAÑOL ESPAÑOL, JUAN (FIRMA)»."),
              std::string::npos)
        << pedido;
}

TEST_F(Tarjetas, FirmaPorLaLineaDeOrdenesYConElPinentryDeTerminal) {
    ::setenv("PIN_FALSO", "1234", 1);
    EXPECT_EQ(
        morvelin("firma " + comillas(factura) + " 12345678Z " + comillas(ruta("cli.sig"))).texto,
        std::string(Firmado) + "\n");
    EXPECT_FALSE(verificarFicheroFirma(ruta("cli.sig"), factura, raiz).empty());
    if (ejecutar("command -v pinentry-curses >/dev/null").estado != 0) {
        std::cout << "OMITIDA: sin pinentry-curses no se prueba el pinentry de verdad.\n";
        GTEST_SKIP();
    }
    // Con el pinentry de terminal de verdad, en un terminal: el PIN se teclea y no se ve.
    const std::string visto = enTerminal(
        "firma " + comillas(factura) + " 12345678Z " + comillas(ruta("tty.sig")), "PIN", "1234\r");
    EXPECT_NE(visto.find(Firmado), std::string::npos) << visto;
    // Sin las órdenes de pantalla (ESC [ ... letra), el diálogo enseña asteriscos, no el PIN.
    std::string texto;
    for (std::size_t i = 0; i < visto.size(); ++i) {
        if (visto[i] == '\x1b' && i + 1 < visto.size() && visto[i + 1] == '[') {
            for (i += 2; i < visto.size() && !std::isalpha(static_cast<unsigned char>(visto[i]));)
                ++i;
            continue;
        }
        texto += visto[i];
    }
    const std::string dialogo = texto.substr(0, texto.find("00 NOMBRE"));
    EXPECT_EQ(dialogo.find("1234"), std::string::npos) << dialogo;
    EXPECT_NE(dialogo.find("*"), std::string::npos) << dialogo;
    EXPECT_FALSE(verificarFicheroFirma(ruta("tty.sig"), factura, raiz).empty());
}

TEST_F(Tarjetas, UnaBaseNssConContrasenaVaAntesYPideLaContrasena) {
    // Un salto de línea en el nombre común no da forma al diálogo: llega como un espacio.
    crearBaseNss(raiz / "con-contrasena", {{"eva", titular("12345678Z", "BASE\nLÍNEA", "")}},
                 "secreta");
    ::setenv("MORVELIN_NSSDB", (raiz / "con-contrasena").c_str(), 1);
    ::setenv("PIN_FALSO", "secreta", 1);
    EXPECT_EQ(firmaC(factura, "12345678Z", ruta("b.sig")), Firmado);
    EXPECT_NE(verificarFicheroFirma(ruta("b.sig"), factura, raiz).find("(BASE"), std::string::npos);
    const std::string pedido = leerTodo(ruta("pinentry.txt"));
    EXPECT_NE(pedido.find("SETPROMPT Contraseña:"), std::string::npos);
    EXPECT_NE(pedido.find("como «ESPAÑOL ESPAÑOL, JUAN (BASE LÍNEA)»."), std::string::npos)
        << pedido;
    ::setenv("PIN_FALSO", "otra", 1);
    EXPECT_EQ(firmaC(factura, "12345678Z", ruta("b.sig")), "05 No se ha podido realizar la firma.");
}

TEST_F(Tarjetas, LoQueCambiaEntreDosFirmasSeVeYCadaUnaPideElPin) {
    // Las tres firmas, con el mismo ayudante de las tarjetas y sus módulos cargados: la segunda
    // ve el certificado puesto en una tarjeta, la tercera una tarjeta de programa creada por
    // otro proceso, y ninguna se vale del PIN de la anterior.
    ::setenv("PIN_FALSO", "1234", 1);
    EXPECT_EQ(firmaC(factura, "12345678Z", ruta("1.sig")), Firmado);
    // Un certificado más en una tarjeta que ya estaba.
    titular("11111111H", "FIRMA", "critical,nonRepudiation")
        .cargarEnTarjeta("SOLO AUTENTICACION", "1234", "otra-firma", "02", true, raiz);
    EXPECT_EQ(firmaC(factura, "11111111H", ruta("2.sig")),
              "00 NOMBRE ESPAÑOL JUAN - NIF 11111111H");
    // Una tarjeta nueva.
    crearTarjeta("NUEVA", "1234");
    titular("22222222J", "FIRMA", "critical,nonRepudiation")
        .cargarEnTarjeta("NUEVA", "1234", "nueva", "01", true, raiz);
    EXPECT_EQ(firmaC(factura, "22222222J", ruta("3.sig")),
              "00 NOMBRE ESPAÑOL JUAN - NIF 22222222J");
    const std::string pedido = leerTodo(ruta("pinentry.txt"));
    std::size_t n = 0;
    for (std::size_t p = 0; (p = pedido.find("GETPIN", p)) != std::string::npos; ++p)
        ++n;
    EXPECT_EQ(n, 3u) << pedido;
}
