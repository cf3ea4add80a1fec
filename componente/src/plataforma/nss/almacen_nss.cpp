#include "plataforma/nss/almacen_nss.h"

#include "plataforma/openssl/almacen.h"
#include "plataforma/openssl/contexto.h"

#include <cert.h>
#include <cryptohi.h>
#include <keyhi.h>
#include <nss.h>
#include <pk11pub.h>
#include <secmod.h>

#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

namespace morvelin::plataforma::nss {

namespace {

namespace fs = std::filesystem;

bool existeBase(const std::string& carpeta) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(carpeta) / "cert9.db", ec);
}

// Una sección de profiles.ini: sus claves y valores.
using Seccion = std::map<std::string, std::string>;

std::vector<std::pair<std::string, Seccion>> leerIni(const fs::path& ruta) {
    std::vector<std::pair<std::string, Seccion>> secciones;
    std::ifstream f(ruta);
    std::string linea;
    while (std::getline(f, linea)) {
        if (!linea.empty() && linea.back() == '\r')
            linea.pop_back();
        if (linea.size() > 2 && linea.front() == '[' && linea.back() == ']') {
            secciones.emplace_back(linea.substr(1, linea.size() - 2), Seccion{});
        } else if (const auto igual = linea.find('=');
                   igual != std::string::npos && !secciones.empty()) {
            secciones.back().second[linea.substr(0, igual)] = linea.substr(igual + 1);
        }
    }
    return secciones;
}

// Los perfiles de un programa que nombra su profiles.ini: primero el predeterminado de la
// instalación ([Install...] Default=), luego el marcado Default=1, luego los demás en su orden.
void anadirPerfiles(const fs::path& carpeta, const std::string& programa,
                    std::vector<Base>& bases) {
    const auto secciones = leerIni(carpeta / "profiles.ini");
    std::set<std::string> predeterminados;
    for (const auto& [nombre, claves] : secciones)
        if (nombre.starts_with("Install") && claves.count("Default"))
            predeterminados.insert(claves.at("Default"));
    struct Perfil {
        int prioridad;
        std::size_t orden;
        Base base;
    };
    std::vector<Perfil> perfiles;
    for (std::size_t i = 0; i < secciones.size(); ++i) {
        const auto& [nombre, claves] = secciones[i];
        if (!nombre.starts_with("Profile") || !claves.count("Path"))
            continue;
        const std::string& ruta = claves.at("Path");
        const bool relativa = !claves.count("IsRelative") || claves.at("IsRelative") != "0";
        const std::string completa = relativa ? (carpeta / ruta).string() : ruta;
        const int prioridad = predeterminados.count(ruta)                              ? 0
                              : claves.count("Default") && claves.at("Default") == "1" ? 1
                                                                                       : 2;
        const std::string nombrePerfil = claves.count("Name") ? claves.at("Name") : ruta;
        perfiles.push_back(
            {prioridad, i, {completa, "perfil de " + programa + " «" + nombrePerfil + "»"}});
    }
    std::stable_sort(perfiles.begin(), perfiles.end(),
                     [](const Perfil& a, const Perfil& b) { return a.prioridad < b.prioridad; });
    for (auto& p : perfiles)
        if (existeBase(p.base.carpeta))
            bases.push_back(std::move(p.base));
}

// El contexto de NSS del componente: uno por proceso mientras alguien lo use, sin base de datos
// propia ni módulos; no cambia la configuración de quien ya use NSS en el proceso.
class SesionNss {
public:
    static std::shared_ptr<SesionNss> obtener() {
        static std::mutex m;
        static std::weak_ptr<SesionNss> actual;
        std::lock_guard l(m);
        auto s = actual.lock();
        if (!s) {
            NSSInitParameters parametros{};
            parametros.length = sizeof parametros;
            NSSInitContext* ctx = NSS_InitContext("", "", "", "", &parametros,
                                                  NSS_INIT_READONLY | NSS_INIT_NOCERTDB |
                                                      NSS_INIT_NOMODDB | NSS_INIT_FORCEOPEN |
                                                      NSS_INIT_NOROOTINIT | NSS_INIT_OPTIMIZESPACE);
            if (ctx == nullptr)
                return nullptr;
            s = std::shared_ptr<SesionNss>(new SesionNss(ctx));
            actual = s;
        }
        return s;
    }
    ~SesionNss() { NSS_ShutdownContext(ctx_); }

private:
    explicit SesionNss(NSSInitContext* ctx) : ctx_(ctx) {}
    NSSInitContext* ctx_;
};

