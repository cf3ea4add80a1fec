// Los temporales que deja una grabación interrumpida: la siguiente grabación del mismo fichero
// los quita, y no toca ni los de una grabación en curso ni nada que no sea uno de ellos.
#include "apoyo_robustez.h"

#include "Telefonos/nucleo/almacen.h"
#include "basicos/nucleo/temporales.h"
#include "frmTablas/nucleo/fichero_tabla.h"
#include "infraestructura/escritura.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace robustez;
using Nombres = std::vector<std::string>;

namespace {

QString Q(const fs::path& ruta) {
    return QString::fromStdString(ruta.string());
}

// Un temporal como el que deja una grabación matada: creado, escrito a medias y sin cerrojo.
std::string temporalAbandonado(const fs::path& destino) {
    const basicos::Temporal t = basicos::CrearTemporal(Q(destino));
    EXPECT_GE(t.descriptor, 0);
    EXPECT_EQ(::write(t.descriptor, "a medias", 8), 8);
    ::close(t.descriptor);
    return fs::path(t.ruta.toStdString()).filename().string();
}

} // namespace

TEST(Temporales, LaSiguienteGrabacionQuitaLosAbandonadosYSoloEsos) {
    Carpeta c("temporales");
    const fs::path tabla = c / "TABLA.TXT";
    escribirTodo(tabla, "vieja\r\n");
    const std::string abandonado1 = temporalAbandonado(tabla);
    const std::string abandonado2 = temporalAbandonado(tabla);
    EXPECT_TRUE(abandonado1.starts_with(".TABLA.TXT.zoq-") && abandonado1.ends_with(".tmp"))
        << abandonado1;
    // Uno de una grabación en curso (abierto y bajo cerrojo), y lo que solo se le parece.
    const basicos::Temporal enCurso = basicos::CrearTemporal(Q(tabla));
    ASSERT_GE(enCurso.descriptor, 0);
    const std::string deOtro = temporalAbandonado(c / "OTRA.TXT");
    const Nombres ajenos = {".TABLA.TXT.zoq-abc.tmp", ".TABLA.TXT.zoq-abcdef.txt", "TABLA.TXT.bak",
                            "TABLA.TXT.zoq-abcdef.tmp"};
    for (const std::string& n : ajenos)
        escribirTodo(c / n, "del usuario");
    fs::create_directory(c / ".TABLA.TXT.zoq-carpet.tmp");
    ASSERT_EQ(::mkfifo((c / ".TABLA.TXT.zoq-tuberi.tmp").c_str(), 0600), 0);

    EXPECT_EQ(frmTablas::Capa().Grabar(Q(tabla), "nueva\r\n"), QString());
    EXPECT_EQ(leerTodo(tabla), "nueva\r\n");
    Nombres esperados = ajenos;
    esperados.insert(esperados.end(),
                     {".TABLA.TXT.zoq-carpet.tmp", ".TABLA.TXT.zoq-tuberi.tmp", "TABLA.TXT", deOtro,
                      fs::path(enCurso.ruta.toStdString()).filename().string()});
    std::sort(esperados.begin(), esperados.end());
    EXPECT_EQ(c.nombres(), esperados);

    // La grabación en curso termina bien aunque otra haya barrido entre medias.
    ASSERT_EQ(::rename(enCurso.ruta.constData(), tabla.c_str()), 0);
    ::close(enCurso.descriptor);
}

TEST(Temporales, ElFicheroDeContactosQuitaLosSuyos) {
    Carpeta c("temporales-tlf");
    const fs::path ruta = c / "TELEFONO.DAT";
    Telefonos::AlmacenContactos a({Q(ruta), false});
    a.Cargar();
    ASSERT_EQ(a.Grabar({{QString(), "Ana", "1", "", ""}}).estado,
              Telefonos::AlmacenContactos::Grabacion::Grabado);
    temporalAbandonado(ruta);
    // Y el que queda si muere tras crear el fichero con un enlace al temporal y antes de
    // borrarlo: otro nombre del mismo fichero.
    ASSERT_EQ(::link(ruta.c_str(), (c / ".TELEFONO.DAT.zoq-Enlace.tmp").c_str()), 0);
    ASSERT_EQ(c.nombres().size(), 3u);
    ASSERT_EQ(a.Grabar({{QString(), "Luis", "2", "", ""}}).estado,
              Telefonos::AlmacenContactos::Grabacion::Grabado);
    EXPECT_EQ(c.nombres(), Nombres{"TELEFONO.DAT"});
}

