// La carpeta MORVELIN/MY como almacén, con OpenSSL.
#include "almacenes/carpeta.h"

#include "infraestructura/codificacion.h"
#include "infraestructura/lectura.h"
#include "plataforma/openssl/contexto.h"
#include "plataforma/openssl/firma_clave.h"
#include "plataforma/openssl/x509.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <vector>

namespace morvelin::almacenes {

namespace {

namespace ossl = plataforma::openssl;
using ossl::ClavePropia;
using ossl::X509Propio;
using plataforma::BorrarAlSalir;

// Ninguna entrada del almacén es tan grande: un fichero mayor no se lee.
constexpr std::size_t TamanoMaximoEntrada = 4u << 20;

// Las claves del almacén no llevan contraseña: nunca se pregunta en el terminal.
int sinContrasena(char*, int, int, void*) {
    return 0;
}

std::string extension(const std::string& nombre) {
    const auto p = nombre.rfind('.');
    return p == std::string::npos ? std::string() : minusculasAscii(nombre.substr(p));
}

bool esPkcs12(const std::string& nombre) {
    return extension(nombre) == ".p12" || extension(nombre) == ".pfx";
}

ClavePropia leerClave(const std::string& bytes) {
    ClavePropia clave(
        PEM_read_bio_PrivateKey(ossl::bioDe(bytes).get(), nullptr, sinContrasena, nullptr));
    if (!clave) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        clave.reset(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(bytes.size())));
    }
    return clave;
}

// Una entrada leída: el certificado y, si se ha pedido, su clave; o por qué no se puede usar.
struct Entrada {
    X509Propio certificado;
    ClavePropia clave;
    std::string motivo; ///< vacío si hay certificado
};

