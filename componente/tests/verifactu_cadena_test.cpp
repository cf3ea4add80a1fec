// La cadena de registros en sus dos almacenes, SQLite y un PostgreSQL privado arrancado por la
// prueba: correcciones admitidas y rechazadas, dos procesos que añaden a la vez, SIGKILL en
// mitad de un añadido, manipulaciones que encuentra la comprobación, la remisión de su cola al
// doble local del servicio de la agencia, la cadena sin remisión (registros y eventos firmados)
// y las interfaces (línea de órdenes, C y C++).
#include "certificados_prueba.h"
#include "esquemas_prueba.h"
#include "operaciones/firma.h"
#include "postgresql_privado.h"
#include "servicio_verifactu.h"
#include "verifactu/cadena.h"
#include "verifactu/comprobacion.h"
#include "verifactu/eventos.h"
#include "verifactu/firma.h"
#include "verifactu/huella.h"
#include "verifactu/ordenes.h"
#include "verifactu/remision.h"

#include "morvelin/Verifactu.h"
#include "morvelin/verifactu.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace morvelin::verifactu;

namespace {

json alta(const std::string& numero) {
    json j = json::parse(R"({
        "IDEmisorFactura": "89890001K", "FechaExpedicionFactura": "03-02-2025",
        "NombreRazonEmisor": "Talleres Ejemplo, S.L.", "TipoFactura": "F1",
        "DescripcionOperacion": "Reparación",
        "Destinatarios": [{"NombreRazon": "Cliente", "NIF": "89890002E"}],
        "Desglose": [{"ClaveRegimen": "01", "CalificacionOperacion": "S1", "TipoImpositivo": "21",
                      "BaseImponibleOimporteNoSujeto": "100.00", "CuotaRepercutida": "21.00"}],
        "CuotaTotal": "21.00", "ImporteTotal": "121.00"})");
    j["NumSerieFactura"] = numero;
    return j;
}

json anulacion(const std::string& numero) {
    return {{"IDEmisorFacturaAnulada", "89890001K"},
            {"NumSerieFacturaAnulada", numero},
            {"FechaExpedicionFacturaAnulada", "03-02-2025"}};
}

Anadido anadir(AlmacenCadena& a, const json& j, const Reloj& reloj = relojDelSistema()) {
    if (j.contains("IDEmisorFacturaAnulada"))
        return anadirAnulacion(a, leerAnulacionJson(j.dump()), reloj);
    return anadirAlta(a, leerAltaJson(j.dump()), reloj);
}

// Tantas altas, M-1, M-2..., en una sola transacción.
void anadirAltas(AlmacenCadena& a, int cuantas) {
    const Alta base = leerAltaJson(alta("M-0").dump());
    int n = 0;
    a.anadirVarios(static_cast<std::size_t>(cuantas), [&](Transaccion& t) {
        Alta al = base;
        al.idFactura.numSerieFactura = "M-" + std::to_string(++n);
        return construirAlta(t, t.ultimo(), al, fechaHoraHuso(1738589400 + n));
    });
}

// Tantas altas, P-1, P-2..., con la hora de ahora (la que admite el doble de la agencia).
void anadirAltasAhora(AlmacenCadena& a, int cuantas, const std::string& prefijo = "P-") {
    const Alta base = leerAltaJson(alta("M-0").dump());
    int n = 0;
    const std::string hora = fechaHoraHuso(std::time(nullptr));
    a.anadirVarios(static_cast<std::size_t>(cuantas), [&](Transaccion& t) {
        Alta al = base;
        al.idFactura.numSerieFactura = prefijo + std::to_string(++n);
        return construirAlta(t, t.ultimo(), al, hora);
    });
}

// Un reloj de prueba que las esperas adelantan, y las esperas que se le pidieron.
struct RelojFalso {
    std::int64_t ahora = std::time(nullptr);
    std::vector<std::int64_t> esperas;
    Reloj reloj() {
        return [this] {
            return ahora;
        };
    }
    Espera espera() {
        return [this](std::int64_t s) {
            esperas.push_back(s);
            ahora += s;
        };
    }
};

// El doble de la agencia y, en los almacenes de certificados propios de la prueba, el
// certificado del obligado (89890001K) con que se identifica el cliente: en la carpeta, salvo
// que se diga que no (quien lo lleva a otro almacén).
class DobleAgencia {
public:
    explicit DobleAgencia(const fs::path& raiz, bool enCarpeta = true, bool rsa = true)
        : raiz_(raiz), entorno_((fs::remove_all(raiz), raiz)),
          certificado_(morvelin::pruebas::CertificadoPrueba::crear(
              {{"CN", "TALLERES EJEMPLO"}, {"serialNumber", "89890001K"}}, -1, 365, rsa)),
          servicio_(certificado_.pemCertificado()) {
        fs::create_directories(entorno_.almacen());
        if (enCarpeta)
            certificado_.grabarPem(entorno_.almacen() / "obligado.pem", true);
        autoridad_ = (raiz / "autoridad.pem").string();
        servicio_.grabarAutoridad(autoridad_);
    }
    ~DobleAgencia() {
        servicio_.parar();
        fs::remove_all(raiz_);
    }
    const morvelin::pruebas::CertificadoPrueba& certificado() const { return certificado_; }
    servicio_local::ServicioVerifactu& servicio() { return servicio_; }
    const std::string& autoridad() const { return autoridad_; }

    // La cola enviada con el certificado de la carpeta, con el reloj de prueba.
    InformeRemision enviar(AlmacenCadena& a, RelojFalso& reloj, std::string autoridades = {}) {
        auto elegido = morvelin::elegirCertificadoPara("89890001K");
        EXPECT_EQ(elegido.estado, morvelin::CertificadoElegido::Estado::Elegido);
        ConexionServicio conexion(
            {servicio_.direccion(), autoridades.empty() ? autoridad_ : autoridades, {}},
            std::shared_ptr<const morvelin::plataforma::Certificado>(
                std::move(elegido.certificado)));
        const Enviador enviar = [&](const std::string& p) {
            return conexion.enviar(p);
        };
        const Reloj r = reloj.reloj();
        const Espera e = reloj.espera();
        return remitirCola(a, enviar, r, e);
    }

private:
    fs::path raiz_;
    morvelin::pruebas::EntornoAlmacenes entorno_;
    morvelin::pruebas::CertificadoPrueba certificado_;
    servicio_local::ServicioVerifactu servicio_;
    std::string autoridad_;
};

// El veredicto de cada registro de la cola, por su número de serie.
std::map<std::string, RegistroEnCola> cola(AlmacenCadena& a) {
    std::map<std::string, RegistroEnCola> r;
    a.recorrerCola([&](const RegistroEnCola& c) {
        r[c.numSerie + (c.alta ? "" : "/anulacion")] = c;
        return true;
    });
    return r;
}

// Una manipulación de la cadena desde fuera, en el SQL de cada almacén, y el registro en el
// que la comprobación ha de ver la cadena rota.
struct Manipulacion {
    const char* nombre;
    const char* sqlite;
    const char* postgresql;
    std::int64_t rotaEn;
};

const Manipulacion Manipulaciones[] = {
    {"importe del XML",
     "UPDATE verifactu_registros SET xml = CAST(replace(CAST(xml AS TEXT), '121.00', '131.00') "
     "AS BLOB) WHERE numero = 3",
     "UPDATE verifactu_registros SET xml = convert_to(replace(convert_from(xml, 'UTF8'), "
     "'121.00', '131.00'), 'UTF8') WHERE numero = 3",
     3},
    {"huella guardada",
     "UPDATE verifactu_registros SET huella = 'A' || substr(huella, 2) WHERE numero = 2",
     "UPDATE verifactu_registros SET huella = 'A' || substr(huella, 2) WHERE numero = 2", 2},
    {"registro borrado", "DELETE FROM verifactu_registros WHERE numero = 4",
     "DELETE FROM verifactu_registros WHERE numero = 4", 4},
    {"XML roto", "UPDATE verifactu_registros SET xml = substr(xml, 1, 100) WHERE numero = 5",
     "UPDATE verifactu_registros SET xml = substring(xml from 1 for 100) WHERE numero = 5", 5},
    {"hora guardada",
     "UPDATE verifactu_registros SET fecha_hora_huso = '2000-01-01T00:00:00+01:00' "
     "WHERE numero = 6",
     "UPDATE verifactu_registros SET fecha_hora_huso = '2000-01-01T00:00:00+01:00' "
     "WHERE numero = 6",
     6},
    {"huella anterior guardada",
     "UPDATE verifactu_registros SET huella_anterior = 'X' WHERE numero = 4",
     "UPDATE verifactu_registros SET huella_anterior = 'X' WHERE numero = 4", 4},
    {"tres registros borrados", "DELETE FROM verifactu_registros WHERE numero BETWEEN 4 AND 6",
     "DELETE FROM verifactu_registros WHERE numero BETWEEN 4 AND 6", 4},
    // Un importe añadido tras el bueno no pasa por leído: el segundo hace ilegible el registro.
    {"importe repetido",
     "UPDATE verifactu_registros SET xml = CAST(replace(CAST(xml AS TEXT), '</sf:ImporteTotal>', "
     "'</sf:ImporteTotal><sf:ImporteTotal>999.00</sf:ImporteTotal>') AS BLOB) WHERE numero = 7",
     "UPDATE verifactu_registros SET xml = convert_to(replace(convert_from(xml, 'UTF8'), "
     "'</sf:ImporteTotal>', '</sf:ImporteTotal><sf:ImporteTotal>999.00</sf:ImporteTotal>'), "
     "'UTF8') WHERE numero = 7",
     7},
    // Lejos del principio: la cadena se lee y se revisa por tandas, y se informa en orden.
    {"importe del XML tras miles",
     "UPDATE verifactu_registros SET xml = CAST(replace(CAST(xml AS TEXT), '121.00', '131.00') "
     "AS BLOB) WHERE numero IN (1190, 700)",
     "UPDATE verifactu_registros SET xml = convert_to(replace(convert_from(xml, 'UTF8'), "
     "'121.00', '131.00'), 'UTF8') WHERE numero IN (1190, 700)",
     700},
};

