// El almacén personal de certificados y la firma PKCS #7 con OpenSSL.
#include "plataforma/openssl/almacen.h"

#include "plataforma/openssl/contexto.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace morvelin::plataforma::openssl {

void LiberarX509::operator()(X509* x) const {
    X509_free(x);
}

void LiberarClave::operator()(EVP_PKEY* k) const {
    EVP_PKEY_free(k);
}

namespace {

// Ninguna entrada del almacén es tan grande: un fichero mayor no se lee.
constexpr long TamanoMaximoEntrada = 4L << 20;

template <class T, void (*Liberar)(T*)> struct Liberador {
    void operator()(T* p) const { Liberar(p); }
};
using BioPropio = std::unique_ptr<BIO, Liberador<BIO, BIO_free_all>>;
using Pkcs12Propio = std::unique_ptr<PKCS12, Liberador<PKCS12, PKCS12_free>>;
using Pkcs7Propio = std::unique_ptr<PKCS7, Liberador<PKCS7, PKCS7_free>>;

// Las claves del almacén no llevan contraseña: nunca se pregunta en el terminal.
int sinContrasena(char*, int, int, void*) {
    return 0;
}

bool leerBytes(const std::string& ruta, std::string& bytes) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta.c_str(), "rb"),
                                                         &std::fclose);
    struct stat st {};
    if (!f || ::fstat(::fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > TamanoMaximoEntrada)
        return false;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f.get()));
    return !std::ferror(f.get());
}

BioPropio bioDe(const std::string& bytes) {
    return BioPropio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

std::string minusculas(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string extension(const std::string& nombre) {
    const auto p = nombre.rfind('.');
    return p == std::string::npos ? std::string() : minusculas(nombre.substr(p));
}

// Entre comillas si lleva separadores o blancos en los extremos; las comillas se duplican.
std::string entrecomillar(const std::string& v) {
    const bool blancoEnExtremo = !v.empty() && (v.front() == ' ' || v.front() == '\t' ||
                                                v.back() == ' ' || v.back() == '\t');
    if (!blancoEnExtremo && v.find_first_of(",+=\"<>#;\r\n") == std::string::npos)
        return v;
    std::string q = "\"";
    for (char c : v) {
        q += c;
        if (c == '"')
            q += '"';
    }
    return q + '"';
}

bool nombreContiene(const X509_NAME* nombre, const std::string& buscadoMinusculas) {
    for (int i = 0; i < X509_NAME_entry_count(nombre); ++i) {
        const ASN1_STRING* dato = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(nombre, i));
        if (minusculas(valorUtf8(dato)).find(buscadoMinusculas) != std::string::npos)
            return true;
    }
    return false;
}

// El sujeto de un certificado en DER, sin descodificar el resto: descodificar el certificado
// entero (su clave pública sobre todo) cuesta mucho más, y para buscar basta el sujeto.
// Certificate ::= SEQUENCE { tbsCertificate SEQUENCE { [0] version OPTIONAL, serialNumber,
// signature, issuer, validity, subject, ... }, ... }
using NombrePropio = std::unique_ptr<X509_NAME, Liberador<X509_NAME, X509_NAME_free>>;
NombrePropio sujetoDer(const std::string& der) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    const unsigned char* const fin = p + der.size();
    long largo = 0;
    int etiqueta = 0, clase = 0;
    const auto cabecera = [&] {
        if (p >= fin)
            return false;
        const int r = ASN1_get_object(&p, &largo, &etiqueta, &clase, fin - p);
        return (r & 0x80) == 0 && r != 0x21 && largo <= fin - p;
    };
    const auto saltar = [&] {
        if (!cabecera())
            return false;
        p += largo;
        return true;
    };
    // Entra en Certificate y en tbsCertificate.
    for (int i = 0; i < 2; ++i)
        if (!cabecera() || etiqueta != V_ASN1_SEQUENCE)
            return nullptr;
    // La versión es opcional ([0]).
    const unsigned char* const inicio = p;
    if (!cabecera())
        return nullptr;
    p = clase == V_ASN1_CONTEXT_SPECIFIC && etiqueta == 0 ? p + largo : inicio;
    // Serie, algoritmo de firma, emisor y validez.
    for (int i = 0; i < 4; ++i)
        if (!saltar())
            return nullptr;
    return NombrePropio(d2i_X509_NAME(nullptr, &p, fin - p));
}

