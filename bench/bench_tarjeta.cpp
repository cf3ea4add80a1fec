// Rendimiento de las tarjetas y del listado de certificados.
//
// 1. FIRMA de una factura de 50 KiB con una clave RSA 2048 de una tarjeta SoftHSM registrada
//    en p11-kit, con el PIN de un pinentry de prueba, junto a lo que cuesta la tarjeta por sí
//    sola: arrancar su módulo, abrir sesión, dar el PIN, firmar con SHA-1 y cerrar, por PKCS #11
//    directamente. Objetivo: FIRMA cuesta a lo sumo eso más 10 ms (medianas).
// 2. Un alta de VERI*FACTU sin remisión firmada con la misma tarjeta y guardada, junto a lo que
//    cuesta la tarjeta sola. Objetivo: a lo sumo eso más 10 ms (medianas).
// 3. «morvelin certificados NIF» con 50 certificados repartidos entre la carpeta (20), una base
//    NSS (15) y la tarjeta (15). Objetivo: menos de 200 ms (mediana, el proceso entero).
//
// Necesita softhsm2, opensc (pkcs11-tool), libnss3-tools y openssl. Trabaja en $TMPDIR o /tmp.
#include "apoyo.h"
#include "metodos.h"
#include "verifactu/ordenes.h"

#include <p11-kit/p11-kit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Reloj = std::chrono::steady_clock;

using bench::abandonar;
using bench::conComas;
using bench::mediana;
using bench::orden;

namespace {

double msDesde(Reloj::time_point t) {
    return std::chrono::duration<double, std::milli>(Reloj::now() - t).count();
}

std::string nifDe(int i) {
    char nif[16];
    std::snprintf(nif, sizeof nif, "%08dA", 20000000 + i);
    return nif;
}

// Un certificado RSA 2048 (o EC, más rápido de crear) con su clave, en PEM, en `base`.pem y
// `base`.key.
void crearCertificado(const fs::path& base, const std::string& nif, bool rsa) {
    orden("openssl req -x509 -newkey " + std::string(rsa ? "rsa:2048" : "ec") +
          (rsa ? "" : " -pkeyopt ec_paramgen_curve:P-256") +
          " -nodes -days 30 -subj '/C=ES/serialNumber=" + nif + "/CN=PRUEBA - NIF " + nif +
          "' -addext keyUsage=critical,nonRepudiation -keyout '" + base.string() + ".key' -out '" +
          base.string() + ".pem' 2>/dev/null");
}

// Carga en la tarjeta el certificado de `base` y, si `conClave`, su clave.
void cargarEnTarjeta(const fs::path& base, const std::string& id, bool conClave) {
    const std::string b = base.string();
    const std::string herramienta = "pkcs11-tool --module " SOFTHSM_MODULO
                                    " --token-label BANCO --login --pin 1234 --id " +
                                    id + " --label '" + base.filename().string() + "'";
    orden("openssl x509 -in '" + b + ".pem' -outform DER -out '" + b + ".der' && " + herramienta +
          " --write-object '" + b + ".der' --type cert >/dev/null");
    if (conClave)
        orden("openssl pkcs8 -topk8 -nocrypt -in '" + b + ".key' -outform DER -out '" + b +
              ".k.der' && " + herramienta + " --write-object '" + b +
              ".k.der' --type privkey >/dev/null");
}

// Lo que cuesta la tarjeta sola: arrancar el módulo, sesión, PIN, firma SHA-1 de `datos` y
// cierre. El módulo ya está cargado en memoria (lo mismo que tras la primera FIRMA).
double tarjetaSola(CK_FUNCTION_LIST* f, const std::string& datos) {
    const auto t = Reloj::now();
    if (f->C_Initialize(nullptr) != CKR_OK)
        abandonar("C_Initialize");
    CK_ULONG n = 0;
    f->C_GetSlotList(CK_TRUE, nullptr, &n);
    std::vector<CK_SLOT_ID> ranuras(n);
    f->C_GetSlotList(CK_TRUE, ranuras.data(), &n);
    CK_SESSION_HANDLE sesion = 0;
    bool firmado = false;
    for (CK_ULONG i = 0; i < n && !firmado; ++i) {
        CK_TOKEN_INFO info{};
        if (f->C_GetTokenInfo(ranuras[i], &info) != CKR_OK ||
            !(info.flags & CKF_TOKEN_INITIALIZED) ||
            f->C_OpenSession(ranuras[i], CKF_SERIAL_SESSION, nullptr, nullptr, &sesion) != CKR_OK)
            continue;
        char pin[] = "1234";
        if (f->C_Login(sesion, CKU_USER, reinterpret_cast<CK_UTF8CHAR*>(pin), 4) == CKR_OK) {
            CK_OBJECT_CLASS clase = CKO_PRIVATE_KEY;
            unsigned char id[] = {0x01};
            CK_ATTRIBUTE plantilla[] = {{CKA_CLASS, &clase, sizeof clase}, {CKA_ID, id, sizeof id}};
            CK_OBJECT_HANDLE clave = 0;
            CK_ULONG hallados = 0;
            f->C_FindObjectsInit(sesion, plantilla, 2);
            f->C_FindObjects(sesion, &clave, 1, &hallados);
            f->C_FindObjectsFinal(sesion);
            CK_MECHANISM mecanismo{CKM_SHA1_RSA_PKCS, nullptr, 0};
            unsigned char firma[512];
            CK_ULONG largo = sizeof firma;
            firmado =
                hallados == 1 && f->C_SignInit(sesion, &mecanismo, clave) == CKR_OK &&
                f->C_Sign(sesion, reinterpret_cast<unsigned char*>(const_cast<char*>(datos.data())),
                          datos.size(), firma, &largo) == CKR_OK;
            f->C_Logout(sesion);
        }
        f->C_CloseSession(sesion);
    }
    f->C_Finalize(nullptr);
    if (!firmado)
        abandonar("la tarjeta no firma por PKCS #11");
    return msDesde(t);
}

// Mide `operacion` (con el número de vuelta) alternada con la tarjeta sola, para que la carga de
// la máquina toque a las dos por igual, e imprime las medianas de 40 (las primeras vueltas
// calientan) y su diferencia frente al objetivo de 10 ms.
void juntoALaTarjeta(const char* titulo, const char* que, const char* corto,
                     const std::string& datos, const std::function<void(int)>& operacion) {
    CK_FUNCTION_LIST* modulo = p11_kit_module_load(SOFTHSM_MODULO, P11_KIT_MODULE_UNMANAGED);
    if (modulo == nullptr)
        abandonar("no se carga " SOFTHSM_MODULO);
    std::vector<double> sola, medida;
    for (int i = 0; i < 43; ++i) {
        const double s = tarjetaSola(modulo, datos);
        const auto t = Reloj::now();
        operacion(i);
        const double ms = msDesde(t);
        if (i >= 3) {
            sola.push_back(s);
            medida.push_back(ms);
        }
    }
    p11_kit_module_release(modulo);
    const double mSola = mediana(sola), mMedida = mediana(medida);
    std::printf("%s, mediana de 40 llamadas\n", titulo);
    std::printf("  la tarjeta sola (módulo, sesión, PIN, firma, cierre): %7s ms\n",
                conComas(mSola, 2).c_str());
    std::printf("  %s %7s ms\n", que, conComas(mMedida, 2).c_str());
    std::printf("  %s - tarjeta sola: %s ms (objetivo: 10 ms o menos) %s\n", corto,
                conComas(mMedida - mSola, 2).c_str(),
                mMedida - mSola <= 10 ? "cumple" : "NO CUMPLE");
}

} // namespace