class CadenaVerifactu : public testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        std::string motivo;
        servidor_ = pruebas::PostgresqlPrivado::arrancar(motivo).release();
        if (!servidor_)
            motivoSinServidor_ = new std::string(motivo);
    }
    static void TearDownTestSuite() {
        delete servidor_;
        servidor_ = nullptr;
        delete motivoSinServidor_;
        motivoSinServidor_ = nullptr;
    }

    void SetUp() override {
        if (postgresql()) {
            if (!servidor_)
                GTEST_SKIP() << "OMITIDA: " << *motivoSinServidor_;
            destino_ = servidor_->nuevaBase();
            ASSERT_FALSE(destino_.empty());
        } else {
            carpeta_ = fs::temp_directory_path() /
                       ("cadena-" + std::to_string(::getpid()) + "-" +
                        testing::UnitTest::GetInstance()->current_test_info()->name());
            std::replace(carpeta_.begin(), carpeta_.end(), '/', '_');
            carpeta_ = (fs::temp_directory_path() / fs::path(carpeta_).filename()).string();
            fs::remove_all(carpeta_);
            destino_ = carpeta_ + "/sub/cadena.sqlite";
        }
    }
    void TearDown() override {
        if (!carpeta_.empty())
            fs::remove_all(carpeta_);
    }

    bool postgresql() const { return std::string(GetParam()) == "postgresql"; }
    std::unique_ptr<AlmacenCadena> abrir() const { return abrirAlmacen(destino_); }

    // SQL desde fuera del componente, saltándose los disparadores que lo impedirían (en
    // PostgreSQL, también los de la clave ajena de la cola).
    void manipular(const Manipulacion& m) {
        if (postgresql()) {
            ASSERT_TRUE(pruebas::PostgresqlPrivado::ejecutar(
                destino_, std::string("SET session_replication_role = replica; ") + m.postgresql));
            return;
        }
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(destino_.c_str(), &db), SQLITE_OK);
        const std::string sql = std::string("DROP TRIGGER verifactu_registros_sin_cambios; "
                                            "DROP TRIGGER verifactu_registros_sin_borrado; "
                                            "DROP TRIGGER verifactu_eventos_sin_cambios; "
                                            "DROP TRIGGER verifactu_eventos_sin_borrado; ") +
                                m.sqlite;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    // `anadir` con la serie «A-» y con la «B-», cada una en un proceso, a la vez; los dos acaban
    // sin excepciones.
    void enDosProcesos(const std::function<void(const std::string&)>& anadir) {
        std::vector<pid_t> hijos;
        for (const char* serie : {"A-", "B-"}) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                int estado = 0;
                try {
                    anadir(serie);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "%s\n", e.what());
                    estado = 1;
                }
                ::_exit(estado);
            }
            hijos.push_back(pid);
        }
        for (pid_t h : hijos) {
            int estado = 0;
            ::waitpid(h, &estado, 0);
            EXPECT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0);
        }
    }

    // Los registros de la cadena, en orden, y que cada uno cuelga del anterior una sola vez.
    std::vector<RegistroCadena> registros() {
        std::vector<RegistroCadena> r;
        abrir()->recorrer(1, HastaElFinal, false, [&](const VistaRegistro& c) {
            r.push_back(copia(c));
            return true;
        });
        return r;
    }
    void esperarSinBifurcacion(std::size_t cuantos) {
        const auto r = registros();
        ASSERT_EQ(r.size(), cuantos);
        std::set<std::string> anteriores;
        for (std::size_t i = 0; i < r.size(); ++i) {
            EXPECT_EQ(r[i].numero, static_cast<std::int64_t>(i + 1));
            EXPECT_EQ(r[i].huellaAnterior, i == 0 ? "" : r[i - 1].huella);
            EXPECT_TRUE(anteriores.insert(r[i].huellaAnterior).second);
        }
        const auto c = comprobarCadena(*abrir());
        EXPECT_TRUE(c.entera) << c.texto();
        EXPECT_EQ(c.registros, static_cast<std::int64_t>(cuantos));
    }

    std::string destino_;
    std::string carpeta_;
    static inline pruebas::PostgresqlPrivado* servidor_ = nullptr;
    static inline std::string* motivoSinServidor_ = nullptr;
};

// Qué altas y anulaciones se admiten según lo que ya hay de esa factura en la cadena.
TEST_P(CadenaVerifactu, CorreccionesAdmitidasYRechazadas) {
    auto a = abrir();
    struct Paso {
        json registro;
        const char* rechazoEn; // nullptr: se admite
    };
    const auto con = [](json j, const json& extra) {
        j.update(extra);
        return j;
    };
    const Paso pasos[] = {
        {anulacion("A-1"), "NumSerieFacturaAnulada"},
        {con(alta("A-1"), {{"Subsanacion", "S"}}), "Subsanacion"},
        {alta("A-1"), nullptr},
        {alta("A-1"), "NumSerieFactura"},
        {con(alta("A-1"), {{"Subsanacion", "S"}}), nullptr},
        {con(alta("A-1"), {{"Subsanacion", "S"}, {"RechazoPrevio", "S"}}), nullptr},
        {con(alta("B-1"), {{"Subsanacion", "S"}, {"RechazoPrevio", "X"}}), nullptr},
        {anulacion("A-1"), nullptr},
        {alta("A-1"), "NumSerieFactura"},
        {anulacion("A-1"), nullptr},
        {con(anulacion("C-1"), {{"SinRegistroPrevio", "S"}}), nullptr},
        {con(alta("D-1"), {{"IDEmisorFactura", "12345678Z"}}), "IDEmisorFactura"},
        {con(anulacion("A-1"), {{"IDEmisorFacturaAnulada", "12345678Z"}}),
         "IDEmisorFacturaAnulada"},
    };
    std::int64_t esperados = 0;
    for (const auto& p : pasos) {
        if (p.rechazoEn == nullptr) {
            EXPECT_NO_THROW(anadir(*a, p.registro)) << p.registro.dump();
            ++esperados;
        } else {
            try {
                anadir(*a, p.registro);
                ADD_FAILURE() << "se admite " << p.registro.dump();
            } catch (const ErrorCampo& e) {
                EXPECT_EQ(e.campo(), p.rechazoEn) << e.what();
            }
        }
        EXPECT_EQ(a->cuantos(), esperados) << "un rechazo no cambia la cadena";
    }
    const auto datos = a->datos();
    EXPECT_EQ(datos.nifEmisor, "89890001K");
    EXPECT_EQ(datos.nombreEmisor, "Talleres Ejemplo, S.L.");
    EXPECT_EQ(datos.modo, "verifactu");
    EXPECT_EQ(datos.numeroInstalacion.size(), 32u);
    // El número de instalación se queda: otra apertura ve el mismo.
    EXPECT_EQ(abrir()->datos().numeroInstalacion, datos.numeroInstalacion);
    esperarSinBifurcacion(static_cast<std::size_t>(esperados));
}