// El DER del primer certificado de un fichero PEM, o el propio fichero si no es PEM.
std::string derDeCertificado(const std::string& bytes) {
    BioPropio b = bioDe(bytes);
    char* nombre = nullptr;
    char* cabeceras = nullptr;
    unsigned char* datos = nullptr;
    long n = 0;
    while (PEM_read_bio(b.get(), &nombre, &cabeceras, &datos, &n) == 1) {
        const bool esCertificado = std::string_view(nombre) == PEM_STRING_X509 ||
                                   std::string_view(nombre) == PEM_STRING_X509_OLD ||
                                   std::string_view(nombre) == PEM_STRING_X509_TRUSTED;
        std::string der(reinterpret_cast<char*>(datos), static_cast<std::size_t>(n));
        OPENSSL_free(nombre);
        OPENSSL_free(cabeceras);
        OPENSSL_free(datos);
        if (esCertificado)
            return der;
    }
    return bytes.find("-----BEGIN ") == std::string::npos ? bytes : std::string();
}

ClavePropia leerClave(const std::string& bytes) {
    ClavePropia clave(PEM_read_bio_PrivateKey(bioDe(bytes).get(), nullptr, sinContrasena, nullptr));
    if (!clave) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        clave.reset(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(bytes.size())));
    }
    return clave;
}

struct Entrada {
    X509Propio certificado;
    ClavePropia clave;
};