int main() {
    bench::programa = "bench_tarjeta";
    const char* tmp = std::getenv("TMPDIR");
    const fs::path raiz =
        fs::path(tmp && *tmp ? tmp : "/tmp") / ("bench-tarjeta-" + std::to_string(::getpid()));
    const fs::path trabajo = raiz / "trabajo";
    fs::create_directories(raiz / "fichas");
    fs::create_directories(trabajo);
    fs::create_directories(raiz / "datos/MORVELIN/MY");
    ::setenv("XDG_DATA_HOME", (raiz / "datos").c_str(), 1);
    ::setenv("HOME", (raiz / "casa").c_str(), 1);
    ::unsetenv("MORVELIN_NSSDB");
    std::ofstream(raiz / "softhsm2.conf") << "directories.tokendir = " << (raiz / "fichas").string()
                                          << "\nobjectstore.backend = file\nlog.level = ERROR\n";
    ::setenv("SOFTHSM2_CONF", (raiz / "softhsm2.conf").c_str(), 1);
    ::setenv("MORVELIN_PINENTRY", PINENTRY_FALSO, 1);
    ::setenv("PIN_FALSO", "1234", 1);
    ::unsetenv("PIN_REGISTRO");

    // La tarjeta, con el certificado y la clave del firmante.
    orden("softhsm2-util --init-token --free --label BANCO --pin 1234 --so-pin 5678 >/dev/null");
    crearCertificado(trabajo / "firmante", "12345678Z", true);
    cargarEnTarjeta(trabajo / "firmante", "01", true);
    const fs::path factura = raiz / "factura.xml";
    {
        std::ofstream f(factura, std::ios::binary);
        for (int i = 0; i < 50 * 1024 / 64; ++i)
            f << "<Linea>0123456789012345678901234567890123456789012345</Linea>\n";
    }
    const std::string destino = (raiz / "factura.sig").string();

    // 1. FIRMA por la tarjeta junto a la tarjeta sola.
    const std::string atributos(180, 'x'); // lo que firma FIRMA: los atributos firmados
    juntoALaTarjeta(
        "FIRMA de una factura de 50 KiB con una tarjeta SoftHSM (RSA 2048)",
        "FIRMA (almacenes, p11-kit, NSS, pinentry, firma):    ", "FIRMA", atributos, [&](int) {
            const std::string r = morvelin::FIRMA(factura.string(), "12345678Z", destino);
            if (!r.starts_with("00"))
                abandonar("FIRMA no firma con la tarjeta: " + r);
        });

    // 2. VERI*FACTU sin remisión: un alta firmada con la tarjeta y guardada (SQLite). Cada alta
    //    busca el certificado y pide el PIN, como una orden suelta.
    namespace vf = morvelin::verifactu;
    vf::Ordenes cadena((raiz / "cadena.sqlite").string());
    if (const auto m = cadena.modo("no-verifactu", "12345678Z"); !m.correcto)
        abandonar("no se fija el modo sin remisión: " + m.texto);
    juntoALaTarjeta(
        "VERI*FACTU sin remisión: alta firmada (XAdES-EPES) con la tarjeta y guardada en SQLite",
        "alta firmada y guardada (almacenes, pinentry, firma):", "alta", atributos, [&](int i) {
            const auto r = cadena.alta(
                R"({"IDEmisorFactura":"12345678Z","NumSerieFactura":"T-)" + std::to_string(i) +
                R"(","FechaExpedicionFactura":"03-02-2025","NombreRazonEmisor":"Prueba",
                   "TipoFactura":"F2","DescripcionOperacion":"Venta",
                   "Desglose":[{"ClaveRegimen":"01","CalificacionOperacion":"S1",
                                "TipoImpositivo":"21","BaseImponibleOimporteNoSujeto":"100.00",
                                "CuotaRepercutida":"21.00"}],
                   "CuotaTotal":"21.00","ImporteTotal":"121.00"})");
            if (!r.correcto)
                abandonar("el alta firmada con la tarjeta no se guarda: " + r.texto);
        });

    // 3. 50 certificados: 20 en la carpeta, 15 en una base NSS y 15 en la tarjeta (con el del
    //    firmante, 16).
    for (int i = 0; i < 20; ++i)
        crearCertificado(raiz / "datos/MORVELIN/MY" / ("c" + std::to_string(i)), nifDe(i), false);
    const fs::path base = raiz / "casa/.pki/nssdb";
    fs::create_directories(base);
    orden("certutil -N --empty-password -d sql:" + base.string());
    for (int i = 20; i < 35; ++i) {
        const fs::path c = trabajo / ("n" + std::to_string(i));
        crearCertificado(c, nifDe(i), false);
        orden("openssl pkcs12 -export -in '" + c.string() + ".pem' -inkey '" + c.string() +
              ".key' -out '" + c.string() + ".p12' -passout pass:x && pk12util -i '" + c.string() +
              ".p12' -d sql:" + base.string() + " -W x >/dev/null");
    }
    for (int i = 35; i < 49; ++i) {
        const fs::path c = trabajo / ("t" + std::to_string(i));
        crearCertificado(c, nifDe(i), false);
        char id[8];
        std::snprintf(id, sizeof id, "%02X", i);
        cargarEnTarjeta(c, id, false);
    }
    std::vector<double> listado;
    const std::string cli =
        std::string(MORVELIN_CLI) + " certificados 12345678Z > " + (raiz / "listado.txt").string();
    for (int i = 0; i < 23; ++i) {
        const auto t = Reloj::now();
        orden(cli);
        if (i >= 3)
            listado.push_back(msDesde(t));
    }
    std::ifstream l(raiz / "listado.txt");
    const std::string texto((std::istreambuf_iterator<char>(l)), std::istreambuf_iterator<char>());
    std::size_t certificados = 0;
    for (std::size_t p = 0; (p = texto.find("     Sujeto: ", p)) != std::string::npos; ++p)
        ++certificados;
    const double mListado = mediana(listado);
    std::printf("morvelin certificados 12345678Z con %zu certificados (carpeta, base NSS y "
                "tarjeta), mediana de 20\n",
                certificados);
    std::printf("  %7s ms (objetivo: menos de 200 ms) %s\n", conComas(mListado, 2).c_str(),
                mListado < 200 && certificados >= 50 ? "cumple" : "NO CUMPLE");

    fs::remove_all(raiz);
    return 0;
}
