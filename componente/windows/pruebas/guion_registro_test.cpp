// El guion de registro del componente, aplicado a un registro en memoria: qué queda escrito al
// registrar, qué se quita al dar de baja, y cómo se rechaza un guion mal formado.
#include "guion_registro.h"
#include "textos_windows.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>

using namespace morvelin::registro;

namespace {

/// Registro en memoria: ruta de clave -> valores (nombre vacío = por omisión).
class RegistroEnMemoria : public Registro {
public:
    std::map<std::string, std::map<std::string, std::string>> claves;
    std::set<std::string> fallaEn; // rutas cuyas operaciones fallan
    int operaciones = 0;

    bool crearClave(const std::string& ruta) override {
        ++operaciones;
        if (fallaEn.count(ruta))
            return false;
        for (std::size_t p = ruta.find('\\'); p != std::string::npos; p = ruta.find('\\', p + 1))
            claves[ruta.substr(0, p)];
        claves[ruta];
        return true;
    }
    bool borrarArbol(const std::string& ruta) override {
        ++operaciones;
        if (fallaEn.count(ruta))
            return false;
        std::erase_if(claves, [&](const auto& c) {
            return c.first == ruta || c.first.starts_with(ruta + '\\');
        });
        return true;
    }
    bool ponerValor(const std::string& ruta, const std::string& nombre,
                    const std::string& texto) override {
        ++operaciones;
        if (fallaEn.count(ruta) || !claves.count(ruta))
            return false;
        claves[ruta][nombre] = texto;
        return true;
    }
};

const std::string clsid = "CLSID\\{F171A6DF-F517-4ACB-A7DF-D8B8AE79D710}";
const std::string modulo = "C:\\Archivos de programa\\ZOQ\\MORVELIN.DLL";

std::vector<Clave> guionDelComponente() {
    return leerGuion(morvelin::windows::guionRegistro());
}

} // namespace

TEST(GuionDeRegistro, EscribeExactamenteLasEntradasDelComponente) {
    RegistroEnMemoria r;
    ASSERT_TRUE(registrar(guionDelComponente(), r, modulo));
    using Valores = std::map<std::string, std::string>;
    const std::map<std::string, Valores> esperado = {
        {"MORVELIN.MorvelinCtl.1", {{"", "MorvelinCtl Class"}}},
        {"MORVELIN.MorvelinCtl.1\\CLSID", {{"", "{F171A6DF-F517-4ACB-A7DF-D8B8AE79D710}"}}},
        {"MORVELIN.MorvelinCtl", {{"", "MorvelinCtl Class"}}},
        {"MORVELIN.MorvelinCtl\\CLSID", {{"", "{F171A6DF-F517-4ACB-A7DF-D8B8AE79D710}"}}},
        {"MORVELIN.MorvelinCtl\\CurVer", {{"", "MORVELIN.MorvelinCtl.1"}}},
        {"CLSID", {}},
        {clsid, {{"", "MorvelinCtl Class"}}},
        {clsid + "\\ProgID", {{"", "MORVELIN.MorvelinCtl.1"}}},
        {clsid + "\\VersionIndependentProgID", {{"", "MORVELIN.MorvelinCtl"}}},
        {clsid + "\\Programmable", {}},
        {clsid + "\\InprocServer32", {{"", modulo}, {"ThreadingModel", "Apartment"}}},
        {clsid + "\\Control", {}},
        {clsid + "\\ToolboxBitmap32", {{"", modulo + ", 102"}}},
        {clsid + "\\MiscStatus", {{"", "0"}}},
        {clsid + "\\MiscStatus\\1", {{"", "132497"}}},
        {clsid + "\\TypeLib", {{"", "{945828E2-9262-460E-9E10-46F3BE9A14A3}"}}},
        {clsid + "\\Version", {{"", "1.0"}}},
    };
    EXPECT_EQ(r.claves, esperado);
}

TEST(GuionDeRegistro, LaBajaQuitaLaClaseYLosIdentificadoresPeroNuncaCLSID) {
    RegistroEnMemoria r;
    r.claves["CLSID\\{00000000-0000-0000-0000-000000000001}"][""] = "Otra clase";
    r.claves["MORVELIN.Otro"][""] = "Ajeno al componente";
    ASSERT_TRUE(registrar(guionDelComponente(), r, modulo));
    ASSERT_TRUE(desregistrar(guionDelComponente(), r));
    std::set<std::string> quedan;
    for (const auto& [ruta, valores] : r.claves)
        quedan.insert(ruta);
    EXPECT_EQ(quedan,
              (std::set<std::string>{"CLSID", "CLSID\\{00000000-0000-0000-0000-000000000001}",
                                     "MORVELIN.Otro"}));
    // Dar de baja lo que no está registrado no es un fallo.
    EXPECT_TRUE(desregistrar(guionDelComponente(), r));
}