// Una entrada PKCS #12: certificado y clave, o nada si no se puede abrir sin contraseña.
Entrada cargarPkcs12(const std::string& bytes) {
    Entrada e;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    Pkcs12Propio p12(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
    EVP_PKEY* clave = nullptr;
    X509* certificado = nullptr;
    STACK_OF(X509)* cadena = nullptr;
    // Con "" valen tanto los ficheros sin contraseña como los de contraseña vacía.
    if (p12 && PKCS12_parse(p12.get(), "", &clave, &certificado, &cadena)) {
        e.certificado.reset(certificado);
        e.clave.reset(clave);
        sk_X509_pop_free(cadena, X509_free);
    }
    return e;
}

// Una entrada PEM o DER: el certificado y su clave, del mismo fichero PEM o del .key con el
// mismo nombre.
Entrada cargarCertificado(const std::string& carpeta, const std::string& nombre,
                          const std::string& bytes) {
    Entrada e;
    const std::string der = derDeCertificado(bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    e.certificado.reset(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (!e.certificado)
        return e;
    e.clave.reset(PEM_read_bio_PrivateKey(bioDe(bytes).get(), nullptr, sinContrasena, nullptr));
    if (!e.clave) {
        std::string bytesClave;
        if (leerBytes(carpeta + "/" + nombre.substr(0, nombre.rfind('.')) + ".key", bytesClave))
            e.clave = leerClave(bytesClave);
        borrarTexto(bytesClave); // la clave sin cifrar
    }
    return e;
}

class CertificadoOpenSsl : public Certificado {
public:
    CertificadoOpenSsl(X509Propio certificado, ClavePropia clave)
        : certificado_(std::move(certificado)), clave_(std::move(clave)) {}

    std::string textoSujeto() const override { return openssl::textoSujeto(certificado_.get()); }

    std::optional<std::string> firmarDesprendida(std::string_view contenido) const override;

private:
    X509Propio certificado_;
    ClavePropia clave_;
};

std::optional<std::string> CertificadoOpenSsl::firmarDesprendida(std::string_view contenido) const {
    EnContextoPrivado en;
    // Una clave que no es la del certificado daría una firma que nadie puede comprobar.
    if (!en.valido() || !clave_ || X509_check_private_key(certificado_.get(), clave_.get()) != 1)
        return std::nullopt;
    return ensamblarPkcs7(
        certificado_.get(), contenido, [&](std::string_view datos) -> std::optional<std::string> {
            std::unique_ptr<EVP_MD_CTX, Liberador<EVP_MD_CTX, EVP_MD_CTX_free>> ctx(
                EVP_MD_CTX_new());
            const auto* d = reinterpret_cast<const unsigned char*>(datos.data());
            std::size_t n = 0;
            if (!ctx ||
                EVP_DigestSignInit_ex(ctx.get(), nullptr, "SHA1", contextoPrivado(), nullptr,
                                      clave_.get(), nullptr) != 1 ||
                EVP_DigestSign(ctx.get(), nullptr, &n, d, datos.size()) != 1)
                return std::nullopt;
            std::string firma(n, '\0');
            if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(firma.data()), &n, d,
                               datos.size()) != 1)
                return std::nullopt;
            firma.resize(n);
            return firma;
        });
}

class AlmacenCarpeta : public AlmacenCertificados {
public:
    AlmacenCarpeta(std::string carpeta, std::vector<std::string> nombres)
        : carpeta_(std::move(carpeta)), nombres_(std::move(nombres)) {}

    std::unique_ptr<Certificado> buscarPorSujeto(const std::string& texto) override {
        EnContextoPrivado en;
        if (!en.valido())
            return nullptr;
        const std::string buscado = minusculas(texto);
        for (const std::string& nombre : nombres_) {
            // Las entradas llevan la clave sin cifrar: su copia en memoria se borra al pasar a
            // la siguiente o al volver.
            std::string bytes;
            BorrarAlSalir borrarBytes{bytes};
            if (!leerBytes(carpeta_ + "/" + nombre, bytes))
                continue;
            Entrada e;
            const std::string ext = extension(nombre);
            if (ext == ".p12" || ext == ".pfx") {
                e = cargarPkcs12(bytes);
                if (!e.certificado ||
                    !nombreContiene(X509_get_subject_name(e.certificado.get()), buscado))
                    continue;
            } else {
                // Primero solo el sujeto; el certificado y la clave, si es el buscado.
                const NombrePropio sujeto = sujetoDer(derDeCertificado(bytes));
                if (!sujeto || !nombreContiene(sujeto.get(), buscado))
                    continue;
                e = cargarCertificado(carpeta_, nombre, bytes);
                if (!e.certificado)
                    continue;
            }
            return envolverCertificado(std::move(e.certificado), std::move(e.clave));
        }
        return nullptr;
    }

    std::vector<ListadoAlmacen> listar() override {
        ListadoAlmacen l;
        l.clase = "carpeta";
        l.donde = carpeta_;
        EnContextoPrivado en;
        for (const std::string& nombre : nombres_) {
            std::string bytes;
            BorrarAlSalir borrarBytes{bytes};
            FichaCertificado f;
            Entrada e;
            if (!leerBytes(carpeta_ + "/" + nombre, bytes)) {
                f.motivo = "no se puede leer";
            } else {
                const std::string ext = extension(nombre);
                e = ext == ".p12" || ext == ".pfx" ? cargarPkcs12(bytes)
                                                   : cargarCertificado(carpeta_, nombre, bytes);
                if (!e.certificado)
                    f.motivo = ext == ".p12" || ext == ".pfx"
                                   ? "no se abre sin contraseña (impórtelo con «morvelin "
                                     "importa»)"
                                   : "no es un certificado";
            }
            if (e.certificado)
                f = fichaDe(e.certificado.get(), e.clave != nullptr);
            else
                f.legible = false;
            f.donde = nombre;
            l.certificados.push_back(std::move(f));
        }
        return {std::move(l)};
    }

private:
    std::string carpeta_;
    std::vector<std::string> nombres_;
};

// Un almacén que no se puede abrir: en la lista, con el motivo.
class AlmacenSinAbrir : public AlmacenCertificados {
public:
    explicit AlmacenSinAbrir(std::string carpeta) : carpeta_(std::move(carpeta)) {}
    std::unique_ptr<Certificado> buscarPorSujeto(const std::string&) override { return nullptr; }
    std::vector<ListadoAlmacen> listar() override {
        ListadoAlmacen l;
        l.clase = "carpeta";
        l.donde = carpeta_;
        l.estado = carpeta_.empty() ? "no se sabe dónde está (sin XDG_DATA_HOME ni HOME)"
                                    : "no se puede leer";
        return {std::move(l)};
    }

private:
    std::string carpeta_;
};

} // namespace

std::string carpetaAlmacenPersonal() {
    // Una ruta relativa en XDG_DATA_HOME no vale y se ignora, como manda la convención.
    const char* datos = std::getenv("XDG_DATA_HOME");
    if (datos != nullptr && datos[0] == '/')
        return std::string(datos) + "/MORVELIN/MY";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0')
        return {};
    return std::string(home) + "/.local/share/MORVELIN/MY";
}

