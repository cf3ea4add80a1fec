// Las firmas XAdES-EPES envueltas: la del ejemplo de la agencia verifica; las nuestras verifican
// con la herramienta xmlsec1 y con la comprobación propia; cualquier cambio de un byte de lo
// firmado o de sus propiedades, otro certificado, otra política o una hora fuera de la validez
// del certificado se ven.
#include "certificados_prueba.h"
#include "infraestructura/codificacion.h"
#include "xades/xades.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvelin::xades;
using morvelin::pruebas::Atributo;
using morvelin::pruebas::CertificadoPrueba;

namespace {

const std::string Ejemplos = std::string(ZOQ_FUENTES) + "/componente/tests/verifactu-ejemplos";

const Politica Age{"urn:oid:2.16.724.1.3.1.1.2.1.9",
                   "https://sede.administracion.gob.es/politica_de_firma_anexo_1.pdf",
                   "http://www.w3.org/2000/09/xmldsig#sha1", "G7roucf600+f03r/o0bAOQ6WAs0="};

const char* const EspacioRegistro = "https://www2.agenciatributaria.gob.es/static_files/common/"
                                    "internet/dep/aplicaciones/es/aeat/tike/cont/ws/"
                                    "SuministroInformacion.xsd";

std::int64_t ahora() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

const CertificadoPrueba& certificado() {
    static const CertificadoPrueba c = CertificadoPrueba::crear(
        {{"CN", "EMPRESA EJEMPLO"}, {"serialNumber", "89890001K"}}, -1, 365, true);
    return c;
}

Firmante firmanteDe(const CertificadoPrueba& c) {
    return {c.derCertificado(), [c](std::string_view d) {
                return c.firmarRsaSha256(d);
            }};
}

// Cambia la primera aparición de `de` por `a`.
std::string cambiar(std::string xml, const std::string& de, const std::string& a) {
    const auto p = xml.find(de);
    EXPECT_NE(p, std::string::npos) << de;
    if (p != std::string::npos)
        xml.replace(p, de.size(), a);
    return xml;
}

// El texto del primer elemento `nombre` (con el prefijo que tenga).
std::string contenido(const std::string& xml, const std::string& nombre) {
    const auto a = xml.find(":" + nombre);
    const auto g = xml.find('>', a);
    const auto b = xml.find("</", g);
    return a == std::string::npos || g == std::string::npos || b == std::string::npos
               ? std::string()
               : xml.substr(g + 1, b - g - 1);
}

} // namespace

TEST(Xades, ElEjemploFirmadoDeLaAgenciaVerifica) {
    const std::string xml =
        morvelin::pruebas::leerTodo(Ejemplos + "/ejemploRegistro-firmado-epes-xades4j.xml");
    const auto c = comprobarEnvuelta(xml, {}, Age, ahora());
    EXPECT_TRUE(c.valida) << c.motivo;
    EXPECT_EQ(c.nombreRaiz, "RegistroAlta");
    EXPECT_EQ(c.espacioRaiz, EspacioRegistro);
    ASSERT_TRUE(c.horaFirma);
    EXPECT_EQ(*c.horaFirma, 1738595755); // 2025-02-03T16:15:55.105+01:00
    // Un byte de su importe, y ya no.
    const auto m = comprobarEnvuelta(cambiar(xml, ">241.4<", ">241.5<"), {}, Age, ahora());
    EXPECT_FALSE(m.valida);
    EXPECT_NE(m.motivo.find("lo firmado ha cambiado"), std::string::npos) << m.motivo;
}

