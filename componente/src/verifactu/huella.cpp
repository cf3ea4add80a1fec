#include "verifactu/huella.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace morvelin::verifactu {

namespace {

void anadir(std::string& t, std::string_view nombre, std::string_view valor) {
    if (!t.empty())
        t += '&';
    t += nombre;
    t += '=';
    t += recortar(valor);
}

void escribirTexto(const CamposHuellaAlta& c, std::string& t) {
    t.clear();
    anadir(t, "IDEmisorFactura", c.idEmisorFactura);
    anadir(t, "NumSerieFactura", c.numSerieFactura);
    anadir(t, "FechaExpedicionFactura", c.fechaExpedicionFactura);
    anadir(t, "TipoFactura", c.tipoFactura);
    anadir(t, "CuotaTotal", c.cuotaTotal);
    anadir(t, "ImporteTotal", c.importeTotal);
    anadir(t, "Huella", c.huellaAnterior);
    anadir(t, "FechaHoraHusoGenRegistro", c.fechaHoraHusoGenRegistro);
}

void escribirTexto(const CamposHuellaAnulacion& c, std::string& t) {
    t.clear();
    anadir(t, "IDEmisorFacturaAnulada", c.idEmisorFacturaAnulada);
    anadir(t, "NumSerieFacturaAnulada", c.numSerieFacturaAnulada);
    anadir(t, "FechaExpedicionFacturaAnulada", c.fechaExpedicionFacturaAnulada);
    anadir(t, "Huella", c.huellaAnterior);
    anadir(t, "FechaHoraHusoGenRegistro", c.fechaHoraHusoGenRegistro);
}

// El NIF aparece dos veces (el del productor del sistema y el del obligado), cada uno con su
// nombre de campo.
void escribirTexto(const CamposHuellaEvento& c, std::string& t) {
    t.clear();
    anadir(t, "NIF", c.nifSistema);
    anadir(t, "ID", c.idSistema);
    anadir(t, "IdSistemaInformatico", c.idSistemaInformatico);
    anadir(t, "Version", c.version);
    anadir(t, "NumeroInstalacion", c.numeroInstalacion);
    anadir(t, "NIF", c.nifObligado);
    anadir(t, "TipoEvento", c.tipoEvento);
    anadir(t, "HuellaEvento", c.huellaEventoAnterior);
    anadir(t, "FechaHoraHusoGenEvento", c.fechaHoraHusoGenEvento);
}

// El algoritmo se busca en el proveedor una sola vez; cada hilo reutiliza su contexto.
const EVP_MD* algoritmoSha256() {
    static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
    if (md == nullptr)
        throw std::runtime_error("no se puede calcular SHA-256");
    return md;
}

struct ContextoResumen {
    EVP_MD_CTX* c = EVP_MD_CTX_new();
    ~ContextoResumen() { EVP_MD_CTX_free(c); }
};

template <class Campos> std::string huellaDeCampos(const Campos& c) {
    thread_local std::string texto;
    escribirTexto(c, texto);
    return sha256Hex(texto);
}

} // namespace

std::string_view recortar(std::string_view v) {
    // Un bucle sencillo: find_first_not_of buscaría cada carácter en el juego de blancos.
    const auto blanco = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    };
    std::size_t i = 0, f = v.size();
    while (i < f && blanco(v[i]))
        ++i;
    while (f > i && blanco(v[f - 1]))
        --f;
    return i == f ? std::string_view() : v.substr(i, f - i);
}

std::string textoHuella(const CamposHuellaAlta& c) {
    std::string t;
    escribirTexto(c, t);
    return t;
}

std::string textoHuella(const CamposHuellaAnulacion& c) {
    std::string t;
    escribirTexto(c, t);
    return t;
}

std::string textoHuella(const CamposHuellaEvento& c) {
    std::string t;
    escribirTexto(c, t);
    return t;
}

std::string sha256Hex(std::string_view texto) {
    thread_local ContextoResumen contexto;
    unsigned char resumen[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (contexto.c == nullptr || EVP_DigestInit_ex2(contexto.c, algoritmoSha256(), nullptr) != 1 ||
        EVP_DigestUpdate(contexto.c, texto.data(), texto.size()) != 1 ||
        EVP_DigestFinal_ex(contexto.c, resumen, &n) != 1)
        throw std::runtime_error("no se puede calcular SHA-256");
    static constexpr char cifras[] = "0123456789ABCDEF";
    std::string h(2 * n, '0');
    for (unsigned int i = 0; i < n; ++i) {
        h[2 * i] = cifras[resumen[i] >> 4];
        h[2 * i + 1] = cifras[resumen[i] & 0xF];
    }
    return h;
}

std::string calcularHuella(const CamposHuellaAlta& c) {
    return huellaDeCampos(c);
}

std::string calcularHuella(const CamposHuellaAnulacion& c) {
    return huellaDeCampos(c);
}

std::string calcularHuella(const CamposHuellaEvento& c) {
    return huellaDeCampos(c);
}

bool esHuella(std::string_view h) {
    if (h.size() != 64)
        return false;
    for (char c : h)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

} // namespace morvelin::verifactu
