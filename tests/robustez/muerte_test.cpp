// Grabaciones matadas a medias. Cada escritor graba versiones sucesivas de su fichero en un
// proceso hijo que se mata con SIGKILL en un momento al azar; después el fichero ha de ser la
// versión anterior o la nueva, enteras, y lo único más que puede haber en su carpeta son
// temporales con el nombre reservado, que la siguiente grabación completa quita.
#include "apoyo_robustez.h"
#include "certificados_prueba.h"

#include "Telefonos/nucleo/almacen.h"
#include "frmTablas/nucleo/fichero_tabla.h"
#include "infraestructura/codificacion.h"
#include "operaciones/verificacion_en_linea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace robustez;
using Reloj = std::chrono::steady_clock;

#ifndef ZOQ_MUERTES
#define ZOQ_MUERTES 100
#endif

namespace {

// Una de cada tantas grabaciones se deja terminar: tras ella no puede quedar ningún temporal.
constexpr int CadaCuantasEntera = 10;

/// Lo que la prueba sabe de un escritor.
struct Escritor {
    Escritor(std::string n, fs::path d, const char* t)
        : nombre(std::move(n)), destino(std::move(d)), temporal(t) {}
    std::string nombre;
    fs::path destino;    ///< solo en su carpeta, para ver lo que queda al lado
    std::regex temporal; ///< nombre reservado de sus temporales
    /// En el padre, antes de grabar la versión v (la factura que se firma, por ejemplo).
    std::function<void(int v)> preparar = [](int) {
    };
    /// Arranca en un proceso hijo la grabación de la versión v; devuelve su pid y deja en
    /// `aviso` un descriptor que se puede leer cuando la grabación ha terminado.
    std::function<int(int v, int* aviso)> grabar;
    /// Si los bytes son la versión v entera.
    std::function<bool(const std::string& bytes, int v)> esVersion;
};

/// Un texto de unos `bytes` bytes en el que cada línea lleva la versión: una mezcla de dos
/// versiones no pasa por ninguna.
std::string textoVersion(int v, std::size_t bytes) {
    std::string s;
    s.reserve(bytes + 100);
    for (int linea = 0; s.size() < bytes; ++linea)
        s += "<Linea version=\"" + std::to_string(v) + "\" n=\"" + std::to_string(linea) +
             "\">Importe 1.234,50 EUR</Linea>\n";
    return s;
}

/// Los bytes de las dos últimas versiones pedidas, para no rehacerlos en cada comparación.
class Versiones {
public:
    explicit Versiones(std::function<std::string(int)> hacer) : hacer_(std::move(hacer)) {}
    const std::string& operator()(int v) {
        Hecha& h = hechas_[v % 2];
        if (h.v != v)
            h = {v, hacer_(v)};
        return h.bytes;
    }

private:
    struct Hecha {
        int v = -1;
        std::string bytes;
    };
    std::function<std::string(int)> hacer_;
    Hecha hechas_[2];
};

double milisegundos(Reloj::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void matarAMedias(Escritor& e, std::uint64_t semillaEscritor) {
    std::mt19937_64 azar(semillaEscritor);
    const fs::path carpeta = e.destino.parent_path();
    const std::string nombreDestino = e.destino.filename().string();

    // La versión 0, entera, crea el fichero; grabarla otras tres veces mide cuánto dura una que
    // lo sustituye (la mediana: la máquina se comparte).
    std::vector<Reloj::duration> medidas;
    int estado = 0;
    for (int vez = 0; vez < 4; ++vez) {
        e.preparar(0);
        // Desde que el hijo existe hasta que avisa, como en las que se matan.
        int aviso = -1;
        const int pid = e.grabar(0, &aviso);
        const auto inicio = Reloj::now();
        esperarAviso(aviso);
        if (vez > 0)
            medidas.push_back(Reloj::now() - inicio);
        ::close(aviso);
        estado = esperar(pid);
        ASSERT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0) << e.nombre;
        ASSERT_TRUE(e.esVersion(leerTodo(e.destino), 0)) << e.nombre;
    }
    std::sort(medidas.begin(), medidas.end());
    const Reloj::duration duracion = medidas[1];

    int actual = 0, viejos = 0, nuevos = 0, conTemporal = 0, muertos = 0;
    const auto comienzo = Reloj::now();
    // Se mata en cualquier momento hasta una vez y media lo que dura una grabación: unas caen
    // antes de acabar y otras después.
    std::uniform_int_distribution<long> espera(
        0, std::chrono::duration_cast<std::chrono::microseconds>(duracion).count() * 3 / 2);
    for (int v = 1; v <= ZOQ_MUERTES; ++v) {
        const bool entera = v % CadaCuantasEntera == 0 || v == ZOQ_MUERTES;
        e.preparar(v);
        int aviso = -1;
        const int pid = e.grabar(v, &aviso);
        if (!entera) {
            std::this_thread::sleep_for(std::chrono::microseconds(espera(azar)));
            ::kill(pid, SIGKILL);
        }
        estado = esperar(pid);
        ::close(aviso);
        if (WIFSIGNALED(estado) && WTERMSIG(estado) == SIGKILL)
            ++muertos;
        else
            ASSERT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0)
                << e.nombre << ", versión " << v << ": la grabación falló sola";

        const std::string bytes = leerTodo(e.destino);
        if (e.esVersion(bytes, v)) {
            actual = v;
            ++nuevos;
        } else {
            ASSERT_FALSE(entera) << e.nombre << ": la grabación entera " << v << " no está";
            ASSERT_TRUE(e.esVersion(bytes, actual))
                << e.nombre << ", versión " << v << ": el fichero no es ni la versión " << actual
                << " ni la " << v << " (" << bytes.size() << " bytes)";
            ++viejos;
        }
        bool hayTemporal = false;
        for (const auto& entrada : fs::directory_iterator(carpeta)) {
            const std::string n = entrada.path().filename().string();
            if (n == nombreDestino)
                continue;
            ASSERT_TRUE(std::regex_match(n, e.temporal))
                << e.nombre << ", versión " << v << ": queda «" << n
                << "», que no tiene nombre de temporal";
            ASSERT_FALSE(entera) << e.nombre << ": la grabación entera " << v << " deja «" << n
                                 << "»";
            hayTemporal = true;
        }
        conTemporal += hayTemporal;
    }
    const double total = milisegundos(Reloj::now() - comienzo);
    std::printf("%-28s %d grabaciones en %.0f ms (una entera, %.1f ms): %d matadas; quedó la "
                "versión anterior %d veces y la nueva %d; %d dejaron temporal\n",
                e.nombre.c_str(), ZOQ_MUERTES, total, milisegundos(duracion), muertos, viejos,
                nuevos, conTemporal);
    // Si ninguna muerte cayera antes del final, la prueba no probaría nada.
    EXPECT_GT(viejos, 0) << e.nombre;
    EXPECT_GT(nuevos, ZOQ_MUERTES / CadaCuantasEntera) << e.nombre;
}

