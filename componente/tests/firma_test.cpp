// FIRMA de principio a fin: búsqueda en el almacén personal, nombre del firmante, fichero de
// firma y la firma comprobada con la herramienta openssl.
#include "almacenes/carpeta.h"
#include "almacenes/eleccion.h"
#include "almacenes/tarjetas.h"
#include "certificados_prueba.h"
#include "infraestructura/codificacion.h"
#include "infraestructura/escritura.h"
#include "metodos.h"
#include "operaciones/firma.h"
#include "operaciones/listado_certificados.h"
#include "operaciones/sujeto.h"
#include "operaciones/verificacion_en_linea.h"
#include "plataforma/openssl/x509.h"
#include "plataforma/pin.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvelin;
using namespace morvelin::pruebas;

namespace {

const std::string M01 = "01 No se ha podido leer el fichero a firmar.";
const std::string M02 = "02 No se tiene acceso al almacén de certificados.";
const std::string M03 = "03 El certificado indicado no existe en el almacén de certificados.";
const std::string M04 = "04 No se ha podido grabar el fichero de firma en la ruta indicada.";
const std::string M05 = "05 No se ha podido realizar la firma.";

const std::string NombrePersona = "NOMBRE ESPAÑOL GARCÍA JUAN - NIF 12345678Z";
const std::string NombreEntidad =
    "ENTIDAD \"EMPRESA, S.L.\" - CIF B12345674 - NOMBRE PÉREZ ANA - NIF 87654321X";

CertificadoPrueba persona(int desde = -1, int hasta = 365) {
    return CertificadoPrueba::crear({{"C", "ES"},
                                     {"serialNumber", "12345678Z"},
                                     {"SN", "ESPAÑOL GARCÍA"},
                                     {"GN", "JUAN"},
                                     {"CN", NombrePersona}},
                                    desde, hasta);
}

CertificadoPrueba entidad(bool rsa = false) {
    return CertificadoPrueba::crear({{"C", "ES"},
                                     {"CN", "EMPRESA, S.L."},
                                     {"serialNumber", "B12345674"},
                                     {"SN", "PÉREZ"},
                                     {"GN", "ANA"},
                                     {"1.3.6.1.4.1.18838.1.1", "87654321X"}},
                                    -1, 365, rsa);
}

// Un certificado con solo su número de serie y su nombre común.
CertificadoPrueba simple(const std::string& serie, const std::string& cn, int desde = -1,
                         int hasta = 365) {
    return CertificadoPrueba::crear({{"CN", cn}, {"serialNumber", serie}}, desde, hasta);
}

std::string sha1Hex(const fs::path& fichero) {
    return sha1HexOpenssl(fichero);
}

std::size_t apariciones(const std::string& texto, const std::string& parte) {
    std::size_t n = 0;
    for (auto p = texto.find(parte); p != std::string::npos; p = texto.find(parte, p + 1))
        ++n;
    return n;
}

class Firma : public ::testing::Test {
protected:
    void SetUp() override {
        raiz = fs::temp_directory_path() /
               ("morvelin-firma-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(raiz);
        entorno.emplace(raiz);
        datos = raiz / "datos";
        almacen = entorno->almacen();
        fs::create_directories(almacen);
        factura = ruta("factura.xml");
        contenido = "<Factura>\n  <Importe>1.234,50</Importe>\n</Factura>\n";
        escribirTodo(factura, contenido);
    }
    void TearDown() override {
        entorno.reset();
        fs::remove_all(raiz);
    }
    std::string ruta(const std::string& nombre) const { return (raiz / nombre).string(); }

    // Comprueba el fichero de firma entero: formato, factura, y la firma con openssl sobre el
    // resumen calculado por openssl. Devuelve la estructura impresa de la firma.
    std::string comprobarFicheroFirma(const std::string& destino, const std::string& nombre,
                                      const std::string& bytesFactura) {
        const auto lineas = lineasFirma(leerTodo(destino));
        EXPECT_EQ(lineas.size(), 9u) << destino;
        if (lineas.size() != 9)
            return {};
        EXPECT_EQ(lineas[0], "<NOMFIC>");
        EXPECT_EQ(lineas[1], nombre);
        EXPECT_EQ(lineas[2], "</NOMFIC>");
        EXPECT_EQ(lineas[3], "<FACB64>");
        EXPECT_EQ(decodificarBase64(lineas[4]), bytesFactura);
        EXPECT_EQ(lineas[5], "</FACB64>");
        EXPECT_EQ(lineas[6], "<FIRB64>");
        EXPECT_EQ(lineas[8], "</FIRB64>");
        escribirTodo(ruta("copia.bin"), bytesFactura);
        const std::string impreso =
            verificarConOpenssl(decodificarBase64(lineas[7]), sha1Hex(ruta("copia.bin")), raiz);
        EXPECT_FALSE(impreso.empty()) << "openssl no verifica la firma";
        return impreso;
    }

    fs::path raiz, datos, almacen;
    std::optional<EntornoAlmacenes> entorno;
    std::string factura, contenido;
};

} // namespace

TEST(NombreFirmante, FormasDelSujeto) {
    // Cada sujeto en un certificado de verdad, leído como lo leen FIRMA, el listado y la
    // comprobación.
    const std::pair<std::vector<Atributo>, std::string> casos[] = {
        // Nombre común que ya es el nombre, lo haya entre medias o detrás lo que sea.
        {{{"CN", "NOMBRE X - NIF 1 (FIRMA)"}, {"serialNumber", "9"}}, "NOMBRE X - NIF 1 (FIRMA)"},
        {{{"CN", "ENTIDAD Y - CIF B1"}, {"serialNumber", "9"}}, "ENTIDAD Y - CIF B1"},
        // Sin la marca esperada, o en minúsculas, se compone con los demás atributos.
        {{{"CN", "ENTIDAD Y"}, {"SN", "GIL"}, {"GN", "EVA"}, {"serialNumber", "1X"}},
         "NOMBRE GIL EVA - NIF 1X"},
        {{{"CN", "nombre x - NIF 1"}, {"serialNumber", "1X"}}, "NOMBRE   - NIF 1X"},
        // Entre comillas ya no empieza por NOMBRE; con representante es una entidad y las
        // comillas se quedan.
        {{{"CN", "NOMBRE, X - NIF 1"}, {"serialNumber", "1X"}}, "NOMBRE   - NIF 1X"},
        {{{"CN", "A, S.L."},
          {"serialNumber", "B1"},
          {"SN", "GIL"},
          {"GN", "EVA"},
          {"1.3.6.1.4.1.18838.1.1", "7Z"}},
         "ENTIDAD \"A, S.L.\" - CIF B1 - NOMBRE GIL EVA - NIF 7Z"},
        // Sin ningún atributo de los que se leen.
        {{}, "NOMBRE   - NIF "},
        {{{"C", "ES"}}, "NOMBRE   - NIF "},
        // "2.5.4.4" no confunde "2.5.4.42", y cada valor es el suyo entero.
        {{{"GN", "EVA"}, {"SN", "GIL PEÑA"}}, "NOMBRE GIL PEÑA EVA - NIF "},
        // Un componente con dos valores: cada uno en su atributo.
        {{{"SN", "GIL"}, {"GN", "EVA", false}, {"serialNumber", "1X"}}, "NOMBRE GIL EVA - NIF 1X"},
        // El texto «2.5.4.3=» dentro del valor de otro atributo, o un atributo cuyo
        // identificador acaba en .2.5.4.3, no son el nombre común: ni suplantan al firmante ni
        // dan otro número de serie.
        {{{"O", "Mi Empresa 2.5.4.3=NOMBRE VICTIMA SUPLANTADA - NIF 12345678Z"},
          {"CN", "GIL"},
          {"SN", "GIL"},
          {"GN", "EVA"},
          {"serialNumber", "11111111H"}},
         "NOMBRE GIL EVA - NIF 11111111H"},
        {{{"1.2.5.4.3", "NOMBRE VICTIMA SUPLANTADA - NIF 12345678Z"},
          {"CN", "GIL"},
          {"serialNumber", "11111111H"}},
         "NOMBRE   - NIF 11111111H"},
        {{{"OU", "a\r\n2.5.4.3=NOMBRE FALSO - NIF 1\r\n2.5.4.5=99999999R"},
          {"SN", "GIL"},
          {"serialNumber", "11111111H"}},
         "NOMBRE GIL  - NIF 11111111H"},
    };
    for (const auto& [sujeto, nombre] : casos) {
        const auto c = CertificadoPrueba::crear(sujeto);
        EXPECT_EQ(nombreFirmante(LectorSujeto(plataforma::openssl::atributosSujeto(c.x509()))),
                  nombre)
            << (sujeto.empty() ? "(vacío)" : sujeto.front().valor);
    }
}

TEST(AtributosSujeto, CadaValorConSuIdentificadorYComillasDondeHacenFalta) {
    const auto c = CertificadoPrueba::crear({{"C", "ES"},
                                             {"CN", "EMPRESA, S.L."},
                                             {"O", " espacio delante"},
                                             {"OU", "dice \"hola\""},
                                             {"SN", "GIL"},
                                             {"GN", "EVA", false},
                                             {"1.3.6.1.4.1.18838.1.1", "87654321X"},
                                             {"L", "a#b"},
                                             {"ST", "x;y"},
                                             {"street", "a+b=c <d>"},
                                             {"serialNumber", "IDCES-12345678Z"},
                                             {"title", "ÑANDÚ"}});
    const plataforma::AtributosSujeto esperados = {
        {"2.5.4.6", "ES"},
        {"2.5.4.3", "\"EMPRESA, S.L.\""},
        {"2.5.4.10", "\" espacio delante\""},
        {"2.5.4.11", "\"dice \"\"hola\"\"\""},
        {"2.5.4.4", "GIL"},
        {"2.5.4.42", "EVA"},
        {"1.3.6.1.4.1.18838.1.1", "87654321X"},
        {"2.5.4.7", "\"a#b\""},
        {"2.5.4.8", "\"x;y\""},
        {"2.5.4.9", "\"a+b=c <d>\""},
        {"2.5.4.5", "IDCES-12345678Z"},
        {"2.5.4.12", "ÑANDÚ"},
    };
    EXPECT_EQ(plataforma::openssl::atributosSujeto(c.x509()), esperados);
}

TEST(Eleccion, CadaCertificadoConSuVeredicto) {
    using V = almacenes::Veredicto;
    using almacenes::Posicion;
    constexpr unsigned FirmaDigital = 0x80, NoRepudio = 0x40;
    const auto cert = [](std::vector<std::string> valores, std::optional<unsigned> usos = {}) {
        return almacenes::Candidato{true, std::move(valores), usos};
    };
    const almacenes::Candidato ilegible{false, {}, {}};
    const std::string nif = "12345678Z";
    struct Caso {
        const char* que;
        std::vector<almacenes::AlmacenCandidatos> almacenes;
        std::string identificador;
        std::optional<Posicion> elegido;
        std::vector<std::vector<V>> veredictos;
    };
    const Caso casos[] = {
        {"el primero que lo contiene en cualquier valor, sin distinguir mayúsculas",
         {{false,
           {cert({"ES", "87654321X"}), ilegible, cert({"EMPRESA 12345678z SL", "B1"}),
            cert({nif})}},
          {false, {cert({nif})}}},
         nif,
         Posicion{0, 2},
         {{V::NoLoContiene, V::Ilegible, V::Elegido, V::Detras}, {V::OtroAlmacenAntes}}},
        {"un almacén vacío o sin abrir no para la búsqueda",
         {{false, {}}, {true, {cert({"x"}), cert({nif}, FirmaDigital)}}},
         nif,
         Posicion{1, 1},
         {{}, {V::NoLoContiene, V::Elegido}}},
        {"tarjeta: el de no repudio antes que el de autenticación",
         {{true, {cert({nif}, FirmaDigital), cert({nif}, NoRepudio), cert({nif})}}},
         nif,
         Posicion{0, 1},
         {{V::SinNoRepudio, V::Elegido, V::Detras}}},
        {"tarjeta sin ninguno de no repudio: el primero",
         {{true, {cert({nif}, FirmaDigital), cert({nif}, FirmaDigital)}}},
         nif,
         Posicion{0, 0},
         {{V::Elegido, V::Detras}}},
        {"fuera de las tarjetas no cuenta el uso de la clave",
         {{false, {cert({nif}, FirmaDigital), cert({nif}, NoRepudio)}}},
         nif,
         Posicion{0, 0},
         {{V::Elegido, V::Detras}}},
        {"nueve caracteres aunque sean diez bytes",
         {{false, {cert({"PEÑA 12345678Ñ"})}}},
         "12345678Ñ",
         Posicion{0, 0},
         {{V::Elegido}}},
        {"ocho caracteres: no se busca",
         {{false, {cert({nif}), ilegible}}},
         "2345678Z",
         std::nullopt,
         {{V::IdentificadorMalo, V::Ilegible}}},
        {"ninguno lo contiene",
         {{true, {cert({"87654321X"})}}},
         nif,
         std::nullopt,
         {{V::NoLoContiene}}},
    };
    for (const Caso& c : casos) {
        const auto e = almacenes::elegirCertificado(c.almacenes, c.identificador);
        EXPECT_EQ(e.elegido, c.elegido) << c.que;
        EXPECT_EQ(e.veredictos, c.veredictos) << c.que;
    }
}

TEST_F(Firma, PersonaEnPemFirmaYOpensslLaVerifica) {
    persona().grabarPem(almacen / "persona.pem", true);
    const std::string destino = ruta("salida/firma.txt");
    ASSERT_EQ(FIRMA(factura, "12345678Z", destino), "00 " + NombrePersona);
    const std::string impreso = comprobarFicheroFirma(destino, "factura.xml", contenido);

    // La estructura: SignedData desprendida, SHA-1, un solo certificado, y como atributos
    // firmados exactamente tipo de contenido, hora, resumen y una única capacidad RC2-40.
    EXPECT_EQ(apariciones(impreso, "algorithm: sha1 (1.3.14.3.2.26)"), 2u) << impreso;
    EXPECT_EQ(apariciones(impreso, "d.certificate:"), 1u);
    EXPECT_NE(impreso.find("eContent: <ABSENT>"), std::string::npos);
    EXPECT_NE(impreso.find("crls:\n      <ABSENT>"), std::string::npos);
    const auto inicio = impreso.find("signedAttrs:");
    const auto fin = impreso.find("signatureAlgorithm:");
    ASSERT_NE(inicio, std::string::npos);
    const std::string atributos = impreso.substr(inicio, fin - inicio);
    EXPECT_EQ(apariciones(atributos, "object: "), 4u) << atributos;
    for (const char* a : {"object: contentType (1.2.840.113549.1.9.3)",
                          "object: signingTime (1.2.840.113549.1.9.5)",
                          "object: messageDigest (1.2.840.113549.1.9.4)",
                          "object: S/MIME Capabilities (1.2.840.113549.1.9.15)"})
        EXPECT_NE(atributos.find(a), std::string::npos) << a;
    EXPECT_EQ(apariciones(atributos, "OBJECT            :"), 1u) << atributos;
    EXPECT_NE(atributos.find("OBJECT            :rc2-cbc"), std::string::npos);
    EXPECT_NE(atributos.find("INTEGER           :28"), std::string::npos) << "40 en hexadecimal";
    EXPECT_NE(impreso.find("unsignedAttrs:\n          <ABSENT>"), std::string::npos);
}

TEST_F(Firma, CadaFormaDelAlmacenSirve) {
    struct Caso {
        const char* nombre;
        std::function<void()> preparar;
        std::string certificado, resultado;
    };
    const Caso casos[] = {
        {"PKCS #12 antiguo (RC2-40) sin contraseña, clave RSA",
         [&] { entidad(true).grabarPkcs12(almacen / "entidad.p12", "", true); }, "B12345674",
         "00 " + NombreEntidad},
        {"PKCS #12 moderno .pfx",
         [&] { entidad().grabarPkcs12(almacen / "ENTIDAD.PFX", "", false); }, "B12345674",
         "00 " + NombreEntidad},
        {"certificado .crt con su .key",
         [&] {
             const auto c = simple("11111111H", "GIL");
             c.grabarPem(almacen / "gil.crt", false);
             c.grabarClave(almacen / "gil.key");
         },
         "11111111H", "00 NOMBRE   - NIF 11111111H"},
        {"sin distinguir mayúsculas", [&] { entidad().grabarPem(almacen / "e.pem", true); },
         "b12345674", "00 " + NombreEntidad},
        {"caducado: las fechas no se miran",
         [&] { persona(-400, -35).grabarPem(almacen / "viejo.pem", true); }, "12345678Z",
         "00 " + NombrePersona},
        {"el identificador dentro de otro valor",
         [&] { simple("IDCES-22222222J", "X").grabarPem(almacen / "x.pem", true); }, "22222222J",
         "00 NOMBRE   - NIF IDCES-22222222J"},
        {"nueve caracteres aunque sean diez bytes",
         [&] { simple("66666666Q", "PEÑA 12345678Ñ").grabarPem(almacen / "n.pem", true); },
         "12345678Ñ", "00 NOMBRE   - NIF 66666666Q"},
        {"«2.5.4.3=» dentro de otro atributo no es el nombre común",
         [&] {
             CertificadoPrueba::crear(
                 {{"O", "Mi Empresa 2.5.4.3=NOMBRE VICTIMA SUPLANTADA - NIF 12345678Z"},
                  {"CN", "GIL"},
                  {"SN", "GIL"},
                  {"GN", "EVA"},
                  {"serialNumber", "11111111H"}})
                 .grabarPem(almacen / "o.pem", true);
         },
         "11111111H", "00 NOMBRE GIL EVA - NIF 11111111H"},
    };
    for (const Caso& c : casos) {
        fs::remove_all(almacen);
        fs::create_directories(almacen);
        c.preparar();
        const std::string destino = ruta("f.sig");
        EXPECT_EQ(FIRMA(factura, c.certificado, destino), c.resultado) << c.nombre;
        comprobarFicheroFirma(destino, "factura.xml", contenido);
    }
}

TEST_F(Firma, ElPrimeroPorOrdenDeNombreYLoQueNoEsCertificadoSeSalta) {
    escribirTodo(almacen / "0-notas.txt", "no soy un certificado");
    escribirTodo(almacen / "1-roto.p12", "tampoco");
    simple("12345678Z", "SEGUNDO").grabarPem(almacen / "b.pem", true);
    persona().grabarPem(almacen / "a.pem", true);
    simple("12345678Z", "OCULTO").grabarPem(almacen / ".a.pem", true);
    simple("12345678Z", "TERCERO").grabarPem(almacen / "c.pem", true);
    EXPECT_EQ(FIRMA(factura, "12345678Z", ruta("f.sig")), "00 " + NombrePersona);
    comprobarFicheroFirma(ruta("f.sig"), "factura.xml", contenido);
}

namespace {

// Verifica con OpenSSL la firma de `datos` (o del resumen, si ya lo son) con el certificado `der`.
bool verificaFirma(const std::string& der, const plataforma::AlgoritmoFirma& algoritmo,
                   const std::string& datos, const std::string& firma) {
    using Esquema = plataforma::AlgoritmoFirma::Esquema;
    const char* nombres[] = {"SHA1", "SHA256", "SHA384", "SHA512"};
    const EVP_MD* md = EVP_get_digestbyname(nombres[static_cast<int>(algoritmo.resumen)]);
    unsigned char resumen[EVP_MAX_MD_SIZE];
    unsigned int largo = 0;
    if (algoritmo.resumido) {
        largo = static_cast<unsigned>(datos.size());
        std::copy(datos.begin(), datos.end(), resumen);
    } else if (EVP_Digest(datos.data(), datos.size(), resumen, &largo, md, nullptr) != 1) {
        return false;
    }
    const auto x = plataforma::openssl::certificadoDeDer(der);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(X509_get0_pubkey(x.get()), nullptr), &EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), md) != 1)
        return false;
    if (algoritmo.esquema == Esquema::Pss &&
        (EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PSS_PADDING) != 1 ||
         EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx.get(), RSA_PSS_SALTLEN_DIGEST) != 1))
        return false;
    return EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(firma.data()),
                           firma.size(), resumen, largo) == 1;
}

