// Los servicios criptográficos de la firma con los de Windows (crypt32 y advapi32): el almacén
// personal "MY", la búsqueda por el sujeto, los atributos del sujeto, el SHA-1 y
// la firma PKCS #7 desprendida con CryptSignMessage. Los textos van en la página de códigos del
// sistema, como todas las cadenas del componente en Windows.
#include "plataforma/criptografia.h"

#include "infraestructura/codificacion.h"
#include "windows_comun.h"

#include <wincrypt.h>

#include <algorithm>
#include <vector>

namespace morvelin::plataforma {

namespace {

constexpr DWORD Codificaciones = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr std::size_t TrozoResumen = std::size_t{1} << 30;

/// Proveedor por omisión de tipo PROV_RSA_FULL. Si el contenedor de claves por omisión no
/// existe, se crea con `alCrear`. 0 si no se consigue.
HCRYPTPROV proveedor(DWORD alCrear) {
    HCRYPTPROV p = 0;
    if (CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, 0))
        return p;
    if (GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET) &&
        CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, alCrear))
        return p;
    return 0;
}

/// CryptEncodeObject en sus dos llamadas: tamaño y valor. Vacío si falla.
std::vector<BYTE> codificar(LPCSTR tipo, const void* estructura) {
    DWORD n = 0;
    if (!CryptEncodeObject(Codificaciones, tipo, estructura, nullptr, &n) || n == 0)
        return {};
    std::vector<BYTE> v(n);
    if (!CryptEncodeObject(Codificaciones, tipo, estructura, v.data(), &n))
        return {};
    v.resize(n);
    return v;
}

class CertificadoWindows final : public Certificado {
public:
    explicit CertificadoWindows(PCCERT_CONTEXT contexto) : contexto_(contexto) {}
    CertificadoWindows(const CertificadoWindows&) = delete;
    CertificadoWindows& operator=(const CertificadoWindows&) = delete;
    ~CertificadoWindows() override { CertFreeCertificateContext(contexto_); }

    AtributosSujeto atributosSujeto() const override {
        // Cada atributo del nombre descodificado, con su valor en la página de códigos del
        // sistema (CertRDNValueToStrA) y las comillas con que se presenta en el sujeto.
        const CERT_NAME_BLOB& sujeto = contexto_->pCertInfo->Subject;
        CERT_NAME_INFO* nombre = nullptr;
        DWORD n = 0;
        if (!CryptDecodeObjectEx(Codificaciones, X509_NAME, sujeto.pbData, sujeto.cbData,
                                 CRYPT_DECODE_ALLOC_FLAG, nullptr, &nombre, &n))
            return {};
        AtributosSujeto atributos;
        for (DWORD i = 0; i < nombre->cRDN; ++i) {
            for (DWORD j = 0; j < nombre->rgRDN[i].cRDNAttr; ++j) {
                CERT_RDN_ATTR& a = nombre->rgRDN[i].rgRDNAttr[j];
                // Primera llamada: el tamaño con el cero final; segunda: el texto.
                DWORD largo = CertRDNValueToStrA(a.dwValueType, &a.Value, nullptr, 0);
                std::string valor(largo, '\0');
                if (largo > 0)
                    largo = CertRDNValueToStrA(a.dwValueType, &a.Value, valor.data(), largo);
                valor.resize(largo > 0 ? largo - 1 : 0);
                atributos.push_back({a.pszObjId ? a.pszObjId : "", valorEntrecomillado(valor)});
            }
        }
        LocalFree(nombre);
        return atributos;
    }

    std::string der() const override {
        return std::string(reinterpret_cast<const char*>(contexto_->pbCertEncoded),
                           contexto_->cbCertEncoded);
    }

    // En Windows el componente solo firma facturas (firmarDesprendida): lo demás que firma con
    // el certificado (los registros de facturación) no va en el DLL.
    std::optional<std::string> firmar(const AlgoritmoFirma&, std::string_view,
                                      std::string_view) const override {
        return std::nullopt;
    }

    std::optional<std::string> firmarDesprendida(std::string_view contenido) const override {
        FILETIME ahora;
        GetSystemTimeAsFileTime(&ahora);
        std::vector<BYTE> hora = codificar(PKCS_UTC_TIME, &ahora);
        // Una capacidad S/MIME: RC2-CBC con clave de 40 bits (el entero DER 40).
        BYTE cuarenta[] = {0x02, 0x01, 0x28};
        CRYPT_SMIME_CAPABILITY capacidad{const_cast<LPSTR>(szOID_RSA_RC2CBC),
                                         {sizeof cuarenta, cuarenta}};
        CRYPT_SMIME_CAPABILITIES capacidades{1, &capacidad};
        std::vector<BYTE> smime = codificar(PKCS_SMIME_CAPABILITIES, &capacidades);
        if (hora.empty() || smime.empty())
            return std::nullopt;

        CRYPT_ATTR_BLOB valorHora{static_cast<DWORD>(hora.size()), hora.data()};
        CRYPT_ATTR_BLOB valorSmime{static_cast<DWORD>(smime.size()), smime.data()};
        CRYPT_ATTRIBUTE atributos[] = {
            {const_cast<LPSTR>(szOID_RSA_signingTime), 1, &valorHora},
            {const_cast<LPSTR>(szOID_RSA_SMIMECapabilities), 1, &valorSmime},
        };
        PCCERT_CONTEXT certificados[] = {contexto_};
        CRYPT_SIGN_MESSAGE_PARA p{};
        p.cbSize = sizeof p;
        p.dwMsgEncodingType = Codificaciones;
        p.pSigningCert = contexto_;
        p.HashAlgorithm.pszObjId = const_cast<LPSTR>(szOID_OIWSEC_sha1);
        p.cMsgCert = 1;
        p.rgpMsgCert = certificados;
        p.cAuthAttr = 2;
        p.rgAuthAttr = atributos;

        const BYTE* datos[] = {reinterpret_cast<const BYTE*>(contenido.data())};
        DWORD tamanos[] = {static_cast<DWORD>(contenido.size())};
        DWORD n = 0;
        if (!CryptSignMessage(&p, TRUE, 1, datos, tamanos, nullptr, &n))
            return std::nullopt;
        std::string firma(n, '\0');
        if (!CryptSignMessage(&p, TRUE, 1, datos, tamanos, reinterpret_cast<BYTE*>(firma.data()),
                              &n))
            return std::nullopt;
        firma.resize(n);
        return firma;
    }

private:
    PCCERT_CONTEXT contexto_;
};