// Una base abierta (una ranura de NSS) mientras viva.
class RanuraNss {
public:
    RanuraNss(std::shared_ptr<SesionNss> sesion, PK11SlotInfo* ranura)
        : sesion_(std::move(sesion)), ranura_(ranura) {}
    ~RanuraNss() {
        SECMOD_CloseUserDB(ranura_);
        PK11_FreeSlot(ranura_);
    }
    PK11SlotInfo* get() const { return ranura_; }

private:
    std::shared_ptr<SesionNss> sesion_; // se cierra después de la ranura
    PK11SlotInfo* ranura_;
};

struct LiberarCertNss {
    void operator()(CERTCertificate* c) const { CERT_DestroyCertificate(c); }
};
using CertNss = std::unique_ptr<CERTCertificate, LiberarCertNss>;
struct LiberarClaveNss {
    void operator()(SECKEYPrivateKey* k) const { SECKEY_DestroyPrivateKey(k); }
};
using ClaveNss = std::unique_ptr<SECKEYPrivateKey, LiberarClaveNss>;

openssl::X509Propio comoX509(const CERTCertificate* c) {
    const auto* p = c->derCert.data;
    return openssl::X509Propio(d2i_X509(nullptr, &p, static_cast<long>(c->derCert.len)));
}

class CertificadoNss : public Certificado {
public:
    CertificadoNss(std::shared_ptr<RanuraNss> ranura, CertNss certificado, openssl::X509Propio x)
        : ranura_(std::move(ranura)), certificado_(std::move(certificado)), x509_(std::move(x)) {}

    std::string textoSujeto() const override { return openssl::textoSujeto(x509_.get()); }

    std::optional<std::string> firmarDesprendida(std::string_view contenido) const override {
        // Sin PIN: una base con contraseña no deja ver su clave y no se firma.
        const ClaveNss clave(PK11_FindKeyByAnyCert(certificado_.get(), nullptr));
        if (!clave)
            return std::nullopt;
        const SECOidTag algoritmo =
            SEC_GetSignatureAlgorithmOidTag(SECKEY_GetPrivateKeyType(clave.get()), SEC_OID_SHA1);
        if (algoritmo == SEC_OID_UNKNOWN)
            return std::nullopt;
        openssl::EnContextoPrivado en;
        if (!en.valido())
            return std::nullopt;
        return openssl::ensamblarPkcs7(
            x509_.get(), contenido, [&](std::string_view datos) -> std::optional<std::string> {
                SECItem firma{siBuffer, nullptr, 0};
                if (SEC_SignData(&firma, reinterpret_cast<const unsigned char*>(datos.data()),
                                 static_cast<int>(datos.size()), clave.get(),
                                 algoritmo) != SECSuccess)
                    return std::nullopt;
                std::string r(reinterpret_cast<char*>(firma.data), firma.len);
                SECITEM_FreeItem(&firma, PR_FALSE);
                return r;
            });
    }

private:
    std::shared_ptr<RanuraNss> ranura_;
    CertNss certificado_;
    openssl::X509Propio x509_;
};

// Los certificados de la base, por orden de apodo (y de DER entre los del mismo apodo).
struct EntradaNss {
    std::string apodo;
    CertNss certificado;
    openssl::X509Propio x509;
};

std::vector<EntradaNss> certificadosDe(PK11SlotInfo* ranura) {
    std::vector<EntradaNss> entradas;
    CERTCertList* lista = PK11_ListCertsInSlot(ranura);
    if (lista == nullptr)
        return entradas;
    const std::string prefijo = std::string(PK11_GetTokenName(ranura)) + ":";
    for (CERTCertListNode* n = CERT_LIST_HEAD(lista); !CERT_LIST_END(n, lista);
         n = CERT_LIST_NEXT(n)) {
        auto x = comoX509(n->cert);
        if (!x)
            continue;
        const char* apodo = n->cert->nickname ? n->cert->nickname
                            : n->appData      ? static_cast<const char*>(n->appData)
                                              : "";
        // El apodo sin el nombre de la base delante ("MORVELIN 1:Eva" es "Eva").
        std::string nombre = apodo;
        if (nombre.starts_with(prefijo))
            nombre.erase(0, prefijo.size());
        entradas.push_back({nombre, CertNss(CERT_DupCertificate(n->cert)), std::move(x)});
    }
    CERT_DestroyCertList(lista);
    const auto der = [](const EntradaNss& e) {
        return std::string_view(reinterpret_cast<const char*>(e.certificado->derCert.data),
                                e.certificado->derCert.len);
    };
    std::sort(entradas.begin(), entradas.end(), [&](const EntradaNss& a, const EntradaNss& b) {
        return a.apodo != b.apodo ? a.apodo < b.apodo : der(a) < der(b);
    });
    return entradas;
}