// El certificado de `nif` para otro uso que FIRMA es el mismo que FIRMA elige, y firma con cada
// algoritmo de su clave (sobre los datos o sobre su resumen) lo que OpenSSL verifica; el PIN, si
// lo hay, se pide una sola vez para todas. Con otro esquema que el de su clave, no firma.
void firmaConCadaAlgoritmo(const std::string& nif, const std::string& derElegido) {
    using plataforma::AlgoritmoFirma;
    using plataforma::ResumenFirma;
    using Esquema = AlgoritmoFirma::Esquema;
    const auto registro = fs::path(std::getenv("PIN_REGISTRO"));
    fs::remove(registro);
    const auto elegido = elegirCertificadoPara(nif);
    ASSERT_EQ(elegido.estado, CertificadoElegido::Estado::Elegido);
    const auto& cert = *elegido.certificado;
    EXPECT_EQ(cert.der(), derElegido);
    const bool ec = EVP_PKEY_is_a(
        X509_get0_pubkey(plataforma::openssl::certificadoDeDer(derElegido).get()), "EC");
    const std::string documento = "<RegistroAlta>una factura</RegistroAlta>";
    std::string resumen384(48, '\0');
    unsigned int n = 0;
    EVP_Digest(documento.data(), documento.size(), reinterpret_cast<unsigned char*>(&resumen384[0]),
               &n, EVP_sha384(), nullptr);
    struct Caso {
        AlgoritmoFirma algoritmo;
        std::string datos;
    };
    const Esquema rsa = ec ? Esquema::Ecdsa : Esquema::Pkcs1;
    std::vector<Caso> casos = {
        {{rsa, ResumenFirma::Sha256, false}, documento},
        {{rsa, ResumenFirma::Sha384, true}, resumen384},
        {{rsa, ResumenFirma::Sha512, false}, documento},
    };
    if (!ec)
        casos.push_back({{Esquema::Pss, ResumenFirma::Sha384, true}, resumen384});
    for (const Caso& c : casos) {
        const auto firma = cert.firmar(c.algoritmo, c.datos, "para probar");
        ASSERT_TRUE(firma.has_value()) << static_cast<int>(c.algoritmo.esquema);
        EXPECT_TRUE(verificaFirma(derElegido, c.algoritmo, c.datos, *firma))
            << static_cast<int>(c.algoritmo.esquema) << " "
            << static_cast<int>(c.algoritmo.resumen);
    }
    EXPECT_FALSE(cert.firmar({ec ? Esquema::Pkcs1 : Esquema::Ecdsa, ResumenFirma::Sha256, false},
                             documento, "para probar"));
    EXPECT_FALSE(cert.firmar({rsa, ResumenFirma::Sha256, true}, "corto", "para probar"));
    std::string pedido;
    if (fs::exists(registro))
        pedido = leerTodo(registro);
    EXPECT_LE(apariciones(pedido, "GETPIN"), 1u) << pedido;
}

} // namespace

