// VERI*FACTU sin almacén: la huella con los ejemplos oficiales, el rechazo de cada campo, el XML
// de cada clase de registro y de la remesa contra los esquemas de la agencia, el QR leído de
// vuelta con zbarimg, y cada respuesta del doble local de la agencia contra su esquema.
#include "credenciales.h"
#include "servicio_verifactu.h"
#include "verifactu/cadena.h"
#include "verifactu/huella.h"
#include "verifactu/qr.h"
#include "verifactu/registro.h"
#include "verifactu/respuesta.h"
#include "verifactu/xml.h"

#include "esquemas_prueba.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace morvelin::verifactu;

namespace {

const std::string Paquete = std::string(ZOQ_FUENTES) + "/componente/tests/verifactu-ejemplos";

std::string leerTodo(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Un alta válida de la que parten los casos.
json altaBase() {
    return json::parse(R"({
        "IDEmisorFactura": "89890001K",
        "NumSerieFactura": "A-2025/0001",
        "FechaExpedicionFactura": "03-02-2025",
        "NombreRazonEmisor": "Talleres Ejemplo, S.L.",
        "TipoFactura": "F1",
        "DescripcionOperacion": "Reparación",
        "Destinatarios": [{"NombreRazon": "Cliente", "NIF": "89890002E"}],
        "Desglose": [{"Impuesto": "01", "ClaveRegimen": "01", "CalificacionOperacion": "S1",
                      "TipoImpositivo": "21", "BaseImponibleOimporteNoSujeto": "100.00",
                      "CuotaRepercutida": "21.00"}],
        "CuotaTotal": "21.00",
        "ImporteTotal": "121.00"})");
}

json anulacionBase() {
    return json::parse(R"({"IDEmisorFacturaAnulada": "89890001K",
                           "NumSerieFacturaAnulada": "A-2025/0001",
                           "FechaExpedicionFacturaAnulada": "03-02-2025"})");
}

const Fecha Hoy{2025, 6, 1};

using morvelin::pruebas::Esquema;

} // namespace

// Los cuatro ejemplos de huella de la agencia (tres del documento de la huella y el registro
// firmado de ejemplo), con los importes tal como están escritos.
TEST(HuellaVerifactu, EjemplosOficiales) {
    const CamposHuellaAlta caso1{
        "89890001K", "12345678/G33", "01-01-2024", "F1",
        "12.35",     "123.45",       "",           "2024-01-01T19:20:30+01:00"};
    EXPECT_EQ(calcularHuella(caso1),
              "3C464DAF61ACB827C65FDA19F352A4E3BDC2C640E9E9FC4CC058073F38F12F60");
    const std::string huella1 = calcularHuella(caso1);
    const CamposHuellaAlta caso2{
        "89890001K", "12345679/G34", "01-01-2024", "F1",
        "12.35",     "123.45",       huella1,      "2024-01-01T19:20:35+01:00"};
    EXPECT_EQ(calcularHuella(caso2),
              "F7B94CFD8924EDFF273501B01EE5153E4CE8F259766F88CF6ACB8935802A2B97");
    const std::string huella2 = calcularHuella(caso2);
    const CamposHuellaAnulacion caso3{"89890001K", "12345679/G34", "01-01-2024", huella2,
                                      "2024-01-01T19:20:40+01:00"};
    EXPECT_EQ(calcularHuella(caso3),
              "177547C0D57AC74748561D054A9CEC14B4C4EA23D1BEFD6F2E69E3A388F90C68");
    const CamposHuellaAlta firmado{
        "89890001K",
        "12345678-G66",
        "03-02-2025",
        "R3",
        "41.4",
        "241.4",
        "C9AF4AF1EF5EBBA700350DE3EEF12C2D355C56AC56F13DB2A25E0031BD2B7ED5",
        "2025-02-03T14:30:00+01:00"};
    EXPECT_EQ(calcularHuella(firmado),
              "FF954378B64ED331A9B2366AD317D86E9DEC1716B12DD0ACCB172A6DC4C105AA");
    // Otra forma del mismo importe es otra huella: el texto no se reescribe nunca.
    CamposHuellaAlta reescrito = firmado;
    reescrito.importeTotal = "241.40";
    EXPECT_NE(calcularHuella(reescrito), calcularHuella(firmado));
    // Los espacios de los extremos no cuentan.
    CamposHuellaAlta espacios = caso1;
    espacios.numSerieFactura = "  12345678/G33 ";
    EXPECT_EQ(calcularHuella(espacios), calcularHuella(caso1));
}

