#include "textos_windows.h"

#include "morvelin/identidad.h"

#include "infraestructura/mensajes.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace morvelin::windows {

namespace id = morvelin::identidad;

namespace {

/// "{ABC}" -> "ABC", como lo quiere uuid() en la IDL.
std::string sinLlaves(std::string guid) {
    if (guid.size() > 2 && guid.front() == '{' && guid.back() == '}')
        return guid.substr(1, guid.size() - 2);
    throw std::invalid_argument("identificador sin llaves: " + guid);
}

/// "5.10.0.0" -> "5,10,0,0", como lo quiere VERSIONINFO.
std::string conComas(std::string version) {
    for (char& c : version)
        if (c == '.')
            c = ',';
    return version;
}

/// Texto entre comillas dobles de un guion de recursos.
std::string cadenaRc(const std::string& s) {
    std::string r = "\"";
    for (char c : s) {
        if (c == '"')
            r += "\"\"";
        else if (c == '\\')
            r += "\\\\";
        else
            r += c;
    }
    return r + '"';
}

/// Texto entre comillas simples del guion de registro.
std::string cadenaRgs(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'')
            r += '\'';
        r += c;
    }
    return r + '\'';
}

} // namespace

std::string idlMorvelin() {
    std::ostringstream o;
    o << "// Generado a partir de morvelin/identidad.h: no se edita a mano.\n"
         "import \"oaidl.idl\";\n"
         "import \"ocidl.idl\";\n\n"
         "[\n"
         "    object,\n"
         "    uuid("
      << sinLlaves(id::IdInterfaz)
      << "),\n"
         "    dual,\n"
         "    oleautomation,\n"
         "    helpstring(\""
      << id::AyudaInterfaz
      << "\"),\n"
         "    pointer_default(unique)\n"
         "]\n"
         "interface "
      << id::Interfaz
      << " : IDispatch\n"
         "{\n"
         "    [id("
      << id::DispIdFirma << "), helpstring(\"" << id::AyudaFirma
      << "\")]\n"
         "    HRESULT FIRMA([in] BSTR rutaOrigen, [in] BSTR certificado, [in] BSTR rutaDestino,\n"
         "                  [out, retval] BSTR* resultado);\n"
         "    [id("
      << id::DispIdVerifica << "), helpstring(\"" << id::AyudaVerifica
      << "\")]\n"
         "    HRESULT VERIFICA([in] BSTR rutaOrigen, [in] BSTR rutaDestino,\n"
         "                     [out, retval] BSTR* resultado);\n"
         "};\n\n"
         "[\n"
         "    uuid("
      << sinLlaves(id::IdBibliotecaTipos) << "),\n    version(" << id::VersionBibliotecaTipos
      << "),\n    helpstring(\"" << id::AyudaBibliotecaTipos << "\")\n]\nlibrary "
      << id::BibliotecaTipos
      << "\n{\n"
         "    importlib(\"stdole2.tlb\");\n\n"
         "    [\n"
         "        uuid("
      << sinLlaves(id::IdClase) << "),\n        helpstring(\"" << id::AyudaClase
      << "\")\n    ]\n    coclass " << id::Clase << "\n    {\n        [default] interface "
      << id::Interfaz << ";\n    };\n};\n";
    return o.str();
}