TEST_F(Firma, ElListadoYFirmaEligenElMismoCertificado) {
    // Cada certificado se distingue por su nombre de pila, que va en el nombre del firmante.
    const auto titular = [](const std::string& gn, const std::string& nif,
                            const std::string& usoClave = {}, int desde = -1, int hasta = 365,
                            const std::string& organizacion = {}) {
        std::vector<Atributo> sujeto = {{"CN", gn}, {"SN", "RUIZ"}, {"GN", gn}};
        if (!organizacion.empty())
            sujeto.push_back({"O", organizacion});
        sujeto.push_back({"serialNumber", nif});
        return CertificadoPrueba::crear(sujeto, desde, hasta, true, usoClave);
    };
    const auto titularEc = [](const std::string& gn, const std::string& nif) {
        return CertificadoPrueba::crear(
            {{"CN", gn}, {"SN", "RUIZ"}, {"GN", gn}, {"serialNumber", nif}});
    };
    const auto enTarjeta = [&](const std::vector<std::pair<std::string, CertificadoPrueba>>& c) {
        crearTarjeta("DNI", "1234");
        for (std::size_t i = 0; i < c.size(); ++i)
            c[i].second.cargarEnTarjeta("DNI", "1234", c[i].first, "0" + std::to_string(i + 1),
                                        true, raiz);
    };
    const auto enBase = [&](const CertificadoPrueba& c, const fs::path& carpeta = {}) {
        const fs::path base = carpeta.empty() ? raiz / "base" : carpeta;
        crearBaseNss(base, {{"base", c}});
        ::setenv("MORVELIN_NSSDB", base.c_str(), 1);
    };
    const auto tuberia = [](const fs::path& ruta) {
        fs::create_directories(ruta.parent_path());
        ASSERT_EQ(::mkfifo(ruta.c_str(), 0600), 0) << ruta;
    };
    const std::string nif = "11111111H";
    struct Caso {
        const char* que;
        std::function<void()> preparar;
        std::string elegido; ///< dónde está, en su almacén, el que FIRMA usa; vacío si ninguno
        std::string firma;
        std::string enElListado = {}; ///< lo que el listado ha de decir además
    };
    const Caso casos[] = {
        {"caducado en la carpeta, delante de uno válido en una base NSS",
         [&] {
             titular("CADUCADO", nif, {}, -30, -1).grabarPem(almacen / "a.pem", true);
             enBase(titular("BASE", nif));
         },
         "a.pem", "00 NOMBRE RUIZ CADUCADO - NIF " + nif, "Aviso: caducó el "},
        {"sin clave, delante de uno con clave",
         [&] {
             titular("SINCLAVE", nif).grabarPem(almacen / "a.pem", false);
             titular("CONCLAVE", nif).grabarPem(almacen / "b.pem", true);
         },
         "a.pem", M05},
        {"con la clave de otro certificado, delante de uno con la suya",
         [&] {
             titular("CLAVEAJENA", nif).grabarPem(almacen / "a.crt", false);
             titular("OTRO", nif).grabarClave(almacen / "a.key");
             titular("CONCLAVE", nif).grabarPem(almacen / "b.pem", true);
         },
         "a.crt", M05, "Clave privada: no está a su alcance"},
        {"el NIF en otro atributo de otro titular",
         [&] {
             titular("OTRO", "99999999R", {}, -1, 365, "EMPRESA " + nif + " SL")
                 .grabarPem(almacen / "a.pem", true);
             titular("TITULAR", nif).grabarPem(almacen / "b.pem", true);
         },
         "a.pem", "00 NOMBRE RUIZ OTRO - NIF 99999999R",
         "Aviso: «" + nif +
             "» no es su número de serie (es «99999999R») sino que está en otro "
             "valor de su sujeto, «EMPRESA " +
             nif + " SL»"},
        {"una entrada que no se lee no cuenta",
         [&] {
             escribirTodo(almacen / "a.p12", "no es PKCS #12");
             titular("LEGIBLE", nif).grabarPem(almacen / "b.pem", true);
         },
         "b.pem", "00 NOMBRE RUIZ LEGIBLE - NIF " + nif},
        {"un certificado en BER (longitud indefinida), delante de uno en DER",
         [&] {
             // El mismo certificado con la longitud de su SEQUENCE exterior indefinida.
             const auto c = titular("INDEFINIDO", nif);
             const std::string der = c.derCertificado();
             ASSERT_EQ(der.substr(0, 2), std::string("\x30\x82", 2));
             escribirTodo(almacen / "a.der",
                          std::string("\x30\x80", 2) + der.substr(4) + std::string(2, '\0'));
             c.grabarClave(almacen / "a.key");
             titular("DER", nif).grabarPem(almacen / "b.pem", true);
         },
         "a.der", "00 NOMBRE RUIZ INDEFINIDO - NIF " + nif},
        {"una tubería en la carpeta no deja la búsqueda esperando",
         [&] {
             tuberia(almacen / "a.pem");
             titular("TRAS", nif).grabarPem(almacen / "b.pem", true);
         },
         "b.pem", "00 NOMBRE RUIZ TRAS - NIF " + nif, "No se puede usar: no es un fichero normal"},
        {"profiles.ini que es una tubería: ni se lee si la carpeta ya lo tiene",
         [&] {
             titular("CARPETA", nif).grabarPem(almacen / "a.pem", true);
             tuberia(raiz / "casa/.mozilla/firefox/profiles.ini");
         },
         "a.pem", "00 NOMBRE RUIZ CARPETA - NIF " + nif,
         "profiles.ini, perfiles de Firefox): no es un fichero normal."},
        {"una base NSS cuya base de claves es una tubería no se abre",
         [&] {
             enBase(titular("BASE", nif));
             fs::remove(raiz / "base/key4.db");
             tuberia(raiz / "base/key4.db");
         },
         "", M03, "MORVELIN_NSSDB): «key4.db» no es un fichero normal."},
        {"una base en una carpeta que no se deja leer también se lista",
         [&] {
             titular("CARPETA", nif).grabarPem(almacen / "a.pem", true);
             fs::create_directories(raiz / "casa/.pki");
             fs::create_symlink("nssdb", raiz / "casa/.pki/nssdb"); // un bucle
         },
         "a.pem", "00 NOMBRE RUIZ CARPETA - NIF " + nif,
         "compartida del usuario): no se puede leer su carpeta."},
        {"una barra inversa en la carpeta de la base no lleva a otra",
         [&] {
             crearBaseNss(raiz / "base", {{"otra", titular("OTRA", nif)}});
             enBase(titular("BARRA", nif), raiz / "ba\\se");
         },
         "BARRA", "00 NOMBRE RUIZ BARRA - NIF " + nif},
        {"ningún almacén se abre: 02, no 03",
         [&] {
             fs::remove_all(almacen);
             escribirTodo(almacen, "no es una carpeta");
         },
         "", M02},
        {"tarjeta con uno de autenticación y otro de firma",
         [&] {
             enTarjeta({{"a", titular("AUTENTICACION", nif, "critical,digitalSignature")},
                        {"b", titular("FIRMA", nif, "critical,nonRepudiation")}});
         },
         "b", "00 NOMBRE RUIZ FIRMA - NIF " + nif},
        {"tarjeta con solo uno de autenticación",
         [&] {
             enTarjeta({{"a", titular("AUTENTICACION", nif, "critical,digitalSignature")}});
         },
         "a", "00 NOMBRE RUIZ AUTENTICACION - NIF " + nif},
        {"una base NSS, delante de la tarjeta",
         [&] {
             enBase(titular("BASE", nif));
             enTarjeta({{"a", titular("TARJETA", nif)}});
         },
         "BASE", "00 NOMBRE RUIZ BASE - NIF " + nif},
        {"ninguno", [&] { titular("OTRO", "99999999R").grabarPem(almacen / "a.pem", true); }, "",
         M03},
        {"clave EC en la carpeta",
         [&] { titularEc("CURVA", nif).grabarPem(almacen / "a.pem", true); }, "a.pem",
         "00 NOMBRE RUIZ CURVA - NIF " + nif},
        {"clave EC en una base NSS", [&] { enBase(titularEc("CURVA", nif)); }, "CURVA",
         "00 NOMBRE RUIZ CURVA - NIF " + nif},
        {"clave EC en una tarjeta",
         [&] {
             enTarjeta({{"curva", titularEc("CURVA", nif)}});
         },
         "curva", "00 NOMBRE RUIZ CURVA - NIF " + nif},
    };
    ::setenv("PIN_FALSO", "1234", 1);
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        fs::remove_all(almacen);
        fs::create_directories(almacen);
        for (const char* carpeta : {"base", "ba\\se", "casa"})
            fs::remove_all(raiz / carpeta);
        ::unsetenv("MORVELIN_NSSDB");
        entorno->vaciarTarjetas();
        c.preparar();

        const std::string firma = FIRMA(factura, nif, ruta("f.sig"));
        const auto almacenes = almacenes::listarAlmacenes();
        const Listado l = listarCertificados(almacenes, nif, std::time(nullptr));
        EXPECT_EQ(firma, c.firma);
        // Lo que el listado dice que FIRMA contesta es lo que contesta.
        EXPECT_EQ(l.contestaria, firma) << l.texto;
        EXPECT_NE(l.texto.find(c.enElListado), std::string::npos) << l.texto;
        ASSERT_EQ(l.elegido.has_value(), !c.elegido.empty()) << l.texto;
        if (l.elegido) {
            const auto& ficha = almacenes[l.elegido->almacen].certificados[l.elegido->certificado];
            EXPECT_EQ(ficha.donde, c.elegido);
            if (firma.starts_with("00"))
                firmaConCadaAlgoritmo(nif, ficha.der);
        }
    }
}