// Los registros no se cambian ni se borran con el almacén tal como lo deja el componente.
// Ni los registros ni lo que la agencia contestó de ellos se cambian o se borran; el turno de
// envío es de uno solo.
TEST_P(CadenaVerifactu, LosRegistrosYLoQueContestoLaAgenciaNoSeCambianNiSeBorran) {
    auto a = abrir();
    anadir(*a, alta("A-1"));
    const EnvioEnCurso envio = a->empezarEnvio(1, MaximoRemesa);
    ASSERT_EQ(envio.registros, std::vector<std::int64_t>{1});
    EnvioTerminado fin;
    fin.resultado = ResultadoEnvio::Respondido;
    fin.csv = "A-CSV";
    fin.veredictos = {{1, Veredicto::Correcto, "", "", ""}};
    a->terminarEnvio(envio.id, fin);
    EXPECT_EQ(a->resumenCola().correctos, 1);
    const char* ordenes[] = {
        "UPDATE verifactu_registros SET huella = 'X'",    "DELETE FROM verifactu_registros",
        "UPDATE verifactu_cola SET estado = 'pendiente'", "DELETE FROM verifactu_cola",
        "UPDATE verifactu_envios SET csv = 'X'",          "DELETE FROM verifactu_envios"};
    for (const char* o : ordenes) {
        if (postgresql()) {
            EXPECT_FALSE(pruebas::PostgresqlPrivado::ejecutar(destino_, o));
        } else {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(destino_.c_str(), &db), SQLITE_OK);
            EXPECT_NE(sqlite3_exec(db, o, nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
    }
    esperarSinBifurcacion(1);
    EXPECT_EQ(a->resumenCola().ultimoCsv, "A-CSV");
    const auto turno = a->tomarTurnoEnvio();
    ASSERT_TRUE(turno);
    EXPECT_FALSE(abrir()->tomarTurnoEnvio());
    RelojFalso reloj;
    const Enviador nunca = [](const std::string&) -> RespuestaHttp {
        ADD_FAILURE() << "no se envía sin el turno";
        return {};
    };
    const auto informe = remitirCola(*abrir(), nunca, reloj.reloj(), reloj.espera());
    EXPECT_NE(informe.motivo.find("Otro proceso"), std::string::npos) << informe.motivo;
}

TEST_P(CadenaVerifactu, ComprobarEncuentraLoManipulado) {
    for (const auto& m : Manipulaciones) {
        SCOPED_TRACE(m.nombre);
        if (postgresql()) {
            destino_ = servidor_->nuevaBase();
        } else {
            fs::remove_all(carpeta_);
        }
        {
            auto a = abrir();
            anadirAltas(*a, m.rotaEn < 10 ? 10 : 1200);
            ASSERT_TRUE(comprobarCadena(*a).entera);
            ASSERT_TRUE(comprobarCadena(*a, 3).entera);
        }
        manipular(m);
        // Por tramos de tres, los registros rotos caen a principio, en medio y al final de un
        // tramo, y el que falta puede ser un tramo entero.
        for (const std::int64_t porTramo : {std::int64_t{4096}, std::int64_t{3}}) {
            const auto c = comprobarCadena(*abrir(), porTramo);
            EXPECT_FALSE(c.entera);
            EXPECT_EQ(c.rotoEn, m.rotaEn) << c.texto();
            EXPECT_NE(c.texto().find("registro nº " + std::to_string(m.rotaEn)), std::string::npos);
        }
    }
}

// Dos procesos añaden 200 registros cada uno a la vez: una sola cadena, sin bifurcaciones.
TEST_P(CadenaVerifactu, DosProcesosAlaVezNoBifurcan) {
    abrir(); // el esquema, antes de que lleguen los dos
    enDosProcesos([&](const std::string& serie) {
        auto a = abrir();
        for (int i = 1; i <= 200; ++i)
            anadir(*a, alta(serie + std::to_string(i)));
    });
    esperarSinBifurcacion(400);
}

// Un SIGKILL con la transacción abierta (el registro a medio construir, el cerrojo tomado) y
// otros en momentos cualesquiera de un bucle de añadidos: la cadena queda entera y se puede
// seguir añadiendo.
TEST_P(CadenaVerifactu, SigkillEnMitadDeUnAnadidoNoLaRompe) {
    abrir();
    int tubo[2];
    ASSERT_EQ(::pipe(tubo), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(tubo[0]);
        auto a = abrir();
        int llamadas = 0;
        // El reloj se consulta dentro de la transacción: en el tercer registro avisa y espera.
        const Reloj reloj = [&] {
            if (++llamadas == 6) {
                const char c = 'x';
                if (::write(tubo[1], &c, 1) != 1)
                    ::_exit(2);
                ::pause();
            }
            return static_cast<std::int64_t>(std::time(nullptr));
        };
        for (int i = 1;; ++i)
            anadir(*a, alta("K-" + std::to_string(i)), reloj);
    }
    ::close(tubo[1]);
    char senal = 0;
    ASSERT_EQ(::read(tubo[0], &senal, 1), 1);
    ::close(tubo[0]);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    esperarSinBifurcacion(2);

    for (int vuelta = 0; vuelta < 4; ++vuelta) {
        const pid_t otro = ::fork();
        ASSERT_GE(otro, 0);
        if (otro == 0) {
            auto a = abrir();
            for (int i = 1;; ++i)
                anadir(*a, alta("L" + std::to_string(vuelta) + "-" + std::to_string(i)));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 37 * vuelta));
        ::kill(otro, SIGKILL);
        ::waitpid(otro, nullptr, 0);
    }
    auto a = abrir();
    const auto c = comprobarCadena(*a);
    EXPECT_TRUE(c.entera) << c.texto();
    EXPECT_GT(c.registros, 2);
    EXPECT_NO_THROW(anadir(*a, alta("FINAL")));
    esperarSinBifurcacion(static_cast<std::size_t>(c.registros + 1));
}

// Un registro anterior con hora posterior a la del reloj: se añade, con un aviso.
TEST_P(CadenaVerifactu, AvisaDelRelojQueVaPorDetras) {
    auto a = abrir();
    const std::int64_t t = 1738589400;
    const Reloj ahora = [&] {
        return t;
    };
    EXPECT_TRUE(anadir(*a, alta("A-1"), ahora).avisos.empty());
    const Reloj unMinutoAntes = [&] {
        return t - 60;
    };
    EXPECT_TRUE(anadir(*a, alta("A-2"), unMinutoAntes).avisos.empty());
    const Reloj unaHoraAntes = [&] {
        return t - 3600;
    };
    const auto hecho = anadir(*a, alta("A-3"), unaHoraAntes);
    ASSERT_EQ(hecho.avisos.size(), 1u);
    EXPECT_NE(hecho.avisos[0].find("reloj"), std::string::npos);
    EXPECT_EQ(hecho.registro.fechaHoraHusoGenRegistro, fechaHoraHuso(t - 3600));
    esperarSinBifurcacion(3);
}

// La remesa: a lo sumo 1000 registros, del más antiguo al más nuevo, y --desde para los demás.
TEST_P(CadenaVerifactu, ExportaDeMilEnMil) {
    auto a = abrir();
    anadirAltas(*a, 1003);
    const Remesa primera = prepararRemesa(*a, 1);
    EXPECT_EQ(primera.primero, 1);
    EXPECT_EQ(primera.ultimo, 1000);
    EXPECT_EQ(primera.quedan, 3);
    const Remesa segunda = prepararRemesa(*a, 1001);
    EXPECT_EQ(segunda.ultimo, 1003);
    EXPECT_EQ(segunda.quedan, 0);
    EXPECT_LT(segunda.xml.find("M-1001<"), segunda.xml.find("M-1003<"));
    EXPECT_THROW(prepararRemesa(*a, 1004), ErrorAlmacen);
    esperarSinBifurcacion(1003);
}

// Una cadena VERI*FACTU de la versión anterior del esquema (sin cola): al abrirla, sus
// registros entran en la cola, pendientes, y la cadena sigue entera.
TEST_P(CadenaVerifactu, LosRegistrosDeUnaCadenaAnteriorALaColaEntranEnElla) {
    anadirAltasAhora(*abrir(), 3);
    // Sin lo de las versiones 2 (la cola) y 3 (firmante y eventos): una cadena de la versión 1.
    const std::string enSqlite = "DROP TABLE verifactu_eventos; "
                                 "ALTER TABLE verifactu_cadena DROP COLUMN firmante; "
                                 "DROP TABLE verifactu_cola; DROP TABLE verifactu_envios; "
                                 "ALTER TABLE verifactu_cadena DROP COLUMN cola_detenida; "
                                 "PRAGMA user_version = 1;";
    const std::string enPostgresql = "DROP TABLE verifactu_eventos; "
                                     "ALTER TABLE verifactu_cadena DROP COLUMN firmante; "
                                     "DROP TABLE verifactu_cola; DROP TABLE verifactu_envios; "
                                     "DROP FUNCTION verifactu_cola_fija(); "
                                     "ALTER TABLE verifactu_cadena DROP COLUMN cola_detenida; "
                                     "UPDATE verifactu_esquema SET version = 1;";
    if (postgresql()) {
        ASSERT_TRUE(pruebas::PostgresqlPrivado::ejecutar(destino_, enPostgresql));
    } else {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(destino_.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, enSqlite.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    auto a = abrir();
    EXPECT_EQ(a->resumenCola().pendientes, 3);
    anadir(*a, alta("NUEVA"));
    EXPECT_EQ(a->resumenCola().pendientes, 4);
    esperarSinBifurcacion(4);
}

// La remisión al doble de la agencia: 2500 registros van en tres envíos de a lo sumo 1000; el
// segundo sale sin esperar (quedan 1000 o más) y el tercero tras el TiempoEsperaEnvio.
TEST_P(CadenaVerifactu, RemiteEnEnviosDeMilConLaEsperaDeLaAgencia) {
    DobleAgencia doble(fs::temp_directory_path() / ("doble-" + std::to_string(::getpid())));
    servicio_local::ComportamientoVerifactu c;
    c.tiempoEspera = 90;
    doble.servicio().comportamiento(c);
    auto a = abrir();
    anadirAltasAhora(*a, 2500);
    RelojFalso reloj;
    const std::int64_t inicio = reloj.ahora;
    const auto informe = doble.enviar(*a, reloj);
    EXPECT_TRUE(informe.correcto) << informe.motivo;
    EXPECT_EQ(doble.servicio().peticiones(), 3u);
    EXPECT_EQ(doble.servicio().registrosRecibidos(), 2500u);
    EXPECT_EQ(reloj.esperas, std::vector<std::int64_t>{90});
    EXPECT_EQ(reloj.ahora, inicio + 90);
    EXPECT_EQ(informe.lineas.size(), 2500u);
    const ResumenCola r = a->resumenCola();
    EXPECT_EQ(r.correctos, 2500);
    EXPECT_EQ(r.pendientes, 0);
    EXPECT_EQ(r.tiempoEspera, 90);
    EXPECT_EQ(r.horaUltimoEnvio, inicio + 90);
    EXPECT_FALSE(r.ultimoCsv.empty());

    // Lo que se añade después espera a que pase el tiempo desde el último envío.
    anadirAltasAhora(*a, 3, "Q-");
    reloj.ahora += 30;
    EXPECT_TRUE(doble.enviar(*a, reloj).correcto);
    EXPECT_EQ(reloj.esperas, (std::vector<std::int64_t>{90, 60}));
    EXPECT_EQ(doble.servicio().peticiones(), 4u);
}

// Cada clase de respuesta del doble queda en la cola tal como la dio, con su código y su texto
// de la agencia; lo rechazado no se vuelve a enviar, y lo reenviado tras un envío que no acabó
// vuelve como duplicado.
TEST_P(CadenaVerifactu, CadaVeredictoSeGuardaComoLoDaLaAgencia) {
    DobleAgencia doble(fs::temp_directory_path() / ("doble-" + std::to_string(::getpid())));
    servicio_local::ComportamientoVerifactu c;
    c.codigoPorSerie = {{"A-2", 2005}, {"A-3", 1104}};
    doble.servicio().comportamiento(c);
    auto a = abrir();
    for (const char* n : {"A-1", "A-2", "A-3", "A-4"})
        anadir(*a, alta(n));
    anadir(*a, anulacion("A-4"));
    RelojFalso reloj;
    const auto informe = doble.enviar(*a, reloj);
    EXPECT_TRUE(informe.correcto) << informe.motivo;
    auto v = cola(*a);
    struct Esperado {
        const char* serie;
        Veredicto estado;
        const char* codigo;
        const char* texto;
    };
    const Esperado esperados[] = {
        {"A-1", Veredicto::Correcto, "", ""},
        {"A-2", Veredicto::AceptadoConErrores, "2005", "El campo ImporteTotal tiene un valor"},
        {"A-3", Veredicto::Incorrecto, "1104", "El valor del campo NumSerieFactura es incorrecto"},
        {"A-4", Veredicto::Correcto, "", ""},
        {"A-4/anulacion", Veredicto::Correcto, "", ""},
    };
    for (const auto& e : esperados) {
        SCOPED_TRACE(e.serie);
        ASSERT_EQ(v.count(e.serie), 1u);
        EXPECT_EQ(v[e.serie].veredicto.estado, e.estado);
        EXPECT_EQ(v[e.serie].veredicto.codigo, e.codigo);
        EXPECT_EQ(v[e.serie].veredicto.descripcion.rfind(e.texto, 0), 0u)
            << v[e.serie].veredicto.descripcion;
        EXPECT_EQ(v[e.serie].csv, v["A-1"].csv);
    }
    EXPECT_FALSE(v["A-1"].csv.empty());
    EXPECT_EQ(informe.lineas.size(), 5u);

    // Nada pendiente: el rechazado no sale otra vez.
    EXPECT_TRUE(doble.enviar(*a, reloj).correcto);
    EXPECT_EQ(doble.servicio().peticiones(), 1u);

    // Un envío que empezó y no apuntó su final (el proceso acabó): sus registros siguen
    // pendientes y el siguiente los lleva otra vez; la agencia contesta que ya los tiene.
    anadir(*a, alta("B-1"));
    const EnvioEnCurso perdido = a->empezarEnvio(reloj.ahora, MaximoRemesa);
    ASSERT_EQ(perdido.registros.size(), 1u);
    ASSERT_TRUE(doble.enviar(*a, reloj).correcto);
    reloj.ahora += 3600;
    ASSERT_TRUE(doble.enviar(*a, reloj).correcto);
    EXPECT_EQ(cola(*a)["B-1"].veredicto.estado, Veredicto::Correcto);
    EXPECT_EQ(a->resumenCola().pendientes, 0);
}

// Fallos del servidor: se reintenta con esperas crecientes. Fallo de la petición: la cola se
// detiene con su motivo hasta el siguiente envío que la agencia conteste.
TEST_P(CadenaVerifactu, FallosDelServidorSeReintentanYLosDeLaPeticionDetienenLaCola) {
    DobleAgencia doble(fs::temp_directory_path() / ("doble-" + std::to_string(::getpid())));
    servicio_local::ComportamientoVerifactu c;
    c.fallosServidor = 2;
    doble.servicio().comportamiento(c);
    auto a = abrir();
    anadir(*a, alta("C-1"));
    RelojFalso reloj;
    auto informe = doble.enviar(*a, reloj);
    EXPECT_TRUE(informe.correcto) << informe.motivo;
    EXPECT_EQ(reloj.esperas, (std::vector<std::int64_t>{5, 10}));
    EXPECT_EQ(a->resumenCola().correctos, 1);

    c.fallosServidor = 0;
    c.falloCliente = true;
    doble.servicio().comportamiento(c);
    anadir(*a, alta("C-2"));
    reloj.ahora += 3600;
    informe = doble.enviar(*a, reloj);
    EXPECT_FALSE(informe.correcto);
    EXPECT_NE(informe.motivo.find("4118"), std::string::npos) << "[" << informe.motivo << "]";
    EXPECT_EQ(doble.servicio().peticiones(), 4u); // sin reintentos
    auto r = a->resumenCola();
    EXPECT_EQ(r.pendientes, 1);
    EXPECT_NE(r.detenida.find("detenida"), std::string::npos) << r.detenida;
    EXPECT_NE(textoEstadoCola(*a, reloj.reloj()).find("Cola detenida"), std::string::npos);

    c.falloCliente = false;
    c.fallosServidor = 100;
    doble.servicio().comportamiento(c);
    informe = doble.enviar(*a, reloj);
    EXPECT_FALSE(informe.correcto);
    EXPECT_EQ(doble.servicio().peticiones(), 4u + 1 + ReintentosServidor);
    EXPECT_EQ(a->resumenCola().pendientes, 1);

    c.fallosServidor = 0;
    doble.servicio().comportamiento(c);
    EXPECT_TRUE(doble.enviar(*a, reloj).correcto);
    r = a->resumenCola();
    EXPECT_EQ(r.correctos, 2);
    EXPECT_TRUE(r.detenida.empty());
}

// Un reloj lejos del de la agencia: ella lo anota en el registro (2004) y el cliente avisa por
// la cabecera Date.
TEST_P(CadenaVerifactu, ElRelojLejosDelDeLaAgenciaQuedaEnElVeredicto) {
    DobleAgencia doble(fs::temp_directory_path() / ("doble-" + std::to_string(::getpid())));
    servicio_local::ComportamientoVerifactu c;
    c.desfaseReloj = 3600;
    doble.servicio().comportamiento(c);
    auto a = abrir();
    anadir(*a, alta("D-1"));
    RelojFalso reloj;
    const auto informe = doble.enviar(*a, reloj);
    EXPECT_TRUE(informe.correcto) << informe.motivo;
    ASSERT_EQ(informe.avisos.size(), 1u);
    EXPECT_NE(informe.avisos[0].find("por detrás"), std::string::npos) << informe.avisos[0];
    const auto v = cola(*a)["D-1"].veredicto;
    EXPECT_EQ(v.estado, Veredicto::AceptadoConErrores);
    EXPECT_EQ(v.codigo, "2004");
    EXPECT_EQ(v.aviso, informe.avisos[0]);
}

// Un servidor que no es de confianza no recibe nada y la cola sigue pendiente.
TEST_P(CadenaVerifactu, ServidorQueNoEsDeConfianzaSeRechaza) {
    DobleAgencia doble(fs::temp_directory_path() / ("doble-" + std::to_string(::getpid())));
    const auto otra = morvelin::pruebas::CertificadoPrueba::crear({{"CN", "Otra autoridad"}});
    const fs::path ruta = fs::temp_directory_path() / ("otra-" + std::to_string(::getpid()));
    otra.grabarPem(ruta, false);
    auto a = abrir();
    anadir(*a, alta("E-1"));
    RelojFalso reloj;
    const auto informe = doble.enviar(*a, reloj, ruta.string());
    fs::remove(ruta);
    EXPECT_FALSE(informe.correcto);
    EXPECT_NE(informe.motivo.find("no es de confianza"), std::string::npos)
        << "[" << informe.motivo << "]";
    EXPECT_EQ(doble.servicio().peticiones(), 0u);
    EXPECT_EQ(a->resumenCola().pendientes, 1);
}

// SIGKILL del que envía mientras la agencia contesta, y otro envío después: ningún registro se
// pierde ni queda registrado dos veces; lo que la agencia ya tenía vuelve como duplicado.
TEST_P(CadenaVerifactu, SigkillEnMitadDeUnEnvioNoPierdeNiDuplicaRegistros) {
    DobleAgencia doble(fs::temp_directory_path() / ("doble-" + std::to_string(::getpid())));
    auto a = abrir();
    anadirAltasAhora(*a, 1200);
    servicio_local::ComportamientoVerifactu lento;
    lento.silencio = std::chrono::milliseconds(300);
    doble.servicio().comportamiento(lento);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        auto b = abrir();
        RelojFalso reloj;
        doble.enviar(*b, reloj);
        ::_exit(0);
    }
    // Muere cuando el primer envío ya está registrado en la agencia y su respuesta no ha llegado
    // a apuntarse, o antes.
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (doble.servicio().registrosRecibidos() < 1000 &&
           std::chrono::steady_clock::now() < limite)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    doble.servicio().comportamiento({});
    RelojFalso reloj;
    reloj.ahora += 3600;
    const auto informe = doble.enviar(*a, reloj);
    EXPECT_TRUE(informe.correcto) << informe.motivo;
    const ResumenCola r = a->resumenCola();
    EXPECT_EQ(r.pendientes, 0);
    EXPECT_EQ(r.correctos + r.duplicados, 1200);
    EXPECT_EQ(r.incorrectos, 0);
    std::set<std::string> una;
    for (const auto& g : doble.servicio().registrados())
        EXPECT_TRUE(una.insert(g.numSerie).second) << g.numSerie << " registrado dos veces";
    EXPECT_EQ(una.size(), 1200u);
}

// El certificado RSA 2048 del obligado de las cadenas sin remisión.
const morvelin::pruebas::CertificadoPrueba& talleres() {
    static const auto c =
        morvelin::pruebas::CertificadoPrueba::crear({{"CN", "TALLERES EJEMPLO"},
                                                     {"O", "Talleres Ejemplo, S.L."},
                                                     {"serialNumber", "89890001K"}},
                                                    -1, 3650, true);
    return c;
}

// Sin remisión: una cadena con su firmante de prueba y un reloj que se adelanta a voluntad.
class CadenaSinRemision : public CadenaVerifactu {
protected:
    void SetUp() override {
        CadenaVerifactu::SetUp();
        ahora_ = static_cast<std::int64_t>(std::time(nullptr));
    }

    static const morvelin::pruebas::CertificadoPrueba& certificado() { return talleres(); }
    static ObtenerFirmante firmantes() {
        return [](const std::string& nif) {
            EXPECT_EQ(nif, "89890001K");
            return morvelin::xades::Firmante{certificado().derCertificado(),
                                             [](std::string_view d) {
                                                 return certificado().firmarRsaSha256(d);
                                             }};
        };
    }
    Ordenes ordenes() {
        return Ordenes(
            destino_, [this] { return ahora_; }, firmantes());
    }
    std::vector<EventoCadena> eventos() {
        std::vector<EventoCadena> r;
        abrir()->recorrerEventos(1, HastaElFinal, [&](const EventoCadena& e) {
            r.push_back(e);
            return true;
        });
        return r;
    }
    std::string tipos() {
        std::string t;
        for (const auto& e : eventos())
            t += (t.empty() ? "" : " ") + e.tipo;
        return t;
    }
    void esperarEnteraYFirmada(std::int64_t registros) {
        auto a = abrir();
        const auto c = comprobarCadena(*a, 3, ComprobacionFirmas{"89890001K", ahora_});
        EXPECT_TRUE(c.entera) << c.texto();
        EXPECT_EQ(c.registros, registros);
        const auto e = comprobarEventos(*a, "89890001K", ahora_);
        EXPECT_TRUE(e.entero) << e.texto();
    }

    // La herramienta de fuera verifica la firma de cada documento (y sus dos referencias).
    void verificarConXmlsec1(const std::vector<std::string>& documentos) {
        if (std::system("command -v xmlsec1 >/dev/null 2>&1") != 0) {
            std::cout << "OMITIDA: falta xmlsec1 (paquete xmlsec1); las firmas guardadas no se "
                         "comprueban con la herramienta de fuera.\n";
            return;
        }
        const fs::path f =
            fs::temp_directory_path() / ("firmado-" + std::to_string(::getpid()) + ".xml");
        for (const auto& d : documentos) {
            morvelin::pruebas::escribirTodo(f, d);
            const auto s = morvelin::pruebas::ejecutar(
                "xmlsec1 --verify --id-attr:Id SignedProperties --insecure '" + f.string() +
                "' 2>&1");
            EXPECT_EQ(s.estado, 0) << s.texto << d;
            EXPECT_NE(s.texto.find("SignedInfo References (ok/all): 2/2"), std::string::npos);
        }
        fs::remove(f);
    }

    std::int64_t ahora_ = 0;
};

TEST_P(CadenaSinRemision, CadaRegistroYCadaEventoFirmadosYEncadenados) {
    auto o = ordenes();
    auto s = o.modo("no-verifactu", "89890001K");
    ASSERT_TRUE(s.correcto) << s.texto;
    const auto datos = abrir()->datos();
    EXPECT_EQ(datos.modo, "no-verifactu");
    EXPECT_EQ(datos.firmante, "89890001K");
    EXPECT_EQ(datos.nombreEmisor, "Talleres Ejemplo, S.L.");
    EXPECT_FALSE(o.modo("verifactu").correcto) << "el modo se fija una vez";
    EXPECT_FALSE(o.modo("no-verifactu", "89890001K").correcto);

    ASSERT_TRUE(o.alta(alta("A-1").dump()).correcto);
    ASSERT_TRUE(o.alta(alta("A-2").dump()).correcto);
    ahora_ += IntervaloResumen; // el resumen llega con el registro siguiente
    ASSERT_TRUE(o.anula(anulacion("A-1").dump()).correcto);
    EXPECT_EQ(tipos(), "01 10");
    // El resumen: los eventos desde el inicio (él incluido) y las dos altas y la anulación.
    const std::string resumen = eventos().back().xml;
    for (const char* parte :
         {"<sf:TipoEvento><sf:TipoEvento>01</sf:TipoEvento><sf:NumeroDeEventos>1<",
          "<sf:NumeroDeRegistrosFacturacionAltaGenerados>2<", "<sf:SumaImporteTotalAlta>242.00<",
          "<sf:NumeroDeRegistrosFacturacionAnulacionGenerados>0<"})
        EXPECT_NE(resumen.find(parte), std::string::npos) << parte << "\n" << resumen;
    // Cada registro y cada evento guardados llevan su firma, que verifica con la comprobación
    // propia y con xmlsec1, y validan contra los esquemas de la agencia.
    const morvelin::pruebas::Esquema suministro("SuministroInformacion.xsd"),
        eventosSif("EventosSIF.xsd");
    ASSERT_TRUE(suministro.cargado() && eventosSif.cargado());
    std::vector<std::string> guardados;
    abrir()->recorrer(1, HastaElFinal, true, [&](const VistaRegistro& v) {
        EXPECT_EQ(razonFirmaRegistro(v.xml, v.alta, "89890001K", ahora_), "") << v.numero;
        EXPECT_EQ(razonFirmaRegistro(v.xml, v.alta, "12345678Z", ahora_).find("firmado con un"),
                  0u);
        guardados.emplace_back(v.xml);
        EXPECT_EQ(suministro.validar(guardados.back()), "") << guardados.back();
        return true;
    });
    for (const auto& e : eventos()) {
        EXPECT_EQ(razonFirmaEvento(e.xml, "89890001K", ahora_), "") << e.numero;
        EXPECT_EQ(eventosSif.validar(e.xml), "") << e.xml;
        guardados.push_back(e.xml);
    }
    verificarConXmlsec1(guardados);

    s = o.comprueba();
    EXPECT_TRUE(s.correcto) << s.texto;
    EXPECT_NE(s.texto.find("3 registros, todos con su firma válida"), std::string::npos) << s.texto;
    EXPECT_EQ(tipos(), "01 10 03 05");
    const fs::path remesa =
        fs::temp_directory_path() / ("remesa-" + std::to_string(::getpid()) + ".xml");
    s = o.exporta(remesa.string(), 1);
    EXPECT_TRUE(s.correcto) << s.texto;
    // La remesa lleva los registros firmados byte a byte como se guardaron, y valida.
    const std::string exportada = morvelin::pruebas::leerTodo(remesa);
    fs::remove(remesa);
    EXPECT_EQ(morvelin::pruebas::Esquema("SuministroLR.xsd").validar(exportada), "");
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NE(exportada.find(guardados[i]), std::string::npos) << i;
    EXPECT_EQ(tipos(), "01 10 03 05 08");
    EXPECT_NE(eventos().back().xml.find("<sf:NumeroDeRegistrosFacturacionAltaExportados>2<"),
              std::string::npos);
    esperarEnteraYFirmada(3);

    s = o.cierra();
    EXPECT_TRUE(s.correcto) << s.texto;
    s = o.alta(alta("A-3").dump());
    EXPECT_FALSE(s.correcto);
    EXPECT_NE(s.texto.find("cerrada"), std::string::npos) << s.texto;
    // Una cadena cerrada se comprueba sin firmar nada (sin certificado) y no anota.
    s = Ordenes(destino_, [this] { return ahora_; }).comprueba();
    EXPECT_TRUE(s.correcto) << s.texto;
    EXPECT_EQ(tipos(), "01 10 03 05 08 02");
    esperarEnteraYFirmada(3);
}

// Dos procesos que firman a la vez: cada registro se firma antes de tomar el cerrojo, y si otro
// ha añadido entretanto, se vuelve a construir y a firmar sobre el nuevo último.
TEST_P(CadenaSinRemision, DosProcesosAlaVezNoBifurcanYTodoQuedaFirmado) {
    ASSERT_TRUE(ordenes().modo("no-verifactu", "89890001K").correcto);
    enDosProcesos([&](const std::string& serie) {
        auto o = ordenes();
        for (int i = 1; i <= 60; ++i)
            if (const auto s = o.alta(alta(serie + std::to_string(i)).dump()); !s.correcto)
                throw std::runtime_error(s.texto);
    });
    esperarSinBifurcacion(120);
    esperarEnteraYFirmada(120);
}

// Una cadena sin remisión sin con qué firmar no admite registros; uno que no firma, tampoco.
TEST_P(CadenaSinRemision, SinFirmanteNoSeAnadeNada) {
    const ObtenerFirmante mudo = [](const std::string&) {
        return morvelin::xades::Firmante{certificado().derCertificado(), [](std::string_view) {
                                             return std::nullopt;
                                         }};
    };
    // El modo no se fija con un certificado que no firma ni con uno que no es RSA, y se puede
    // fijar después.
    static const auto ec = morvelin::pruebas::CertificadoPrueba::crear(
        {{"CN", "TALLERES EC"}, {"serialNumber", "89890001K"}});
    const ObtenerFirmante conEc = [](const std::string&) {
        return morvelin::xades::Firmante{ec.derCertificado(), [](std::string_view) {
                                             return std::string("x");
                                         }};
    };
    for (const auto& [firmantes, motivo] :
         {std::pair{mudo, "no firma"}, std::pair{conEc, "no tiene una clave RSA"}}) {
        const auto s =
            Ordenes(destino_, relojDelSistema(), firmantes).modo("no-verifactu", "89890001K");
        EXPECT_FALSE(s.correcto);
        EXPECT_NE(s.texto.find(motivo), std::string::npos) << s.texto;
    }
    EXPECT_EQ(tipos(), "");
    ASSERT_TRUE(ordenes().modo("no-verifactu", "89890001K").correcto);
    auto a = abrir();
    EXPECT_THROW(anadir(*a, alta("A-1")), ErrorAlmacen);
    EXPECT_THROW(anadirAlta(*a, leerAltaJson(alta("A-1").dump()), relojDelSistema(), mudo),
                 morvelin::xades::ErrorFirmaXml);
    const ObtenerFirmante ninguno = [](const std::string&) -> morvelin::xades::Firmante {
        throw ErrorAlmacen("sin certificado");
    };
    EXPECT_FALSE(Ordenes(destino_, relojDelSistema(), ninguno).alta(alta("A-1").dump()).correcto);
    EXPECT_EQ(a->cuantos(), 0);
    EXPECT_EQ(tipos(), "01");
}

// Lo que se toca en una cadena sin remisión, lo que comprueba ve y la anomalía que anota.
struct ManipulacionFirmada {
    const char* nombre;
    const char* sqlite;
    const char* postgresql;
    bool enEventos;
    std::int64_t rotaEn;
    const char* tipoAnomalia;
};

// Un byte del valor de la firma (el carácter 100 tras su etiqueta), cambiado en SQL.
#define UN_BYTE_DE_LA_FIRMA_SQLITE(tabla, n)                                                       \
    "UPDATE " tabla " SET xml = CAST(substr(CAST(xml AS TEXT), 1, "                                \
    "instr(CAST(xml AS TEXT), '<ds:SignatureValue') + 99) || CASE substr(CAST(xml AS TEXT), "      \
    "instr(CAST(xml AS TEXT), '<ds:SignatureValue') + 100, 1) WHEN 'A' THEN 'B' ELSE 'A' END || "  \
    "substr(CAST(xml AS TEXT), instr(CAST(xml AS TEXT), '<ds:SignatureValue') + 101) AS BLOB) "    \
    "WHERE numero = " n
#define UN_BYTE_DE_LA_FIRMA_POSTGRESQL(tabla, n)                                                   \
    "UPDATE " tabla " SET xml = set_byte(xml, position('<ds:SignatureValue'::bytea in xml) + 99, " \
    "CASE get_byte(xml, position('<ds:SignatureValue'::bytea in xml) + 99) WHEN 65 THEN 66 "       \
    "ELSE 65 END) WHERE numero = " n

const ManipulacionFirmada ManipulacionesFirmadas[] = {
    {"un byte de la firma de un registro", UN_BYTE_DE_LA_FIRMA_SQLITE("verifactu_registros", "2"),
     UN_BYTE_DE_LA_FIRMA_POSTGRESQL("verifactu_registros", "2"), false, 2, "02"},
    {"la firma quitada de un registro",
     "UPDATE verifactu_registros SET xml = CAST(substr(CAST(xml AS TEXT), 1, "
     "instr(CAST(xml AS TEXT), '<ds:Signature ') - 1) || '</sf:RegistroAlta>' AS BLOB) "
     "WHERE numero = 3",
     "UPDATE verifactu_registros SET xml = substring(xml from 1 for "
     "position('<ds:Signature '::bytea in xml) - 1) || '</sf:RegistroAlta>'::bytea "
     "WHERE numero = 3",
     false, 3, "02"},
    {"el importe de un registro firmado",
     "UPDATE verifactu_registros SET xml = CAST(replace(CAST(xml AS TEXT), '121.00', '131.00') "
     "AS BLOB) WHERE numero = 1",
     "UPDATE verifactu_registros SET xml = convert_to(replace(convert_from(xml, 'UTF8'), "
     "'121.00', '131.00'), 'UTF8') WHERE numero = 1",
     false, 1, "01"},
    {"un byte de la firma de un evento", UN_BYTE_DE_LA_FIRMA_SQLITE("verifactu_eventos", "1"),
     UN_BYTE_DE_LA_FIRMA_POSTGRESQL("verifactu_eventos", "1"), true, 1, "02"},
    {"un evento borrado", "DELETE FROM verifactu_eventos WHERE numero = 2",
     "DELETE FROM verifactu_eventos WHERE numero = 2", true, 2, "04"},
};

TEST_P(CadenaSinRemision, ComprobarEncuentraLoManipuladoYLoAnota) {
    for (const auto& m : ManipulacionesFirmadas) {
        SCOPED_TRACE(m.nombre);
        if (postgresql())
            destino_ = servidor_->nuevaBase();
        else
            fs::remove_all(carpeta_);
        auto o = ordenes();
        ASSERT_TRUE(o.modo("no-verifactu", "89890001K").correcto);
        for (const char* n : {"A-1", "A-2", "A-3"}) {
            ahora_ += IntervaloResumen;
            ASSERT_TRUE(o.alta(alta(n).dump()).correcto);
        }
        manipular({m.nombre, m.sqlite, m.postgresql, 0});
        const auto antes = eventos().size();
        const auto s = o.comprueba();
        EXPECT_FALSE(s.correcto);
        const std::string roto = std::string(m.enEventos ? "evento nº " : "registro nº ") +
                                 std::to_string(m.rotaEn) + ":";
        EXPECT_NE(s.texto.find(roto), std::string::npos) << s.texto;
        // Anotados el lanzamiento y la anomalía, con su clase.
        const auto ev = eventos();
        ASSERT_EQ(ev.size(), antes + 3);
        const auto& anomalia = ev[antes + (m.enEventos ? 2 : 1)];
        EXPECT_EQ(anomalia.tipo, m.enEventos ? "06" : "04");
        EXPECT_NE(anomalia.xml.find("<sf:TipoAnomalia>" + std::string(m.tipoAnomalia) + "<"),
                  std::string::npos)
            << anomalia.xml;
    }
}

// Un SIGKILL en cualquier momento de un bucle de altas que anotan también su resumen: la cadena
// y el registro de eventos quedan enteros, firmados, y se puede seguir.
TEST_P(CadenaSinRemision, SigkillEnMitadDeUnAnadidoConEventosNoRompeNinguno) {
    ASSERT_TRUE(ordenes().modo("no-verifactu", "89890001K").correcto);
    auto cadena = abrir();
    for (int vuelta = 0; vuelta < 4; ++vuelta) {
        const auto antes = cadena->cuantos();
        const pid_t otro = ::fork();
        ASSERT_GE(otro, 0);
        if (otro == 0) {
            // Cada alta llega siete horas después de la anterior: lleva también su resumen.
            Ordenes o(
                destino_, [this] { return ahora_ += IntervaloResumen * 7 / 12; }, firmantes());
            for (int i = 1;; ++i)
                o.alta(alta("S" + std::to_string(vuelta) + "-" + std::to_string(i)).dump());
        }
        // Tras sus dos primeras altas (lo que tarden, con la máquina ocupada o bajo los
        // sanitizers), en un momento cualquiera.
        const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (cadena->cuantos() < antes + 2 && std::chrono::steady_clock::now() < limite)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 37 * vuelta));
        ::kill(otro, SIGKILL);
        ::waitpid(otro, nullptr, 0);
        // El reloj sigue donde llegó el hijo: la hora de su último registro o evento, leída
        // con el cerrojo de la cadena (PostgreSQL acaba la transacción del hijo muerto, con
        // COMMIT o sin él, cuando ve cerrada su conexión).
        abrir()->transaccion([&](Transaccion& t) {
            const auto r = t.ultimo();
            const auto e = t.ultimoEvento();
            ahora_ = std::max(r ? *leerFechaHoraHuso(r->fechaHoraHusoGenRegistro) : 0,
                              *leerFechaHoraHuso(e->fechaHoraHusoGenEvento)) +
                     1;
        });
    }
    const auto registros = abrir()->cuantos();
    EXPECT_GT(registros, 4);
    esperarEnteraYFirmada(registros);
    EXPECT_TRUE(ordenes().alta(alta("FINAL").dump()).correcto);
    esperarEnteraYFirmada(registros + 1);
}

