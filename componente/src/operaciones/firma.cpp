#include "operaciones/firma.h"

#include "almacenes/eleccion.h"
#include "infraestructura/codificacion.h"
#include "infraestructura/escritura.h"
#include "infraestructura/registro_firma.h"
#include "infraestructura/trampa.h"
#include "metodos.h"
#include "operaciones/sujeto.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

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

// La factura que se firma, leída por trozos en vez de entera. Lo normal es una sola lectura que
// calcula el resumen y a la vez lleva el base64 de los mismos bytes a un fichero de firma que
// aún no se confirma. Si no hay dónde escribir por adelantado, se lee una vez para el resumen y
// otra, ya firmada, para el base64; si la factura cambia entre las dos lecturas (otro tamaño,
// otra hora de modificación o de cambio de estado, o se leen otros bytes) no se da por buena
// una firma que no corresponde a la factura que se lleva.
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
    //
    // Con `salida`, escribe además en ella el base64 de los bytes que resume; `escrita` dice
    // si entró entero. Un fallo al escribir no corta la lectura: el resultado de FIRMA depende
    // antes de la factura, del certificado y de la firma que del fichero de firma.
    std::string resumenHex(FicheroNuevo* salida = nullptr, bool* escrita = nullptr) {
        huella_ = huella();
        auto sha1 = plataforma::empezarSha1();
        bool calculando = sha1 != nullptr;
        bool escribiendo = salida != nullptr;
        // Todo en este hilo: el tiempo de una factura grande se va en llevar el fichero de
        // firma al disco, no en el resumen ni en el base64, y sin otro hilo un fallo (memoria
        // agotada al escribir) solo puede acabar la llamada, nunca el programa que llama.
        const auto r = recorrer([&](std::string_view trozo) {
            calculando = calculando && sha1->anadir(trozo);
            escribiendo = escribiendo && morvelin::escribirBase64(*salida, trozo);
            return true;
        });
        if (!r.leida)
            lanzar(NoSeLeeFactura);
        std::optional<plataforma::ResumenSha1> resumen;
        if (calculando)
            resumen = sha1->terminar();
        if (!resumen)
            lanzar(NoSeFirma);
        bytes_ = r.bytes;
        if (escrita != nullptr)
            *escrita = escribiendo;
        return enHexadecimal(*resumen);
    }

    // Escribe en `salida` el base64 de la factura. false si falla la escritura, o si la factura
    // ya no se puede leer o no es la que se resumió (entonces `cambiada` = true).
    bool escribirBase64(FicheroNuevo& salida, bool& cambiada) {
        const auto r = recorrer(
            [&](std::string_view trozo) { return morvelin::escribirBase64(salida, trozo); });
        cambiada = r.escrita && (!r.leida || r.bytes != bytes_ || !huella_ || huella() != huella_);
        return r.escrita && !cambiada;
    }

private:
    // Múltiplo de 3: los trozos de base64 encajan sin relleno hasta el último. Pequeño, para
    // que cada trozo siga en la caché del procesador mientras se resume y se codifica.
    static constexpr std::size_t TamanoTrozo = 3 << 15;

    // Lo que cambia en un fichero cuando alguien lo modifica.
    struct Huella {
        std::uint64_t dispositivo;
        std::uint64_t nodo;
        std::uint64_t tamano;
        timespec modificado, cambiado;
        bool operator==(const Huella& o) const {
            const auto igual = [](timespec a, timespec b) {
                return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
            };
            return dispositivo == o.dispositivo && nodo == o.nodo && tamano == o.tamano &&
                   igual(modificado, o.modificado) && igual(cambiado, o.cambiado);
        }
    };

    std::optional<Huella> huella() const {
#if defined(_WIN32)
        // Volumen, índice del fichero, tamaño y hora de la última escritura (Windows no da la
        // hora del último cambio de los metadatos por esta vía: vale la de escritura).
        BY_HANDLE_FILE_INFORMATION i;
        const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(fichero_.get())));
        if (!::GetFileInformationByHandle(h, &i))
            return std::nullopt;
        const auto dos = [](DWORD alta, DWORD baja) {
            return (std::uint64_t{alta} << 32) | baja;
        };
        const std::uint64_t escrito =
            dos(i.ftLastWriteTime.dwHighDateTime, i.ftLastWriteTime.dwLowDateTime);
        const timespec hora{static_cast<time_t>(escrito / 10000000),
                            static_cast<long>(escrito % 10000000) * 100};
        return Huella{i.dwVolumeSerialNumber, dos(i.nFileIndexHigh, i.nFileIndexLow),
                      dos(i.nFileSizeHigh, i.nFileSizeLow), hora, hora};