TEST(Temporales, ElComponenteQuitaLosSuyosYRespetaLosEnCurso) {
    Carpeta c("temporales-morvelin");
    const std::string firma = (c / "f.sig").string();
    // Un proceso que muere a mitad de escribir deja su temporal.
    const int pid = hijo([&] {
        morvelin::FicheroNuevo f(firma);
        f.abrir();
        f.escribir(std::string(1 << 20, 'x'));
        f.hueco(morvelin::FicheroNuevo::TamanoBloque); // vacía lo acumulado al temporal
        ::_exit(0);
        return 0;
    });
    esperar(pid);
    const Nombres muerto = c.nombres();
    ASSERT_EQ(muerto.size(), 1u);
    EXPECT_TRUE(muerto[0].starts_with(".morvelin-") && muerto[0].ends_with(".tmp")) << muerto[0];
    // El de otro destino de la misma carpeta no es suyo.
    {
        const int otro = hijo([&] {
            morvelin::FicheroNuevo f((c / "otra.sig").string());
            f.abrir();
            f.escribir("x");
            f.hueco(morvelin::FicheroNuevo::TamanoBloque);
            ::_exit(0);
            return 0;
        });
        esperar(otro);
    }
    Nombres deOtro = c.nombres();
    std::erase(deOtro, muerto[0]);
    ASSERT_EQ(deOtro.size(), 1u);

    morvelin::FicheroNuevo enCurso(firma);
    ASSERT_TRUE(enCurso.abrir());
    ASSERT_TRUE(enCurso.escribir("primera"));
    // Otra escritura del mismo destino quita el del muerto pero no el de la que está en curso.
    morvelin::FicheroNuevo segunda(firma);
    ASSERT_TRUE(segunda.abrir());
    ASSERT_TRUE(segunda.escribir("segunda"));
    EXPECT_FALSE(fs::exists(c / muerto[0]));
    EXPECT_TRUE(fs::exists(c / deOtro[0]));
    EXPECT_EQ(c.nombres().size(), 3u); // los dos en curso y el del otro destino
    ASSERT_TRUE(enCurso.confirmar());
    EXPECT_EQ(leerTodo(firma), "primera");
    ASSERT_TRUE(segunda.confirmar());
    EXPECT_EQ(leerTodo(firma), "segunda");
    EXPECT_EQ(c.nombres(), (Nombres{deOtro[0], "f.sig"}));
}