// Sin remisión por la línea de órdenes, con el certificado en cada clase de almacén: la
// carpeta, una base NSS y una tarjeta (SoftHSM, con el PIN del pinentry falso). Cada orden pide
// el PIN una sola vez, antes de tocar la cadena; lo manipulado se ve, se anota firmado y sale
// con 1.
class SinRemisionEnLosAlmacenes : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        raiz_ = fs::temp_directory_path() /
                ("sin-remision-" + std::to_string(::getpid()) + "-" + std::string(GetParam()));
        fs::remove_all(raiz_);
        fs::create_directories(raiz_);
        entorno_.emplace(raiz_);
        const std::string almacen = GetParam();
        if (almacen == "carpeta") {
            fs::create_directories(entorno_->almacen());
            talleres().grabarPem(entorno_->almacen() / "talleres.pem", true);
        } else if (almacen == "nss") {
            morvelin::pruebas::crearBaseNss(raiz_ / "nss", {{"talleres", talleres()}});
            ::setenv("MORVELIN_NSSDB", ("sql:" + (raiz_ / "nss").string()).c_str(), 1);
        } else {
            morvelin::pruebas::crearTarjeta("TALLERES", "1234");
            talleres().cargarEnTarjeta("TALLERES", "1234", "firma", "01", true, raiz_);
            ::setenv("PIN_FALSO", "1234", 1);
        }
    }
    void TearDown() override {
        entorno_.reset();
        fs::remove_all(raiz_);
    }

    morvelin::pruebas::Salida morvelin(const std::string& argumentos) {
        return morvelin::pruebas::ejecutar("'" + std::string(MORVELIN_CLI) +
                                           "' verifactu --cadena '" + cadena() + "' " + argumentos +
                                           " 2>&1");
    }
    std::string fichero(const json& j) {
        const auto ruta = raiz_ / ("f" + std::to_string(++ficheros_) + ".json");
        morvelin::pruebas::escribirTodo(ruta, j.dump());
        return "'" + ruta.string() + "'";
    }
    std::string cadena() const { return (raiz_ / "cadena.sqlite").string(); }
    std::size_t pinesPedidos() const {
        const std::string r = morvelin::pruebas::leerTodo(raiz_ / "pinentry.txt");
        std::size_t n = 0;
        for (auto p = r.find("GETPIN"); p != std::string::npos; p = r.find("GETPIN", p + 1))
            ++n;
        return n;
    }

    fs::path raiz_;
    std::optional<morvelin::pruebas::EntornoAlmacenes> entorno_;
    int ficheros_ = 0;
};