// El registro de ejemplo de la agencia, leído de su XML: su huella sale de sus datos.
TEST(HuellaVerifactu, RegistroDeEjemploLeidoDeSuXml) {
    std::string xml = leerTodo(Paquete + "/ejemploRegistro.xml");
    ASSERT_FALSE(xml.empty()) << Paquete;
    const auto l = leerRegistro(xml);
    ASSERT_TRUE(l);
    EXPECT_TRUE(l->alta);
    EXPECT_EQ(l->importeTotal, "241.4");
    EXPECT_EQ(huellaDe(*l), l->huella);
    EXPECT_EQ(l->huella, "FF954378B64ED331A9B2366AD317D86E9DEC1716B12DD0ACCB172A6DC4C105AA");
}

TEST(FormatosVerifactu, NifConSuControl) {
    for (const char* bueno :
         {"89890001K", "12345678Z", "X1234567L", "Y1234567X", "Z1234567R", "B12345674", "A58818501",
          "Q2826000H", "N0032484H", "K1234567L", "G12345674"})
        EXPECT_TRUE(esNifValido(bueno)) << bueno;
    for (const char* malo : {"89890001A", "1234567Z", "X1234567A", "B12345675", "Q2826000I",
                             "I12345674", "A5881850A", "12345678z", "ABCDEFGHI"})
        EXPECT_FALSE(esNifValido(malo)) << malo;
}

TEST(FormatosVerifactu, ImportesYFechas) {
    struct {
        const char* texto;
        bool bueno;
        std::int64_t centimos;
    } importes[] = {{"121.00", true, 12100},
                    {"241.4", true, 24140},
                    {"0.5", true, 50},
                    {"-10", true, -1000},
                    {"+3.", true, 300},
                    {"0", true, 0},
                    {"0121.00", false, 0},
                    {"1.234,50", false, 0},
                    {"12.345", false, 0},
                    {"", false, 0},
                    {"1e3", false, 0},
                    {"1234567890123", false, 0},
                    {"123456789012", true, 12345678901200}};
    for (const auto& i : importes) {
        if (i.bueno)
            EXPECT_EQ(comprobarImporte("ImporteTotal", i.texto), i.centimos) << i.texto;
        else
            EXPECT_THROW(comprobarImporte("ImporteTotal", i.texto), ErrorCampo) << i.texto;
    }
    EXPECT_TRUE(leerFecha("29-02-2024"));
    for (const char* mala : {"29-02-2025", "31-04-2025", "2025-02-03", "3-2-2025", "00-01-2025"})
        EXPECT_FALSE(leerFecha(mala)) << mala;
    EXPECT_EQ(leerFechaHoraHuso("2024-01-01T19:20:30+01:00"), 1704133230);
    EXPECT_EQ(fechaHoraHuso(0).size(), 25u);
    EXPECT_EQ(leerFechaHoraHuso(fechaHoraHuso(1738589400)), 1738589400);
}