class AlmacenWindows final : public AlmacenCertificados {
public:
    explicit AlmacenWindows(HCERTSTORE almacen) : almacen_(almacen) {}
    AlmacenWindows(const AlmacenWindows&) = delete;
    AlmacenWindows& operator=(const AlmacenWindows&) = delete;
    // Al cerrarse, el almacén suelta también el proveedor con el que se abrió.
    ~AlmacenWindows() override { CertCloseStore(almacen_, 0); }

    std::unique_ptr<Certificado> buscar(const std::string& texto) override {
        const std::wstring buscado = windows::ancha(texto);
        PCCERT_CONTEXT hallado = CertFindCertificateInStore(
            almacen_, Codificaciones, 0, CERT_FIND_SUBJECT_STR_W, buscado.c_str(), nullptr);
        if (hallado == nullptr)
            return nullptr;
        // Una referencia propia, independiente de la búsqueda.
        PCCERT_CONTEXT propio = CertDuplicateCertificateContext(hallado);
        CertFreeCertificateContext(hallado);
        return std::make_unique<CertificadoWindows>(propio);
    }

private:
    HCERTSTORE almacen_;
};

class CalculoSha1Windows final : public CalculoSha1 {
public:
    CalculoSha1Windows(HCRYPTPROV proveedor, HCRYPTHASH hash)
        : proveedor_(proveedor), hash_(hash) {}
    CalculoSha1Windows(const CalculoSha1Windows&) = delete;
    CalculoSha1Windows& operator=(const CalculoSha1Windows&) = delete;
    ~CalculoSha1Windows() override {
        CryptDestroyHash(hash_);
        CryptReleaseContext(proveedor_, 0);
    }

    bool anadir(std::string_view datos) override {
        // CryptHashData toma la longitud como DWORD: lo que pase de 1 GiB va en varias veces.
        do {
            const std::size_t n = std::min(TrozoResumen, datos.size());
            if (!CryptHashData(hash_, reinterpret_cast<const BYTE*>(datos.data()),
                               static_cast<DWORD>(n), 0))
                return false;
            datos.remove_prefix(n);
        } while (!datos.empty());
        return true;
    }

    std::optional<ResumenSha1> terminar() override {
        DWORD tamano = 0, largo = sizeof tamano;
        ResumenSha1 valor{};
        DWORD largoValor = valor.size();
        if (!CryptGetHashParam(hash_, HP_HASHSIZE, reinterpret_cast<BYTE*>(&tamano), &largo, 0) ||
            tamano != valor.size() ||
            !CryptGetHashParam(hash_, HP_HASHVAL, valor.data(), &largoValor, 0))
            return std::nullopt;
        return valor;
    }

private:
    HCRYPTPROV proveedor_;
    HCRYPTHASH hash_;
};

} // namespace

std::unique_ptr<AlmacenCertificados> abrirAlmacenPersonal() {
    // Sin contenedor por omisión se crea uno de máquina; si tampoco se puede, el almacén se abre
    // con el proveedor por omisión del sistema.
    const HCRYPTPROV p = proveedor(CRYPT_NEWKEYSET | CRYPT_MACHINE_KEYSET);
    HCERTSTORE almacen = CertOpenSystemStoreA(p, "MY");
    if (almacen == nullptr) {
        if (p)
            CryptReleaseContext(p, 0);
        return nullptr;
    }
    return std::make_unique<AlmacenWindows>(almacen);
}

std::unique_ptr<CalculoSha1> empezarSha1() {
    const HCRYPTPROV p = proveedor(CRYPT_NEWKEYSET);
    if (p == 0)
        return nullptr;
    HCRYPTHASH h = 0;
    if (!CryptCreateHash(p, CALG_SHA1, 0, 0, &h)) {
        CryptReleaseContext(p, 0);
        return nullptr;
    }
    return std::make_unique<CalculoSha1Windows>(p, h);
}

void borrarMemoria(void* p, std::size_t n) {
    SecureZeroMemory(p, n);
}

} // namespace morvelin::plataforma