TEST_F(Firma, CadaFalloConSuMensaje) {
    simple("12345678Z", "CON CLAVE").grabarPem(almacen / "a.pem", true);
    simple("22222222J", "SIN CLAVE").grabarPem(almacen / "b.pem", false);
    // Certificado con la clave de otro.
    simple("33333333P", "CLAVE AJENA").grabarPem(almacen / "c.crt", false);
    simple("33333333P", "OTRO").grabarClave(almacen / "c.key");
    // Ocho caracteres (nueve bytes) que un certificado sí contiene.
    simple("55555555K", "PEÑA 1234567Ñ").grabarPem(almacen / "d.pem", true);
    fs::create_directories(raiz / "carpeta");
    escribirTodo(ruta("fichero"), "x");
    const std::string bien = ruta("f.sig");
    // Un enlace de otro usuario en una carpeta como /tmp, que lleva al fichero de firma.
    const fs::path compartida = raiz / "compartida";
    fs::create_directories(compartida);
    ::chmod(compartida.c_str(), 01777);
    fs::create_symlink(bien, compartida / "ajeno.sig");
    ASSERT_EQ(::lchown((compartida / "ajeno.sig").c_str(), 4242, 4242), 0);
    // Y otro que lleva a una carpeta: el enlace está en medio de la ruta del fichero de firma.
    fs::create_symlink(raiz, compartida / "carpeta");
    ASSERT_EQ(::lchown((compartida / "carpeta").c_str(), 4242, 4242), 0);

    struct Caso {
        std::string origen, certificado, destino, resultado;
    };
    const Caso casos[] = {
        {"", "12345678Z", bien, M01},
        {ruta("no-existe.xml"), "12345678Z", bien, M01},
        {raiz.string(), "12345678Z", bien, M01},
        {factura, "1234567Z", bien, M03},
        {factura, "1234567Ñ", bien, M03},
        {factura, "012345678Z", bien, M03},
        {factura, "44444444A", bien, M03},
        {factura, "", bien, M03},
        {factura, "22222222J", bien, M05},
        {factura, "33333333P", bien, M05},
        {factura, "12345678Z", "", M04},
        {factura, "12345678Z", ruta("fichero/f.sig"), M04},
        {factura, "12345678Z", ruta("carpeta"), M04},
        {factura, "12345678Z", "/dev/full", M04},
        {factura, "12345678Z", "/dev/null", M04},
        {factura, "12345678Z", (compartida / "ajeno.sig").string(), M04},
        {factura, "12345678Z", (compartida / "carpeta/f.sig").string(), M04},
    };
    // Ningún caso graba `bien`: su fichero anterior queda intacto y no queda ningún temporal,
    // aunque el fichero de firma se empiece a escribir antes de saber si habrá firma.
    escribirTodo(bien, "anterior");
    for (const Caso& c : casos) {
        EXPECT_EQ(FIRMA(c.origen, c.certificado, c.destino), c.resultado)
            << c.origen << " " << c.certificado << " " << c.destino;
        EXPECT_EQ(leerTodo(bien), "anterior");
        for (const auto& e : fs::directory_iterator(raiz))
            EXPECT_FALSE(e.path().filename().string().starts_with(".morvelin-")) << e.path();
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_directory(raiz / "carpeta"));
}