TEST_P(SinRemisionEnLosAlmacenes, FirmaCadaRegistroYLaComprobacionVeLoManipulado) {
    const bool tarjeta = std::string(GetParam()) == "tarjeta";
    const std::string ordenes[] = {
        "modo no-verifactu --certificado 89890001K",
        "alta " + fichero(alta("A-1")),
        "alta " + fichero(alta("A-2")),
        "anula " + fichero(anulacion("A-1")),
        "comprueba",
        "exporta '" + (raiz_ / "remesa.xml").string() + "'",
    };
    std::size_t hechas = 0;
    for (const auto& o : ordenes) {
        const auto s = morvelin(o);
        EXPECT_EQ(s.estado, 0) << o << "\n" << s.texto;
        EXPECT_EQ(pinesPedidos(), tarjeta ? ++hechas : 0u) << o;
    }
    EXPECT_NE(morvelin("comprueba").texto.find("3 registros, todos con su firma válida"),
              std::string::npos);
    const std::string remesa = morvelin::pruebas::leerTodo(raiz_ / "remesa.xml");
    std::size_t firmas = 0;
    for (auto p = remesa.find("<ds:SignatureValue"); p != std::string::npos;
         p = remesa.find("<ds:SignatureValue", p + 1))
        ++firmas;
    EXPECT_EQ(firmas, 3u) << remesa;

    // El importe del segundo registro, cambiado desde fuera.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(cadena().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "DROP TRIGGER verifactu_registros_sin_cambios; UPDATE "
                           "verifactu_registros SET xml = CAST(replace(CAST(xml AS TEXT), "
                           "'121.00', '131.00') AS BLOB) WHERE numero = 2",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    const auto s = morvelin("comprueba");
    EXPECT_EQ(s.estado, 1) << s.texto;
    EXPECT_NE(s.texto.find("registro nº 2:"), std::string::npos) << s.texto;
    std::vector<EventoCadena> eventos;
    abrirAlmacen(cadena())->recorrerEventos(1, HastaElFinal, [&](const EventoCadena& e) {
        eventos.push_back(e);
        return true;
    });
    ASSERT_GE(eventos.size(), 3u);
    const auto& anomalia = eventos[eventos.size() - 2];
    EXPECT_EQ(anomalia.tipo, "04");
    EXPECT_EQ(razonFirmaEvento(anomalia.xml, "89890001K", std::time(nullptr)), "");
    EXPECT_EQ(pinesPedidos(), tarjeta ? hechas + 2 : 0u);
}

