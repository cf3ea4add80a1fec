#include "verifactu/qr.h"

#include <curl/curl.h>
#include <png.h>
#include <qrencode.h>

#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace morvelin::verifactu {

namespace {

std::string codificar(const std::string& v) {
    std::unique_ptr<char, decltype(&curl_free)> c(
        curl_easy_escape(nullptr, v.c_str(), static_cast<int>(v.size())), curl_free);
    if (!c)
        throw std::bad_alloc();
    return c.get();
}

// La matriz del código: módulos oscuros en true.
struct Matriz {
    int lado = 0;
    std::vector<bool> oscuro;
    bool en(int x, int y) const { return oscuro[static_cast<std::size_t>(y * lado + x)]; }
};

Matriz codigo(const std::string& texto) {
    std::unique_ptr<QRcode, decltype(&QRcode_free)> q(
        QRcode_encodeString8bit(texto.c_str(), 0, QR_ECLEVEL_M), QRcode_free);
    if (!q)
        throw std::runtime_error("no se puede generar el código QR");
    Matriz m;
    m.lado = q->width;
    m.oscuro.resize(static_cast<std::size_t>(m.lado * m.lado));
    for (int i = 0; i < m.lado * m.lado; ++i)
        m.oscuro[static_cast<std::size_t>(i)] = (q->data[i] & 1) != 0;
    return m;
}

int puntos(double mm, int ppp) {
    return static_cast<int>(std::lround(mm * ppp / 25.4));
}

} // namespace

std::string urlCotejo(const Alta& a, Entorno entorno, Modo modo) {
    std::string url = entorno == Entorno::Pruebas ? "https://prewww2.aeat.es"
                                                  : "https://www2.agenciatributaria.gob.es";
    url += modo == Modo::Verifactu ? "/wlpl/TIKE-CONT/ValidarQR"
                                   : "/wlpl/TIKE-CONT/ValidarQRNoVerifactu";
    url += "?nif=" + codificar(a.idFactura.idEmisorFactura);
    url += "&numserie=" + codificar(a.idFactura.numSerieFactura);
    url += "&fecha=" + codificar(a.idFactura.fechaExpedicionFactura);
    url += "&importe=" + codificar(a.importeTotal);
    return url;
}

void comprobarOpcionesQr(const OpcionesQr& o) {
    if (!(o.tamanoMm >= 30 && o.tamanoMm <= 40))
        throw ErrorCampo("tamaño", "el código QR mide de 30 a 40 mm de lado.");
    if (!(o.margenMm >= 2 && o.margenMm <= 50))
        throw ErrorCampo("margen", "el margen blanco es de 2 mm como poco (6 recomendados) y "
                                   "50 como mucho.");
    if (o.resolucionPpp < 72 || o.resolucionPpp > 2400)
        throw ErrorCampo("resolución", "ha de estar entre 72 y 2400 puntos por pulgada.");
}

namespace {

// Las llamadas a libpng, aparte: tras su setjmp no vive ningún objeto de C++.
bool escribirPng(std::string* salida, const png_byte* imagen, int lado, std::size_t bytesFila,
                 png_uint_32 porMetro) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(
        png, salida,
        [](png_structp p, png_bytep datos, png_size_t n) {
            try {
                static_cast<std::string*>(png_get_io_ptr(p))
                    ->append(reinterpret_cast<const char*>(datos), n);
            } catch (...) {
                png_error(p, "sin memoria");
            }
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(lado), static_cast<png_uint_32>(lado), 1,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, porMetro, porMetro, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    for (int y = 0; y < lado; ++y)
        png_write_row(png, imagen + static_cast<std::size_t>(y) * bytesFila);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::string qrPng(const std::string& texto, const OpcionesQr& o) {
    comprobarOpcionesQr(o);
    const Matriz m = codigo(texto);
    // Cada módulo, un número entero de puntos: el código queda nítido y cerca del tamaño
    // pedido.
    const int modulo =
        std::max(1, static_cast<int>(std::lround(
                        static_cast<double>(puntos(o.tamanoMm, o.resolucionPpp)) / m.lado)));
    const int margen = puntos(o.margenMm, o.resolucionPpp);
    const int lado = m.lado * modulo + 2 * margen;
    const std::size_t bytesFila = static_cast<std::size_t>((lado + 7) / 8);
    // Gris de 1 bit: 1 es blanco.
    std::vector<png_byte> imagen(bytesFila * static_cast<std::size_t>(lado), 0xFF);
    for (int y = margen; y < margen + m.lado * modulo; ++y) {
        png_byte* fila = imagen.data() + static_cast<std::size_t>(y) * bytesFila;
        const int my = (y - margen) / modulo;
        for (int x = margen; x < margen + m.lado * modulo; ++x)
            if (m.en((x - margen) / modulo, my))
                fila[x / 8] &= static_cast<png_byte>(~(0x80 >> (x % 8)));
    }
    std::string salida;
    const auto porMetro = static_cast<png_uint_32>(std::lround(o.resolucionPpp / 0.0254));
    if (!escribirPng(&salida, imagen.data(), lado, bytesFila, porMetro))
        throw std::runtime_error("no se puede escribir el PNG del código QR");
    return salida;
}

std::string qrSvg(const std::string& texto, const OpcionesQr& o) {
    comprobarOpcionesQr(o);
    const Matriz m = codigo(texto);
    // Las coordenadas, en módulos; el margen, en módulos también (puede no ser entero).
    const double modulo = o.tamanoMm / m.lado;
    const double margen = o.margenMm / modulo;
    const double total = m.lado + 2 * margen;
    char cabecera[512];
    std::snprintf(cabecera, sizeof cabecera,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%.3fmm\" "
                  "height=\"%.3fmm\" viewBox=\"%.4f %.4f %.4f %.4f\" "
                  "shape-rendering=\"crispEdges\">\n"
                  "<rect x=\"%.4f\" y=\"%.4f\" width=\"%.4f\" height=\"%.4f\" fill=\"#fff\"/>\n"
                  "<path fill=\"#000\" d=\"",
                  o.tamanoMm + 2 * o.margenMm, o.tamanoMm + 2 * o.margenMm, -margen, -margen, total,
                  total, -margen, -margen, total, total);
    std::string s = cabecera;
    // Cada tramo horizontal de módulos oscuros, un rectángulo.
    for (int y = 0; y < m.lado; ++y)
        for (int x = 0; x < m.lado;) {
            if (!m.en(x, y)) {
                ++x;
                continue;
            }
            int fin = x;
            while (fin < m.lado && m.en(fin, y))
                ++fin;
            s += "M" + std::to_string(x) + " " + std::to_string(y) + "h" + std::to_string(fin - x) +
                 "v1h-" + std::to_string(fin - x) + "z";
            x = fin;
        }
    s += "\"/>\n</svg>\n";
    return s;
}

} // namespace morvelin::verifactu