TEST_F(Firma, AlmacenQueNoSeAbreYAlmacenQueNoExiste) {
    persona().grabarPem(almacen / "a.pem", true);
    // Una carpeta del almacén que no se puede leer: aquí, un fichero en su lugar. El almacén se
    // abre antes de mirar la longitud del identificador; la factura se lee antes que todo.
    fs::remove_all(almacen);
    escribirTodo(almacen, "no es una carpeta");
    EXPECT_EQ(FIRMA(factura, "12345678Z", ruta("f.sig")), M02);
    EXPECT_EQ(FIRMA(factura, "123", ruta("f.sig")), M02);
    EXPECT_EQ(FIRMA(ruta("no-existe.xml"), "123", ruta("f.sig")), M01);
    // Sin la carpeta, el almacén está vacío.
    fs::remove_all(datos);
    EXPECT_EQ(FIRMA(factura, "12345678Z", ruta("f.sig")), M03);
    EXPECT_FALSE(fs::exists(ruta("f.sig")));
}

TEST_F(Firma, CarpetaDelAlmacenSegunElEntorno) {
    ::setenv("HOME", (raiz / "casa").c_str(), 1);
    ::setenv("XDG_DATA_HOME", "relativa/no/vale", 1);
    EXPECT_EQ(almacenes::carpetaAlmacenPersonal(),
              (raiz / "casa/.local/share/MORVELIN/MY").string());
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(almacenes::carpetaAlmacenPersonal(),
              (raiz / "casa/.local/share/MORVELIN/MY").string());
    fs::create_directories(raiz / "casa/.local/share/MORVELIN/MY");
    persona().grabarPem(raiz / "casa/.local/share/MORVELIN/MY/p.pem", true);
    EXPECT_EQ(FIRMA(factura, "12345678Z", ruta("f.sig")), "00 " + NombrePersona);
    comprobarFicheroFirma(ruta("f.sig"), "factura.xml", contenido);
    ::unsetenv("HOME");
    EXPECT_EQ(almacenes::carpetaAlmacenPersonal(), "");
    EXPECT_EQ(FIRMA(factura, "12345678Z", ruta("f.sig")), M02);
}

