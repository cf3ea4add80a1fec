#include "plataforma/openssl/importacion.h"

#include "escritura.h"
#include "plataforma/openssl/almacen.h"
#include "plataforma/openssl/contexto.h"

#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace morvelin::plataforma::openssl {

namespace {

constexpr long TamanoMaximo = 4L << 20;

struct LiberarBio {
    void operator()(BIO* b) const { BIO_free_all(b); }
};
using BioPropio = std::unique_ptr<BIO, LiberarBio>;

std::string leerFichero(const std::string& ruta) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(ruta.c_str(), "rb"),
                                                         &std::fclose);
    struct stat st {};
    if (!f || ::fstat(::fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode))
        throw ErrorImportacion("No se puede leer el fichero «" + ruta + "».");
    if (st.st_size > TamanoMaximo)
        throw ErrorImportacion("El fichero «" + ruta +
                               "» es demasiado grande para ser un "
                               "certificado.");
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f.get()));
    if (std::ferror(f.get()))
        throw ErrorImportacion("No se puede leer el fichero «" + ruta + "».");
    return bytes;
}

// La contraseña se pide una sola vez, y solo si hace falta.
struct Contrasena {
    const PedirContrasena& pedir;
    std::optional<Secreto> valor;
    bool pedida = false;

    const Secreto* obtener() {
        if (!pedida) {
            pedida = true;
            valor = pedir ? pedir() : std::nullopt;
        }
        return valor ? &*valor : nullptr;
    }
};

int contrasenaPem(char* buf, int tamano, int, void* datos) {
    const Secreto* c = static_cast<Contrasena*>(datos)->obtener();
    if (c == nullptr || c->size() > static_cast<std::size_t>(tamano))
        return -1;
    std::memcpy(buf, c->c_str(), c->size());
    return static_cast<int>(c->size());
}

struct Par {
    X509Propio certificado;
    ClavePropia clave;
};

Par leerPkcs12(const std::string& bytes, Contrasena& contrasena) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::unique_ptr<PKCS12, decltype(&PKCS12_free)> p12(
        d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())), &PKCS12_free);
    if (!p12)
        return {};
    const auto analizar = [&](const char* clave) {
        EVP_PKEY* k = nullptr;
        X509* x = nullptr;
        STACK_OF(X509)* cadena = nullptr;
        Par par;
        if (PKCS12_parse(p12.get(), clave, &k, &x, &cadena)) {
            par.certificado.reset(x);
            par.clave.reset(k);
            sk_X509_pop_free(cadena, X509_free);
        }
        return par;
    };
    Par par = analizar("");
    if (par.certificado)
        return par;
    const Secreto* c = contrasena.obtener();
    if (c == nullptr)
        throw ErrorImportacion("Sin contraseña no se puede abrir el fichero.");
    if (PKCS12_mac_present(p12.get()) &&
        !PKCS12_verify_mac(p12.get(), c->c_str(), static_cast<int>(c->size())))
        throw ErrorImportacion("La contraseña no es correcta.");
    par = analizar(c->c_str());
    if (!par.certificado)
        throw ErrorImportacion("No se puede descifrar el fichero PKCS #12 con esa contraseña.");
    return par;
}

Par leerPem(const std::string& bytes, Contrasena& contrasena) {
    Par par;
    const auto bio = [&] {
        return BioPropio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    };
    par.certificado.reset(PEM_read_bio_X509(bio().get(), nullptr, nullptr, nullptr));
    if (!par.certificado)
        return par;
    par.clave.reset(PEM_read_bio_PrivateKey(bio().get(), nullptr, contrasenaPem, &contrasena));
    if (!par.clave && contrasena.pedida)
        throw ErrorImportacion(contrasena.valor ? "La contraseña no es correcta."
                                                : "Sin contraseña no se puede abrir la clave.");
    return par;
}

std::string nombreEntrada(const std::string& carpeta, const std::string& fichero) {
    std::string base = nombreSinCarpetas(fichero);
    if (const auto punto = base.rfind('.'); punto != std::string::npos && punto > 0)
        base.erase(punto);
    base.erase(0, base.find_first_not_of('.'));
    if (base.empty())
        base = "certificado";
    auto& sistema = sistemaFicheros();
    std::string ruta = carpeta + "/" + base + ".pem";
    for (int n = 2; sistema.tipo(ruta) != SistemaFicheros::Tipo::Ninguno; ++n)
        ruta = carpeta + "/" + base + "-" + std::to_string(n) + ".pem";
    return ruta;
}

} // namespace

CertificadoImportado importarCertificado(const std::string& fichero,
                                         const std::string& carpetaAlmacen,
                                         const PedirContrasena& pedir) {
    if (carpetaAlmacen.empty())
        throw ErrorImportacion("No se sabe dónde está la carpeta de datos del usuario (no "
                               "están definidas XDG_DATA_HOME ni HOME).");
    // Un PEM puede traer la clave sin cifrar: la copia leída se borra al salir.
    std::string bytes = leerFichero(fichero);
    BorrarAlSalir borrarBytes{bytes};
    EnContextoPrivado en;
    if (!en.valido())
        throw ErrorImportacion("No se pueden usar los servicios criptográficos.");
    Contrasena contrasena{pedir, std::nullopt, false};
    Par par = leerPkcs12(bytes, contrasena);
    if (!par.certificado)
        par = leerPem(bytes, contrasena);
    if (!par.certificado)
        throw ErrorImportacion("El fichero «" + fichero +
                               "» no es un certificado PKCS #12 (.p12, .pfx) ni PEM.");
    if (!par.clave)
        throw ErrorImportacion("El fichero no trae la clave privada del certificado.");
    if (!X509_check_private_key(par.certificado.get(), par.clave.get()))
        throw ErrorImportacion("La clave privada del fichero no corresponde al certificado.");

    // La memoria de la clave sin cifrar se borra al liberarla.
    BioPropio pem(BIO_new(BIO_s_secmem()));
    if (!pem || !PEM_write_bio_X509(pem.get(), par.certificado.get()) ||
        !PEM_write_bio_PrivateKey(pem.get(), par.clave.get(), nullptr, nullptr, 0, nullptr,
                                  nullptr))
        throw ErrorImportacion("No se puede preparar la entrada del almacén.");
    BUF_MEM* texto = nullptr;
    BIO_get_mem_ptr(pem.get(), &texto);

    auto& sistema = sistemaFicheros();
    if (!crearCarpetas(carpetaAlmacen) ||
        (sistema.tipo(carpetaAlmacen) != SistemaFicheros::Tipo::Carpeta &&
         !sistema.crearCarpeta(carpetaAlmacen, 0700)))
        throw ErrorImportacion("No se puede crear la carpeta del almacén «" + carpetaAlmacen +
                               "».");
    CertificadoImportado importado{nombreEntrada(carpetaAlmacen, fichero),
                                   textoSujeto(par.certificado.get())};
    FicheroNuevo entrada(importado.ruta, 0600);
    // La clave sin cifrar no debe quedar en el disco si algo falla: FicheroNuevo lo garantiza.
    if (!entrada.abrir() || !entrada.escribir(std::string_view(texto->data, texto->length)) ||
        !entrada.confirmar())
        throw ErrorImportacion("No se puede grabar «" + importado.ruta + "».");
    return importado;
}

} // namespace morvelin::plataforma::openssl
