#include "operaciones/importacion.h"

#include "infraestructura/escritura.h"
#include "infraestructura/lectura.h"
#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/x509.h"

#include <openssl/buffer.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <cstring>
#include <memory>

namespace morvelin {

namespace {

namespace ossl = plataforma::openssl;
using ossl::BioPropio;
using ossl::ClavePropia;
using ossl::X509Propio;
using plataforma::Secreto;

constexpr std::size_t TamanoMaximo = 4u << 20;

std::string leerCopia(const std::string& ruta) {
    std::string bytes;
    switch (leerFicheroPequeno(ruta, TamanoMaximo, bytes)) {
    case Lectura::Leido:
        return bytes;
    case Lectura::Grande:
        throw ErrorImportacion("El fichero «" + ruta +
                               "» es demasiado grande para ser un certificado.");
    case Lectura::NoExiste:
    case Lectura::NoSeLee:
    case Lectura::NoEsFichero:
        break;
    }
    throw ErrorImportacion("No se puede leer el fichero «" + ruta + "».");
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
    const ossl::Propio<PKCS12, PKCS12_free> p12(
        d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
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
    par.certificado.reset(PEM_read_bio_X509(ossl::bioDe(bytes).get(), nullptr, nullptr, nullptr));
    if (!par.certificado)
        return par;
    par.clave.reset(
        PEM_read_bio_PrivateKey(ossl::bioDe(bytes).get(), nullptr, contrasenaPem, &contrasena));
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
    std::string bytes = leerCopia(fichero);
    plataforma::BorrarAlSalir borrarBytes{bytes};
    ossl::EnContextoPrivado en;
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
                                   ossl::atributosSujeto(par.certificado.get())};
    FicheroNuevo entrada(importado.ruta, 0600);
    // La clave sin cifrar no debe quedar en el disco si algo falla: FicheroNuevo lo garantiza.
    if (!entrada.abrir() || !entrada.escribir(std::string_view(texto->data, texto->length)) ||
        !entrada.confirmar())
        throw ErrorImportacion("No se puede grabar «" + importado.ruta + "».");
    return importado;
}

} // namespace morvelin