// Cada campo que no se admite se rechaza con su nombre en el mensaje.
TEST(ValidacionVerifactu, CadaCampoRechazado) {
    struct Caso {
        const char* campo;
        std::function<void(json&)> cambio;
    };
    const std::string largo61(61, 'A');
    const Caso casos[] = {
        {"JSON",
         [](json&) {
         }}, // sustituido abajo por un texto que no es JSON
        {"IDEmisorFactura",
         [](json& j) {
             j["IDEmisorFactura"] = "89890001A";
         }},
        {"NumSerieFactura",
         [](json& j) {
             j["NumSerieFactura"] = "A<1";
         }},
        {"NumSerieFactura",
         [&](json& j) {
             j["NumSerieFactura"] = largo61;
         }},
        {"NumSerieFactura",
         [](json& j) {
             j["NumSerieFactura"] = "Año-1";
         }},
        {"FechaExpedicionFactura",
         [](json& j) {
             j["FechaExpedicionFactura"] = "2025-02-03";
         }},
        {"FechaExpedicionFactura",
         [](json& j) {
             j["FechaExpedicionFactura"] = "27-10-2024";
         }},
        {"FechaExpedicionFactura",
         [](json& j) {
             j["FechaExpedicionFactura"] = "31-02-2025";
         }},
        {"FechaExpedicionFactura",
         [](json& j) {
             j["FechaExpedicionFactura"] = "02-06-2025";
         }},
        {"RefExterna",
         [&](json& j) {
             j["RefExterna"] = largo61;
         }},
        {"NombreRazonEmisor",
         [](json& j) {
             j["NombreRazonEmisor"] = "  ";
         }},
        {"Subsanacion",
         [](json& j) {
             j["Subsanacion"] = "X";
         }},
        {"RechazoPrevio",
         [](json& j) {
             j["RechazoPrevio"] = "X";
         }},
        {"RechazoPrevio",
         [](json& j) {
             j["Subsanacion"] = "N";
             j["RechazoPrevio"] = "S";
         }},
        {"TipoFactura",
         [](json& j) {
             j["TipoFactura"] = "Z9";
         }},
        {"TipoRectificativa",
         [](json& j) {
             j["TipoRectificativa"] = "I";
         }},
        {"TipoRectificativa",
         [](json& j) {
             j["TipoFactura"] = "R1";
         }},
        {"FacturasRectificadas",
         [](json& j) {
             j["FacturasRectificadas"] = json::parse(
                 R"([{"IDEmisorFactura":"89890001K","NumSerieFactura":"1","FechaExpedicionFactura":"01-01-2025"}])");
         }},
        {"FacturasSustituidas",
         [](json& j) {
             j["FacturasSustituidas"] = json::parse(
                 R"([{"IDEmisorFactura":"89890001K","NumSerieFactura":"1","FechaExpedicionFactura":"01-01-2025"}])");
         }},
        {"ImporteRectificacion",
         [](json& j) {
             j["TipoFactura"] = "R1";
             j["TipoRectificativa"] = "S";
         }},
        {"FechaOperacion",
         [](json& j) {
             j["FechaOperacion"] = "01-07-2025";
         }},
        {"FechaExpedicionFactura",
         [](json& j) {
             j["FechaOperacion"] = "04-02-2025";
         }},
        {"DescripcionOperacion",
         [](json& j) {
             j.erase("DescripcionOperacion");
         }},
        {"FacturaSimplificadaArt7273",
         [](json& j) {
             j["TipoFactura"] = "F2";
             j.erase("Destinatarios");
             j["FacturaSimplificadaArt7273"] = "S";
         }},
        {"FacturaSinIdentifDestinatarioArt61d",
         [](json& j) {
             j["FacturaSinIdentifDestinatarioArt61d"] = "S";
         }},
        {"Macrodato",
         [](json& j) {
             j["Macrodato"] = "S";
         }},
        {"Tercero",
         [](json& j) {
             j["EmitidaPorTerceroODestinatario"] = "T";
         }},
        {"Tercero.NIF",
         [](json& j) {
             j["EmitidaPorTerceroODestinatario"] = "T";
             j["Tercero"] = {{"NombreRazon", "Yo"}, {"NIF", "89890001K"}};
         }},
        {"Destinatarios",
         [](json& j) {
             j.erase("Destinatarios");
         }},
        {"Destinatarios",
         [](json& j) {
             j["TipoFactura"] = "F2";
         }},
        {"Destinatarios[1]",
         [](json& j) {
             j["Destinatarios"][0]["IDOtro"] = {
                 {"IDType", "04"}, {"ID", "X"}, {"CodigoPais", "FR"}};
         }},
        {"Destinatarios[1].IDOtro.CodigoPais",
         [](json& j) {
             j["Destinatarios"][0].erase("NIF");
             j["Destinatarios"][0]["IDOtro"] = {{"IDType", "04"}, {"ID", "X1"}};
         }},
        {"Destinatarios[1].IDOtro.ID",
         [](json& j) {
             j["Destinatarios"][0].erase("NIF");
             j["Destinatarios"][0]["IDOtro"] = {{"IDType", "02"}, {"ID", "DE12345"}};
         }},
        {"Destinatarios[1].IDOtro.IDType",
         [](json& j) {
             j["Destinatarios"][0].erase("NIF");
             j["Destinatarios"][0]["IDOtro"] = {
                 {"IDType", "04"}, {"ID", "X1"}, {"CodigoPais", "ES"}};
         }},
        {"Cupon",
         [](json& j) {
             j["Cupon"] = "S";
         }},
        {"Desglose",
         [](json& j) {
             j["Desglose"] = json::array();
         }},
        {"Desglose",
         [](json& j) {
             j.erase("Desglose");
         }},
        {"Desglose[1]",
         [](json& j) {
             j["Desglose"][0]["OperacionExenta"] = "E1";
         }},
        {"Desglose[1].ClaveRegimen",
         [](json& j) {
             j["Desglose"][0].erase("ClaveRegimen");
         }},
        {"Desglose[1].TipoImpositivo",
         [](json& j) {
             j["Desglose"][0]["TipoImpositivo"] = "22";
         }},
        {"Desglose[1].CuotaRepercutida",
         [](json& j) {
             j["Desglose"][0]["CuotaRepercutida"] = "35.00";
         }},
        {"Desglose[1].BaseImponibleOimporteNoSujeto",
         [](json& j) {
             j["Desglose"][0]["BaseImponibleOimporteNoSujeto"] = "1.000,00";
         }},
        {"Desglose[1].TipoRecargoEquivalencia",
         [](json& j) {
             j["Desglose"][0]["TipoRecargoEquivalencia"] = "1.4";
             j["Desglose"][0]["CuotaRecargoEquivalencia"] = "1.40";
         }},
        {"Desglose[1].CalificacionOperacion",
         [](json& j) {
             j["Desglose"][0]["CalificacionOperacion"] = "N1";
             j["Desglose"][0]["CuotaRepercutida"] = "0";
         }},
        {"CuotaTotal",
         [](json& j) {
             j["CuotaTotal"] = "21,00";
         }},
        {"CuotaTotal",
         [](json& j) {
             j["CuotaTotal"] = "40.00";
         }},
        {"ImporteTotal",
         [](json& j) {
             j["ImporteTotal"] = "0121.00";
         }},
        {"ImporteTotal",
         [](json& j) {
             j["ImporteTotal"] = "140.00";
         }},
        {"ImporteTotal",
         [](json& j) {
             j["ImporteTotal"] = 121.0;
         }},
        {"NumRegistroAcuerdoFacturacion",
         [](json& j) {
             j["NumRegistroAcuerdoFacturacion"] = "1234567890123456";
         }},
        {"Importe",
         [](json& j) {
             j["Importe"] = "121.00";
         }},
    };
    for (const auto& c : casos) {
        json j = altaBase();
        c.cambio(j);
        const std::string texto =
            std::string(c.campo) == "JSON" ? "{\"IDEmisorFactura\":" : j.dump();
        try {
            validarAlta(leerAltaJson(texto), Hoy);
            ADD_FAILURE() << "se admite un alta con " << c.campo << " mal: " << texto;
        } catch (const ErrorCampo& e) {
            EXPECT_EQ(e.campo(), c.campo) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind(std::string(c.campo) + ": ", 0), 0u);
        }
    }
    // El alta de partida sí se admite.
    EXPECT_NO_THROW(validarAlta(leerAltaJson(altaBase().dump()), Hoy));
}