#else
        struct stat st {};
        if (::fstat(::fileno(fichero_.get()), &st) != 0)
            return std::nullopt;
        return Huella{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                      static_cast<std::uint64_t>(st.st_size), st.st_mtim, st.st_ctim};
#endif
    }

    struct Recorrido {
        bool leida = false, escrita = false;
        std::uint64_t bytes = 0;
    };

    // Lee la factura de principio a fin y pasa cada trozo a `usar`.
    template <class Usar> Recorrido recorrer(Usar usar) {
        Recorrido r;
        std::rewind(fichero_.get());
        std::size_t leidos;
        do {
            leidos = std::fread(trozo_.get(), 1, TamanoTrozo, fichero_.get());
            r.bytes += leidos;
            if (!usar(std::string_view(trozo_.get(), leidos)))
                return r;
        } while (leidos == TamanoTrozo);
        r.escrita = true;
        r.leida = !std::ferror(fichero_.get());
        return r;
    }

    std::unique_ptr<std::FILE, decltype(&std::fclose)> fichero_{nullptr, &std::fclose};
    std::unique_ptr<char[]> trozo_;
    std::optional<Huella> huella_;
    std::uint64_t bytes_ = 0;
};

} // namespace

CertificadoElegido elegirCertificadoPara(const std::string& identificador) {
    using Estado = CertificadoElegido::Estado;
    const auto almacen = plataforma::abrirAlmacenPersonal();
    if (!almacen)
        return {Estado::SinAlmacen, nullptr};
    if (!almacenes::identificadorValido(identificador))
        return {Estado::SinCertificado, nullptr};
    auto encontrado = almacen->buscar(identificador);
    if (!encontrado)
        return {Estado::SinCertificado, nullptr};
    return {Estado::Elegido, std::move(encontrado)};
}

std::unique_ptr<plataforma::Certificado> buscarCertificado(const std::string& certificado) {
    auto elegido = elegirCertificadoPara(certificado);
    if (elegido.estado == CertificadoElegido::Estado::SinAlmacen)
        lanzar(SinAlmacen);
    if (elegido.estado == CertificadoElegido::Estado::SinCertificado)
        lanzar(SinCertificado);
    return std::move(elegido.certificado);
}

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
    // Si el destino ya tiene su carpeta, el fichero de firma se escribe mientras se lee la
    // factura: se abre el temporal, sin confirmarlo; si algo falla antes, se borra sin más.
    std::optional<FicheroNuevo> adelantado;
    bool escrita = false;
    std::string firma;
    bool firmado = false;
    const std::string resultado = conTrampa([&] {
        factura.emplace(rutaOrigen);
        adelantado.emplace(rutaDestino);
        if (!adelantado->abrir() ||
            !empezarFicheroFirma(*adelantado, nombreSinCarpetas(rutaOrigen)))
            adelantado.reset();
        const std::string resumen =
            adelantado ? factura->resumenHex(&*adelantado, &escrita) : factura->resumenHex();
        const auto cert = buscarCertificado(certificado);
        firma = firmarResumen(resumen, *cert);
        const std::string nombre = "00 " + nombreFirmante(*cert);
        firmado = true;
        return nombre;
    });
    if (!firmado)
        return resultado;

    if (adelantado) {
        if (!escrita || !terminarFicheroFirma(*adelantado, codificarBase64(firma)) ||
            !adelantado->confirmar())
            return cargarMensaje(NoSeGrabaFirma);
        return resultado;
    }

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
