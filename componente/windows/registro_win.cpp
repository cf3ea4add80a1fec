// Registro del componente: DllRegisterServer aplica el guion de registro incrustado (recurso
// REGISTRY 103) bajo la raíz de clases y registra la biblioteca de tipos incrustada (TYPELIB 1);
// DllUnregisterServer deshace ambas cosas.
#include "morvelin_com.h"

#include "guion_registro.h"
#include "morvelin/identidad.h"
#include "windows_comun.h"

#include <olectl.h>

#include <exception>

namespace {

using morvelin::windows::ancha;

class RegistroDeClases final : public morvelin::registro::Registro {
public:
    bool crearClave(const std::string& ruta) override {
        HKEY clave = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, ancha(ruta, CP_UTF8).c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &clave, nullptr) != ERROR_SUCCESS)
            return false;
        RegCloseKey(clave);
        return true;
    }
    bool borrarArbol(const std::string& ruta) override {
        const LSTATUS r = RegDeleteTreeW(HKEY_CLASSES_ROOT, ancha(ruta, CP_UTF8).c_str());
        return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
    }
    bool ponerValor(const std::string& ruta, const std::string& nombre,
                    const std::string& texto) override {
        HKEY clave = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ancha(ruta, CP_UTF8).c_str(), 0, KEY_SET_VALUE,
                          &clave) != ERROR_SUCCESS)
            return false;
        const std::wstring w = ancha(texto, CP_UTF8);
        const std::wstring n = ancha(nombre, CP_UTF8);
        const LSTATUS r = RegSetValueExW(clave, n.empty() ? nullptr : n.c_str(), 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(w.c_str()),
                                         static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(clave);
        return r == ERROR_SUCCESS;
    }
};

/// El guion de registro incrustado, ya leído. False si falta o está mal formado.
bool guionIncrustado(std::vector<morvelin::registro::Clave>& claves) {
    HMODULE m = morvelin::windows::modulo();
    HRSRC recurso =
        FindResourceW(m, MAKEINTRESOURCEW(morvelin::identidad::RecursoRegistro), L"REGISTRY");
    HGLOBAL cargado = recurso ? LoadResource(m, recurso) : nullptr;
    const char* datos = cargado ? static_cast<const char*>(LockResource(cargado)) : nullptr;
    if (datos == nullptr)
        return false;
    try {
        claves = morvelin::registro::leerGuion(std::string_view(datos, SizeofResource(m, recurso)));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

/// Quita del registro la biblioteca de tipos incrustada, con la versión y el sistema que ella
/// misma declara.
HRESULT quitarBibliotecaTipos() {
    std::wstring ruta;
    if (!morvelin::windows::rutaModulo(ruta))
        return E_OUTOFMEMORY;
    ITypeLib* biblioteca = nullptr;
    HRESULT hr = LoadTypeLibEx(ruta.c_str(), REGKIND_NONE, &biblioteca);
    if (FAILED(hr))
        return hr;
    TLIBATTR* atributos = nullptr;
    hr = biblioteca->GetLibAttr(&atributos);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(atributos->guid, atributos->wMajorVerNum, atributos->wMinorVerNum,
                               atributos->lcid, atributos->syskind);
        biblioteca->ReleaseTLibAttr(atributos);
    }
    biblioteca->Release();
    return hr;
}

} // namespace

extern "C" {

STDAPI DllRegisterServer() {
    try {
        std::wstring ruta;
        std::vector<morvelin::registro::Clave> claves;
        if (!morvelin::windows::rutaModulo(ruta) || !guionIncrustado(claves))
            return SELFREG_E_CLASS;
        RegistroDeClases registro;
        if (!morvelin::registro::registrar(claves, registro,
                                           morvelin::windows::estrecha(ruta, CP_UTF8)))
            return SELFREG_E_CLASS;
        ITypeLib* biblioteca = nullptr;
        if (FAILED(LoadTypeLibEx(ruta.c_str(), REGKIND_REGISTER, &biblioteca)))
            return SELFREG_E_TYPELIB;
        biblioteca->Release();
        return S_OK;
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
}

STDAPI DllUnregisterServer() {
    try {
        std::vector<morvelin::registro::Clave> claves;
        if (!guionIncrustado(claves))
            return SELFREG_E_CLASS;
        // La biblioteca de tipos puede no estar registrada: se sigue con las claves igualmente.
        const HRESULT tipos = quitarBibliotecaTipos();
        RegistroDeClases registro;
        if (!morvelin::registro::desregistrar(claves, registro))
            return SELFREG_E_CLASS;
        return SUCCEEDED(tipos) || tipos == TYPE_E_REGISTRYACCESS || tipos == TYPE_E_CANTLOADLIBRARY
                   ? S_OK
                   : SELFREG_E_TYPELIB;
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
}

} // extern "C"