std::string guionRegistro() {
    const std::string descripcion = cadenaRgs(id::AyudaClase);
    const std::string clsid = cadenaRgs(id::IdClase);
    std::ostringstream o;
    o << "HKCR\n{\n"
      << "    " << id::IdProgramaVersion << " = s " << descripcion << "\n    {\n"
      << "        CLSID = s " << clsid << "\n    }\n"
      << "    " << id::IdPrograma << " = s " << descripcion << "\n    {\n"
      << "        CLSID = s " << clsid << "\n"
      << "        CurVer = s " << cadenaRgs(id::IdProgramaVersion) << "\n    }\n"
      << "    NoRemove CLSID\n    {\n"
      << "        ForceRemove " << id::IdClase << " = s " << descripcion << "\n        {\n"
      << "            ProgID = s " << cadenaRgs(id::IdProgramaVersion) << "\n"
      << "            VersionIndependentProgID = s " << cadenaRgs(id::IdPrograma) << "\n"
      << "            Programmable\n"
      << "            InprocServer32 = s '%MODULE%'\n            {\n"
      << "                val ThreadingModel = s " << cadenaRgs(id::ModeloHilos)
      << "\n            }\n"
      << "            Control\n"
      << "            ToolboxBitmap32 = s '%MODULE%, " << id::MapaBitsHerramientas << "'\n"
      << "            MiscStatus = s " << cadenaRgs(id::MiscStatus) << "\n            {\n"
      << "                '1' = s " << cadenaRgs(id::MiscStatus1) << "\n            }\n"
      << "            TypeLib = s " << cadenaRgs(id::IdBibliotecaTipos) << "\n"
      << "            Version = s " << cadenaRgs(id::VersionBibliotecaTipos) << "\n"
      << "        }\n    }\n}\n";
    return o.str();
}

std::string guionRecursos() {
    std::ostringstream o;
    o << "// Generado a partir de morvelin/identidad.h y de la tabla de mensajes.\n"
         "#pragma code_page(65001)\n"
         "#include <winver.h>\n\n"
      << "LANGUAGE 0x" << std::hex << (id::IdiomaRecursos & 0x3FF) << ", 0x"
      << (id::IdiomaRecursos >> 10) << std::dec << "\n\n"
      << "STRINGTABLE\nBEGIN\n";
    for (int n = morvelin::NombreComponente; n <= morvelin::ErrorTecnico; ++n) {
        std::string texto;
        try {
            texto = cadenaRc(morvelin::cargarMensaje(n));
        } catch (const std::out_of_range&) {
            continue; // hueco de la tabla (101)
        }
        o << "    " << n << ", " << texto << "\n";
    }
    char traduccion[16];
    std::snprintf(traduccion, sizeof traduccion, "%04x04b0", id::IdiomaRecursos);
    o << "END\n\n"
      << id::RecursoBibliotecaTipos << " TYPELIB \"MORVELIN.tlb\"\n"
      << id::RecursoRegistro << " REGISTRY \"MORVELIN.rgs\"\n\n"
      << "1 VERSIONINFO\n"
      << "FILEVERSION " << conComas(id::VersionFichero) << "\n"
      << "PRODUCTVERSION " << conComas(id::VersionProducto) << "\n"
      << "FILEFLAGSMASK VS_FFI_FILEFLAGSMASK\nFILEFLAGS 0\nFILEOS VOS__WINDOWS32\n"
         "FILETYPE VFT_DLL\nFILESUBTYPE VFT2_UNKNOWN\nBEGIN\n"
         "    BLOCK \"StringFileInfo\"\n    BEGIN\n"
      << "        BLOCK \"" << traduccion << "\"\n        BEGIN\n"
      << "            VALUE \"FileDescription\", " << cadenaRc(id::NombreModulo) << "\n"
      << "            VALUE \"FileVersion\", " << cadenaRc(id::VersionFichero) << "\n"
      << "            VALUE \"InternalName\", " << cadenaRc(id::NombreInterno) << "\n"
      << "            VALUE \"OriginalFilename\", " << cadenaRc(id::Fichero) << "\n"
      << "            VALUE \"ProductName\", " << cadenaRc(id::NombreModulo) << "\n"
      << "            VALUE \"ProductVersion\", " << cadenaRc(id::VersionProducto) << "\n"
      << "            VALUE \"OLESelfRegister\", \"\"\n"
      << "        END\n    END\n"
      << "    BLOCK \"VarFileInfo\"\n    BEGIN\n"
      << "        VALUE \"Translation\", 0x" << std::hex << id::IdiomaRecursos << std::dec
      << ", 1200\n    END\nEND\n";
    return o.str();
}

} // namespace morvelin::windows