TEST_F(Firma, FacturasYDestinosDeBorde) {
    persona().grabarPem(almacen / "a.pem", true);
    // Vacía: el resumen de nada y la línea 5 vacía.
    escribirTodo(ruta("vacia.xml"), "");
    ASSERT_EQ(FIRMA(ruta("vacia.xml"), "12345678Z", ruta("v.sig")), "00 " + NombrePersona);
    EXPECT_EQ(lineasFirma(leerTodo(ruta("v.sig")))[4], "");
    EXPECT_EQ(sha1Hex(ruta("vacia.xml")), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    comprobarFicheroFirma(ruta("v.sig"), "vacia.xml", "");

    // Bytes 0 y por encima de 127, llevados tal cual.
    std::string binaria;
    for (int i = 0; i < 5000; ++i)
        binaria.push_back(static_cast<char>(i % 256));
    escribirTodo(ruta("bin.xml"), binaria);
    ASSERT_EQ(FIRMA(ruta("bin.xml"), "12345678Z", ruta("b.sig")), "00 " + NombrePersona);
    comprobarFicheroFirma(ruta("b.sig"), "bin.xml", binaria);

    // Facturas grandes, leídas por trozos mientras se resumen y se codifican: una que acaba
    // justo en un trozo de lectura (6 × 768 KiB) y otra que no. Cada una por los dos caminos:
    // leída una vez y, con la carpeta del destino por crear, dos.
    for (const std::size_t bytes : {std::size_t{6} * (3 << 18), std::size_t{9} << 20 | 7}) {
        std::string grande(bytes, '\0');
        for (std::size_t i = 0; i < grande.size(); ++i)
            grande[i] = static_cast<char>((i * 2654435761u) >> 13);
        escribirTodo(ruta("grande.xml"), grande);
        for (const std::string& destino :
             {ruta("g.sig"), ruta("g" + std::to_string(bytes) + "/g.sig")}) {
            ASSERT_EQ(FIRMA(ruta("grande.xml"), "12345678Z", destino), "00 " + NombrePersona);
            comprobarFicheroFirma(destino, "grande.xml", grande);
        }
    }

    // Un nombre con lo que abriría una etiqueta o una línea: se escribe neutralizado y el
    // fichero se lee igual que siempre (antes, VERIFICA leía "b.xml</NOMFIC><FACB64>QUFB").
    escribirTodo(ruta("a<FACB64>b\r\nc.xml"), "AAA");
    ASSERT_EQ(FIRMA(ruta("a<FACB64>b\r\nc.xml"), "12345678Z", ruta("n.sig")),
              "00 " + NombrePersona);
    comprobarFicheroFirma(ruta("n.sig"), "a_FACB64>b__c.xml", "AAA");
    RegistroFirma leido;
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta("n.sig").c_str(), "rb"),
                                                         &std::fclose);
    leerFicheroFirma(f.get(), leido);
    EXPECT_EQ(leido.nombreFichero, "a_FACB64>b__c.xml");
    EXPECT_EQ(leido.facturaBase64, "QUFB");

    // Carpetas que faltan a lo largo del destino.
    ASSERT_EQ(FIRMA(factura, "12345678Z", ruta("x/y/z/f.sig")), "00 " + NombrePersona);
    comprobarFicheroFirma(ruta("x/y/z/f.sig"), "factura.xml", contenido);

    // Un origen sin separador: la línea 2 es la ruta entera.
    const auto antes = fs::current_path();
    fs::current_path(raiz);
    EXPECT_EQ(FIRMA("factura.xml", "12345678Z", "relativa.sig"), "00 " + NombrePersona);
    fs::current_path(antes);
    comprobarFicheroFirma(ruta("relativa.sig"), "factura.xml", contenido);
}

