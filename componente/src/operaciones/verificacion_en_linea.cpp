#include "operaciones/verificacion_en_linea.h"

#include "infraestructura/codificacion.h"
#include "infraestructura/escritura.h"
#include "infraestructura/mensajes.h"
#include "infraestructura/trampa.h"
#include "metodos.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

namespace morvelin {

const char* const DireccionServicio = MORVELIN_SERVICIO_URL;

namespace {

bool esBlanco(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

/// Un servidor del dominio reservado ".invalid" no existe nunca: no se busca.
bool servidorInvalido(std::string servidor) {
    std::transform(servidor.begin(), servidor.end(), servidor.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    while (!servidor.empty() && servidor.back() == '.')
        servidor.pop_back();
    constexpr std::string_view dominio = ".invalid";
    return servidor == "invalid" ||
           (servidor.size() > dominio.size() && servidor.ends_with(dominio));
}

std::string sinBlancosFinales(std::string texto) {
    while (!texto.empty() && esBlanco(texto.back()))
        texto.pop_back();
    return texto;
}

} // namespace

void anadirLineas(const std::string& cuerpo, std::string& respuesta) {
    std::size_t desde = 0;
    while (desde < cuerpo.size()) {
        std::size_t lf = cuerpo.find('\n', desde);
        const bool ultima = lf == std::string::npos;
        if (ultima)
            lf = cuerpo.size();
        std::size_t fin = lf;
        if (!ultima && fin > desde && cuerpo[fin - 1] == '\r')
            --fin;
        respuesta.append(cuerpo, desde, fin - desde);
        respuesta += '\n';
        desde = lf + 1;
    }
}

std::string cuerpoPeticion(const RegistroFirma& registro) {
    std::string cuerpo;
    cuerpo.reserve(registro.facturaBase64.size() + registro.firmaBase64.size() + 40);
    cuerpo += "HID=QUENDRAL&";
    cuerpo += "NIE=&";
    cuerpo += "NIR=&";
    cuerpo += "TXT=";
    cuerpo += registro.facturaBase64;
    cuerpo += "&FIR=";
    cuerpo += registro.firmaBase64;
    cuerpo += "&FIN=F";
    return cuerpo;
}

void enviarPeticion(PeticionServicio& peticion, const red::Limites& limites) {
    try {
        auto sesion = red::abrirSesion(AgenteServicio, limites);
        red::Direccion direccion;
        if (!sesion->analizarUrl(peticion.url, direccion) || servidorInvalido(direccion.servidor))
            lanzar(SinConexion);
        auto conexion = sesion->conectar(direccion.servidor, direccion.puerto);
        auto envio = conexion->abrirPeticion("POST", direccion.objeto, direccion.segura);
        codificarUrl(peticion.cuerpo);
        envio->enviar(CabeceraServicio, peticion.cuerpo);

        std::string cuerpo;
        std::array<char, 16384> bloque;
        while (const std::size_t n = envio->leer(bloque.data(), bloque.size())) {
            if (n > limites.respuestaMaxima - cuerpo.size())
                throw red::FalloInternet{};
            cuerpo.append(bloque.data(), n);
        }
        anadirLineas(cuerpo, peticion.respuesta);
    } catch (const red::FalloInternet&) {
        lanzar(SinConexion);
    }
}

void grabarFactura(const std::string& bytes, const std::string& ruta) {
    if (ruta.empty() || !crearCarpetas(ruta))
        lanzar(NoSeGrabaFactura);
    FicheroNuevo fichero(ruta);
    if (!fichero.abrir())
        lanzar(NoSeGrabaFactura);
    constexpr std::size_t Pieza = 10240;
    for (std::size_t desde = 0; desde < bytes.size(); desde += Pieza)
        fichero.escribir(std::string_view(bytes).substr(desde, Pieza));
    if (!fichero.confirmar())
        lanzar(NoSeGrabaFactura);
}

long codigoRespuesta(const std::string& respuesta) {
    std::size_t i = 0;
    while (i < respuesta.size() && esBlanco(respuesta[i]))
        ++i;
    bool negativo = false;
    if (i < respuesta.size() && (respuesta[i] == '+' || respuesta[i] == '-'))
        negativo = respuesta[i++] == '-';
    // Un número desmesurado se queda en el tope: no es ningún código conocido.
    long valor = 0;
    for (; i < respuesta.size() && respuesta[i] >= '0' && respuesta[i] <= '9'; ++i)
        valor = valor > (LONG_MAX - 9) / 10 ? LONG_MAX : valor * 10 + (respuesta[i] - '0');
    return negativo ? -valor : valor;
}

std::string resultadoRespuesta(const std::string& respuesta) {
    // El mensaje de cada código del servicio que no es 0; cualquier otro es desconocido.
    static constexpr std::pair<long, IdMensaje> Mensajes[] = {
        {12, FirmaNoValida},       {13, CertificadoCaducado}, {14, CertificadoRevocado},
        {15, CertificadoNoValido}, {16, FormatoInvalido},     {99, ErrorTecnico},
    };
    if (const long codigo = codigoRespuesta(respuesta); codigo != 0) {
        for (const auto& [deCodigo, mensaje] : Mensajes)
            if (deCodigo == codigo)
                return cargarMensaje(mensaje);
        return cargarMensaje(ErrorDesconocido);
    }
    if (respuesta.compare(0, 2, "00") != 0)
        return cargarMensaje(ErrorDesconocido);
    std::string ordenada = sinBlancosFinales(respuesta);
    const std::size_t nif = ordenada.find(" - NIF ");
    if (nif == std::string::npos)
        return ordenada;
    return sinBlancosFinales(ordenada.substr(0, nif)) + ordenada.substr(nif);
}

std::string verificar(const std::string& rutaOrigen, const std::string& rutaDestino,
                      const ServicioVerificacion& servicio) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> fichero(
        rutaOrigen.empty() ? nullptr : std::fopen(rutaOrigen.c_str(), "rb"), &std::fclose);
    if (!fichero)
        return cargarMensaje(NoSeLeeFirmado);
    RegistroFirma registro;
    return conTrampa([&]() -> std::string {
        leerFicheroFirma(fichero.get(), registro, servicio.ficheroMaximo);
        fichero.reset();
        std::string respuesta;
        {
            PeticionServicio peticion;
            peticion.url = servicio.url;
            peticion.cuerpo = cuerpoPeticion(registro);
            enviarPeticion(peticion, servicio.limites);
            respuesta = std::move(peticion.respuesta);
        } // el cuerpo enviado se libera antes de decodificar la factura
        grabarFactura(decodificarBase64(registro.facturaBase64), rutaDestino);
        return resultadoRespuesta(respuesta);
    });
}

#ifdef MORVELIN_LIMITES_DEL_ENTORNO
namespace {

/// Solo en los componentes compilados para las pruebas de red, que no se pueden llamar más que
/// por su interfaz: límites acortados por la variable MORVELIN_LIMITES_PRUEBA, «conexión
/// estancamiento total» (ms, s, ms). Sin ella, o mal escrita, los de siempre.
void limitesDelEntorno(red::Limites& limites) {
    const char* texto = std::getenv("MORVELIN_LIMITES_PRUEBA");
    long long conexion = 0, estancamiento = 0, total = 0;
    if (texto && std::sscanf(texto, "%lld %lld %lld", &conexion, &estancamiento, &total) == 3 &&
        conexion > 0 && estancamiento > 0 && total > 0) {
        limites.conexion = std::chrono::milliseconds(conexion);
        limites.estancamiento = std::chrono::seconds(estancamiento);
        limites.total = std::chrono::milliseconds(total);
    }
}

} // namespace
#endif

std::string VERIFICA(const std::string& rutaOrigen, const std::string& rutaDestino) {
    ServicioVerificacion servicio;
#ifdef MORVELIN_LIMITES_DEL_ENTORNO
    limitesDelEntorno(servicio.limites);
#endif
    return verificar(rutaOrigen, rutaDestino, servicio);
}

} // namespace morvelin
