#include "verificacion.h"

#include "codificacion.h"
#include "escritura.h"
#include "mensajes.h"
#include "metodos.h"
#include "trampa.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace morvelin {

const char* const DireccionServicio = MORVELIN_SERVICIO_URL;

namespace {

bool esBlanco(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

/// Lectura de un fichero como texto, por trozos. CR LF llega como LF (el CR delante de un LF se
/// quita al llenar el búfer; uno al final de un bloque espera al byte siguiente).
class LectorTexto {
public:
    /// Lanza NoSeLeeFirmado si la lectura falla o pasa de `maximo` bytes.
    LectorTexto(std::FILE* f, std::uint64_t maximo) : f_(f), quedan_(maximo) {}

    /// Lee hasta el próximo LF, que se consume y no se copia, o hasta `maximo` caracteres.
    /// Falso cuando ya no queda nada.
    bool leerTrozo(std::string& trozo, std::size_t maximo) {
        trozo.clear();
        if (pos_ == fin_ && !llenar())
            return false;
        while (trozo.size() < maximo) {
            if (pos_ == fin_ && !llenar())
                break;
            const std::size_t cabe = std::min(fin_ - pos_, maximo - trozo.size());
            const char* desde = bufer_.data() + pos_;
            if (const void* lf = std::memchr(desde, '\n', cabe)) {
                const auto n = static_cast<std::size_t>(static_cast<const char*>(lf) - desde);
                trozo.append(desde, n);
                pos_ += n + 1;
                break;
            }
            trozo.append(desde, cabe);
            pos_ += cabe;
        }
        return true;
    }

private:
    bool llenar() {
        pos_ = fin_ = 0;
        while (fin_ == 0) {
            std::size_t n = 0;
            if (crPendiente_) {
                bufer_[n++] = '\r';
                crPendiente_ = false;
            }
            const std::size_t leidos = std::fread(bufer_.data() + n, 1, bufer_.size() - n, f_);
            if (leidos < bufer_.size() - n && std::ferror(f_))
                lanzar(NoSeLeeFirmado);
            if (leidos > quedan_)
                lanzar(NoSeLeeFirmado);
            quedan_ -= leidos;
            n += leidos;
            if (n == 0)
                return false;
            std::size_t j = 0;
            for (std::size_t i = 0; i < n; ++i)
                if (!(bufer_[i] == '\r' && i + 1 < n && bufer_[i + 1] == '\n'))
                    bufer_[j++] = bufer_[i];
            if (leidos > 0 && bufer_[j - 1] == '\r') {
                crPendiente_ = true;
                --j;
            }
            fin_ = j;
        }
        return true;
    }

    std::FILE* f_;
    std::uint64_t quedan_; // bytes que aún se pueden leer
    std::array<char, 1 << 16> bufer_;
    std::size_t pos_ = 0;
    std::size_t fin_ = 0;
    bool crPendiente_ = false;
};

/// El texto entre la primera etiqueta de apertura y la primera de cierre.
std::string campo(const std::string& texto, const EtiquetasCampo& etiquetas) {
    const std::size_t a = texto.find(etiquetas.apertura);
    const std::size_t c = texto.find(etiquetas.cierre);
    if (a == std::string::npos || c == std::string::npos)
        lanzar(FormatoFirmado);
    const std::size_t desde = a + etiquetas.apertura.size();
    return c > desde ? texto.substr(desde, c - desde) : std::string();
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

void leerFicheroFirma(std::FILE* fichero, RegistroFirma& registro, std::uint64_t maximo) {
    // El texto acumulado cabe en el tamaño del fichero: se reserva de una vez, después de la
    // primera lectura (una carpeta "mide" lo que quiera, pero no se deja leer). Uno que ya mide
    // más de la cuenta no se lee; lo que no tiene tamaño (una tubería, /dev/zero) se corta al
    // pasar de la cuenta.
    long tamano = -1;
    if (std::fseek(fichero, 0, SEEK_END) == 0) {
        tamano = std::ftell(fichero);
        std::rewind(fichero);
    }
    if (tamano > 0 && static_cast<std::uint64_t>(tamano) > maximo)
        lanzar(NoSeLeeFirmado);
    LectorTexto lector(fichero, maximo);
    std::string texto, trozo;
    trozo.reserve(TrozoFicheroFirma);
    for (bool primero = true; lector.leerTrozo(trozo, TrozoFicheroFirma); primero = false) {
        if (primero && tamano > 0) {
            try {
                texto.reserve(static_cast<std::size_t>(tamano));
            } catch (const std::exception&) {
                // Sin reserva también se lee, creciendo a medida.
            }
        }
        texto += trozo;
    }

    registro.nombreFichero = campo(texto, EtiquetasNombre);
    registro.facturaBase64 = campo(texto, EtiquetasFactura);
    registro.firmaBase64 = campo(texto, EtiquetasFirma);
}

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
    switch (codigoRespuesta(respuesta)) {
    case 0:
        break;
    case 12:
        return cargarMensaje(FirmaNoValida);
    case 13:
        return cargarMensaje(CertificadoCaducado);
    case 14:
        return cargarMensaje(CertificadoRevocado);
    case 15:
        return cargarMensaje(CertificadoNoValido);
    case 16:
        return cargarMensaje(FormatoInvalido);
    case 99:
        return cargarMensaje(ErrorTecnico);
    default:
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
