// morvelin verifactu: añadir altas y anulaciones a la cadena, el QR de una factura, exportar
// la cadena como remesa y comprobarla, fijar su modo (con su firmante si es sin remisión) o
// cerrarla, enviar su cola a la agencia y ver cómo está.
//
// Estado de salida: 0 bien, 1 dato rechazado o cadena rota, 2 error de uso, 3 fallo
// inesperado.
#include "verifactu.h"

#include "orden.h"

#include "infraestructura/lectura.h"
#include "infraestructura/trampa.h"
#include "verifactu/ordenes.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

namespace {

namespace vf = morvelin::verifactu;

constexpr const char* Uso =
    "Uso: morvelin verifactu [--cadena RUTA|postgresql://...] ORDEN ...\n"
    "\n"
    "Registros de facturación VERI*FACTU encadenados por su huella.\n"
    "\n"
    "  alta FACTURA.json\n"
    "      Añade a la cadena el registro de alta de la factura. Escribe su huella en la\n"
    "      última línea.\n"
    "  anula ANULACION.json\n"
    "      Añade a la cadena el registro de anulación. Escribe su huella en la última línea.\n"
    "  qr FACTURA.json IMAGEN.png|IMAGEN.svg [--prueba] [--modo verifactu|no-verifactu]\n"
    "       [--tamano MM] [--margen MM] [--resolucion PPP]\n"
    "      Escribe el código QR de la factura (de 30 a 40 mm, 40 por omisión; margen de 6 mm;\n"
    "      300 ppp) y su dirección de cotejo. --prueba: el entorno de pruebas de la agencia.\n"
    "      No necesita la cadena.\n"
    "  exporta REMESA.xml [--desde N]\n"
    "      Escribe los registros de la cadena, del más antiguo al más nuevo (desde el nº N),\n"
    "      como una remesa de a lo sumo 1000, cada uno tal como se guardó.\n"
    "  comprueba\n"
    "      Recorre la cadena, recalcula cada huella y cada enlace y dice qué registro la\n"
    "      rompe primero. Sin remisión, también cada firma y el registro de eventos, y\n"
    "      anota la comprobación y lo encontrado. Sale con 0 si está entera y 1 si no.\n"
    "  modo verifactu|no-verifactu [--certificado NIF] [--obligado NIF] [--nombre TEXTO]\n"
    "      Fija el modo antes del primer registro (una cadena nueva es VERI*FACTU). En modo\n"
    "      VERI*FACTU cada registro entra en la cola de envío. no-verifactu (sin remisión):\n"
    "      cada registro y cada evento se guardan firmados con el certificado de NIF (el que\n"
    "      usaría FIRMA; pide el PIN si hace falta); el obligado es NIF salvo --obligado, y\n"
    "      su nombre, el del titular del certificado salvo --nombre.\n"
    "  cierra\n"
    "      Anota el fin del modo sin remisión; la cadena ya no admite registros.\n"
    "  envia [--prueba] [--certificado NIF] [--servicio https://SERVIDOR:PUERTO/RUTA]\n"
    "        [--autoridades FICHERO]\n"
    "      Envía la cola a la agencia, identificándose con el certificado del NIF (el del\n"
    "      obligado, si no se dice otro) esté donde esté. Envíos de a lo sumo 1000 registros,\n"
    "      con la espera que marca la agencia entre ellos. Escribe el veredicto de cada\n"
    "      registro y un resumen con el CSV. --prueba: los servidores de pruebas de la agencia;\n"
    "      --servicio: otra dirección; --autoridades: las autoridades que verifican al\n"
    "      servidor en vez de las del sistema.\n"
    "  estado\n"
    "      Lista los registros de la cola con su veredicto: pendientes, correctos, aceptados\n"
    "      con errores, incorrectos y duplicados.\n"
    "\n"
    "La cadena: --cadena, o la variable MORVELIN_CADENA, o el fichero\n"
    "$XDG_DATA_HOME/MORVELIN/verifactu.sqlite. Una dirección postgresql://... usa PostgreSQL.\n"
    "Un fichero JSON «-» se lee de la entrada estándar.\n"
    "Estado de salida: 0 bien, 1 rechazado (la cadena no cambia) o cadena rota, 2 error de\n"
    "uso, 3 fallo inesperado.\n";

std::optional<std::string> leer(const std::string& ruta) {
    if (ruta == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    try {
        return morvelin::leerFichero(ruta);
    } catch (const morvelin::FalloPaso&) {
        return std::nullopt;
    }
}

// Cada línea de un texto con sus caracteres de control visibles: lo que viene del JSON o de la
// cadena nunca gobierna el terminal.
std::string visible(std::string_view texto) {
    std::string r;
    for (;;) {
        const std::size_t fin = texto.find('\n');
        r += morvelin::textoVisible(texto.substr(0, fin));
        if (fin == std::string_view::npos)
            return r;
        r += '\n';
        texto.remove_prefix(fin + 1);
    }
}

int informar(const vf::Salida& s) {
    for (const auto& a : s.avisos)
        std::cerr << "morvelin: aviso: " << visible(a) << '\n';
    if (!s.correcto) {
        std::cerr << "morvelin: " << visible(s.texto) << '\n';
        return 1;
    }
    std::cout << visible(s.texto) << '\n' << std::flush;
    return 0;
}

int usoIncorrecto(const std::string& motivo) {
    return ::usoIncorrecto(motivo, Uso);
}

} // namespace

int ordenVerifactu(int argc, char** argv) {
    CLI::App app("VERI*FACTU", "morvelin verifactu");
    app.set_help_flag("-h,--help,--ayuda");
    app.require_subcommand(1, 1);
    app.allow_windows_style_options(false);
    std::string cadena;
    app.add_option("--cadena", cadena);

    std::string json, imagen, remesa;
    auto* alta = app.add_subcommand("alta");
    alta->add_option("FACTURA", json)->required();
    auto* anula = app.add_subcommand("anula");
    anula->add_option("ANULACION", json)->required();

    vf::OpcionesQr opciones;
    bool prueba = false;
    std::string modo = "verifactu";
    auto* qr = app.add_subcommand("qr");
    qr->add_option("FACTURA", json)->required();
    qr->add_option("IMAGEN", imagen)->required();
    qr->add_flag("--prueba", prueba);
    qr->add_option("--modo", modo);
    qr->add_option("--tamano", opciones.tamanoMm);
    qr->add_option("--margen", opciones.margenMm);
    qr->add_option("--resolucion", opciones.resolucionPpp);

    std::int64_t desde = 1;
    auto* exporta = app.add_subcommand("exporta");
    exporta->add_option("REMESA", remesa)->required();
    exporta->add_option("--desde", desde);
    auto* comprueba = app.add_subcommand("comprueba");
    std::string modoCadena, certificado, obligado, nombre;
    auto* ponerModo = app.add_subcommand("modo");
    ponerModo->add_option("MODO", modoCadena)->required();
    ponerModo->add_option("--certificado", certificado);
    ponerModo->add_option("--obligado", obligado);
    ponerModo->add_option("--nombre", nombre);
    auto* cierra = app.add_subcommand("cierra");
    vf::OpcionesEnvio envio;
    auto* envia = app.add_subcommand("envia");
    envia->add_flag("--prueba", envio.pruebas);
    envia->add_option("--certificado", envio.certificado);
    envia->add_option("--servicio", envio.servicio);
    envia->add_option("--autoridades", envio.autoridades);
    app.add_subcommand("estado"); // la que queda cuando no es ninguna de las anteriores

    if (const auto fin =
            leerArgumentos(app, argc, argv, Uso, "argumentos incorrectos para verifactu."))
        return *fin;
    if (app.count("--cadena") > 0 && cadena.empty())
        return usoIncorrecto("--cadena necesita una ruta o una dirección postgresql://.");
    if (modo != "verifactu" && modo != "no-verifactu")
        return usoIncorrecto("--modo es «verifactu» o «no-verifactu».");
    if (desde < 1)
        return usoIncorrecto("--desde es un número de registro (1 o más).");
    if (ponerModo->parsed() && modoCadena != "verifactu" && modoCadena != "no-verifactu")
        return usoIncorrecto("el modo es «verifactu» o «no-verifactu».");
    if (ponerModo->parsed() && (modoCadena == "no-verifactu") == certificado.empty())
        return usoIncorrecto("--certificado NIF va con el modo no-verifactu, y solo con él.");
    if (envia->parsed() && !envio.servicio.empty() && envio.servicio.rfind("https://", 0) != 0)
        return usoIncorrecto("--servicio es una dirección https://.");

    return atenderOrden([&] {
        std::optional<std::string> texto;
        if (alta->parsed() || anula->parsed() || qr->parsed()) {
            texto = leer(json);
            if (!texto) {
                std::cerr << "morvelin: no se puede leer " << visible(json) << ".\n";
                return 1;
            }
        }
        if (qr->parsed())
            return informar(vf::ordenQr(
                *texto, imagen, opciones, prueba ? vf::Entorno::Pruebas : vf::Entorno::Produccion,
                modo == "verifactu" ? vf::Modo::Verifactu : vf::Modo::NoVerifactu));
        vf::Ordenes ordenes(cadena);
        if (alta->parsed())
            return informar(ordenes.alta(*texto));
        if (anula->parsed())
            return informar(ordenes.anula(*texto));
        if (exporta->parsed())
            return informar(ordenes.exporta(remesa, desde));
        if (ponerModo->parsed())
            return informar(ordenes.modo(modoCadena, certificado, obligado, nombre));
        if (cierra->parsed())
            return informar(ordenes.cierra());
        if (envia->parsed())
            return informar(ordenes.envia(envio));
        if (!comprueba->parsed())
            return informar(ordenes.estado());
        // El informe de la comprobación va a la salida estándar aunque encuentre algo.
        const auto s = ordenes.comprueba();
        if (!s.correcto &&
            (s.texto.rfind("Cadena ", 0) == 0 || s.texto.rfind("La cadena", 0) == 0)) {
            std::cout << visible(s.texto) << '\n' << std::flush;
            return 1;
        }
        return informar(s);
    });
}