TEST(GuionDeRegistro, RegistrarOtraVezRehaceLaClaseDesdeCero) {
    RegistroEnMemoria r;
    ASSERT_TRUE(registrar(guionDelComponente(), r, "C:\\viejo\\MORVELIN.DLL"));
    r.claves[clsid + "\\Sobrante"];
    r.claves[clsid]["Sobrante"] = "x";
    ASSERT_TRUE(registrar(guionDelComponente(), r, modulo));
    EXPECT_FALSE(r.claves.count(clsid + "\\Sobrante"));
    EXPECT_EQ(r.claves[clsid], (std::map<std::string, std::string>{{"", "MorvelinCtl Class"}}));
    EXPECT_EQ(r.claves[clsid + "\\InprocServer32"][""], modulo);
}

TEST(GuionDeRegistro, RegistrarSeDetieneEnElPrimerFalloYLaBajaQuitaTodoLoQuePuede) {
    RegistroEnMemoria r;
    r.fallaEn.insert(clsid + "\\InprocServer32");
    EXPECT_FALSE(registrar(guionDelComponente(), r, modulo));
    EXPECT_FALSE(r.claves.count(clsid + "\\Control")) << "siguió tras el fallo";

    RegistroEnMemoria b;
    ASSERT_TRUE(registrar(guionDelComponente(), b, modulo));
    b.fallaEn.insert("MORVELIN.MorvelinCtl.1");
    EXPECT_FALSE(desregistrar(guionDelComponente(), b));
    EXPECT_FALSE(b.claves.count("MORVELIN.MorvelinCtl"));
    EXPECT_FALSE(b.claves.count(clsid));
}

TEST(GuionDeRegistro, ComillasModuloYModificadores) {
    const auto claves = leerGuion("HKCR\n{\n  NoRemove 'Con espacios' = s 'O''Brien'\n  {\n"
                                  "    val Ruta = s '%MODULE%;%MODULE%'\n"
                                  "    ForceRemove Hija\n  }\n}\n");
    ASSERT_EQ(claves.size(), 1u);
    EXPECT_EQ(claves[0].nombre, "Con espacios");
    EXPECT_TRUE(claves[0].noRemove);
    EXPECT_EQ(claves[0].porOmision, "O'Brien");
    ASSERT_EQ(claves[0].hijas.size(), 1u);
    EXPECT_TRUE(claves[0].hijas[0].forceRemove);
    EXPECT_FALSE(claves[0].hijas[0].porOmision.has_value());
    RegistroEnMemoria r;
    ASSERT_TRUE(registrar(claves, r, "C:\\a.dll"));
    EXPECT_EQ(r.claves["Con espacios"]["Ruta"], "C:\\a.dll;C:\\a.dll");
    // Un módulo cuya ruta contiene la marca no se sustituye dos veces.
    RegistroEnMemoria m;
    ASSERT_TRUE(registrar(claves, m, "C:\\%MODULE%.dll"));
    EXPECT_EQ(m.claves["Con espacios"]["Ruta"], "C:\\%MODULE%.dll;C:\\%MODULE%.dll");
}

TEST(GuionDeRegistro, RechazaLosGuionesMalFormados) {
    const char* const malos[] = {
        "",                           // vacío
        "HKLM { A }",                 // otra raíz
        "HKCR { A ",                  // sin cerrar
        "HKCR { A = s 'x }",          // comilla sin cerrar
        "HKCR { A = 'x' }",           // falta el tipo
        "HKCR { A = d '1' }",         // tipo que no es texto
        "HKCR { A = s x }",           // texto sin comillas
        "HKCR { A { val = s 'x' } }", // valor sin nombre
        "HKCR { A\\B }",              // ruta en lugar de nombre
        "HKCR { } }",                 // sobra texto
        "HKCR { A { B } ",            // falta la llave de A
    };
    for (const char* guion : malos)
        EXPECT_THROW(leerGuion(guion), std::invalid_argument) << guion;
}

TEST(TextosDeWindows, RecursosConLaTablaDeCadenasYLaVersion) {
    const std::string rc = morvelin::windows::guionRecursos();
    for (const char* linea :
         {"    100, \"MORVELIN\"", "    102, \"MorvelinCtl Class\"",
          "    104, \"02 No se tiene acceso al almacén de certificados.\"",
          "    118, \"99 Error técnico.\"", "1 TYPELIB \"MORVELIN.tlb\"",
          "103 REGISTRY \"MORVELIN.rgs\"", "FILEVERSION 5,10,0,0", "PRODUCTVERSION 1,0,0,1",
          "        BLOCK \"0c0a04b0\"", "            VALUE \"OLESelfRegister\", \"\"",
          "        VALUE \"Translation\", 0xc0a, 1200", "LANGUAGE 0xa, 0x3"})
        EXPECT_NE(rc.find(std::string(linea) + "\n"), std::string::npos) << linea;
    EXPECT_EQ(rc.find("    101,"), std::string::npos);
    const std::string idl = morvelin::windows::idlMorvelin();
    for (const char* pieza :
         {"uuid(8838A7A8-DBBB-4B49-959D-F8085B54B4DB)", "dual",
          "interface IMorvelinCtl : IDispatch", "[id(1), helpstring(\"method FIRMA\")]",
          "[id(2), helpstring(\"method VERIFICA\")]", "library MORVELINLib", "version(1.0)",
          "coclass MorvelinCtl"})
        EXPECT_NE(idl.find(pieza), std::string::npos) << pieza;
}