// Una entrada PKCS #12: certificado y clave, o nada si no se puede abrir sin contraseña.
Entrada cargarPkcs12(const std::string& bytes) {
    Entrada e;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const ossl::Propio<PKCS12, PKCS12_free> p12(
        d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
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

std::string motivoDe(Lectura lectura) {
    switch (lectura) {
    case Lectura::Leido:
        break;
    case Lectura::NoExiste:
    case Lectura::NoSeLee:
        return "no se puede leer";
    case Lectura::NoEsFichero:
        return "no es un fichero normal (es una carpeta, una tubería o un dispositivo)";
    case Lectura::Grande:
        return "es demasiado grande para ser un certificado";
    }
    return {};
}

// La única lectura de una entrada, la misma para elegir, para firmar y para listar: PKCS #12
// (certificado y clave a la vez) o PEM o DER (el certificado entero, y su clave del mismo PEM o
// del .key con el mismo nombre solo si `conClave`). Ningún fichero se abre antes de saber que es
// un fichero normal.
Entrada leerEntrada(const std::string& carpeta, const std::string& nombre, bool conClave) {
    // Las entradas llevan la clave sin cifrar: su copia en memoria se borra al volver.
    std::string bytes;
    BorrarAlSalir borrarBytes{bytes};
    Entrada e;
    if (const Lectura l = leerFicheroPequeno(carpeta + "/" + nombre, TamanoMaximoEntrada, bytes);
        l != Lectura::Leido) {
        e.motivo = motivoDe(l);
        return e;
    }
    if (esPkcs12(nombre)) {
        e = cargarPkcs12(bytes);
        if (!e.certificado)
            e.motivo = "no se abre sin contraseña (impórtelo con «morvelin importa»)";
        return e;
    }
    e.certificado = ossl::certificadoDeDer(ossl::derDeCertificado(bytes));
    if (!e.certificado) {
        e.motivo = "no es un certificado";
        return e;
    }
    if (!conClave)
        return e;
    e.clave.reset(
        PEM_read_bio_PrivateKey(ossl::bioDe(bytes).get(), nullptr, sinContrasena, nullptr));
    if (!e.clave) {
        std::string bytesClave;
        BorrarAlSalir borrarClave{bytesClave};
        if (leerFicheroPequeno(carpeta + "/" + nombre.substr(0, nombre.rfind('.')) + ".key",
                               TamanoMaximoEntrada, bytesClave) == Lectura::Leido)
            e.clave = leerClave(bytesClave);
    }
    return e;
}

// Si FIRMA puede firmar con la clave de la entrada: ha de ser la del certificado, o la firma no
// la podría comprobar nadie. El listado dice lo mismo con esta misma función.
bool claveUtilizable(X509* certificado, EVP_PKEY* clave) {
    return certificado != nullptr && clave != nullptr &&
           X509_check_private_key(certificado, clave) == 1;
}

class CertificadoOpenSsl : public CertificadoDeAlmacen {
public:
    explicit CertificadoOpenSsl(Entrada e)
        : CertificadoDeAlmacen(std::move(e.certificado)), clave_(std::move(e.clave)) {}

    std::optional<std::string> firmar(const plataforma::AlgoritmoFirma& algoritmo,
                                      std::string_view datos, std::string_view) const override {
        ossl::EnContextoPrivado en;
        if (!en.valido() || !claveUtilizable(x509(), clave_.get()))
            return std::nullopt;
        const auto resumen = ossl::resumenAFirmar(algoritmo, datos);
        if (!resumen)
            return std::nullopt;
        return ossl::firmarResumen(clave_.get(), algoritmo, *resumen);
    }

private:
    ClavePropia clave_;
};

class AlmacenCarpeta : public Almacen {
public:
    AlmacenCarpeta(std::string carpeta, std::vector<std::string> nombres)
        : carpeta_(std::move(carpeta)), nombres_(std::move(nombres)) {}

    AlmacenCandidatos candidatos() override {
        // Lo mismo que el listado, salvo las claves: solo se leen la del elegido (al firmar) y
        // las que se listan.
        vistos_.clear();
        ossl::EnContextoPrivado en;
        if (!en.valido())
            return {};
        for (const std::string& nombre : nombres_) {
            const Entrada e = leerEntrada(carpeta_, nombre, false);
            vistos_.push_back(e.certificado ? candidatoDe(e.certificado.get())
                                            : Candidato{false, {}, {}});
        }
        return {false, vistos_};
    }

    std::unique_ptr<plataforma::Certificado> certificado(std::size_t i) override {
        ossl::EnContextoPrivado en;
        if (i >= vistos_.size() || !en.valido())
            return nullptr;
        Entrada e = leerEntrada(carpeta_, nombres_[i], true);
        // Un fichero que ya no tiene el sujeto que se miró no es el elegido.
        if (!e.certificado ||
            candidatoDe(e.certificado.get()).valoresSujeto != vistos_[i].valoresSujeto)
            return nullptr;
        return std::make_unique<CertificadoOpenSsl>(std::move(e));
    }

    ListadoAlmacen listar() override {
        ListadoAlmacen l;
        l.clase = "carpeta";
        l.donde = carpeta_;
        ossl::EnContextoPrivado en;
        for (const std::string& nombre : nombres_) {
            const Entrada e = leerEntrada(carpeta_, nombre, true);
            FichaCertificado f;
            if (e.certificado) {
                f = fichaDe(e.certificado.get(),
                            claveUtilizable(e.certificado.get(), e.clave.get()));
            } else {
                f.legible = false;
                f.motivo = e.motivo;
            }
            f.donde = nombre;
            l.certificados.push_back(std::move(f));
        }
        return l;
    }

private:
    std::string carpeta_;
    std::vector<std::string> nombres_;
    std::vector<Candidato> vistos_; // los de la última llamada a candidatos()
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

std::unique_ptr<Almacen> abrirCarpeta(const std::string& carpeta) {
    if (carpeta.empty())
        return std::make_unique<AlmacenSinAbrir>(
            "carpeta", carpeta, "no se sabe dónde está (sin XDG_DATA_HOME ni HOME)");
    std::vector<std::string> nombres;
    struct CerrarDir {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, CerrarDir> dir(::opendir(carpeta.c_str()));
    bool leida = true;
    if (!dir) {
        leida = errno == ENOENT;
    } else {
        errno = 0;
        while (const dirent* e = ::readdir(dir.get())) {
            const std::string nombre = e->d_name;
            if (nombre.empty() || nombre.front() == '.' || extension(nombre) == ".key")
                continue;
            nombres.push_back(nombre);
        }
        leida = errno == 0;
    }
    if (!leida)
        return std::make_unique<AlmacenSinAbrir>("carpeta", carpeta, "no se puede leer");
    std::sort(nombres.begin(), nombres.end()); // orden de bytes del nombre
    return std::make_unique<AlmacenCarpeta>(carpeta, std::move(nombres));
}

} // namespace morvelin::almacenes