// La nuestra: la comprueba la herramienta de fuera (la firma y las dos referencias) y la propia.
TEST(Xades, LaFirmaHechaVerificaConXmlsec1YConLaPropia) {
    const std::string xml = morvelin::pruebas::leerTodo(Ejemplos + "/ejemploRegistro.xml");
    const std::string firmado = firmarEnvuelta(xml, {}, firmanteDe(certificado()), Age, ahora());
    const auto c = comprobarEnvuelta(firmado, {}, Age, ahora());
    EXPECT_TRUE(c.valida) << c.motivo;
    EXPECT_EQ(c.certificadoDer, certificado().derCertificado());
    EXPECT_EQ(firmado.rfind("<sum1:RegistroAlta", 0), 0u) << "sin declaración XML";
    EXPECT_NE(firmado.find("<xades:Identifier>urn:oid:2.16.724.1.3.1.1.2.1.9<"), std::string::npos);
    EXPECT_NE(firmado.find("<ds:DigestValue>G7roucf600+f03r/o0bAOQ6WAs0=<"), std::string::npos);
    // El resumen del registro es el de la firma de la agencia sobre el mismo registro.
    EXPECT_EQ(contenido(firmado, "DigestValue"), "89qWVKHvtwa2CijR5a+DLFjRkqNjKRiz7fClSu1w0Mk=");
    // Dos firmas del mismo documento no comparten identificadores.
    const std::string otra = firmarEnvuelta(xml, {}, firmanteDe(certificado()), Age, ahora());
    EXPECT_NE(contenido(firmado, "SignatureValue"), contenido(otra, "SignatureValue"));

    if (std::system("command -v xmlsec1 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "OMITIDA: falta xmlsec1 (paquete xmlsec1)";
    const fs::path f = fs::temp_directory_path() / ("xades-" + std::to_string(::getpid()) + ".xml");
    for (const auto& [bytes, bien] :
         {std::pair{firmado, true}, std::pair{cambiar(firmado, ">241.4<", ">241.5<"), false}}) {
        morvelin::pruebas::escribirTodo(f, bytes);
        const auto s = morvelin::pruebas::ejecutar(
            "xmlsec1 --verify --id-attr:Id SignedProperties --insecure '" + f.string() + "' 2>&1");
        EXPECT_EQ(s.estado == 0, bien) << s.texto;
        if (bien) {
            EXPECT_NE(s.texto.find("SignedInfo References (ok/all): 2/2"), std::string::npos)
                << s.texto;
        }
    }
    fs::remove(f);
}

// Cada manipulación de un documento firmado y lo que la comprobación dice de ella.
TEST(Xades, CadaManipulacionSeVe) {
    const std::string xml = morvelin::pruebas::leerTodo(Ejemplos + "/ejemploRegistro.xml");
    const std::string firmado = firmarEnvuelta(xml, {}, firmanteDe(certificado()), Age, ahora());
    const auto otro = CertificadoPrueba::crear({{"CN", "OTRO"}}, -1, 365, true);
    const auto mismaClave = certificado().conLaMismaClave({{"CN", "EMPRESA EJEMPLO BIS"}});
    const std::string der64 = contenido(firmado, "X509Certificate");
    const auto b64 = [](const CertificadoPrueba& c) {
        return morvelin::codificarBase64(c.derCertificado());
    };
    const std::string hora = contenido(firmado, "SigningTime");
    const std::string valor = contenido(firmado, "SignatureValue");
    std::string valorCambiado = valor;
    valorCambiado[10] = valorCambiado[10] == 'A' ? 'B' : 'A';
    const std::string firma = firmado.substr(firmado.find("<ds:Signature"));

    struct Caso {
        const char* nombre;
        std::string xml;
        const char* motivo;
        Politica politica = Age;
    };
    const Caso casos[] = {
        {"un byte del registro", cambiar(firmado, "12345678-G66", "12345678-G67"),
         "lo firmado ha cambiado"},
        {"un byte de las propiedades firmadas",
         cambiar(firmado, hora, hora.substr(0, 3) + (hora[3] == '9' ? '8' : '9') + hora.substr(4)),
         "propiedades firmadas"},
        {"un byte del valor de la firma", cambiar(firmado, valor, valorCambiado),
         "el valor de la firma no corresponde"},
        {"otro certificado", cambiar(firmado, der64, b64(otro)),
         "el valor de la firma no corresponde"},
        {"otro certificado de la misma clave", cambiar(firmado, der64, b64(mismaClave)),
         "no es el de SigningCertificate"},
        {"otra política", firmado, "su política de firma",
         Politica{"urn:oid:2.16.724.1.3.1.1.2.1.8", "", Age.algoritmoResumen, Age.resumen}},
        {"otro resumen de la política", firmado, "el resumen de su política",
         Politica{Age.identificador, "", Age.algoritmoResumen, "AAAA"}},
        {"sin firma", xml, "no está firmado"},
        {"dos firmas", cambiar(firmado, "</sum1:RegistroAlta>", firma), "más de una firma"},
        {"la firma en otro sitio",
         cambiar(cambiar(firmado, firma, "</sum1:RegistroAlta>"), "<sum1:IDVersion>",
                 firma.substr(0, firma.size() - std::string("</sum1:RegistroAlta>").size()) +
                     "<sum1:IDVersion>"),
         "no está en su sitio"},
        {"no es XML", firmado.substr(0, 200), "no es XML bien formado"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nombre);
        const auto r = comprobarEnvuelta(c.xml, {}, c.politica, ahora());
        EXPECT_FALSE(r.valida);
        EXPECT_NE(r.motivo.find(c.motivo), std::string::npos) << r.motivo;
    }
}

// La hora de la firma ha de caer en la validez del certificado y no en el futuro; una clave que
// no es la del certificado no firma.
TEST(Xades, HoraDeLaFirmaYClaveDelCertificado) {
    const std::string xml = morvelin::pruebas::leerTodo(Ejemplos + "/ejemploRegistro.xml");
    const Firmante f = firmanteDe(certificado());
    const std::int64_t t = ahora();
    struct Caso {
        std::int64_t firma, comprobacion;
        const char* motivo; // nullptr: válida
    };
    const Caso casos[] = {
        {t, t, nullptr},
        {t + 200, t, nullptr}, // dentro del margen de los relojes
        {t + 3600, t, "en el futuro"},
        {t - 3 * 86400, t, "no era válido en la hora de la firma"},
        {t + 400 * 86400, t + 400 * 86400, "no era válido en la hora de la firma"},
    };
    for (const auto& c : casos) {
        const auto r =
            comprobarEnvuelta(firmarEnvuelta(xml, {}, f, Age, c.firma), {}, Age, c.comprobacion);
        EXPECT_EQ(r.valida, c.motivo == nullptr) << r.motivo;
        if (c.motivo) {
            EXPECT_NE(r.motivo.find(c.motivo), std::string::npos) << r.motivo;
        }
    }
    const auto otro = CertificadoPrueba::crear({{"CN", "OTRO"}}, -1, 365, true);
    const Firmante cruzado{certificado().derCertificado(), [&](std::string_view d) {
                               return otro.firmarRsaSha256(d);
                           }};
    EXPECT_THROW(firmarEnvuelta(xml, {}, cruzado, Age, t), ErrorFirmaXml);
    const Firmante mudo{certificado().derCertificado(), [](std::string_view) {
                            return std::optional<std::string>();
                        }};
    EXPECT_THROW(firmarEnvuelta(xml, {}, mudo, Age, t), ErrorFirmaXml);
    EXPECT_THROW(firmarEnvuelta("<a><b/></a>", {"c"}, f, Age, t), ErrorFirmaXml);
    // Dentro de un elemento hijo (como en los registros de evento).
    const std::string anidado = firmarEnvuelta("<a><b>x</b><c/></a>", {"b"}, f, Age, t);
    EXPECT_TRUE(comprobarEnvuelta(anidado, {"b"}, Age, t).valida);
    EXPECT_FALSE(comprobarEnvuelta(anidado, {}, Age, t).valida);
}

TEST(Xades, HorasXsd) {
    const std::pair<const char*, std::optional<std::int64_t>> casos[] = {
        {"2025-02-03T16:15:55.105+01:00", 1738595755}, {"2025-02-03T15:15:55Z", 1738595755},
        {"2025-02-03T10:15:55-05:00", 1738595755},     {"1970-01-01T00:00:00Z", 0},
        {"2024-02-29T12:00:00+00:00", 1709208000},     {"2025-02-03T15:15:55", std::nullopt},
        {"2025-02-03 15:15:55Z", std::nullopt},        {"2025-13-03T15:15:55Z", std::nullopt},
        {"2025-02-03T15:15:55.Z", std::nullopt},       {"2025-02-03T15:15:55+1:00", std::nullopt},
    };
    for (const auto& [texto, segundos] : casos)
        EXPECT_EQ(leerHoraXsd(texto), segundos) << texto;
}
