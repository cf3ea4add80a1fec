#pragma once
// Un servidor HTTPS averiado en 127.0.0.1, para ver cómo acaba el cliente ante cada fallo de la
// red. Habla TLS de verdad (OpenSSL, con su propia autoridad) y a cada conexión le aplica la
// avería con que se creó. Sin avería contesta un veredicto fijo, bien formado.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace morvelin::pruebas {

enum class Averia {
    Ninguna,                ///< contesta RespuestaBuena con su longitud y cierra como es debido
    SinLongitud,            ///< la contesta sin longitud, hasta el cierre, que avisa como es debido
    AceptaYCalla,           ///< acepta la conexión TCP y no dice nada, ni el saludo TLS
    NoLeeLaPeticion,        ///< hace el saludo TLS y ya no lee ni contesta
    CierraSinContestar,     ///< lee la petición y cierra
    CierraEnLasCabeceras,   ///< empieza las cabeceras y cierra
    CierraTrasProvisional,  ///< contesta "100 Continue" y cierra
    CierraAMitadDelCuerpo,  ///< anuncia la longitud entera, manda la mitad y cierra
    CortaAMitadDelCuerpo,   ///< lo mismo, pero corta TCP sin el aviso de cierre de TLS
    CierraAMitadDeUnTrozo,  ///< cuerpo por trozos, cerrado a mitad de un trozo
    CortaCuerpoSinLongitud, ///< cuerpo que acaba con la conexión, cortado sin aviso de TLS
    Gotea,                  ///< la respuesta buena byte a byte, con una pausa entre bytes
    CuerpoSinFin,           ///< trozos sin fin, tan deprisa como se lean
    LongitudDesmesurada,    ///< anuncia un billón de bytes y los manda sin parar
    CabecerasSinFin,        ///< líneas de cabecera sin fin
    ProvisionalesSinFin,    ///< respuestas provisionales "100 Continue" sin fin
};

/// El certificado que presenta el servidor.
struct CertificadoServidor {
    /// Validez, en segundos desde ahora (negativos: en el pasado).
    long desde = -3600;
    long hasta = 24 * 3600;
    std::vector<std::string> nombresDns{"localhost"};
    std::vector<std::string> ips{"127.0.0.1"};
    /// Autofirmado, en vez de emitido por la autoridad del servidor.
    bool autofirmado = false;
};

/// Dónde escucha el servidor y qué autoridad emite su certificado.
struct Escucha {
    /// Puerto de 127.0.0.1; 0, uno libre.
    unsigned short puerto = 0;
    /// La autoridad, en dos ficheros PEM (certificado y clave privada): si existen, la suya; si
    /// no, una nueva que se graba en ellos. Así un cliente que ya confía en ella (un almacén de
    /// raíces preparado una vez) sirve para muchos servidores. Vacíos: una nueva, sin grabar.
    std::string autoridad, claveAutoridad;
};

class ServidorAveriado {
public:
    /// El cuerpo de la respuesta sin avería.
    static const std::string RespuestaBuena;

    /// Se pone a escuchar en 127.0.0.1. Lanza std::runtime_error si no puede.
    explicit ServidorAveriado(Averia averia, const CertificadoServidor& certificado = {},
                              std::chrono::milliseconds pausa = std::chrono::milliseconds(100),
                              const Escucha& escucha = {});
    ~ServidorAveriado();
    ServidorAveriado(const ServidorAveriado&) = delete;
    ServidorAveriado& operator=(const ServidorAveriado&) = delete;

    /// "https://127.0.0.1:<puerto>/sincertificados"
    std::string direccion() const;
    /// La autoridad que emite el certificado del servidor, en PEM, a ese fichero.
    void grabarAutoridad(const std::string& ruta) const;
    /// Conexiones aceptadas hasta ahora.
    std::size_t conexiones() const;
    /// Bytes de respuesta que el servidor llegó a entregar a TLS.
    std::size_t enviados() const;

    /// Corta la conexión en curso, deja de escuchar y espera a su hilo. Lo hace el destructor.
    void parar();

private:
    struct Estado;
    std::unique_ptr<Estado> e_;
};

} // namespace morvelin::pruebas