TEST_F(Firma, ElFicheroExistenteSeSustituyeEnteroYDosFirmasCompartenLasLineas1a5) {
    persona().grabarPem(almacen / "a.pem", true);
    const std::string destino = ruta("f.sig");
    escribirTodo(destino, std::string(100000, 'V'));
    ASSERT_EQ(FIRMA(factura, "12345678Z", destino), "00 " + NombrePersona);
    const auto primera = lineasFirma(leerTodo(destino));
    ASSERT_EQ(primera.size(), 9u) << "sustituido, no añadido";
    comprobarFicheroFirma(destino, "factura.xml", contenido);
    ASSERT_EQ(FIRMA(factura, "12345678Z", destino), "00 " + NombrePersona);
    const auto segunda = lineasFirma(leerTodo(destino));
    ASSERT_EQ(segunda.size(), 9u);
    comprobarFicheroFirma(destino, "factura.xml", contenido);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(primera[i], segunda[i]) << i;
    EXPECT_NE(primera[7], segunda[7]);
}

namespace {

// Un disco que se llena tras un número de bytes.
class DiscoLleno : public SistemaFicheros {
public:
    std::size_t cabe;
    explicit DiscoLleno(std::size_t c) : cabe(c) {}
    bool escribir(Manejador f, const char* d, std::size_t n) override {
        if (n > cabe)
            return false;
        cabe -= n;
        return SistemaFicheros::escribir(f, d, n);
    }
};

} // namespace

TEST_F(Firma, DiscoLlenoContesta04YDejaElFicheroAnterior) {
    persona().grabarPem(almacen / "a.pem", true);
    escribirTodo(factura, std::string(3 << 20, 'F'));
    const std::string destino = ruta("f.sig");
    escribirTodo(destino, "firma anterior");
    DiscoLleno lleno(1 << 20);
    usarSistemaFicheros(&lleno);
    const std::string r = FIRMA(factura, "12345678Z", destino);
    usarSistemaFicheros(nullptr);
    EXPECT_EQ(r, M04);
    EXPECT_EQ(leerTodo(destino), "firma anterior");
    std::vector<std::string> nombres;
    for (const auto& e : fs::directory_iterator(raiz))
        nombres.push_back(e.path().filename().string());
    std::sort(nombres.begin(), nombres.end());
    EXPECT_EQ(nombres, (std::vector<std::string>{"datos", "f.sig", "factura.xml", "fichas",
                                                 "softhsm2.conf"}));
}

TEST_F(Firma, UnaTuberiaSeFirmaSiSeLeeUnaSolaVez) {
    // Con la carpeta del destino ya hecha, la factura se lee una sola vez: resumen y base64 de
    // los mismos bytes, así que hasta una tubería se firma bien. Si hay que crear la carpeta,
    // se lee dos veces, y una tubería ya vaciada no da lo mismo la segunda: no hay firma.
    persona().grabarPem(almacen / "a.pem", true);
    const std::string tuberia = ruta("tuberia.xml");
    ASSERT_EQ(::mkfifo(tuberia.c_str(), 0600), 0);
    for (const std::string& destino : {ruta("f.sig"), ruta("nueva/f.sig")}) {
        SCOPED_TRACE(destino);
        std::thread escritor([&] { escribirTodo(tuberia, contenido); });
        const std::string r = FIRMA(tuberia, "12345678Z", destino);
        escritor.join();
        if (destino == ruta("f.sig")) {
            EXPECT_EQ(r, "00 " + NombrePersona);
            comprobarFicheroFirma(destino, "tuberia.xml", contenido);
        } else {
            EXPECT_EQ(r, M01);
            EXPECT_FALSE(fs::exists(destino));
        }
    }
}

namespace {

// Cambia la factura en cuanto empieza a escribirse el fichero de firma.
class CambiaLaFactura : public SistemaFicheros {
public:
    std::string factura;
    bool cambiada = false;
    bool escribir(Manejador f, const char* d, std::size_t n) override {
        if (!cambiada) {
            cambiada = true;
            std::string otra = leerTodo(factura);
            otra[otra.size() / 2] ^= 1;
            std::FILE* p = std::fopen(factura.c_str(), "r+b");
            std::fwrite(otra.data(), 1, otra.size(), p);
            std::fclose(p);
        }
        return SistemaFicheros::escribir(f, d, n);
    }
};

} // namespace

TEST_F(Firma, UnaFacturaQueCambiaMientrasSeFirmaNoDejaUnaFirmaAjena) {
    // Leída una sola vez, lo que se lleva es lo que se ha resumido: el fichero de firma queda
    // coherente con los bytes leídos. Leída dos veces (el destino necesita carpeta nueva), el
    // cambio entre las dos lecturas se nota y no queda fichero de firma.
    persona().grabarPem(almacen / "a.pem", true);
    for (const std::string& destino : {ruta("f.sig"), ruta("nueva/f.sig")}) {
        SCOPED_TRACE(destino);
        const std::string original(1 << 20, 'F'); // más de un bloque de escritura
        escribirTodo(factura, original);
        CambiaLaFactura cambia;
        cambia.factura = factura;
        usarSistemaFicheros(&cambia);
        const std::string r = FIRMA(factura, "12345678Z", destino);
        usarSistemaFicheros(nullptr);
        EXPECT_TRUE(cambia.cambiada);
        if (destino == ruta("f.sig")) {
            EXPECT_EQ(r, "00 " + NombrePersona);
            const auto lineas = lineasFirma(leerTodo(destino));
            ASSERT_EQ(lineas.size(), 9u);
            comprobarFicheroFirma(destino, "factura.xml", decodificarBase64(lineas[4]));
        } else {
            EXPECT_EQ(r, M01);
            EXPECT_FALSE(fs::exists(destino));
        }
    }
}

namespace {

// Se queda sin memoria al escribir el fichero de firma, a la segunda entrega.
class SinMemoriaAlEscribir : public SistemaFicheros {
public:
    int entregas = 0;
    bool escribir(Manejador f, const char* d, std::size_t n) override {
        if (++entregas == 2)
            throw std::bad_alloc();
        return SistemaFicheros::escribir(f, d, n);
    }
};

} // namespace

TEST_F(Firma, SinMemoriaAlEscribirUnaFacturaGrandeFallaLaLlamadaYNoElPrograma) {
    // La llamada falla (la excepción llega a quien llama) sin dejar nada; antes, el hilo que
    // leía la factura quedaba suelto y std::terminate acababa con el programa que llama.
    persona().grabarPem(almacen / "a.pem", true);
    escribirTodo(factura, std::string(16 << 20, 'F'));
    escribirTodo(ruta("f.sig"), "firma anterior");
    SinMemoriaAlEscribir sinMemoria;
    usarSistemaFicheros(&sinMemoria);
    EXPECT_THROW(FIRMA(factura, "12345678Z", ruta("f.sig")), std::bad_alloc);
    usarSistemaFicheros(nullptr);
    EXPECT_EQ(sinMemoria.entregas, 2);
    EXPECT_EQ(leerTodo(ruta("f.sig")), "firma anterior");
    for (const auto& e : fs::directory_iterator(raiz))
        EXPECT_FALSE(e.path().filename().string().starts_with(".morvelin-")) << e.path();
}

