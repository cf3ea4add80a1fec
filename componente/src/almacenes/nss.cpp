#include "almacenes/nss.h"

#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/firma_clave.h"
#include "plataforma/openssl/x509.h"
#include "plataforma/pin.h"

#include <cert.h>
#include <cryptohi.h>
#include <keyhi.h>
#include <nss.h>
#include <pk11pub.h>
#include <secmod.h>

#include <algorithm>
#include <mutex>

namespace morvelin::almacenes {

std::shared_ptr<SesionNss> SesionNss::obtener() {
    // Arrancar NSS cuesta milisegundos (carga su módulo interno): una vez arrancado, queda
    // hasta el final del proceso, sin cerrarse al salir (quien lo use a la vez puede cerrarlo
    // antes).
    static std::mutex m;
    static auto* actual = new std::shared_ptr<SesionNss>();
    std::lock_guard l(m);
    if (!*actual) {
        NSSInitParameters parametros{};
        parametros.length = sizeof parametros;
        NSSInitContext* ctx =
            NSS_InitContext("", "", "", "", &parametros,
                            NSS_INIT_READONLY | NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB |
                                NSS_INIT_FORCEOPEN | NSS_INIT_NOROOTINIT | NSS_INIT_OPTIMIZESPACE);
        if (ctx == nullptr)
            return nullptr;
        *actual = std::shared_ptr<SesionNss>(new SesionNss(ctx));
    }
    return *actual;
}

SesionNss::~SesionNss() {
    NSS_ShutdownContext(ctx_);
}

RanuraNss::RanuraNss(std::shared_ptr<void> dueno, PK11SlotInfo* ranura, bool baseDeDatos)
    : dueno_(std::move(dueno)), ranura_(ranura), baseDeDatos_(baseDeDatos) {}

RanuraNss::~RanuraNss() {
    if (baseDeDatos_)
        SECMOD_CloseUserDB(ranura_);
    PK11_FreeSlot(ranura_);
}

bool RanuraNss::cerrada() const {
    return PK11_NeedLogin(ranura_) && !PK11_IsLoggedIn(ranura_, nullptr);
}

bool RanuraNss::bloqueada() const {
    CK_TOKEN_INFO info{};
    return PK11_GetTokenInfo(ranura_, &info) == SECSuccess && (info.flags & CKF_USER_PIN_LOCKED);
}

namespace {

namespace ossl = plataforma::openssl;
using plataforma::PeticionPin;
using plataforma::RespuestaPin;
using plataforma::Secreto;

struct LiberarCertNss {
    void operator()(CERTCertificate* c) const { CERT_DestroyCertificate(c); }
};
using CertNss = std::unique_ptr<CERTCertificate, LiberarCertNss>;
struct LiberarClaveNss {
    void operator()(SECKEYPrivateKey* k) const { SECKEY_DestroyPrivateKey(k); }
};
using ClaveNss = std::unique_ptr<SECKEYPrivateKey, LiberarClaveNss>;

ossl::X509Propio comoX509(const CERTCertificate* c) {
    return ossl::certificadoDeDer(
        std::string_view(reinterpret_cast<const char*>(c->derCert.data), c->derCert.len));
}

// Da el PIN o la contraseña a la ranura, pidiéndolo con pinentry. Una tarjeta bloqueada, un
// diálogo cancelado o un PIN que no vale terminan en false; no se vuelve a pedir (cada intento
// fallido acerca el bloqueo de la tarjeta).
bool entrarEnRanura(const RanuraNss& r, const DatosRanura& datos, X509* x, std::string_view para) {
    PK11SlotInfo* ranura = r.get();
    if (r.bloqueada())
        return false;
    if (PK11_ProtectedAuthenticationPath(ranura)) // el lector tiene su propio teclado
        return PK11_CheckUserPassword(ranura, "") == SECSuccess;
    CK_TOKEN_INFO info{};
    PK11_GetTokenInfo(ranura, &info);
    // El nombre común y la tarjeta o la base vienen de fuera: en una línea y acotados, no dan
    // forma al diálogo.
    PeticionPin p;
    const std::string cn = plataforma::valorParaDialogo(ossl::nombreComun(x), 100);
    const std::string guardian = plataforma::valorParaDialogo(datos.guardian, 200);
    const std::string uso = std::string(para) + (cn.empty() ? "" : " como «" + cn + "»");
    if (datos.tarjeta) {
        p.descripcion = "Introduzca el PIN de la tarjeta «" + guardian + "» " + uso + ".";
    } else {
        p.descripcion =
            "Introduzca la contraseña de la base de certificados " + guardian + " " + uso + ".";
        p.indicacion = "Contraseña:";
    }
    if (info.flags & CKF_USER_PIN_FINAL_TRY)
        p.aviso = "Último intento: si el PIN no es correcto, la tarjeta se bloqueará.";
    else if (info.flags & CKF_USER_PIN_COUNT_LOW)
        p.aviso = "El PIN ya ha fallado antes: quedan pocos intentos antes de que se bloquee.";
    Secreto pin;
    if (datos.pedirPin(p, pin) != RespuestaPin::Dado)
        return false;
    return PK11_CheckUserPassword(ranura, pin.c_str()) == SECSuccess;
}

SECOidTag oidResumen(plataforma::ResumenFirma resumen) {
    switch (resumen) {
    case plataforma::ResumenFirma::Sha1:
        return SEC_OID_SHA1;
    case plataforma::ResumenFirma::Sha256:
        return SEC_OID_SHA256;
    case plataforma::ResumenFirma::Sha384:
        return SEC_OID_SHA384;
    case plataforma::ResumenFirma::Sha512:
        return SEC_OID_SHA512;
    }
    return SEC_OID_UNKNOWN;
}

// El resumen y la función de máscara de PKCS #11 para RSA-PSS.
std::pair<CK_MECHANISM_TYPE, CK_RSA_PKCS_MGF_TYPE> mecanismoPss(plataforma::ResumenFirma resumen) {
    switch (resumen) {
    case plataforma::ResumenFirma::Sha1:
        return {CKM_SHA_1, CKG_MGF1_SHA1};
    case plataforma::ResumenFirma::Sha256:
        return {CKM_SHA256, CKG_MGF1_SHA256};
    case plataforma::ResumenFirma::Sha384:
        return {CKM_SHA384, CKG_MGF1_SHA384};
    case plataforma::ResumenFirma::Sha512:
        return {CKM_SHA512, CKG_MGF1_SHA512};
    }
    return {CKM_SHA256, CKG_MGF1_SHA256};
}

// Un SECItem que NSS ha llenado, como texto.
std::optional<std::string> textoDe(SECItem& firma, SECStatus estado) {
    std::optional<std::string> r;
    if (estado == SECSuccess)
        r.emplace(reinterpret_cast<char*>(firma.data), firma.len);
    SECITEM_FreeItem(&firma, PR_FALSE);
    return r;
}

// La firma de `resumen` con la clave de la ranura: PKCS #1 con SGN_Digest, que pone el
// DigestInfo; ECDSA, r y s de PKCS #11 en DER; PSS, con su mecanismo de PKCS #11.
std::optional<std::string> firmarConClave(SECKEYPrivateKey* clave,
                                          const plataforma::AlgoritmoFirma& algoritmo,
                                          const std::string& resumen) {
    using Esquema = plataforma::AlgoritmoFirma::Esquema;
    const KeyType tipo = SECKEY_GetPrivateKeyType(clave);
    if (tipo != (algoritmo.esquema == Esquema::Ecdsa ? ecKey : rsaKey))
        return std::nullopt;
    SECItem datos{siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>(resumen.data())),
                  static_cast<unsigned>(resumen.size())};
    SECItem firma{siBuffer, nullptr, 0};
    if (algoritmo.esquema == Esquema::Pkcs1)
        return textoDe(firma, SGN_Digest(clave, oidResumen(algoritmo.resumen), &firma, &datos));
    const int largo = PK11_SignatureLen(clave);
    if (largo <= 0 || SECITEM_AllocItem(nullptr, &firma, static_cast<unsigned>(largo)) == nullptr)
        return std::nullopt;
    if (algoritmo.esquema == Esquema::Ecdsa) {
        if (PK11_Sign(clave, &firma, &datos) != SECSuccess)
            return textoDe(firma, SECFailure);
        SECItem der{siBuffer, nullptr, 0};
        const SECStatus estado = DSAU_EncodeDerSigWithLen(&der, &firma, firma.len);
        SECITEM_FreeItem(&firma, PR_FALSE);
        return textoDe(der, estado);
    }
    const auto [hash, mgf] = mecanismoPss(algoritmo.resumen);
    CK_RSA_PKCS_PSS_PARAMS pss{hash, mgf, static_cast<CK_ULONG>(resumen.size())};
    SECItem parametros{siBuffer, reinterpret_cast<unsigned char*>(&pss), sizeof pss};
    return textoDe(firma,
                   PK11_SignWithMechanism(clave, CKM_RSA_PKCS_PSS, &parametros, &firma, &datos));
}

class CertificadoNss : public CertificadoDeAlmacen {
public:
    CertificadoNss(std::shared_ptr<RanuraNss> ranura, CertNss certificado, ossl::X509Propio x,
                   DatosRanura datos)
        : CertificadoDeAlmacen(std::move(x)), ranura_(std::move(ranura)),
          certificado_(std::move(certificado)), datos_(std::move(datos)) {}