std::unique_ptr<AlmacenCertificados> abrirAlmacen(const std::string& carpeta) {
    if (carpeta.empty())
        return nullptr;
    std::vector<std::string> nombres;
    struct CerrarDir {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, CerrarDir> dir(::opendir(carpeta.c_str()));
    if (!dir) {
        if (errno != ENOENT)
            return nullptr;
    } else {
        errno = 0;
        while (const dirent* e = ::readdir(dir.get())) {
            const std::string nombre = e->d_name;
            if (nombre.empty() || nombre.front() == '.' || extension(nombre) == ".key")
                continue;
            nombres.push_back(nombre);
        }
        if (errno != 0)
            return nullptr;
    }
    std::sort(nombres.begin(), nombres.end()); // orden de bytes del nombre
    return std::make_unique<AlmacenCarpeta>(carpeta, std::move(nombres));
}

std::unique_ptr<Certificado> envolverCertificado(X509Propio certificado, ClavePropia clave) {
    return std::make_unique<CertificadoOpenSsl>(std::move(certificado), std::move(clave));
}

std::optional<std::string> ensamblarPkcs7(X509* certificado, std::string_view contenido,
                                          const FirmaExterna& firmar) {
    EVP_PKEY* publica = X509_get0_pubkey(certificado);
    Pkcs7Propio p7(PKCS7_new());
    if (publica == nullptr || !p7 || !PKCS7_set_type(p7.get(), NID_pkcs7_signed) ||
        !PKCS7_content_new(p7.get(), NID_pkcs7_data))
        return std::nullopt;
    // Los algoritmos del firmante salen de su clave pública (rsaEncryption o ecdsa-with-SHA1).
    PKCS7_SIGNER_INFO* firmante = PKCS7_SIGNER_INFO_new();
    if (firmante == nullptr)
        return std::nullopt;
    if (!PKCS7_SIGNER_INFO_set(firmante, certificado, publica, EVP_sha1()) ||
        !PKCS7_add_signer(p7.get(), firmante)) {
        PKCS7_SIGNER_INFO_free(firmante);
        return std::nullopt;
    }
    if (!PKCS7_add_certificate(p7.get(), certificado))
        return std::nullopt;
    // Los cuatro atributos firmados: tipo de contenido, hora (la de ahora, UTC), capacidades
    // S/MIME con una sola entrada (RC2-CBC, 40) y resumen del contenido. En DER un SET OF va
    // ordenado: el orden en que se añaden no cambia la estructura.
    unsigned char resumen[EVP_MAX_MD_SIZE];
    unsigned int largo = 0;
    if (EVP_Digest(contenido.data(), contenido.size(), resumen, &largo, EVP_sha1(), nullptr) != 1)
        return std::nullopt;
    STACK_OF(X509_ALGOR)* capacidades = sk_X509_ALGOR_new_null();
    const bool conCapacidades = capacidades != nullptr &&
                                PKCS7_simple_smimecap(capacidades, NID_rc2_cbc, 40) &&
                                PKCS7_add_attrib_smimecap(firmante, capacidades);
    sk_X509_ALGOR_pop_free(capacidades, X509_ALGOR_free);
    if (!conCapacidades || !PKCS7_add_attrib_content_type(firmante, nullptr) ||
        !PKCS7_add0_attrib_signing_time(firmante, nullptr) ||
        !PKCS7_add1_attrib_digest(firmante, resumen, static_cast<int>(largo)) ||
        !PKCS7_set_detached(p7.get(), 1))
        return std::nullopt;
    // Lo que se firma es el DER de los atributos firmados.
    unsigned char* atributos = nullptr;
    const int n = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(firmante->auth_attr), &atributos,
                                ASN1_ITEM_rptr(PKCS7_ATTR_SIGN));
    if (n <= 0)
        return std::nullopt;
    const auto firma =
        firmar(std::string_view(reinterpret_cast<char*>(atributos), static_cast<std::size_t>(n)));
    OPENSSL_free(atributos);
    if (!firma ||
        !ASN1_STRING_set(firmante->enc_digest, firma->data(), static_cast<int>(firma->size())))
        return std::nullopt;
    unsigned char* der = nullptr;
    const int m = i2d_PKCS7(p7.get(), &der);
    if (m <= 0)
        return std::nullopt;
    std::string resultado(reinterpret_cast<char*>(der), static_cast<std::size_t>(m));
    OPENSSL_free(der);
    return resultado;
}

std::unique_ptr<AlmacenCertificados> almacenSinAbrir(const std::string& carpeta) {
    return std::make_unique<AlmacenSinAbrir>(carpeta);
}