TEST(ValidacionVerifactu, CadaCampoRechazadoEnLaAnulacion) {
    struct Caso {
        const char* campo;
        std::function<void(json&)> cambio;
    };
    const Caso casos[] = {
        {"IDEmisorFacturaAnulada",
         [](json& j) {
             j["IDEmisorFacturaAnulada"] = "8989001K";
         }},
        {"NumSerieFacturaAnulada",
         [](json& j) {
             j["NumSerieFacturaAnulada"] = "";
         }},
        {"FechaExpedicionFacturaAnulada",
         [](json& j) {
             j["FechaExpedicionFacturaAnulada"] = "3-2-2025";
         }},
        {"SinRegistroPrevio",
         [](json& j) {
             j["SinRegistroPrevio"] = "X";
         }},
        {"RechazoPrevio",
         [](json& j) {
             j["RechazoPrevio"] = "X";
         }},
        {"Generador",
         [](json& j) {
             j["GeneradoPor"] = "E";
         }},
        {"Generador.NIF",
         [](json& j) {
             j["GeneradoPor"] = "E";
             j["Generador"] = {{"NombreRazon", "Otro"},
                               {"IDOtro", {{"IDType", "03"}, {"ID", "P1"}, {"CodigoPais", "FR"}}}};
         }},
        {"Generador.IDOtro.IDType",
         [](json& j) {
             j["GeneradoPor"] = "T";
             j["Generador"] = {{"NombreRazon", "Otro"},
                               {"IDOtro", {{"IDType", "07"}, {"ID", "P1"}, {"CodigoPais", "ES"}}}};
         }},
        {"TipoFactura",
         [](json& j) {
             j["TipoFactura"] = "F1";
         }},
    };
    for (const auto& c : casos) {
        json j = anulacionBase();
        c.cambio(j);
        try {
            validarAnulacion(leerAnulacionJson(j.dump()));
            ADD_FAILURE() << "se admite una anulación con " << c.campo << " mal";
        } catch (const ErrorCampo& e) {
            EXPECT_EQ(e.campo(), c.campo) << e.what();
        }
    }
}