    // La sesión abierta con el PIN se cierra con el certificado.
    ~CertificadoNss() override {
        if (entrada_ == Entrada::Dentro)
            PK11_Logout(ranura_->get());
    }

    std::optional<std::string> firmar(const plataforma::AlgoritmoFirma& algoritmo,
                                      std::string_view datos,
                                      std::string_view para) const override {
        const auto resumen = ossl::resumenAFirmar(algoritmo, datos);
        const std::lock_guard bloqueo(cerrojo_);
        if (!resumen || !entrar(para))
            return std::nullopt;
        if (!clave_)
            clave_.reset(PK11_FindPrivateKeyFromCert(ranura_->get(), certificado_.get(), nullptr));
        if (!clave_)
            return std::nullopt;
        return firmarConClave(clave_.get(), algoritmo, *resumen);
    }

private:
    enum class Entrada { SinPin, Dentro, Rechazada };

    // Da el PIN o la contraseña si la ranura lo pide, una sola vez: la respuesta vale para las
    // firmas siguientes de este certificado, también si no se ha dado.
    bool entrar(std::string_view para) const {
        if (entrada_ == Entrada::Rechazada)
            return false;
        if (entrada_ == Entrada::Dentro || !ranura_->cerrada())
            return true;
        const bool dentro = entrarEnRanura(*ranura_, datos_, x509(), para);
        entrada_ = dentro ? Entrada::Dentro : Entrada::Rechazada;
        return dentro;
    }