class Muerte : public ::testing::Test {
protected:
    static void SetUpTestSuite() { semilla_ = semilla("Muerte"); }
    std::uint64_t semillaDe(const std::string& nombre) const {
        return semilla_ ^ std::hash<std::string>{}(nombre);
    }
    Carpeta trabajo{"muerte"};
    static inline std::uint64_t semilla_ = 0;
};

} // namespace

// Los datos de cada versión se preparan en el padre: el hijo solo graba.
TEST_F(Muerte, FicheroDeContactos) {
    fs::create_directories(trabajo / "tlf");
    const QString ruta = QString::fromStdString((trabajo / "tlf" / "TELEFONO.DAT").string());
    Telefonos::TablaContactos filas;
    Versiones versiones([&](int v) {
        filas.clear();
        for (int i = 0; i < 4000; ++i)
            filas.push_back({QString(), QStringLiteral("Cliente %1 de la versión %2").arg(i).arg(v),
                             QStringLiteral("91 555 %1").arg(i), QStringLiteral("91 555 %1").arg(v),
                             QStringLiteral("cliente%1@ejemplo.es").arg(i)});
        return Telefonos::ComponerFichero(filas).toStdString();
    });
    Escritor e("TELEFONO.DAT", (trabajo / "tlf" / "TELEFONO.DAT"),
               R"(\.TELEFONO\.DAT\.zoq-[A-Za-z0-9]{6}\.tmp)");
    // El hijo hereda el almacén ya cargado.
    Telefonos::AlmacenContactos almacen({ruta, false});
    e.preparar = [&](int v) {
        versiones(v);
        almacen.Cargar();
    };
    e.grabar = [&](int, int* aviso) {
        return hijo(
            [&] {
                return almacen.Grabar(filas).estado ==
                               Telefonos::AlmacenContactos::Grabacion::Grabado
                           ? 0
                           : 1;
            },
            aviso);
    };
    e.esVersion = [&](const std::string& bytes, int v) {
        return bytes == versiones(v);
    };
    matarAMedias(e, semillaDe(e.nombre));
}

