// VERI*FACTU desde C y desde C++: la misma lógica que la línea de órdenes.
#include "morvelin/Verifactu.h"
#include "morvelin/verifactu.h"

#include "infraestructura/frontera_c.h"
#include "verifactu/ordenes.h"

#include <string>

namespace vf = morvelin::verifactu;

namespace morvelin {

namespace {

ResultadoVerifactu convertir(vf::Salida s) {
    return {s.correcto, std::move(s.texto), std::move(s.avisos)};
}

vf::OpcionesQr opcionesQr(const OpcionesQrVerifactu& o) {
    return {o.tamanoMm, o.margenMm, o.resolucionPpp};
}

} // namespace

struct CadenaVerifactu::Datos {
    vf::Ordenes ordenes;
};

CadenaVerifactu::CadenaVerifactu(const std::string& destino)
    : datos_(std::make_unique<Datos>(Datos{vf::Ordenes(destino)})) {}

CadenaVerifactu::~CadenaVerifactu() = default;

ResultadoVerifactu CadenaVerifactu::alta(const std::string& json) {
    return convertir(datos_->ordenes.alta(json));
}

ResultadoVerifactu CadenaVerifactu::anula(const std::string& json) {
    return convertir(datos_->ordenes.anula(json));
}

ResultadoVerifactu CadenaVerifactu::exporta(const std::string& ruta, long long desde) {
    return convertir(datos_->ordenes.exporta(ruta, desde));
}

ResultadoVerifactu CadenaVerifactu::comprueba() {
    return convertir(datos_->ordenes.comprueba());
}

ResultadoVerifactu CadenaVerifactu::modo(const std::string& modo, const std::string& certificado) {
    return convertir(datos_->ordenes.modo(modo, certificado));
}

ResultadoVerifactu CadenaVerifactu::cierra() {
    return convertir(datos_->ordenes.cierra());
}

ResultadoVerifactu CadenaVerifactu::envia(const OpcionesEnvioVerifactu& o) {
    return convertir(datos_->ordenes.envia({o.pruebas, o.certificado, o.servicio, o.autoridades}));
}

ResultadoVerifactu CadenaVerifactu::estado() {
    return convertir(datos_->ordenes.estado());
}

ResultadoVerifactu qrVerifactu(const std::string& json, const std::string& ruta,
                               const OpcionesQrVerifactu& o) {
    return convertir(vf::ordenQr(json, ruta, opcionesQr(o),
                                 o.pruebas ? vf::Entorno::Pruebas : vf::Entorno::Produccion,
                                 o.noVerifactu ? vf::Modo::NoVerifactu : vf::Modo::Verifactu));
}

} // namespace morvelin

namespace {

using morvelin::frontera::texto;

// El texto de la salida para C: los avisos, una línea cada uno, antes del resultado.
template <class Orden>
morvelin_estado entregar(int* correcto, char** resultado, Orden&& orden) noexcept {
    if (correcto == nullptr || resultado == nullptr)
        return MORVELIN_PUNTERO_INVALIDO;
    *correcto = 0;
    bool bien = false;
    const auto estado = morvelin::frontera::entregar(resultado, [&] {
        const vf::Salida s = orden();
        std::string t;
        for (const auto& a : s.avisos)
            t += a + "\n";
        t += s.texto;
        bien = s.correcto;
        return t;
    });
    if (estado == MORVELIN_OK && bien)
        *correcto = 1;
    return estado;
}

} // namespace

extern "C" {

morvelin_estado morvelin_verifactu_alta(const char* cadena, const char* json, int* correcto,
                                        char** resultado) {
    return entregar(correcto, resultado,
                    [&] { return vf::Ordenes(texto(cadena)).alta(texto(json)); });
}

morvelin_estado morvelin_verifactu_anula(const char* cadena, const char* json, int* correcto,
                                         char** resultado) {
    return entregar(correcto, resultado,
                    [&] { return vf::Ordenes(texto(cadena)).anula(texto(json)); });
}

morvelin_estado morvelin_verifactu_exporta(const char* cadena, const char* ruta, long long desde,
                                           int* correcto, char** resultado) {
    return entregar(correcto, resultado, [&] {
        auto s = vf::Ordenes(texto(cadena)).exporta(texto(ruta), desde);
        // El aviso de lo que queda va tras lo que lleva la remesa.
        for (auto& a : s.avisos)
            s.texto += "\n" + a;
        s.avisos.clear();
        return s;
    });
}

morvelin_estado morvelin_verifactu_comprueba(const char* cadena, int* correcto, char** resultado) {
    return entregar(correcto, resultado, [&] { return vf::Ordenes(texto(cadena)).comprueba(); });
}

morvelin_estado morvelin_verifactu_modo(const char* cadena, const char* modo, int* correcto,
                                        char** resultado) {
    return morvelin_verifactu_modo_con_certificado(cadena, modo, nullptr, correcto, resultado);
}

morvelin_estado morvelin_verifactu_modo_con_certificado(const char* cadena, const char* modo,
                                                        const char* certificado, int* correcto,
                                                        char** resultado) {
    return entregar(correcto, resultado, [&] {
        return vf::Ordenes(texto(cadena)).modo(texto(modo), texto(certificado));
    });
}

morvelin_estado morvelin_verifactu_cierra(const char* cadena, int* correcto, char** resultado) {
    return entregar(correcto, resultado, [&] { return vf::Ordenes(texto(cadena)).cierra(); });
}

morvelin_estado morvelin_verifactu_envia(const char* cadena, int pruebas, const char* certificado,
                                         const char* servicio, const char* autoridades,
                                         int* correcto, char** resultado) {
    return entregar(correcto, resultado, [&] {
        return vf::Ordenes(texto(cadena))
            .envia({pruebas != 0, texto(certificado), texto(servicio), texto(autoridades)});
    });
}

morvelin_estado morvelin_verifactu_estado(const char* cadena, int* correcto, char** resultado) {
    return entregar(correcto, resultado, [&] { return vf::Ordenes(texto(cadena)).estado(); });
}

morvelin_estado morvelin_verifactu_qr(const char* json, const char* ruta,
                                      const morvelin_qr_opciones* opciones, int* correcto,
                                      char** resultado) {
    return entregar(correcto, resultado, [&] {
        morvelin::OpcionesQrVerifactu o;
        if (opciones) {
            if (opciones->tamano_mm > 0)
                o.tamanoMm = opciones->tamano_mm;
            if (opciones->margen_mm > 0)
                o.margenMm = opciones->margen_mm;
            if (opciones->resolucion_ppp > 0)
                o.resolucionPpp = opciones->resolucion_ppp;
            o.pruebas = opciones->pruebas != 0;
            o.noVerifactu = opciones->no_verifactu != 0;
        }
        return vf::ordenQr(texto(json), texto(ruta), morvelin::opcionesQr(o),
                           o.pruebas ? vf::Entorno::Pruebas : vf::Entorno::Produccion,
                           o.noVerifactu ? vf::Modo::NoVerifactu : vf::Modo::Verifactu);
    });
}

} // extern "C"