    std::shared_ptr<RanuraNss> ranura_;
    CertNss certificado_;
    DatosRanura datos_;
    mutable std::mutex cerrojo_;
    mutable Entrada entrada_ = Entrada::SinPin;
    mutable ClaveNss clave_;
};

// Los certificados de la ranura, por orden de apodo (y de DER entre los del mismo apodo).
struct EntradaNss {
    std::string apodo;
    CertNss certificado;
    ossl::X509Propio x509;
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
        // El apodo sin el nombre de la ranura delante ("MORVELIN 1:Eva" es "Eva").
        std::string nombre = apodo;
        if (nombre.starts_with(prefijo))
            nombre.erase(0, prefijo.size());
        if (nombre.empty() || nombre == PK11_GetTokenName(ranura))
            nombre = "(sin etiqueta)";
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

class AlmacenRanura : public Almacen {
public:
    AlmacenRanura(std::shared_ptr<RanuraNss> ranura, DatosRanura datos)
        : ranura_(std::move(ranura)), datos_(std::move(datos)) {}

    AlmacenCandidatos candidatos() override {
        entradas_ = certificadosDe(ranura_->get());
        AlmacenCandidatos a{datos_.tarjeta, {}};
        for (const EntradaNss& e : entradas_)
            a.certificados.push_back(candidatoDe(e.x509.get()));
        return a;
    }

    std::unique_ptr<plataforma::Certificado> certificado(std::size_t i) override {
        if (i >= entradas_.size() || !entradas_[i].certificado)
            return nullptr;
        return std::make_unique<CertificadoNss>(ranura_, std::move(entradas_[i].certificado),
                                                std::move(entradas_[i].x509), datos_);
    }

    ListadoAlmacen listar() override {
        ListadoAlmacen l;
        l.clase = datos_.tarjeta ? "PKCS #11" : "NSS";
        l.donde = datos_.donde;
        l.prefiereNoRepudio = datos_.tarjeta;
        const bool cerrada = ranura_->cerrada();
        if (datos_.tarjeta && ranura_->bloqueada())
            l.nota = "el PIN está bloqueado: no se puede firmar con ella";
        else if (cerrada)
            l.nota = datos_.tarjeta
                         ? "con PIN: sus claves no se ven sin él, y FIRMA lo pide con pinentry"
                         : "tiene contraseña: sus claves no se ven sin ella, y FIRMA la pide";
        ossl::EnContextoPrivado en;
        // Lo listado es también lo que certificado() da después.
        entradas_ = certificadosDe(ranura_->get());
        for (const EntradaNss& e : entradas_) {
            // En una ranura cerrada, buscar la clave pediría entrar: no se mira.
            const ClaveNss clave(cerrada ? nullptr
                                         : PK11_FindKeyByAnyCert(e.certificado.get(), nullptr));
            FichaCertificado f = fichaDe(e.x509.get(), clave != nullptr);
            f.claveTrasPin = cerrada;
            f.donde = e.apodo;
            l.certificados.push_back(std::move(f));
        }
        return l;
    }

private:
    std::shared_ptr<RanuraNss> ranura_;
    DatosRanura datos_;
    std::vector<EntradaNss> entradas_; // las de la última llamada a candidatos() o listar()
};

} // namespace

std::unique_ptr<Almacen> almacenDeRanura(std::shared_ptr<RanuraNss> ranura, DatosRanura datos) {
    return std::make_unique<AlmacenRanura>(std::move(ranura), std::move(datos));
}

} // namespace morvelin::almacenes