TEST_F(Firma, PinentryQueSeAveriaAcabaEnSuPlazoYNoDaUnPinQueNoEs) {
    // Con plazos cortos, cada avería del pinentry falso acaba a tiempo y sin dejarlo vivo.
    using plataforma::RespuestaPin;
    const plataforma::PlazosPinentry plazos{
        std::chrono::milliseconds(800), std::chrono::milliseconds(800),
        std::chrono::milliseconds(800), std::chrono::milliseconds(300)};
    plataforma::usarPlazosPinentry(&plazos);
    struct Caso {
        const char *averia, *pin;
        std::size_t largoDescripcion;
        RespuestaPin respuesta;
    };
    const Caso casos[] = {
        {"", "1234", 50, RespuestaPin::Dado},
        {"", "", 50, RespuestaPin::Cancelado},
        // Un byte 0 en el PIN: no se da por bueno (a la tarjeta le llegaría «12»).
        {"", "12%0034", 50, RespuestaPin::SinDialogo},
        // Una descripción larga se acorta: una línea de más de 1000 bytes cierra pinentry.
        {"", "1234", 3000, RespuestaPin::Dado},
        {"sin-saludo", "1234", 50, RespuestaPin::SinDialogo},
        {"getpin-mudo", "1234", 50, RespuestaPin::SinDialogo},
        {"comentarios", "1234", 50, RespuestaPin::SinDialogo},
        {"ignora-bye", "1234", 50, RespuestaPin::Dado},
    };
    const fs::path registro = raiz / "pinentry.txt";
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::string(c.averia) + " " + c.pin);
        ::setenv("PIN_AVERIA", c.averia, 1);
        ::setenv("PIN_FALSO", c.pin, 1);
        fs::remove(registro);
        plataforma::PeticionPin peticion;
        peticion.descripcion = std::string(c.largoDescripcion, 'x');
        plataforma::Secreto pin;
        const auto antes = std::chrono::steady_clock::now();
        EXPECT_EQ(plataforma::pedirPin(peticion, pin), c.respuesta);
        EXPECT_LT(std::chrono::steady_clock::now() - antes, std::chrono::seconds(4));
        EXPECT_EQ(std::string(pin.c_str()), c.respuesta == RespuestaPin::Dado ? c.pin : "");
        // El pinentry ya no existe: ni se le espera sin fin ni queda suelto.
        const std::string apuntado = leerTodo(registro);
        ASSERT_TRUE(apuntado.starts_with("PID ")) << apuntado;
        const pid_t pid = std::stoi(apuntado.substr(4));
        EXPECT_EQ(::kill(pid, 0), -1);
        for (std::size_t p = 0, fin; (fin = apuntado.find('\n', p)) != std::string::npos;
             p = fin + 1)
            EXPECT_LE(fin - p, 1000u) << "una línea más larga que las de Assuan";
        if (c.largoDescripcion > 1000) {
            EXPECT_NE(apuntado.find("x…\n"), std::string::npos) << apuntado;
        }
    }
    plataforma::usarPlazosPinentry(nullptr);
}

namespace {

// Los módulos de p11-kit de `carpeta` en lugar de los del sistema, solo para este hilo y los
// procesos que arranque: en un espacio de montajes propio, la carpeta de la configuración de los
// módulos (la que p11-kit lee también como root) es otra. Sin privilegios no se puede.
class ModulosPropios {
public:
    explicit ModulosPropios(const fs::path& carpeta) {
        montado_ =
            ::unshare(CLONE_NEWNS) == 0 &&
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            ::mount(carpeta.c_str(), P11KIT_CONFIGURACION_MODULOS, nullptr, MS_BIND, nullptr) == 0;
    }
    ~ModulosPropios() {
        if (montado_)
            ::umount2(P11KIT_CONFIGURACION_MODULOS, MNT_DETACH);
    }
    ModulosPropios(const ModulosPropios&) = delete;
    ModulosPropios& operator=(const ModulosPropios&) = delete;
    bool montado() const { return montado_; }

private:
    bool montado_ = false;
};

} // namespace

TEST_F(Firma, UnModuloQueNoContestaOQueAbortaNiParaNiTumbaAQuienFirma) {
    // Por nombre, los dos averiados van en p11-kit antes que SoftHSM.
    const fs::path modulos = raiz / "modulos";
    fs::create_directories(modulos);
    fs::copy_file(fs::path(P11KIT_CONFIGURACION_MODULOS) / "softhsm2.module",
                  modulos / "softhsm2.module");
    escribirTodo(modulos / "a-aborta.module", "module: " MODULO_ABORTA "\n");
    escribirTodo(modulos / "a-bloquea.module", "module: " MODULO_BLOQUEA "\n");
    const ModulosPropios propios(modulos);
    if (!propios.montado()) {
        std::cout << "OMITIDA: sin un espacio de montajes propio (hace falta ser root) no se "
                     "registran en p11-kit los módulos averiados de prueba.\n";
        GTEST_SKIP();
    }
    const almacenes::PlazosTarjetas plazos{std::chrono::seconds(2), std::chrono::seconds(30)};
    almacenes::usarPlazosTarjetas(&plazos);
    crearTarjeta("BANCO", "1234");
    persona().cargarEnTarjeta("BANCO", "1234", "firma", "01", true, raiz);
    ::setenv("PIN_FALSO", "1234", 1);

    // FIRMA y el listado, en este proceso: ni se quedan esperando al que no contesta ni
    // acaban con el que aborta, y la tarjeta de detrás sigue a mano.
    const auto antes = std::chrono::steady_clock::now();
    EXPECT_EQ(FIRMA(factura, "12345678Z", ruta("f.sig")), "00 " + NombrePersona);
    const Listado l =
        listarCertificados(almacenes::listarAlmacenes(), "12345678Z", std::time(nullptr));
    EXPECT_LT(std::chrono::steady_clock::now() - antes, std::chrono::seconds(40));
    almacenes::usarPlazosTarjetas(nullptr);
    comprobarFicheroFirma(ruta("f.sig"), "factura.xml", contenido);
    for (const std::string frase :
         {"módulo «a-aborta», " MODULO_ABORTA
          "): el módulo falla: hace acabar al programa que lo carga.",
          "módulo «a-bloquea», " MODULO_BLOQUEA "): no responde (se ha dejado tras 2 s).",
          "FIRMA usaría «firma» del almacén PKCS #11 (tarjeta «BANCO»"})
        EXPECT_NE(l.texto.find(frase), std::string::npos) << frase << "\n" << l.texto;
    EXPECT_EQ(l.contestaria, "00 " + NombrePersona);
}
