#include "firma.h"

#include "certificados.h"
#include "codificacion.h"
#include "escritura.h"
#include "metodos.h"
#include "registro_firma.h"
#include "trampa.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace morvelin {

namespace {

std::string enHexadecimal(const plataforma::ResumenSha1& resumen) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string texto;
    for (const unsigned char b : resumen) {
        texto += Hex[b >> 4];
        texto += Hex[b & 0x0F];
    }
    return texto;
}

// La factura que se firma, leída por trozos en vez de entera: una vez para el resumen y otra,
// ya firmada, para llevar su base64 al fichero de firma. En la segunda lectura se vuelve a
// calcular el resumen, de modo que si la factura cambia entretanto no se da por buena una
// firma que no corresponde a la factura que se lleva.
class FacturaAFirmar {
public:
    // Lanza NoSeLeeFactura si la ruta está vacía o el fichero no se abre.
    explicit FacturaAFirmar(const std::string& ruta) {
        if (ruta.empty())
            lanzar(NoSeLeeFactura);
        fichero_.reset(std::fopen(ruta.c_str(), "rb"));
        if (!fichero_)
            lanzar(NoSeLeeFactura);
        std::setvbuf(fichero_.get(), nullptr, _IONBF, 0); // se lee a trozos grandes
        trozo_ = std::make_unique<char[]>(TamanoTrozo);
    }

    // El resumen de toda la factura en hexadecimal. Lanza NoSeLeeFactura si no se puede leer
    // (una carpeta se abre pero no se lee) y NoSeFirma si no se puede calcular.
    std::string resumenHex() {
        const auto r = recorrer([](std::string_view) { return true; });
        if (!r.leida)
            lanzar(NoSeLeeFactura);
        if (!r.resumen)
            lanzar(NoSeFirma);
        resumen_ = *r.resumen;
        return enHexadecimal(resumen_);
    }

    // Escribe en `salida` el base64 de la factura. false si falla la escritura, o si la factura
    // ya no se puede leer o no es la misma que se resumió (entonces `cambiada` = true).
    bool escribirBase64(FicheroNuevo& salida, bool& cambiada) {
        const auto r = recorrer(
            [&](std::string_view trozo) { return morvelin::escribirBase64(salida, trozo); });
        cambiada = r.escrita && (!r.leida || r.resumen != resumen_);
        return r.escrita && !cambiada;
    }

private:
    // Múltiplo de 3: los trozos de base64 encajan sin relleno hasta el último.
    static constexpr std::size_t TamanoTrozo = 3 << 18;

    struct Recorrido {
        bool leida = false, escrita = false;
        std::optional<plataforma::ResumenSha1> resumen;
    };

    // Lee la factura de principio a fin, pasa cada trozo a `usar` y calcula su resumen.
    template <class Usar> Recorrido recorrer(Usar usar) {
        Recorrido r;
        std::rewind(fichero_.get());
        auto sha1 = plataforma::empezarSha1();
        bool calculando = sha1 != nullptr;
        std::size_t leidos;
        do {
            leidos = std::fread(trozo_.get(), 1, TamanoTrozo, fichero_.get());
            const std::string_view trozo(trozo_.get(), leidos);
            calculando = calculando && sha1->anadir(trozo);
            if (!usar(trozo))
                return r;
        } while (leidos == TamanoTrozo);
        r.escrita = true;
        r.leida = !std::ferror(fichero_.get());
        if (calculando)
            r.resumen = sha1->terminar();
        return r;
    }

    std::unique_ptr<std::FILE, decltype(&std::fclose)> fichero_{nullptr, &std::fclose};
    std::unique_ptr<char[]> trozo_;
    plataforma::ResumenSha1 resumen_{};
};

} // namespace

std::string resumenHex(std::string_view contenido) {
    auto sha1 = plataforma::empezarSha1();
    std::optional<plataforma::ResumenSha1> resumen;
    if (sha1 && sha1->anadir(contenido))
        resumen = sha1->terminar();
    if (!resumen)
        lanzar(NoSeFirma);
    return enHexadecimal(*resumen);
}

std::string firmarResumen(const std::string& resumen, const plataforma::Certificado& certificado) {
    auto firma = certificado.firmarDesprendida(resumen);
    if (!firma)
        lanzar(NoSeFirma);
    return std::move(*firma);
}

std::string FIRMA(const std::string& rutaOrigen, const std::string& certificado,
                  const std::string& rutaDestino) {
    std::optional<FacturaAFirmar> factura;
    std::string firma;
    bool firmado = false;
    const std::string resultado = conTrampa([&] {
        factura.emplace(rutaOrigen);
        const std::string resumen = factura->resumenHex();
        const auto cert = buscarCertificado(certificado);
        firma = firmarResumen(resumen, *cert);
        const std::string nombre = "00 " + nombreFirmante(*cert);
        firmado = true;
        return nombre;
    });
    if (!firmado)
        return resultado;

    // La factura en base64 va directamente al fichero, sin guardarse entera en el registro.
    RegistroFirma registro;
    registro.nombreFichero = nombreSinCarpetas(rutaOrigen);
    registro.firmaBase64 = codificarBase64(firma);
    crearCarpetas(rutaDestino);
    FicheroNuevo fichero(rutaDestino);
    if (!fichero.abrir())
        return cargarMensaje(NoSeGrabaFirma);
    bool cambiada = false;
    const bool grabado = grabarFicheroFirma(fichero, registro, [&](FicheroNuevo& salida) {
        return factura->escribirBase64(salida, cambiada);
    });
    // Si la factura ha cambiado mientras se firmaba, no se deja ningún fichero de firma.
    if (cambiada)
        return cargarMensaje(NoSeLeeFactura);
    if (!grabado || !fichero.confirmar())
        return cargarMensaje(NoSeGrabaFirma);
    return resultado;
}

} // namespace morvelin