INSTANTIATE_TEST_SUITE_P(Almacenes, SinRemisionEnLosAlmacenes,
                         testing::Values("carpeta", "nss", "tarjeta"),
                         [](const auto& i) { return std::string(i.param); });

INSTANTIATE_TEST_SUITE_P(Almacenes, CadenaSinRemision, testing::Values("sqlite", "postgresql"),
                         [](const auto& i) { return std::string(i.param); });

INSTANTIATE_TEST_SUITE_P(Almacenes, CadenaVerifactu, testing::Values("sqlite", "postgresql"),
                         [](const auto& i) { return std::string(i.param); });

// El cliente se identifica con el certificado de cada almacén (la carpeta, con clave RSA o EC;
// una base NSS; una tarjeta de SoftHSM con el PIN por pinentry, pedido una sola vez para todo el
// envío), sin que la clave salga de la base ni de la tarjeta.
TEST(RemisionVerifactu, ElClienteSeIdentificaConElCertificadoDeCadaAlmacen) {
    struct Caso {
        const char* almacen;
        bool rsa;
    };
    for (const Caso& c : {Caso{"carpeta", true}, Caso{"carpeta", false}, Caso{"nss", true},
                          Caso{"tarjeta", true}}) {
        SCOPED_TRACE(std::string(c.almacen) + (c.rsa ? " RSA" : " EC"));
        const fs::path raiz =
            fs::temp_directory_path() / ("almacen-vf-" + std::to_string(::getpid()));
        const std::string almacen = c.almacen;
        DobleAgencia doble(raiz / "doble", almacen == "carpeta", c.rsa);
        if (almacen == "nss") {
            morvelin::pruebas::crearBaseNss(raiz / "base", {{"obligado", doble.certificado()}});
            ::setenv("MORVELIN_NSSDB", (raiz / "base").c_str(), 1);
        } else if (almacen == "tarjeta") {
            morvelin::pruebas::crearTarjeta("DNI", "1234");
            doble.certificado().cargarEnTarjeta("DNI", "1234", "obligado", "01", true, raiz);
            ::setenv("PIN_FALSO", "1234", 1);
        }
        auto a = abrirSqlite((raiz / "c.sqlite").string());
        anadirAltasAhora(*a, 1500);
        RelojFalso reloj;
        const auto informe = doble.enviar(*a, reloj);
        EXPECT_TRUE(informe.correcto) << informe.motivo;
        EXPECT_EQ(a->resumenCola().correctos, 1500);
        EXPECT_EQ(doble.servicio().peticiones(), 2u);
        if (almacen == "tarjeta") {
            std::ifstream registro(raiz / "doble" / "pinentry.txt");
            const std::string dicho((std::istreambuf_iterator<char>(registro)), {});
            std::size_t getpin = 0;
            for (auto p = dicho.find("GETPIN"); p != std::string::npos;
                 p = dicho.find("GETPIN", p + 1))
                ++getpin;
            EXPECT_EQ(getpin, 1u) << dicho;
        }
        a.reset();
        fs::remove_all(raiz);
    }
}