TEST(Temporales, NingunaGrabacionSigueUnEnlaceAjenoNiSustituyeLoQueNoEsUnFichero) {
    // Una carpeta como /tmp (pegajosa y escribible por todos) donde otro usuario deja enlaces a
    // ficheros de quien graba. Como root no se nos niega nada: lo que se comprueba es la regla.
    constexpr uid_t otro = 4242;
    Carpeta c("destinos-hostiles");
    const fs::path compartida = c / "compartida";
    fs::create_directory(compartida);
    ::chmod(compartida.c_str(), 01777);
    fs::create_directory(c / "casa");
    escribirTodo(c / "casa/.bashrc", "del usuario");
    const auto enlace = [&](const fs::path& donde, const fs::path& hacia, uid_t dueno) {
        fs::create_symlink(hacia, donde);
        ASSERT_EQ(::lchown(donde.c_str(), dueno, dueno), 0);
    };
    enlace(compartida / "TABLA.TXT", c / "casa/.bashrc", otro);
    enlace(compartida / "TELEFONO.DAT", c / "casa/.bashrc", otro);
    enlace(compartida / "f.sig", c / "casa/.bashrc", otro);

    EXPECT_EQ(frmTablas::Capa().Grabar(Q(compartida / "TABLA.TXT"), "tabla\r\n"),
              QStringLiteral("permiso denegado"));
    Telefonos::AlmacenContactos a({Q(compartida / "TELEFONO.DAT"), false});
    a.Cargar();
    EXPECT_EQ(a.Grabar({{QString(), "Ana", "1", "", ""}}).estado,
              Telefonos::AlmacenContactos::Grabacion::Fallido);
    morvelin::FicheroNuevo firma((compartida / "f.sig").string());
    EXPECT_FALSE(firma.abrir());
    EXPECT_EQ(leerTodo(c / "casa/.bashrc"), "del usuario");
    Nombres enCasa;
    for (const auto& e : fs::directory_iterator(c / "casa"))
        enCasa.push_back(e.path().filename().string());
    EXPECT_EQ(enCasa, Nombres{".bashrc"}) << "ni temporales ni barridos";

    // El fichero de contactos que el usuario enlaza a un sitio compartido sigue funcionando:
    // su propio enlace en la carpeta compartida, y uno de otro en una carpeta suya.
    escribirTodo(compartida / "COMUN.DAT", "");
    enlace(compartida / "MIO.DAT", compartida / "COMUN.DAT", ::geteuid());
    enlace(c / "casa/TELEFONO.DAT", compartida / "MIO.DAT", otro);
    Telefonos::AlmacenContactos propio({Q(c / "casa/TELEFONO.DAT"), false});
    propio.Cargar();
    ASSERT_EQ(propio.Grabar({{QString(), "Luis", "2", "", ""}}).estado,
              Telefonos::AlmacenContactos::Grabacion::Grabado);
    EXPECT_TRUE(fs::is_symlink(c / "casa/TELEFONO.DAT"));
    EXPECT_NE(leerTodo(compartida / "COMUN.DAT").find("Luis"), std::string::npos);

    // Un dispositivo (otro nodo de /dev/null) o una tubería no pasan a ser un fichero normal.
    ASSERT_EQ(::mknod((c / "nulo").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mkfifo((c / "tuberia").c_str(), 0600), 0);
    for (const char* nombre : {"nulo", "tuberia"}) {
        EXPECT_EQ(frmTablas::Capa().Grabar(Q(c / nombre), "tabla\r\n"),
                  QStringLiteral("no es un fichero normal (es un dispositivo, una tubería u otra "
                                 "cosa)"))
            << nombre;
    }
    EXPECT_TRUE(fs::is_character_file(c / "nulo"));
    EXPECT_TRUE(fs::is_fifo(c / "tuberia"));
}

// La regla de los enlaces de las grabaciones de la biblioteca (basicos::DestinoDeGrabacion,
// que usan todas): qué se sustituye al grabar cada destino. Un enlace se sigue salvo en una
// carpeta pegajosa y escribible por todos, donde solo valen los de quien graba o del dueño de
// la carpeta; lo que no es un fichero normal no se sustituye.
namespace {

constexpr uid_t Otro = 4242;

struct CasoEnlace {
    const char* nombre;
    // Prepara el destino dentro de la carpeta de la prueba y devuelve su ruta.
    std::function<fs::path(const fs::path&)> preparar;
    int error;
    const char* real; // lo que se sustituye, dentro de la carpeta (con error, no cuenta)
};

void PrintTo(const CasoEnlace& c, std::ostream* os) {
    *os << c.nombre;
}

fs::path NuevaCarpeta(const fs::path& c, const char* nombre, mode_t modo,
                      uid_t dueno = ::geteuid()) {
    const fs::path d = c / nombre;
    fs::create_directories(d);
    ::chmod(d.c_str(), modo);
    EXPECT_EQ(::chown(d.c_str(), dueno, static_cast<gid_t>(-1)), 0);
    return d;
}

fs::path Enlace(const fs::path& donde, const fs::path& hacia, uid_t dueno = ::geteuid()) {
    fs::create_symlink(hacia, donde);
    EXPECT_EQ(::lchown(donde.c_str(), dueno, dueno), 0);
    return donde;
}

class ReglaDeEnlaces : public ::testing::TestWithParam<CasoEnlace> {};

TEST_P(ReglaDeEnlaces, DiceQueSeSustituye) {
    Carpeta c("regla-enlaces");
    escribirTodo(c / "fichero", "del usuario");
    const fs::path destino = GetParam().preparar(c.ruta());
    QString real;
    EXPECT_EQ(basicos::DestinoDeGrabacion(Q(destino), real), GetParam().error);
    if (GetParam().error == 0) {
        EXPECT_EQ(fs::path(real.toStdString()).lexically_normal(),
                  (c.ruta() / GetParam().real).lexically_normal());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Casos, ReglaDeEnlaces,
    ::testing::Values(
        CasoEnlace{"UnFicheroEsElMismo", [](const fs::path& c) { return c / "fichero"; }, 0,
                   "fichero"},
        CasoEnlace{"LoQueNoExisteEsElMismo", [](const fs::path& c) { return c / "nuevo"; }, 0,
                   "nuevo"},
        CasoEnlace{"UnEnlaceAjenoEnUnaCarpetaPropiaSeSigue",
                   [](const fs::path& c) {
                       return Enlace(NuevaCarpeta(c, "propia", 0755) / "e", c / "fichero", Otro);
                   },
                   0, "fichero"},
        CasoEnlace{"UnEnlacePropioEnUnaCarpetaCompartidaSeSigue",
                   [](const fs::path& c) {
                       return Enlace(NuevaCarpeta(c, "tmp", 01777) / "e", c / "fichero");
                   },
                   0, "fichero"},
        CasoEnlace{"UnEnlaceAjenoEnUnaCarpetaCompartidaNo",
                   [](const fs::path& c) {
                       return Enlace(NuevaCarpeta(c, "tmp", 01777) / "e", c / "fichero", Otro);
                   },
                   EACCES, ""},
        CasoEnlace{"UnEnlaceDelDuenoDeLaCarpetaCompartidaSeSigue",
                   [](const fs::path& c) {
                       return Enlace(NuevaCarpeta(c, "tmp", 01777, Otro) / "e", c / "fichero",
                                     Otro);
                   },
                   0, "fichero"},
        CasoEnlace{"PegajosaSinEscrituraDeTodosNoEsCompartida",
                   [](const fs::path& c) {
                       return Enlace(NuevaCarpeta(c, "tmp", 01755) / "e", c / "fichero", Otro);
                   },
                   0, "fichero"},
        CasoEnlace{"EscribiblePorTodosSinPegajosoNoEsCompartida",
                   [](const fs::path& c) {
                       return Enlace(NuevaCarpeta(c, "tmp", 0777) / "e", c / "fichero", Otro);
                   },
                   0, "fichero"},
        CasoEnlace{"UnaCadenaSeSigueHastaElFinalYUnRelativoDesdeSuCarpeta",
                   [](const fs::path& c) {
                       const fs::path d = NuevaCarpeta(c, "propia", 0755);
                       Enlace(d / "segundo", "../fichero");
                       return Enlace(c / "primero", d / "segundo");
                   },
                   0, "fichero"},
        CasoEnlace{"UnaCadenaQuePasaPorUnEnlaceAjenoCompartidoNo",
                   [](const fs::path& c) {
                       Enlace(NuevaCarpeta(c, "tmp", 01777) / "ajeno", c / "fichero", Otro);
                       return Enlace(c / "propio", c / "tmp/ajeno");
                   },
                   EACCES, ""},
        CasoEnlace{"UnaCarpetaAjenaEnUnaCarpetaCompartidaNo",
                   [](const fs::path& c) {
                       const fs::path tercero = NuevaCarpeta(c, "tercero", 0755, Otro + 1);
                       escribirTodo(tercero / "valioso", "de otro");
                       Enlace(NuevaCarpeta(c, "tmp", 01777) / "carpeta", tercero, Otro);
                       return c / "tmp/carpeta/valioso";
                   },
                   EACCES, ""},
        CasoEnlace{"UnaCarpetaCompartidaTrasUnEnlacePropioTambienSeMira",
                   [](const fs::path& c) {
                       Enlace(NuevaCarpeta(c, "tmp", 01777) / "carpeta",
                              NuevaCarpeta(c, "tercero", 0755, Otro + 1), Otro);
                       Enlace(c / "a-tmp", c / "tmp");
                       return c / "a-tmp/carpeta/nuevo";
                   },
                   EACCES, ""},
        CasoEnlace{"UnaCarpetaEnlazadaSeSigueYPuntoPuntoSubeDesdeSuDestino",
                   [](const fs::path& c) {
                       fs::create_directories(c / "propia/sub");
                       Enlace(c / "a-sub", "propia/sub", Otro);
                       return c / "a-sub/../nuevo";
                   },
                   0, "propia/nuevo"},
        CasoEnlace{"UnEnlaceQueNoLlevaANadaDaSuDestino",
                   [](const fs::path& c) { return Enlace(c / "e", c / "falta"); }, 0, "falta"},
        CasoEnlace{"UnBucleNoAcaba",
                   [](const fs::path& c) {
                       Enlace(c / "b", c / "a");
                       return Enlace(c / "a", c / "b");
                   },
                   ELOOP, ""},
        CasoEnlace{"UnaCarpetaNo",
                   [](const fs::path& c) { return NuevaCarpeta(c, "carpeta", 0755); }, EISDIR, ""},
        CasoEnlace{"UnDispositivoNo",
                   [](const fs::path& c) {
                       EXPECT_EQ(::mknod((c / "nulo").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
                       return c / "nulo";
                   },
                   EINVAL, ""},
        CasoEnlace{"UnaTuberiaTrasUnEnlaceNo",
                   [](const fs::path& c) {
                       EXPECT_EQ(::mkfifo((c / "tuberia").c_str(), 0600), 0);
                       return Enlace(c / "e", c / "tuberia");
                   },
                   EINVAL, ""}),
    [](const ::testing::TestParamInfo<CasoEnlace>& i) { return std::string(i.param.nombre); });

} // namespace