TEST_F(Muerte, FicheroDeTabla) {
    fs::create_directories(trabajo / "tablas");
    const QString ruta = QString::fromStdString((trabajo / "tablas" / "TABLA.TXT").string());
    QByteArray datos;
    Versiones versiones([&](int v) {
        QStringList lineas;
        for (int i = 0; i < 15000; ++i)
            lineas << QStringLiteral("Artículo %1 versión %2 ñandú").arg(i).arg(v);
        datos = frmTablas::CodificarTabla(lineas, frmTablas::Codificacion::Utf8, nullptr);
        return datos.toStdString();
    });
    Escritor e("TABLA.TXT", trabajo / "tablas" / "TABLA.TXT",
               R"(\.TABLA\.TXT\.zoq-[A-Za-z0-9]{6}\.tmp)");
    e.preparar = [&](int v) {
        versiones(v);
    };
    e.grabar = [&](int, int* aviso) {
        return hijo([&] { return frmTablas::Capa().Grabar(ruta, datos).isEmpty() ? 0 : 1; }, aviso);
    };
    e.esVersion = [&](const std::string& bytes, int v) {
        return bytes == versiones(v);
    };
    matarAMedias(e, semillaDe(e.nombre));
}

TEST_F(Muerte, FacturaVerificada) {
    fs::create_directories(trabajo / "verificadas");
    const fs::path destino = trabajo / "verificadas" / "factura.xml";
    Versiones versiones([&](int v) { return textoVersion(v, 2 << 20); });
    Escritor e("factura verificada", destino, R"(\.morvelin-[0-9a-f]{8}-[0-9a-z]{10}\.tmp)");
    std::string factura;
    e.preparar = [&](int v) {
        factura = versiones(v);
    };
    e.grabar = [&](int, int* aviso) {
        return hijo(
            [&] {
                morvelin::grabarFactura(factura, destino.string());
                return 0;
            },
            aviso);
    };
    e.esVersion = [&](const std::string& bytes, int v) {
        return bytes == versiones(v);
    };
    matarAMedias(e, semillaDe(e.nombre));
}