// La línea de órdenes, la interfaz C y la clase de C++, sobre una cadena SQLite.
class InterfacesVerifactu : public testing::Test {
protected:
    void SetUp() override {
        carpeta_ = fs::temp_directory_path() / ("interfaces-vf-" + std::to_string(::getpid()));
        fs::remove_all(carpeta_);
        fs::create_directories(carpeta_);
        cadena_ = (carpeta_ / "cadena.sqlite").string();
    }
    void TearDown() override { fs::remove_all(carpeta_); }

    std::string fichero(const std::string& nombre, const json& j) {
        const auto ruta = carpeta_ / nombre;
        std::ofstream(ruta) << j.dump();
        return ruta.string();
    }

    // Ejecuta morvelin; devuelve el estado de salida y lo escrito en la salida estándar.
    std::pair<int, std::string> morvelin(const std::string& argumentos,
                                         const std::string& entorno = "") {
        const std::string orden = entorno + " '" + std::string(MORVELIN_CLI) + "' " + argumentos +
                                  " 2>'" + (carpeta_ / "errores").string() + "'";
        std::string salida;
        FILE* p = ::popen(orden.c_str(), "r");
        char b[512];
        while (p && std::fgets(b, sizeof b, p))
            salida += b;
        const int estado = p ? ::pclose(p) : -1;
        return {WIFEXITED(estado) ? WEXITSTATUS(estado) : -1, salida};
    }

    fs::path carpeta_;
    std::string cadena_;
};

TEST_F(InterfacesVerifactu, LineaDeOrdenes) {
    const std::string f1 = fichero("f1.json", alta("A-1"));
    const std::string c = "--cadena '" + cadena_ + "' ";
    auto [estado, salida] = morvelin("verifactu " + c + "alta '" + f1 + "'");
    EXPECT_EQ(estado, 0);
    ASSERT_GE(salida.size(), 65u);
    const std::string huella = salida.substr(salida.size() - 65, 64);
    EXPECT_TRUE(esHuella(huella)) << salida;
    // Repetida: se rechaza, sale con 1 y la cadena no cambia.
    std::tie(estado, salida) = morvelin("verifactu " + c + "alta '" + f1 + "'");
    EXPECT_EQ(estado, 1);
    // La cadena por la variable de entorno; la anulación por la entrada estándar.
    std::tie(estado, salida) =
        morvelin("verifactu anula - < '" + fichero("an.json", anulacion("A-1")) + "'",
                 "MORVELIN_CADENA='" + cadena_ + "'");
    EXPECT_EQ(estado, 0);
    std::tie(estado, salida) = morvelin("verifactu " + c + "comprueba");
    EXPECT_EQ(estado, 0);
    EXPECT_NE(salida.find("2 registros"), std::string::npos) << salida;
    const std::string remesa = (carpeta_ / "remesa.xml").string();
    std::tie(estado, salida) = morvelin("verifactu " + c + "exporta '" + remesa + "'");
    EXPECT_EQ(estado, 0);
    EXPECT_TRUE(fs::exists(remesa));
    std::tie(estado, salida) =
        morvelin("verifactu qr '" + f1 + "' '" + (carpeta_ / "qr.png").string() + "' --prueba");
    EXPECT_EQ(estado, 0);
    EXPECT_EQ(salida.rfind("https://prewww2.aeat.es/wlpl/TIKE-CONT/ValidarQR?nif=89890001K", 0),
              0u);
    std::tie(estado, salida) = morvelin("verifactu --help");
    EXPECT_EQ(estado, 0);
    for (const char* o : {"alta", "anula", "qr", "exporta", "comprueba"})
        EXPECT_NE(salida.find(std::string("  ") + o), std::string::npos) << o;
    EXPECT_EQ(morvelin("verifactu").first, 2);
    // Una factura que no se puede leer (una carpeta) no es un fallo inesperado.
    EXPECT_EQ(morvelin("verifactu " + c + "alta '" + carpeta_.string() + "'").first, 1);
    EXPECT_EQ(morvelin("verifactu " + c + "qr '" + f1 + "' x.png --modo otro").first, 2);
    // Una clave con caracteres de control se rechaza nombrándola, sin que lleguen al terminal.
    json malo = alta("A-2");
    malo["Clave\x1b[2J\nHuella"] = "1";
    EXPECT_EQ(morvelin("verifactu " + c + "alta '" + fichero("malo.json", malo) + "'").first, 1);
    std::ifstream errores(carpeta_ / "errores");
    const std::string dicho((std::istreambuf_iterator<char>(errores)), {});
    EXPECT_NE(dicho.find("Clave\\x1B[2J\\x0AHuella"), std::string::npos) << dicho;
    EXPECT_EQ(dicho.find('\x1b'), std::string::npos) << dicho;
    // Sin --cadena ni MORVELIN_CADENA: el fichero bajo XDG_DATA_HOME.
    std::tie(estado, salida) =
        morvelin("verifactu alta '" + f1 + "'",
                 "env -u MORVELIN_CADENA XDG_DATA_HOME='" + (carpeta_ / "datos").string() + "'");
    EXPECT_EQ(estado, 0);
    EXPECT_TRUE(fs::exists(carpeta_ / "datos" / "MORVELIN" / "verifactu.sqlite"));
}