// Cada clase de registro, y una remesa con todos, valida contra los esquemas de la agencia.
TEST(XmlVerifactu, CadaClaseDeRegistroYLaRemesaValidanContraLosEsquemas) {
    const Esquema registro("SuministroInformacion.xsd");
    const Esquema remesa("SuministroLR.xsd");
    ASSERT_TRUE(registro.cargado() && remesa.cargado());

    std::vector<json> altas;
    altas.push_back(altaBase());
    {
        json j = altaBase(); // simplificada, sin destinatarios, exenta y no sujeta
        j["TipoFactura"] = "F2";
        j.erase("Destinatarios");
        j["Desglose"] = json::parse(R"([
            {"ClaveRegimen": "01", "OperacionExenta": "E1", "BaseImponibleOimporteNoSujeto": "50"},
            {"ClaveRegimen": "01", "CalificacionOperacion": "N1", "BaseImponibleOimporteNoSujeto": "10.5"}])");
        j["CuotaTotal"] = "0";
        j["ImporteTotal"] = "60.5";
        altas.push_back(j);
    }
    {
        json j = altaBase(); // rectificativa por sustitución
        j["NumSerieFactura"] = "R-1";
        j["TipoFactura"] = "R1";
        j["TipoRectificativa"] = "S";
        j["FacturasRectificadas"] = json::parse(
            R"([{"IDEmisorFactura":"89890001K","NumSerieFactura":"A-1","FechaExpedicionFactura":"02-01-2025"}])");
        j["ImporteRectificacion"] = {{"BaseRectificada", "100"}, {"CuotaRectificada", "21"}};
        j["FechaOperacion"] = "01-02-2025";
        j["Subsanacion"] = "S";
        j["RechazoPrevio"] = "X";
        altas.push_back(j);
    }
    {
        json j = altaBase(); // sustitutiva de simplificadas, emitida por tercero, recargo
        j["NumSerieFactura"] = "S-1";
        j["TipoFactura"] = "F3";
        j["FacturasSustituidas"] = json::parse(
            R"([{"IDEmisorFactura":"89890001K","NumSerieFactura":"T-1","FechaExpedicionFactura":"02-01-2025"}])");
        j["EmitidaPorTerceroODestinatario"] = "T";
        j["Tercero"] = {
            {"NombreRazon", "Tercero SARL"},
            {"IDOtro", {{"CodigoPais", "FR"}, {"IDType", "02"}, {"ID", "FR12345678901"}}}};
        j["Destinatarios"] =
            json::parse(R"([{"NombreRazon":"Kunde","IDOtro":{"IDType":"02","ID":"DE123456789"}}])");
        j["Desglose"][0]["TipoRecargoEquivalencia"] = "5.2";
        j["Desglose"][0]["CuotaRecargoEquivalencia"] = "5.20";
        j["CuotaTotal"] = "26.20";
        j["ImporteTotal"] = "126.20";
        j["RefExterna"] = "Pedido 7 & <8>";
        altas.push_back(j);
    }
    std::vector<std::string> registros;
    std::optional<RegistroAnterior> anterior;
    const auto anadir = [&](const std::string& xml, const std::string& huella,
                            const IdFactura& id) {
        EXPECT_EQ(registro.validar(xml), "") << xml;
        registros.push_back(xml);
        anterior = RegistroAnterior{id.idEmisorFactura, id.numSerieFactura,
                                    id.fechaExpedicionFactura, huella};
    };
    for (const auto& j : altas) {
        const Alta a = leerAltaJson(j.dump());
        ASSERT_NO_THROW(validarAlta(a, Hoy)) << j.dump();
        DatosSistema s{anterior, sistemaInformatico(nuevoNumeroInstalacion()),
                       "2025-02-03T14:30:00+01:00", ""};
        s.huella = calcularHuella(CamposHuellaAlta{
            a.idFactura.idEmisorFactura, a.idFactura.numSerieFactura,
            a.idFactura.fechaExpedicionFactura, a.tipoFactura, a.cuotaTotal, a.importeTotal,
            anterior ? anterior->huella : "", s.fechaHoraHusoGenRegistro});
        anadir(xmlAlta(a, s), s.huella, a.idFactura);
        // Lo escrito se relee igual: la huella sale de los bytes guardados.
        std::string bytes = registros.back();
        const auto l = leerRegistro(bytes);
        ASSERT_TRUE(l);
        EXPECT_EQ(huellaDe(*l), s.huella);
    }
    for (const char* extra :
         {"{}", R"({"SinRegistroPrevio":"S","RechazoPrevio":"S","GeneradoPor":"D",
                     "Generador":{"NombreRazon":"Cliente","NIF":"89890002E"}})"}) {
        json j = anulacionBase();
        j.update(json::parse(extra));
        const Anulacion a = leerAnulacionJson(j.dump());
        ASSERT_NO_THROW(validarAnulacion(a));
        DatosSistema s{anterior, sistemaInformatico("1"), "2025-02-03T14:31:00+01:00", ""};
        s.huella = calcularHuella(CamposHuellaAnulacion{
            a.idFactura.idEmisorFactura, a.idFactura.numSerieFactura,
            a.idFactura.fechaExpedicionFactura, anterior->huella, s.fechaHoraHusoGenRegistro});
        anadir(xmlAnulacion(a, s), s.huella, a.idFactura);
    }
    const std::vector<std::string_view> vistas(registros.begin(), registros.end());
    const std::string r = xmlRemesa("Talleres Ejemplo, S.L.", "89890001K", vistas);
    EXPECT_EQ(remesa.validar(r), "") << r;
    // Los registros van en la remesa byte a byte como se guardaron.
    for (const auto& x : registros)
        EXPECT_NE(r.find(x), std::string::npos);
    // Y el ejemplo de remesa de la agencia también valida con estos esquemas copiados.
    const std::string ejemplo = leerTodo(Paquete + "/envio-ejemploRegistro.xml");
    ASSERT_FALSE(ejemplo.empty());
    EXPECT_EQ(remesa.validar(ejemplo), "");
}

