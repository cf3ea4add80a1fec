#pragma once
// Piezas comunes del componente en Windows: el propio módulo y las conversiones de cadenas.

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

namespace morvelin::windows {

/// El módulo del componente (no el del programa que lo carga): de él salen los recursos.
HMODULE modulo();

/// Ruta completa del fichero del componente. False si no se pudo obtener.
bool rutaModulo(std::wstring& ruta);

/// Conversión entre una página de códigos (CP_ACP, CP_UTF8) y UTF-16.
std::string estrecha(std::wstring_view ancha, UINT pagina = CP_ACP);
std::wstring ancha(std::string_view estrecha, UINT pagina = CP_ACP);

/// BSTR de una llamada a texto de la página de códigos del sistema; un BSTR nulo es "".
inline std::string deBstr(BSTR b) {
    return estrecha(std::wstring_view(b ? b : L"", b ? SysStringLen(b) : 0));
}

/// Texto de la página de códigos del sistema a BSTR nuevo; nullptr si falta memoria.
inline BSTR aBstr(const std::string& texto) {
    const std::wstring w = ancha(texto);
    return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

} // namespace morvelin::windows