// VERIFICA entero, contra el servicio de verificación local en su propio proceso: la factura se
// graba tras el intercambio, así que la mayoría de las muertes caen antes de empezar a grabarla
// (la prueba anterior cubre la escritura en sí).
TEST_F(Muerte, FacturaVerificadaContraElServicio) {
    const fs::path autoridad = trabajo / "autoridad.pem";
    const fs::path direccionEn = trabajo / "direccion";
    std::fflush(nullptr);
    const int servicio = ::fork();
    if (servicio == 0) {
        const int nulo = ::open("/dev/null", O_WRONLY);
        ::dup2(nulo, 1);
        ::execl(SERVICIO_VERIFICACION, "servicio-verificacion", "--autoridad", autoridad.c_str(),
                "--direccion-en", direccionEn.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    struct Parar {
        int pid;
        ~Parar() {
            ::kill(pid, SIGTERM);
            esperar(pid);
        }
    } parar{servicio};
    for (int i = 0; i < 400 && !fs::exists(direccionEn); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    const std::string url = leerTodo(direccionEn).substr(0, leerTodo(direccionEn).find('\n'));
    ASSERT_TRUE(url.starts_with("https://127.0.0.1:")) << "el servicio local no ha arrancado";
    ::setenv("CURL_CA_BUNDLE", autoridad.c_str(), 1);
    ::unsetenv("SSL_CERT_FILE");
    ::unsetenv("SSL_CERT_DIR");
    ::setenv("no_proxy", "127.0.0.1", 1);

    fs::create_directories(trabajo / "verificadas");
    const fs::path firmado = trabajo / "factura.sig";
    const fs::path destino = trabajo / "verificadas" / "factura.xml";
    Versiones versiones([&](int v) { return textoVersion(v, 128 << 10); });
    // La firma no es de la factura: el veredicto es otro, pero la factura se graba igual.
    Escritor e("factura de VERIFICA", destino, R"(\.morvelin-[0-9a-f]{8}-[0-9a-z]{10}\.tmp)");
    e.preparar = [&](int v) {
        std::string t;
        for (const std::string& l :
             {std::string("<NOMFIC>"), std::string("factura.xml"), std::string("</NOMFIC>"),
              std::string("<FACB64>"), morvelin::codificarBase64(versiones(v)),
              std::string("</FACB64>"), std::string("<FIRB64>"), morvelin::codificarBase64("x"),
              std::string("</FIRB64>")})
            t += l + "\r\n";
        robustez::escribirTodo(firmado, t);
    };
    e.grabar = [&](int, int* aviso) {
        return hijo(
            [&] {
                const std::string r = morvelin::verificar(firmado.string(), destino.string(),
                                                          morvelin::ServicioVerificacion{url, {}});
                // Cualquier veredicto del servicio vale; no uno de no haber podido hablar con él o
                // grabar.
                const std::string codigo = r.substr(0, 2);
                return codigo == "00" || (codigo >= "12" && codigo <= "16") || codigo == "99" ? 0
                                                                                              : 1;
            },
            aviso);
    };
    e.esVersion = [&](const std::string& bytes, int v) {
        return bytes == versiones(v);
    };
    matarAMedias(e, semillaDe(e.nombre));
    for (const char* v : {"CURL_CA_BUNDLE", "no_proxy"})
        ::unsetenv(v);
}

TEST_F(Muerte, FicheroDeFirma) {
    using namespace morvelin::pruebas;
    const fs::path almacen = trabajo / "datos/MORVELIN/MY";
    fs::create_directories(almacen);
    CertificadoPrueba::crear({{"C", "ES"}, {"CN", "EMPRESA, S.L."}, {"serialNumber", "B12345674"}})
        .grabarPem(almacen / "entidad.pem", true);
    ::setenv("XDG_DATA_HOME", (trabajo / "datos").c_str(), 1);
    fs::create_directories(trabajo / "firmas");
    const fs::path factura = trabajo / "factura.xml";
    const fs::path destino = trabajo / "firmas" / "factura.sig";

    Escritor e("fichero de firma", destino, R"(\.morvelin-[0-9a-f]{8}-[0-9a-z]{10}\.tmp)");
    Versiones versiones([&](int v) { return textoVersion(v, 1 << 20); });
    e.preparar = [&](int v) {
        robustez::escribirTodo(factura, versiones(v));
    };
    // La línea de órdenes escribe su resultado al terminar: eso es el aviso.
    e.grabar = [&](int, int* aviso) {
        int tubo[2];
        if (::pipe(tubo) != 0)
            return -1;
        std::fflush(nullptr);
        const int pid = ::fork();
        if (pid == 0) {
            ::dup2(tubo[1], 1);
            ::close(tubo[0]);
            ::close(tubo[1]);
            ::execl(MORVELIN_CLI, "morvelin", "firma", factura.c_str(), "B12345674",
                    destino.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(tubo[1]);
        *aviso = tubo[0];
        return pid;
    };
    // La firma cambia en cada grabación (lleva la hora): una versión entera es la de las nueve
    // líneas con la factura de esa versión y una firma DER completa; la primera de cada cual se
    // comprueba además con la herramienta openssl.
    int comprobadas = 0;
    e.esVersion = [&](const std::string& bytes, int v) {
        const std::vector<std::string> l = lineasFirma(bytes);
        if (l.size() != 9 || l[1] != "factura.xml" ||
            morvelin::decodificarBase64(l[4]) != versiones(v))
            return false;
        const std::string der = morvelin::decodificarBase64(l[7]);
        if (der.size() < 4 || static_cast<unsigned char>(der[0]) != 0x30)
            return false;
        // Longitud DER de la secuencia exterior: ha de ocupar justo lo que hay.
        std::size_t largo = static_cast<unsigned char>(der[1]), cabecera = 2;
        if (largo & 0x80) {
            const std::size_t n = largo & 0x7F;
            largo = 0;
            for (std::size_t i = 0; i < n && 2 + i < der.size(); ++i)
                largo = largo << 8 | static_cast<unsigned char>(der[2 + i]);
            cabecera += n;
        }
        if (cabecera + largo != der.size())
            return false;
        if (comprobadas < 1 && v > 0) {
            ++comprobadas;
            const fs::path copiaFirma = trabajo / "comprobar.sig";
            robustez::escribirTodo(copiaFirma, bytes);
            EXPECT_FALSE(verificarFicheroFirma(copiaFirma, factura, trabajo.ruta()).empty());
        }
        return true;
    };
    matarAMedias(e, semillaDe(e.nombre));
    ::unsetenv("XDG_DATA_HOME");
}
