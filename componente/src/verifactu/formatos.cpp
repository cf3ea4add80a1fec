#include "verifactu/formatos.h"

#include <array>
#include <cctype>
#include <ctime>

namespace morvelin::verifactu {

namespace {

bool cifra(char c) {
    return c >= '0' && c <= '9';
}

bool mayuscula(char c) {
    return c >= 'A' && c <= 'Z';
}

bool cifras(std::string_view s) {
    for (char c : s)
        if (!cifra(c))
            return false;
    return !s.empty();
}

constexpr std::string_view LetrasDni = "TRWAGMYFPDXBNJZSQVHLCKE";

char letraDni(unsigned long numero) {
    return LetrasDni[numero % 23];
}

// Control de un NIF de entidad: suma de las cifras pares más las de los dobles de las impares.
int controlEntidad(std::string_view siete) {
    int suma = 0;
    for (std::size_t i = 0; i < 7; ++i) {
        int d = siete[i] - '0';
        if (i % 2 == 0) {
            d *= 2;
            d = d / 10 + d % 10;
        }
        suma += d;
    }
    return (10 - suma % 10) % 10;
}

// Caracteres UTF-8 de `s`, o -1 si no es UTF-8 válido.
long caracteresUtf8(std::string_view s) {
    long n = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t largo = c < 0x80         ? 1
                            : (c >> 5) == 6  ? 2
                            : (c >> 4) == 14 ? 3
                            : (c >> 3) == 30 ? 4
                                             : 0;
        if (largo == 0 || i + largo > s.size())
            return -1;
        std::uint32_t cp = largo == 1 ? c : c & (0x7F >> largo);
        for (std::size_t k = 1; k < largo; ++k) {
            const auto s2 = static_cast<unsigned char>(s[i + k]);
            if ((s2 & 0xC0) != 0x80)
                return -1;
            cp = (cp << 6) | (s2 & 0x3F);
        }
        // Formas demasiado largas, sustitutos y valores fuera de Unicode.
        if ((largo == 2 && cp < 0x80) || (largo == 3 && cp < 0x800) ||
            (largo == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return -1;
        // XML 1.0 no admite los caracteres de control salvo tabulador y saltos de línea.
        if (cp < 0x20 && cp != 0x09 && cp != 0x0A && cp != 0x0D)
            return -1;
        i += largo;
        ++n;
    }
    return n;
}

// (+|-)?\d{1,enteras}(\.\d{0,decimales})? sin ceros de más a la izquierda; en centésimas.
std::optional<std::int64_t> leerDecimal(std::string_view t, int enteras, bool signo) {
    std::size_t i = 0;
    bool negativo = false;
    if (signo && !t.empty() && (t[0] == '+' || t[0] == '-')) {
        negativo = t[0] == '-';
        ++i;
    }
    const std::size_t inicio = i;
    while (i < t.size() && cifra(t[i]))
        ++i;
    const std::size_t n = i - inicio;
    if (n == 0 || n > static_cast<std::size_t>(enteras) || (n > 1 && t[inicio] == '0'))
        return std::nullopt;
    std::int64_t v = 0;
    for (std::size_t k = inicio; k < i; ++k)
        v = v * 10 + (t[k] - '0');
    v *= 100;
    if (i < t.size()) {
        if (t[i] != '.')
            return std::nullopt;
        ++i;
        const std::size_t d = t.size() - i;
        if (d > 2 || !(d == 0 || cifras(t.substr(i))))
            return std::nullopt;
        if (d >= 1)
            v += 10 * (t[i] - '0');
        if (d == 2)
            v += t[i + 1] - '0';
    }
    return negativo ? -v : v;
}

struct PaisIva {
    std::string_view prefijo;
    std::string_view pais; // el código ISO que lo acompaña en CodigoPais
    std::array<int, 3> largos;
    bool alfanumerico;
};

// La estructura de los NIF-IVA de los Estados miembros (número tras el prefijo del país).
constexpr std::array<PaisIva, 29> PaisesIva = {{
    {"DE", "DE", {9, 0, 0}, false},  {"AT", "AT", {9, 0, 0}, true},
    {"BE", "BE", {10, 0, 0}, false}, {"CY", "CY", {9, 0, 0}, true},
    {"CZ", "CZ", {8, 9, 10}, false}, {"HR", "HR", {11, 0, 0}, false},
    {"DK", "DK", {8, 0, 0}, false},  {"SK", "SK", {10, 0, 0}, false},
    {"SI", "SI", {8, 0, 0}, false},  {"EE", "EE", {9, 0, 0}, false},
    {"FI", "FI", {8, 0, 0}, false},  {"FR", "FR", {11, 0, 0}, true},
    {"EL", "GR", {9, 0, 0}, false},  {"GB", "GB", {5, 9, 12}, true},
    {"XI", "GB", {5, 9, 12}, true},  {"NL", "NL", {12, 0, 0}, true},
    {"HU", "HU", {8, 0, 0}, false},  {"IT", "IT", {11, 0, 0}, false},
    {"IE", "IE", {8, 9, 0}, true},   {"LV", "LV", {11, 0, 0}, false},
    {"LT", "LT", {9, 12, 0}, false}, {"LU", "LU", {8, 0, 0}, false},
    {"MT", "MT", {8, 0, 0}, false},  {"PL", "PL", {10, 0, 0}, false},
    {"PT", "PT", {9, 0, 0}, false},  {"SE", "SE", {12, 0, 0}, false},
    {"BG", "BG", {9, 10, 0}, false}, {"RO", "RO", {0, 0, 0}, false},
    {"ES", "ES", {9, 0, 0}, true},
}};

} // namespace

std::int64_t Fecha::dias() const {
    // Días civiles desde 1970-01-01 (algoritmo de los días del calendario gregoriano proléptico).
    const int y = anio - (mes <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (mes + (mes > 2 ? -3 : 9)) + 2) / 5 + dia - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

std::optional<Fecha> leerFecha(std::string_view t) {
    if (t.size() != 10 || t[2] != '-' || t[5] != '-' || !cifras(t.substr(0, 2)) ||
        !cifras(t.substr(3, 2)) || !cifras(t.substr(6, 4)))
        return std::nullopt;
    Fecha f;
    f.dia = (t[0] - '0') * 10 + (t[1] - '0');
    f.mes = (t[3] - '0') * 10 + (t[4] - '0');
    f.anio = std::stoi(std::string(t.substr(6, 4)));
    static constexpr int diasMes[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f.mes < 1 || f.mes > 12 || f.dia < 1 || f.anio < 1)
        return std::nullopt;
    const bool bisiesto = (f.anio % 4 == 0 && f.anio % 100 != 0) || f.anio % 400 == 0;
    const int maximo = diasMes[f.mes - 1] + (f.mes == 2 && bisiesto ? 1 : 0);
    if (f.dia > maximo)
        return std::nullopt;
    return f;
}

Fecha fechaLocal(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm local{};
    localtime_r(&tt, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

bool esNifValido(std::string_view n) {
    if (n.size() != 9)
        return false;
    const char primera = n[0];
    const char ultima = n[8];
    if (cifras(n.substr(0, 8)))
        return ultima == letraDni(std::stoul(std::string(n.substr(0, 8))));
    if (!cifras(n.substr(1, 7)))
        return false;
    const auto siete = n.substr(1, 7);
    if (primera == 'X' || primera == 'Y' || primera == 'Z') {
        const std::string numero =
            std::string(1, static_cast<char>('0' + (primera - 'X'))) + std::string(siete);
        return ultima == letraDni(std::stoul(numero));
    }
    if (primera == 'K' || primera == 'L' || primera == 'M')
        return ultima == letraDni(std::stoul(std::string(siete)));
    constexpr std::string_view entidades = "ABCDEFGHJNPQRSUVW";
    if (entidades.find(primera) == std::string_view::npos)
        return false;
    const int control = controlEntidad(siete);
    const char letra = "JABCDEFGHI"[control];
    const char digito = static_cast<char>('0' + control);
    constexpr std::string_view conLetra = "NPQRSW";
    constexpr std::string_view conCifra = "ABEH";
    if (conLetra.find(primera) != std::string_view::npos)
        return ultima == letra;
    if (conCifra.find(primera) != std::string_view::npos)
        return ultima == digito;
    return ultima == letra || ultima == digito;
}

void comprobarNif(const std::string& campo, const std::string& nif) {
    if (nif.size() != 9)
        throw ErrorCampo(campo, "«" + nif + "» no es un NIF: ha de tener 9 caracteres.");
    if (!esNifValido(nif))
        throw ErrorCampo(campo, "«" + nif +
                                    "» no es un NIF válido (formato o carácter de control "
                                    "incorrecto).");
}

std::int64_t comprobarImporte(const std::string& campo, const std::string& texto, int enteras) {
    const auto v = leerDecimal(texto, enteras, true);
    if (!v)
        throw ErrorCampo(campo, "«" + texto +
                                    "» no es un importe válido: se escribe con punto "
                                    "decimal, hasta " +
                                    std::to_string(enteras) +
                                    " cifras enteras y 2 decimales, sin separador de miles ni "
                                    "ceros a la izquierda (p. ej. «1234.50»).");
    return *v;
}

std::int64_t comprobarPorcentaje(const std::string& campo, const std::string& texto) {
    const auto v = leerDecimal(texto, 3, false);
    if (!v)
        throw ErrorCampo(campo, "«" + texto +
                                    "» no es un porcentaje válido: hasta 3 cifras "
                                    "enteras y 2 decimales tras un punto (p. ej. "
                                    "«21» o «5.2»).");
    return *v;
}

std::int64_t centesimas(std::string_view texto) {
    return leerDecimal(texto, 14, true).value_or(0);
}

void comprobarTexto(const std::string& campo, const std::string& texto, std::size_t maximo,
                    bool obligatorio) {
    const long n = caracteresUtf8(texto);
    if (n < 0)
        throw ErrorCampo(campo, "el texto no es UTF-8 válido o lleva caracteres de control.");
    if (obligatorio && n == 0)
        throw ErrorCampo(campo, "no puede estar vacío.");
    if (static_cast<std::size_t>(n) > maximo)
        throw ErrorCampo(campo, "tiene " + std::to_string(n) + " caracteres; el máximo es " +
                                    std::to_string(maximo) + ".");
}

void comprobarValor(const std::string& campo, const std::string& texto,
                    std::initializer_list<std::string_view> admitidos) {
    std::string lista;
    for (auto a : admitidos) {
        if (texto == a)
            return;
        lista += (lista.empty() ? "«" : ", «") + std::string(a) + "»";
    }
    throw ErrorCampo(campo, "«" + texto + "» no es un valor admitido (" + lista + ").");
}

void comprobarNumSerie(const std::string& campo, const std::string& t) {
    if (t.empty() || t.size() > 60)
        throw ErrorCampo(campo, "ha de tener de 1 a 60 caracteres (tiene " +
                                    std::to_string(t.size()) + ").");
    for (char c : t) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126)
            throw ErrorCampo(campo, "solo admite caracteres ASCII imprimibles (del 32 al 126): "
                                    "sin letras acentuadas, eñes ni caracteres de control.");
        if (c == '"' || c == '\'' || c == '<' || c == '>' || c == '=')
            throw ErrorCampo(campo, std::string("no admite el carácter «") + c +
                                        "» (tampoco \" ' < > =).");
    }
}

void comprobarNifIva(const std::string& campo, const std::string& id,
                     const std::optional<std::string>& codigoPais, const Fecha& fechaOperacion) {
    const auto malo = [&](const std::string& por) {
        throw ErrorCampo(campo, "«" + id + "» no es un NIF-IVA válido: " + por);
    };
    if (id.size() < 3 || !mayuscula(id[0]) || !mayuscula(id[1]))
        malo("ha de empezar por el prefijo del país en mayúsculas.");
    const auto prefijo = std::string_view(id).substr(0, 2);
    const auto numero = std::string_view(id).substr(2);
    const PaisIva* pais = nullptr;
    for (const auto& p : PaisesIva)
        if (p.prefijo == prefijo)
            pais = &p;
    if (pais == nullptr || prefijo == "ES")
        malo("«" + std::string(prefijo) + "» no es el prefijo de otro Estado miembro.");
    if (codigoPais && *codigoPais != pais->pais)
        malo("el prefijo no corresponde a CodigoPais «" + *codigoPais + "».");
    if (prefijo == "RO") {
        if (numero.size() < 2 || numero.size() > 10 || !cifras(numero) || numero[0] == '0')
            malo("en Rumanía son de 2 a 10 cifras, sin ceros a la izquierda.");
        return;
    }
    bool largoBueno = false;
    for (int l : pais->largos)
        largoBueno = largoBueno || (l > 0 && numero.size() == static_cast<std::size_t>(l));
    bool caracteresBuenos = true;
    for (char c : numero)
        caracteresBuenos = caracteresBuenos && (cifra(c) || (pais->alfanumerico && mayuscula(c)));
    if (!largoBueno || !caracteresBuenos)
        malo("no tiene la forma de los de " + std::string(pais->pais) + ".");
    // Reino Unido e Irlanda del Norte: GB hasta enero de 2021, XI desde enero de 2021.
    const Fecha enero2021{2021, 1, 1}, febrero2021{2021, 2, 1};
    if (prefijo == "XI" && fechaOperacion.dias() < enero2021.dias())
        malo("XI no se admite antes del 1-1-2021.");
    if (prefijo == "GB" && fechaOperacion.dias() >= febrero2021.dias())
        malo("GB no se admite desde el 1-2-2021 (use XI).");
}

} // namespace morvelin::verifactu