class AlmacenNss : public AlmacenCertificados {
public:
    AlmacenNss(Base base, std::shared_ptr<RanuraNss> ranura)
        : base_(std::move(base)), ranura_(std::move(ranura)) {}

    std::unique_ptr<Certificado> buscarPorSujeto(const std::string& texto) override {
        for (auto& e : certificadosDe(ranura_->get()))
            if (openssl::sujetoContiene(e.x509.get(), texto))
                return std::make_unique<CertificadoNss>(ranura_, std::move(e.certificado),
                                                        std::move(e.x509));
        return nullptr;
    }

    std::vector<ListadoAlmacen> listar() override {
        ListadoAlmacen l;
        l.clase = "NSS";
        l.donde = base_.carpeta + ", " + base_.origen;
        if (PK11_NeedLogin(ranura_->get()) && !PK11_IsLoggedIn(ranura_->get(), nullptr))
            l.nota = "tiene contraseña: sus claves no se ven sin ella";
        openssl::EnContextoPrivado en;
        for (auto& e : certificadosDe(ranura_->get())) {
            const ClaveNss clave(PK11_FindKeyByAnyCert(e.certificado.get(), nullptr));
            FichaCertificado f = openssl::fichaDe(e.x509.get(), clave != nullptr);
            f.donde = e.apodo;
            l.certificados.push_back(std::move(f));
        }
        return {std::move(l)};
    }

private:
    Base base_;
    std::shared_ptr<RanuraNss> ranura_;
};

class BaseSinAbrir : public AlmacenCertificados {
public:
    explicit BaseSinAbrir(Base base) : base_(std::move(base)) {}
    std::unique_ptr<Certificado> buscarPorSujeto(const std::string&) override { return nullptr; }
    std::vector<ListadoAlmacen> listar() override {
        ListadoAlmacen l;
        l.clase = "NSS";
        l.donde = base_.carpeta + ", " + base_.origen;
        l.estado = "no se puede abrir";
        return {std::move(l)};
    }

private:
    Base base_;
};

} // namespace

std::vector<Base> basesDelUsuario() {
    std::vector<Base> bases;
    if (const char* propia = std::getenv("MORVELIN_NSSDB"); propia && *propia) {
        std::string carpeta = propia;
        if (carpeta.starts_with("sql:"))
            carpeta.erase(0, 4);
        if (existeBase(carpeta))
            bases.push_back({carpeta, "MORVELIN_NSSDB"});
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return bases;
    const fs::path casa = home;
    if (existeBase((casa / ".pki/nssdb").string()))
        bases.push_back({(casa / ".pki/nssdb").string(), "compartida del usuario"});
    anadirPerfiles(casa / ".mozilla/firefox", "Firefox", bases);
    anadirPerfiles(casa / ".thunderbird", "Thunderbird", bases);
    // La misma base por dos caminos se mira una vez.
    std::vector<Base> unicas;
    std::set<std::string> vistas;
    for (auto& b : bases) {
        std::error_code ec;
        const auto canonica = fs::weakly_canonical(b.carpeta, ec).string();
        if (vistas.insert(ec ? b.carpeta : canonica).second)
            unicas.push_back(std::move(b));
    }
    return unicas;
}

std::unique_ptr<AlmacenCertificados> baseSinAbrir(const Base& base) {
    return std::make_unique<BaseSinAbrir>(base);
}

std::unique_ptr<AlmacenCertificados> abrirBase(const Base& base) {
    // La carpeta va entre comillas simples en la especificación del módulo.
    if (base.carpeta.find('\'') != std::string::npos)
        return nullptr;
    auto sesion = SesionNss::obtener();
    if (!sesion)
        return nullptr;
    static std::atomic<unsigned> contador{0};
    const std::string especificacion = "configdir='sql:" + base.carpeta +
                                       "' tokenDescription='MORVELIN " +
                                       std::to_string(++contador) + "' flags=readOnly";
    PK11SlotInfo* ranura = SECMOD_OpenUserDB(especificacion.c_str());
    if (ranura == nullptr)
        return nullptr;
    return std::make_unique<AlmacenNss>(base,
                                        std::make_shared<RanuraNss>(std::move(sesion), ranura));
}

} // namespace morvelin::plataforma::nss