TEST(QrVerifactu, DireccionesDeCotejo) {
    json j = altaBase();
    j["NumSerieFactura"] = "12345678-G33";
    j["FechaExpedicionFactura"] = "01-09-2024";
    j["ImporteTotal"] = "241.4";
    const Alta a = leerAltaJson(j.dump());
    const std::string datos = "?nif=89890001K&numserie=12345678-G33&fecha=01-09-2024&importe=241.4";
    EXPECT_EQ(urlCotejo(a, Entorno::Pruebas, Modo::Verifactu),
              "https://prewww2.aeat.es/wlpl/TIKE-CONT/ValidarQR" + datos);
    EXPECT_EQ(urlCotejo(a, Entorno::Pruebas, Modo::NoVerifactu),
              "https://prewww2.aeat.es/wlpl/TIKE-CONT/ValidarQRNoVerifactu" + datos);
    EXPECT_EQ(urlCotejo(a, Entorno::Produccion, Modo::Verifactu),
              "https://www2.agenciatributaria.gob.es/wlpl/TIKE-CONT/ValidarQR" + datos);
    EXPECT_EQ(urlCotejo(a, Entorno::Produccion, Modo::NoVerifactu),
              "https://www2.agenciatributaria.gob.es/wlpl/TIKE-CONT/ValidarQRNoVerifactu" + datos);
    j["NumSerieFactura"] = "12345678&G33 +1";
    EXPECT_NE(urlCotejo(leerAltaJson(j.dump()), Entorno::Pruebas, Modo::Verifactu)
                  .find("numserie=12345678%26G33%20%2B1&"),
              std::string::npos);
    EXPECT_THROW(comprobarOpcionesQr({29, 6, 300}), ErrorCampo);
    EXPECT_THROW(comprobarOpcionesQr({41, 6, 300}), ErrorCampo);
    EXPECT_THROW(comprobarOpcionesQr({40, 1.5, 300}), ErrorCampo);
}

