#include "guion_registro.h"

#include <cctype>
#include <stdexcept>

namespace morvelin::registro {

namespace {

struct Pieza {
    std::string texto;
    bool entreComillas = false;
    int linea = 0;
};

std::vector<Pieza> trocear(std::string_view guion) {
    std::vector<Pieza> piezas;
    int linea = 1;
    std::size_t i = 0;
    while (i < guion.size()) {
        const char c = guion[i];
        if (c == '\n')
            ++linea;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        Pieza p{{}, c == '\'', linea};
        if (p.entreComillas) {
            for (++i;; ++i) {
                if (i >= guion.size())
                    throw std::invalid_argument(
                        "guion de registro: comilla sin cerrar en la línea " +
                        std::to_string(p.linea));
                if (guion[i] == '\'') {
                    if (i + 1 < guion.size() && guion[i + 1] == '\'') {
                        p.texto += '\'';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (guion[i] == '\n')
                    ++linea;
                p.texto += guion[i];
            }
        } else {
            while (i < guion.size() && !std::isspace(static_cast<unsigned char>(guion[i])))
                p.texto += guion[i++];
        }
        piezas.push_back(std::move(p));
    }
    return piezas;
}

class Lector {
public:
    explicit Lector(std::vector<Pieza> piezas) : piezas_(std::move(piezas)) {}

    std::vector<Clave> guion() {
        esperar("HKCR");
        esperar("{");
        std::vector<Clave> claves;
        while (!es("}"))
            claves.push_back(clave());
        esperar("}");
        if (pos_ < piezas_.size())
            fallo("sobra texto tras el cierre de HKCR");
        return claves;
    }

private:
    bool quedan() const { return pos_ < piezas_.size(); }
    bool es(std::string_view palabra) const {
        return quedan() && !piezas_[pos_].entreComillas && piezas_[pos_].texto == palabra;
    }
    [[noreturn]] void fallo(const std::string& que) const {
        const int linea =
            quedan() ? piezas_[pos_].linea : (piezas_.empty() ? 1 : piezas_.back().linea);
        throw std::invalid_argument("guion de registro: " + que + " en la línea " +
                                    std::to_string(linea));
    }
    void esperar(std::string_view palabra) {
        if (!es(palabra))
            fallo("se esperaba «" + std::string(palabra) + "»");
        ++pos_;
    }
    std::string nombre() {
        if (!quedan() || (!piezas_[pos_].entreComillas &&
                          (es("{") || es("}") || es("=") || piezas_[pos_].texto.empty())))
            fallo("se esperaba un nombre");
        return piezas_[pos_++].texto;
    }
    std::string texto() {
        esperar("=");
        esperar("s");
        if (!quedan() || !piezas_[pos_].entreComillas)
            fallo("se esperaba un texto entre comillas");
        return piezas_[pos_++].texto;
    }

    Clave clave() {
        Clave c;
        if (es("NoRemove")) {
            c.noRemove = true;
            ++pos_;
        } else if (es("ForceRemove")) {
            c.forceRemove = true;
            ++pos_;
        }
        c.nombre = nombre();
        if (c.nombre.find('\\') != std::string::npos)
            fallo("un nombre de clave no lleva «\\»");
        if (es("="))
            c.porOmision = texto();
        if (es("{")) {
            ++pos_;
            while (!es("}")) {
                if (!quedan())
                    fallo("falta «}»");
                if (es("val")) {
                    ++pos_;
                    Valor v;
                    v.nombre = nombre();
                    v.texto = texto();
                    c.valores.push_back(std::move(v));
                } else {
                    c.hijas.push_back(clave());
                }
            }
            ++pos_;
        }
        return c;
    }

    std::vector<Pieza> piezas_;
    std::size_t pos_ = 0;
};

std::string sustituirModulo(std::string texto, std::string_view modulo) {
    static constexpr std::string_view marca = "%MODULE%";
    for (std::size_t p = texto.find(marca); p != std::string::npos;
         p = texto.find(marca, p + modulo.size()))
        texto.replace(p, marca.size(), modulo);
    return texto;
}

std::string unir(const std::string& padre, const std::string& nombre) {
    return padre.empty() ? nombre : padre + '\\' + nombre;
}

bool registrarClave(const Clave& c, const std::string& padre, Registro& registro,
                    std::string_view modulo) {
    const std::string ruta = unir(padre, c.nombre);
    if (c.forceRemove && !registro.borrarArbol(ruta))
        return false;
    if (!registro.crearClave(ruta))
        return false;
    if (c.porOmision && !registro.ponerValor(ruta, {}, sustituirModulo(*c.porOmision, modulo)))
        return false;
    for (const Valor& v : c.valores)
        if (!registro.ponerValor(ruta, v.nombre, sustituirModulo(v.texto, modulo)))
            return false;
    for (const Clave& hija : c.hijas)
        if (!registrarClave(hija, ruta, registro, modulo))
            return false;
    return true;
}

bool desregistrarClave(const Clave& c, const std::string& padre, Registro& registro) {
    const std::string ruta = unir(padre, c.nombre);
    if (!c.noRemove)
        return registro.borrarArbol(ruta);
    bool bien = true;
    for (const Clave& hija : c.hijas)
        bien = desregistrarClave(hija, ruta, registro) && bien;
    return bien;
}

} // namespace

std::vector<Clave> leerGuion(std::string_view guion) {
    return Lector(trocear(guion)).guion();
}

bool registrar(const std::vector<Clave>& claves, Registro& registro, std::string_view modulo) {
    for (const Clave& c : claves)
        if (!registrarClave(c, {}, registro, modulo))
            return false;
    return true;
}

bool desregistrar(const std::vector<Clave>& claves, Registro& registro) {
    bool bien = true;
    for (const Clave& c : claves)
        bien = desregistrarClave(c, {}, registro) && bien;
    return bien;
}

} // namespace morvelin::registro