namespace {

std::string nombreEnUnaLinea(const X509_NAME* nombre) {
    BioPropio b(BIO_new(BIO_s_mem()));
    constexpr unsigned long formato =
        XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    if (!b || X509_NAME_print_ex(b.get(), nombre, 0, formato) < 0)
        return {};
    char* datos = nullptr;
    const long n = BIO_get_mem_data(b.get(), &datos);
    return n > 0 ? std::string(datos, static_cast<std::size_t>(n)) : std::string();
}

long long segundos(const ASN1_TIME* t) {
    std::tm tm{};
    if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1)
        return 0;
    return static_cast<long long>(::timegm(&tm));
}

} // namespace

bool sujetoContiene(X509* certificado, const std::string& texto) {
    return nombreContiene(X509_get_subject_name(certificado), minusculas(texto));
}

FichaCertificado fichaDe(X509* certificado, bool conClave) {
    FichaCertificado f;
    f.textoSujeto = textoSujeto(certificado);
    const X509_NAME* sujeto = X509_get_subject_name(certificado);
    for (int i = 0; i < X509_NAME_entry_count(sujeto); ++i)
        f.valoresSujeto.push_back(
            valorUtf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(sujeto, i))));
    f.sujeto = nombreEnUnaLinea(sujeto);
    f.emisor = nombreEnUnaLinea(X509_get_issuer_name(certificado));
    f.validoDesde = segundos(X509_get0_notBefore(certificado));
    f.validoHasta = segundos(X509_get0_notAfter(certificado));
    f.conClave = conClave;
    const std::uint32_t usos = X509_get_key_usage(certificado);
    if (usos != UINT32_MAX)
        f.usosClave = usos & 0xFF;
    return f;
}

std::string valorUtf8(const ASN1_STRING* dato) {
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, dato);
    if (n < 0)
        return {};
    std::string valor(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
    OPENSSL_free(utf8);
    return valor;
}

std::string textoSujeto(X509* certificado) {
    const X509_NAME* nombre = X509_get_subject_name(certificado);
    std::string texto;
    int componenteAnterior = -1;
    for (int i = 0; i < X509_NAME_entry_count(nombre); ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(nombre, i);
        const int componente = X509_NAME_ENTRY_set(e);
        if (i > 0)
            texto += componente == componenteAnterior ? " + " : "\r\n";
        componenteAnterior = componente;
        char oid[256];
        const int n = OBJ_obj2txt(oid, sizeof oid, X509_NAME_ENTRY_get_object(e), 1);
        if (n > 0 && static_cast<std::size_t>(n) < sizeof oid)
            texto += oid;
        texto += '=';
        texto += entrecomillar(valorUtf8(X509_NAME_ENTRY_get_data(e)));
    }
    return texto;
}

} // namespace morvelin::plataforma::openssl

namespace morvelin::plataforma {

// Lo que los pasos de los métodos piden a la plataforma.

namespace {

class CalculoSha1OpenSsl : public CalculoSha1 {
public:
    bool empezar() {
        openssl::EnContextoPrivado en;
        if (!en.valido() || ctx_ == nullptr)
            return false;
        EVP_MD* sha1 = EVP_MD_fetch(openssl::contextoPrivado(), "SHA1", nullptr);
        const bool bien = sha1 != nullptr && EVP_DigestInit_ex(ctx_.get(), sha1, nullptr);
        EVP_MD_free(sha1);
        return bien;
    }
    bool anadir(std::string_view datos) override {
        return EVP_DigestUpdate(ctx_.get(), datos.data(), datos.size()) == 1;
    }
    std::optional<ResumenSha1> terminar() override {
        openssl::EnContextoPrivado en;
        ResumenSha1 resumen{};
        unsigned int n = 0;
        if (!EVP_DigestFinal_ex(ctx_.get(), resumen.data(), &n) || n != resumen.size())
            return std::nullopt;
        return resumen;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx_{EVP_MD_CTX_new(),
                                                                 &EVP_MD_CTX_free};
};

} // namespace

std::unique_ptr<CalculoSha1> empezarSha1() {
    auto calculo = std::make_unique<CalculoSha1OpenSsl>();
    if (!calculo->empezar())
        return nullptr;
    return calculo;
}

void borrarMemoria(void* p, std::size_t n) {
    OPENSSL_cleanse(p, n);
}

} // namespace morvelin::plataforma