// Un lector de fuera (zbarimg) lee en la imagen la dirección exacta, en PNG y en SVG.
TEST(QrVerifactu, ZbarimgLeeLaDireccion) {
    if (std::system("command -v zbarimg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "OMITIDA: falta zbarimg (paquete zbar-tools)";
    const fs::path carpeta = fs::temp_directory_path() / ("qr-" + std::to_string(::getpid()));
    fs::create_directories(carpeta);
    const std::string url = "https://prewww2.aeat.es/wlpl/TIKE-CONT/ValidarQR?nif=89890001K&"
                            "numserie=A-2025%2F0001%26B&fecha=03-02-2025&importe=121.00";
    const auto leer = [&](const fs::path& imagen) {
        const std::string orden = "zbarimg -q --raw '" + imagen.string() + "' 2>/dev/null";
        std::string salida;
        if (FILE* p = ::popen(orden.c_str(), "r")) {
            char b[512];
            while (std::fgets(b, sizeof b, p))
                salida += b;
            ::pclose(p);
        }
        while (!salida.empty() && salida.back() == '\n')
            salida.pop_back();
        return salida;
    };
    for (const OpcionesQr o : {OpcionesQr{30, 2, 150}, OpcionesQr{40, 6, 300}}) {
        const std::string png = qrPng(url, o);
        std::ofstream(carpeta / "qr.png", std::ios::binary) << png;
        EXPECT_EQ(leer(carpeta / "qr.png"), url);
        // El lado, en puntos: el código (redondeado a módulos enteros) y sus márgenes.
        const auto lado =
            (static_cast<unsigned char>(png[18]) << 8) | static_cast<unsigned char>(png[19]);
        const double esperado = (o.tamanoMm + 2 * o.margenMm) * o.resolucionPpp / 25.4;
        EXPECT_NEAR(lado, esperado, 0.06 * esperado);
        EXPECT_NE(png.find("pHYs"), std::string::npos);
    }
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0) {
        std::printf("OMITIDA: falta rsvg-convert (paquete librsvg2-bin): el SVG no se lee\n");
    } else {
        std::ofstream(carpeta / "qr.svg") << qrSvg(url, {35, 6, 300});
        ASSERT_EQ(std::system(("rsvg-convert -d 200 -p 200 -o '" + (carpeta / "svg.png").string() +
                               "' '" + (carpeta / "qr.svg").string() + "'")
                                  .c_str()),
                  0);
        EXPECT_EQ(leer(carpeta / "svg.png"), url);
        EXPECT_NE(leerTodo((carpeta / "qr.svg").string()).find("width=\"47.000mm\""),
                  std::string::npos);
    }
    fs::remove_all(carpeta);
}

// El doble de la agencia, sin red: cada clase de respuesta que da, válida contra el esquema de
// respuesta de la agencia y leída por el cliente como la dio.
TEST(DobleAgenciaVerifactu, CadaRespuestaValidaContraElEsquemaYComoLaLeeElCliente) {
    const Esquema esquema("RespuestaSuministro.xsd");
    ASSERT_TRUE(esquema.cargado());
    // Cuatro registros encadenados: tres altas y la anulación de la tercera.
    const fs::path carpeta = fs::temp_directory_path() / ("doble-vf-" + std::to_string(::getpid()));
    fs::remove_all(carpeta);
    std::vector<std::string> registros;
    {
        auto a = abrirSqlite((carpeta / "c.sqlite").string());
        for (const char* n : {"R-1", "R-2", "R-3"}) {
            json j = altaBase();
            j["NumSerieFactura"] = n;
            anadirAlta(*a, leerAltaJson(j.dump()), relojDelSistema());
        }
        json an = anulacionBase();
        an["NumSerieFacturaAnulada"] = "R-3";
        anadirAnulacion(*a, leerAnulacionJson(an.dump()), relojDelSistema());
        a->recorrer(1, HastaElFinal, true, [&](const VistaRegistro& v) {
            registros.emplace_back(v.xml);
            return true;
        });
    }
    fs::remove_all(carpeta);
    ASSERT_EQ(registros.size(), 4u);
    const auto peticion = [&](std::vector<std::size_t> cuales) {
        std::vector<std::string_view> v;
        for (const auto i : cuales)
            v.emplace_back(registros[i]);
        return xmlPeticionSoap("Talleres Ejemplo, S.L.", "89890001K", v);
    };
    std::string huellaCambiada = peticion({0});
    const auto h = huellaCambiada.rfind("</sf:Huella>") - 1;
    huellaCambiada[h] = huellaCambiada[h] == 'A' ? 'B' : 'A';
    std::string sinCabecera = peticion({0});
    sinCabecera.erase(sinCabecera.find("<sfLR:Cabecera>"), sinCabecera.find("</sfLR:Cabecera>") +
                                                               16 -
                                                               sinCabecera.find("<sfLR:Cabecera>"));

    using Clase = RespuestaServicio::Clase;
    struct Caso {
        const char* nombre;
        std::vector<std::string> peticiones; // la última es la que se mira
        servicio_local::ComportamientoVerifactu comportamiento = {};
        std::int64_t desfase = 0;
        std::string nif = "89890001K";
        Clase clase = Clase::Respuesta;
        std::string estadoEnvio = "Correcto";
        std::vector<std::string> codigos = {}; // de cada línea; "" sin código
        std::string falloCodigo = {};
    };
    servicio_local::ComportamientoVerifactu espera;
    espera.tiempoEspera = 1800;
    servicio_local::ComportamientoVerifactu parcial;
    parcial.codigoPorSerie = {{"R-2", 1104}};
    servicio_local::ComportamientoVerifactu desconocido;
    desconocido.nifsDesconocidos = {"89890001K"};
    servicio_local::ComportamientoVerifactu servidor;
    servidor.fallosServidor = 1;
    servicio_local::ComportamientoVerifactu cliente;
    cliente.falloCliente = true;
    const Caso casos[] = {
        {"correcto",
         {peticion({0, 1, 2, 3})},
         espera,
         0,
         "89890001K",
         Clase::Respuesta,
         "Correcto",
         {"", "", "", ""}},
        {"parcialmente correcto",
         {peticion({0, 1, 2})},
         parcial,
         0,
         "89890001K",
         Clase::Respuesta,
         "ParcialmenteCorrecto",
         {"", "1104", ""}},
        {"huella que no es la suya",
         {huellaCambiada},
         {},
         0,
         "89890001K",
         Clase::Respuesta,
         "Correcto",
         {"2000"}},
        {"enlace roto",
         {peticion({0}), peticion({2})},
         {},
         0,
         "89890001K",
         Clase::Respuesta,
         "Correcto",
         {"2003"}},
        {"duplicado",
         {peticion({0}), peticion({0})},
         {},
         0,
         "89890001K",
         Clase::Respuesta,
         "Incorrecto",
         {"3000"}},
        {"NIF desconocido",
         {peticion({0})},
         desconocido,
         0,
         "89890001K",
         Clase::Respuesta,
         "Incorrecto",
         {"1110"}},
        {"reloj fuera de margen",
         {peticion({0})},
         {},
         600,
         "89890001K",
         Clase::Respuesta,
         "Correcto",
         {"2004"}},
        {"certificado de otro",
         {peticion({0})},
         {},
         0,
         "89890002E",
         Clase::FalloCliente,
         "",
         {},
         "env:Client"},
        {"fuera del esquema",
         {sinCabecera},
         {},
         0,
         "89890001K",
         Clase::FalloCliente,
         "",
         {},
         "env:Client"},
        {"fallo del servidor",
         {peticion({0})},
         servidor,
         0,
         "89890001K",
         Clase::FalloServidor,
         "",
         {},
         "env:Server"},
        {"fallo de la petición",
         {peticion({0})},
         cliente,
         0,
         "89890001K",
         Clase::FalloCliente,
         "",
         {},
         "env:Client"},
    };
    const auto autoridad = servicio_local::claveEc();
    servicio_local::DatosCertificado d;
    d.sujeto = {{"CN", "Cliente"}};
    const std::string pemCliente =
        servicio_local::pem(servicio_local::emitir(d, autoridad.get()).get());
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nombre);
        servicio_local::ServicioVerifactu doble(pemCliente);
        doble.comportamiento(c.comportamiento);
        std::string respuesta;
        for (const auto& p : c.peticiones)
            respuesta = doble.responder(p, c.nif, std::time(nullptr) + c.desfase);
        const RespuestaServicio r = leerRespuesta(respuesta);
        ASSERT_EQ(r.clase, c.clase) << respuesta;
        if (c.clase != Clase::Respuesta) {
            EXPECT_EQ(r.falloCodigo, c.falloCodigo);
            EXPECT_EQ(r.falloTexto.rfind("Codigo[", 0), 0u) << r.falloTexto;
            continue;
        }
        const auto inicio = respuesta.find("<sfR:RespuestaRegFactuSistemaFacturacion");
        const auto fin = respuesta.find("</env:Body>");
        ASSERT_NE(fin, std::string::npos);
        EXPECT_EQ(esquema.validar(respuesta.substr(inicio, fin - inicio)), "") << respuesta;
        EXPECT_EQ(r.estadoEnvio, c.estadoEnvio);
        EXPECT_EQ(r.tiempoEspera, c.comportamiento.tiempoEspera);
        EXPECT_EQ(r.csv.empty(), c.estadoEnvio == "Incorrecto");
        ASSERT_EQ(r.lineas.size(), c.codigos.size());
        for (std::size_t i = 0; i < r.lineas.size(); ++i) {
            EXPECT_EQ(r.lineas[i].codigo, c.codigos[i]) << i;
            EXPECT_EQ(r.lineas[i].descripcion,
                      c.codigos[i].empty()
                          ? ""
                          : servicio_local::textoErrorAgencia(std::stoi(c.codigos[i])));
            EXPECT_EQ(r.lineas[i].duplicado.has_value(), c.codigos[i] == "3000");
        }
        if (c.codigos.size() == 4) {
            EXPECT_FALSE(r.lineas[3].alta);
        }
    }
}