TEST_F(InterfacesVerifactu, InterfazCyClaseCpp) {
    int correcto = -1;
    char* texto = nullptr;
    ASSERT_EQ(
        morvelin_verifactu_alta(cadena_.c_str(), alta("A-1").dump().c_str(), &correcto, &texto),
        MORVELIN_OK);
    EXPECT_EQ(correcto, 1);
    EXPECT_TRUE(esHuella(texto)) << texto;
    morvelin_liberar(texto);
    ASSERT_EQ(morvelin_verifactu_alta(cadena_.c_str(), "{", &correcto, &texto), MORVELIN_OK);
    EXPECT_EQ(correcto, 0);
    EXPECT_EQ(std::string(texto).rfind("JSON: ", 0), 0u) << texto;
    morvelin_liberar(texto);
    EXPECT_EQ(morvelin_verifactu_comprueba(cadena_.c_str(), nullptr, &texto),
              MORVELIN_PUNTERO_INVALIDO);
    const std::string qr = (carpeta_ / "qr.svg").string();
    const morvelin_qr_opciones opciones{30, 2, 0, 1, 1};
    ASSERT_EQ(
        morvelin_verifactu_qr(alta("A-1").dump().c_str(), qr.c_str(), &opciones, &correcto, &texto),
        MORVELIN_OK);
    EXPECT_EQ(correcto, 1);
    EXPECT_EQ(std::string(texto).rfind("https://prewww2.aeat.es/wlpl/TIKE-CONT/"
                                       "ValidarQRNoVerifactu?",
                                       0),
              0u);
    morvelin_liberar(texto);

    morvelin::CadenaVerifactu cadena(cadena_);
    const auto r = cadena.anula(anulacion("A-1").dump());
    EXPECT_TRUE(r.correcto) << r.texto;
    const auto c = cadena.comprueba();
    EXPECT_TRUE(c.correcto);
    EXPECT_NE(c.texto.find("2 registros"), std::string::npos);
    const auto mal = cadena.exporta((carpeta_ / "no" / "existe" / "r.xml").string());
    EXPECT_FALSE(mal.correcto);
    EXPECT_NE(mal.texto.find("No se puede grabar"), std::string::npos);
    const auto q = morvelin::qrVerifactu(alta("A-1").dump(), (carpeta_ / "qr.gif").string());
    EXPECT_FALSE(q.correcto);
}

// El modo, el envío y el estado de la cola por la línea de órdenes, la interfaz C y la clase de
// C++, contra el doble de la agencia con el certificado de una carpeta.
TEST_F(InterfacesVerifactu, ModoEnvioYEstadoDeLaCola) {
    DobleAgencia doble(carpeta_ / "doble");
    servicio_local::ComportamientoVerifactu c;
    c.tiempoEspera = 0;
    doble.servicio().comportamiento(c);
    const std::string sinRemision = "--cadena '" + (carpeta_ / "sin.sqlite").string() + "' ";
    EXPECT_EQ(morvelin("verifactu " + sinRemision + "modo no-verifactu").first, 2);
    EXPECT_EQ(
        morvelin("verifactu " + sinRemision + "modo no-verifactu --certificado 89890001K").first,
        0);
    EXPECT_EQ(morvelin("verifactu " + sinRemision + "alta '" + fichero("f.json", alta("S-1")) + "'")
                  .first,
              0);
    EXPECT_EQ(morvelin("verifactu " + sinRemision + "modo verifactu").first, 1);
    EXPECT_EQ(morvelin("verifactu " + sinRemision + "modo otro").first, 2);
    auto [estado, salida] = morvelin("verifactu " + sinRemision + "estado");
    EXPECT_EQ(estado, 0);
    EXPECT_NE(salida.find("Pendientes: 0;"), std::string::npos) << salida;

    const std::string c1 = "--cadena '" + cadena_ + "' ";
    const std::string destino = "--servicio '" + doble.servicio().direccion() +
                                "' --autoridades '" + doble.autoridad() + "'";
    for (const char* n : {"V-1", "V-2"})
        ASSERT_EQ(morvelin("verifactu " + c1 + "alta '" + fichero("f.json", alta(n)) + "'").first,
                  0);
    std::tie(estado, salida) = morvelin("verifactu " + c1 + "estado");
    EXPECT_NE(salida.find("nº 2 alta 89890001K V-2 03-02-2025: pendiente de enviar"),
              std::string::npos)
        << salida;
    std::tie(estado, salida) = morvelin("verifactu " + c1 + "envia " + destino);
    EXPECT_EQ(estado, 0);
    EXPECT_NE(salida.find("nº 1 alta 89890001K V-1 03-02-2025: correcto"), std::string::npos)
        << salida;
    EXPECT_NE(salida.find("Enviados 2 registros en 1 envío: 2 correctos"), std::string::npos)
        << salida;
    EXPECT_EQ(morvelin("verifactu " + c1 + "envia --servicio http://127.0.0.1:1/x").first, 2);

    int correcto = -1;
    char* texto = nullptr;
    ASSERT_EQ(
        morvelin_verifactu_alta(cadena_.c_str(), alta("V-3").dump().c_str(), &correcto, &texto),
        MORVELIN_OK);
    morvelin_liberar(texto);
    ASSERT_EQ(morvelin_verifactu_envia(cadena_.c_str(), 0, "89890001K",
                                       doble.servicio().direccion().c_str(),
                                       doble.autoridad().c_str(), &correcto, &texto),
              MORVELIN_OK);
    EXPECT_EQ(correcto, 1) << texto;
    EXPECT_NE(std::string(texto).find("V-3 03-02-2025: correcto"), std::string::npos) << texto;
    morvelin_liberar(texto);
    ASSERT_EQ(morvelin_verifactu_modo(cadena_.c_str(), "no-verifactu", &correcto, &texto),
              MORVELIN_OK);
    EXPECT_EQ(correcto, 0);
    morvelin_liberar(texto);

    // Con el certificado, la interfaz C fija el modo sin remisión, firma y cierra la cadena.
    const std::string sinC = (carpeta_ / "sin-c.sqlite").string();
    const auto llamar = [&](morvelin_estado e) {
        EXPECT_EQ(e, MORVELIN_OK);
        std::string t = texto ? texto : "";
        morvelin_liberar(texto);
        texto = nullptr;
        return t;
    };
    auto t = llamar(morvelin_verifactu_modo_con_certificado(sinC.c_str(), "no-verifactu",
                                                            "89890001K", &correcto, &texto));
    EXPECT_EQ(correcto, 1) << t;
    t = llamar(
        morvelin_verifactu_alta(sinC.c_str(), alta("C-1").dump().c_str(), &correcto, &texto));
    EXPECT_EQ(correcto, 1) << t;
    t = llamar(morvelin_verifactu_cierra(sinC.c_str(), &correcto, &texto));
    EXPECT_EQ(correcto, 1) << t;
    t = llamar(
        morvelin_verifactu_alta(sinC.c_str(), alta("C-2").dump().c_str(), &correcto, &texto));
    EXPECT_EQ(correcto, 0);
    EXPECT_NE(t.find("La cadena está cerrada"), std::string::npos) << t;
    t = llamar(morvelin_verifactu_comprueba(sinC.c_str(), &correcto, &texto));
    EXPECT_EQ(correcto, 1) << t;
    EXPECT_NE(t.find("todos con su firma válida"), std::string::npos) << t;

    morvelin::CadenaVerifactu cadena(cadena_);
    const auto e = cadena.estado();
    EXPECT_TRUE(e.correcto);
    EXPECT_NE(e.texto.find("Pendientes: 0; correctos: 3;"), std::string::npos) << e.texto;
    // Sin un certificado de ese NIF no se envía.
    const auto sin = cadena.envia({false, "11111111H", doble.servicio().direccion(), {}});
    EXPECT_FALSE(sin.correcto);
    EXPECT_NE(sin.texto.find("11111111H"), std::string::npos) << sin.texto;
    // Una cadena VERI*FACTU no se cierra; una sin remisión, una vez.
    EXPECT_FALSE(cadena.cierra().correcto);
    morvelin::CadenaVerifactu firmada((carpeta_ / "sin-cpp.sqlite").string());
    ASSERT_TRUE(firmada.modo("no-verifactu", "89890001K").correcto);
    EXPECT_TRUE(firmada.cierra().correcto);
    const auto otra = firmada.cierra();
    EXPECT_FALSE(otra.correcto);
    EXPECT_NE(otra.texto.find("ya está cerrada"), std::string::npos) << otra.texto;
}

} // namespace
