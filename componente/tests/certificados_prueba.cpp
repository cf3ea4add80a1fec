#include "certificados_prueba.h"

#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace morvelin::pruebas {

namespace {

void exigir(bool bien, const char* que) {
    if (!bien)
        throw std::runtime_error(std::string("certificado de prueba: falla ") + que);
}

template <class Escribir> std::string aPem(Escribir escribir) {
    std::unique_ptr<BIO, decltype(&BIO_free)> b(BIO_new(BIO_s_mem()), &BIO_free);
    exigir(b && escribir(b.get()), "PEM");
    BUF_MEM* m = nullptr;
    BIO_get_mem_ptr(b.get(), &m);
    return std::string(m->data, m->length);
}

template <class Codificar> std::string aDer(Codificar codificar) {
    unsigned char* der = nullptr;
    const int n = codificar(&der);
    exigir(n > 0, "el DER");
    std::string r(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
    OPENSSL_free(der);
    return r;
}

std::string comillasShell(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

CertificadoPrueba CertificadoPrueba::crear(const std::vector<Atributo>& sujeto, int desde,
                                           int hasta, bool rsa, const std::string& usoClave) {
    CertificadoPrueba c;
    c.clave_.reset(rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256"), &EVP_PKEY_free);
    exigir(c.clave_ != nullptr, "la clave");
    c.emitir(sujeto, desde, hasta, usoClave);
    return c;
}

CertificadoPrueba CertificadoPrueba::conLaMismaClave(const std::vector<Atributo>& sujeto) const {
    CertificadoPrueba c;
    c.clave_ = clave_;
    c.emitir(sujeto, -1, 365, {});
    return c;
}

std::string CertificadoPrueba::firmarRsaSha256(std::string_view datos) const {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    std::size_t n = 0;
    exigir(md && EVP_DigestSignInit(md.get(), nullptr, EVP_sha256(), nullptr, clave_.get()) == 1 &&
               EVP_DigestSign(md.get(), nullptr, &n,
                              reinterpret_cast<const unsigned char*>(datos.data()),
                              datos.size()) == 1,
           "la firma RSA-SHA256");
    std::string firma(n, '\0');
    exigir(EVP_DigestSign(md.get(), reinterpret_cast<unsigned char*>(firma.data()), &n,
                          reinterpret_cast<const unsigned char*>(datos.data()), datos.size()) == 1,
           "la firma RSA-SHA256");
    firma.resize(n);
    return firma;
}

void CertificadoPrueba::emitir(const std::vector<Atributo>& sujeto, int desde, int hasta,
                               const std::string& usoClave) {
    CertificadoPrueba& c = *this;
    c.certificado_.reset(X509_new(), &X509_free);
    X509* x = c.certificado_.get();
    exigir(X509_set_version(x, X509_VERSION_3), "la versión");
    unsigned char serie[16];
    RAND_bytes(serie, sizeof serie);
    serie[0] &= 0x7F;
    BIGNUM* bn = BN_bin2bn(serie, sizeof serie, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(x), static_cast<long>(desde) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(x), static_cast<long>(hasta) * 86400);
    X509_NAME* nombre = X509_get_subject_name(x);
    for (const Atributo& a : sujeto)
        exigir(X509_NAME_add_entry_by_txt(nombre, a.tipo.c_str(), MBSTRING_UTF8,
                                          reinterpret_cast<const unsigned char*>(a.valor.data()),
                                          static_cast<int>(a.valor.size()), -1,
                                          a.nuevoComponente ? 0 : -1),
               "un atributo del sujeto");
    exigir(X509_set_issuer_name(x, nombre), "el emisor");
    exigir(X509_set_pubkey(x, c.clave_.get()), "la clave pública");
    if (!usoClave.empty()) {
        X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, nullptr, NID_key_usage, usoClave.c_str());
        exigir(e != nullptr && X509_add_ext(x, e, -1), "el uso de la clave");
        X509_EXTENSION_free(e);
    }
    exigir(X509_sign(x, c.clave_.get(), EVP_sha256()) > 0, "la firma del certificado");
}

std::string CertificadoPrueba::derCertificado() const {
    return aDer([&](unsigned char** der) { return i2d_X509(certificado_.get(), der); });
}

std::string CertificadoPrueba::firmarConHora(const std::string& contenido, long long hora) const {
    std::unique_ptr<BIO, decltype(&BIO_free)> datos(
        BIO_new_mem_buf(contenido.data(), static_cast<int>(contenido.size())), &BIO_free);
    constexpr int Forma = PKCS7_DETACHED | PKCS7_BINARY;
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(
        PKCS7_sign(certificado_.get(), clave_.get(), nullptr, datos.get(), Forma | PKCS7_PARTIAL),
        &PKCS7_free);
    exigir(p7 != nullptr, "la firma");
    PKCS7_SIGNER_INFO* firmante = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
    // UTCTime hasta 2049 y GeneralizedTime después, cada una con su tipo.
    ASN1_TIME* t = ASN1_TIME_set(nullptr, static_cast<time_t>(hora));
    exigir(t != nullptr &&
               PKCS7_add_signed_attribute(firmante, NID_pkcs9_signingTime, t->type, t) &&
               PKCS7_final(p7.get(), datos.get(), Forma),
           "la hora de la firma");
    return aDer([&](unsigned char** der) { return i2d_PKCS7(p7.get(), der); });
}

std::string CertificadoPrueba::pemCertificado() const {
    return aPem([&](BIO* b) { return PEM_write_bio_X509(b, certificado_.get()); });
}

std::string CertificadoPrueba::pemClave() const {
    return aPem([&](BIO* b) {
        return PEM_write_bio_PrivateKey(b, clave_.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

void CertificadoPrueba::grabarPem(const fs::path& ruta, bool conClave) const {
    escribirTodo(ruta, pemCertificado() + (conClave ? pemClave() : ""));
}

void CertificadoPrueba::grabarClave(const fs::path& ruta) const {
    escribirTodo(ruta, pemClave());
}

void CertificadoPrueba::cargarEnTarjeta(const std::string& tarjeta, const std::string& pin,
                                        const std::string& etiqueta, const std::string& id,
                                        bool conClave, const fs::path& carpetaTrabajo) const {
    const fs::path der = carpetaTrabajo / (etiqueta + ".der");
    const std::string herramienta =
        "pkcs11-tool --module " SOFTHSM_MODULO " --token-label " + comillasShell(tarjeta) +
        " --login --pin " + comillasShell(pin) + " --id " + id + " --label " +
        comillasShell(etiqueta) + " --write-object " + comillasShell(der) + " --type ";
    std::unique_ptr<BIO, decltype(&BIO_free)> b(BIO_new_file(der.c_str(), "wb"), &BIO_free);
    exigir(b && i2d_X509_bio(b.get(), certificado_.get()), "el DER del certificado");
    b.reset();
    auto s = ejecutar(herramienta + "cert 2>&1");
    exigir(s.estado == 0, ("pkcs11-tool: " + s.texto).c_str());
    if (conClave) {
        b.reset(BIO_new_file(der.c_str(), "wb"));
        exigir(b && i2d_PKCS8PrivateKey_bio(b.get(), clave_.get(), nullptr, nullptr, 0, nullptr,
                                            nullptr),
               "el DER de la clave");
        b.reset();
        s = ejecutar(herramienta + "privkey 2>&1");
        exigir(s.estado == 0, ("pkcs11-tool: " + s.texto).c_str());
    }
    fs::remove(der);
}

void CertificadoPrueba::grabarPkcs12(const fs::path& ruta, const std::string& contrasena,
                                     bool antiguo) const {
    const fs::path pem = ruta.string() + ".origen.pem";
    grabarPem(pem, true);
    const auto s = ejecutar("openssl pkcs12 -export " + std::string(antiguo ? "-legacy " : "") +
                            "-in " + comillasShell(pem) + " -out " + comillasShell(ruta) +
                            " -passout pass:" + comillasShell(contrasena) + " 2>&1");
    fs::remove(pem);
    exigir(s.estado == 0, ("openssl pkcs12: " + s.texto).c_str());
}

void crearBaseNss(const fs::path& carpeta,
                  const std::vector<std::pair<std::string, CertificadoPrueba>>& certificados,
                  const std::string& contrasena) {
    fs::create_directories(carpeta);
    const fs::path fichero = carpeta / "contrasena.txt";
    escribirTodo(fichero, contrasena + "\n");
    const std::string db = " -d sql:" + comillasShell(carpeta);
    auto s = ejecutar("certutil -N" + db +
                      (contrasena.empty() ? " --empty-password" : " -f " + comillasShell(fichero)) +
                      " 2>&1");
    exigir(s.estado == 0, ("certutil: " + s.texto).c_str());
    for (const auto& [apodo, c] : certificados) {
        const fs::path p12 = carpeta / (apodo + ".p12");
        c.grabarPkcs12(p12, "x", false);
        s = ejecutar("pk12util -i " + comillasShell(p12) + db + " -W x -k " +
                     comillasShell(fichero) + " 2>&1");
        exigir(s.estado == 0, ("pk12util: " + s.texto).c_str());
        fs::remove(p12);
    }
    fs::remove(fichero);
}

void crearTarjeta(const std::string& etiqueta, const std::string& pin) {
    const auto s = ejecutar("softhsm2-util --init-token --free --label " + comillasShell(etiqueta) +
                            " --pin " + comillasShell(pin) + " --so-pin 5678 2>&1");
    exigir(s.estado == 0, ("softhsm2-util: " + s.texto).c_str());
}

EntornoAlmacenes::EntornoAlmacenes(const fs::path& raiz) : raiz_(raiz) {
    fs::create_directories(raiz / "fichas");
    escribirTodo(raiz / "softhsm2.conf", "directories.tokendir = " + (raiz / "fichas").string() +
                                             "\nobjectstore.backend = file\nlog.level = ERROR\n");
    const std::pair<const char*, std::optional<std::string>> variables[] = {
        {"XDG_DATA_HOME", (raiz / "datos").string()},
        // Sin las bases NSS de quien pasa las pruebas: la casa es la de la prueba.
        {"HOME", (raiz / "casa").string()},
        {"MORVELIN_NSSDB", std::nullopt},
        {"SOFTHSM2_CONF", (raiz / "softhsm2.conf").string()},
        {"MORVELIN_PINENTRY", PINENTRY_FALSO},
        {"PIN_REGISTRO", (raiz / "pinentry.txt").string()},
        {"PIN_FALSO", std::nullopt},
        {"PIN_AVERIA", std::nullopt},
    };
    for (const auto& [nombre, valor] : variables) {
        const char* anterior = std::getenv(nombre);
        anteriores_.emplace_back(nombre,
                                 anterior ? std::optional<std::string>(anterior) : std::nullopt);
        if (valor)
            ::setenv(nombre, valor->c_str(), 1);
        else
            ::unsetenv(nombre);
    }
}

EntornoAlmacenes::~EntornoAlmacenes() {
    for (const auto& [nombre, valor] : anteriores_) {
        if (valor)
            ::setenv(nombre.c_str(), valor->c_str(), 1);
        else
            ::unsetenv(nombre.c_str());
    }
}

void EntornoAlmacenes::vaciarTarjetas() const {
    fs::remove_all(raiz_ / "fichas");
    fs::create_directories(raiz_ / "fichas");
}

Salida ejecutar(const std::string& orden) {
    FILE* p = ::popen(orden.c_str(), "r");
    if (p == nullptr)
        return {-1, {}};
    std::string texto;
    std::array<char, 4096> b{};
    for (std::size_t n; (n = std::fread(b.data(), 1, b.size(), p)) > 0;)
        texto.append(b.data(), n);
    const int st = ::pclose(p);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, texto};
}

std::string leerTodo(const fs::path& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void escribirTodo(const fs::path& ruta, const std::string& bytes) {
    std::ofstream(ruta, std::ios::binary) << bytes;
}

std::vector<std::string> lineasFirma(const std::string& fichero) {
    std::vector<std::string> lineas;
    std::size_t inicio = 0;
    while (inicio < fichero.size()) {
        const auto fin = fichero.find("\r\n", inicio);
        if (fin == std::string::npos)
            return {};
        lineas.push_back(fichero.substr(inicio, fin - inicio));
        inicio = fin + 2;
    }
    return lineas.size() == 9 ? lineas : std::vector<std::string>{};
}

std::string verificarConOpenssl(const std::string& firma, const std::string& contenido,
                                const fs::path& carpeta) {
    const fs::path der = carpeta / "firma.der", datos = carpeta / "contenido.bin";
    escribirTodo(der, firma);
    escribirTodo(datos, contenido);
    // -noverify: los certificados de prueba son autofirmados (y alguno está caducado); se
    // comprueba la firma, no la confianza en el firmante.
    const auto v =
        ejecutar("openssl cms -verify -binary -noverify -inform DER -in " + comillasShell(der) +
                 " -content " + comillasShell(datos) + " -out /dev/null 2>&1");
    if (v.estado != 0)
        return {};
    return ejecutar("openssl cms -cmsout -print -inform DER -in " + comillasShell(der)).texto;
}

std::string sha1HexOpenssl(const fs::path& fichero) {
    std::string r = ejecutar("openssl dgst -sha1 -r " + comillasShell(fichero)).texto;
    r.resize(40);
    for (char& c : r)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::string verificarFicheroFirma(const fs::path& ficheroFirma, const fs::path& factura,
                                  const fs::path& carpeta) {
    const auto lineas = lineasFirma(leerTodo(ficheroFirma));
    if (lineas.size() != 9)
        return {};
    const std::string& b64 = lineas[7];
    std::string der(b64.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(der.data()),
                                  reinterpret_cast<const unsigned char*>(b64.data()),
                                  static_cast<int>(b64.size()));
    if (n < 0)
        return {};
    der.resize(static_cast<std::size_t>(n) - (b64.ends_with("==")  ? 2
                                              : b64.ends_with("=") ? 1
                                                                   : 0));
    return verificarConOpenssl(der, sha1HexOpenssl(factura), carpeta);
}

} // namespace morvelin::pruebas
