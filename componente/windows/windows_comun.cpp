#include "windows_comun.h"

#include "infraestructura/codificacion.h"

#include <new>

namespace morvelin::windows {

HMODULE modulo() {
    static const HMODULE propio = [] {
        HMODULE m = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&modulo), &m);
        return m;
    }();
    return propio;
}

bool rutaModulo(std::wstring& ruta) {
    for (DWORD tam = MAX_PATH; tam <= 32768; tam *= 2) {
        ruta.resize(tam);
        const DWORD n = GetModuleFileNameW(modulo(), ruta.data(), tam);
        if (n == 0)
            return false;
        if (n < tam) {
            ruta.resize(n);
            return true;
        }
    }
    return false;
}

std::string estrecha(std::wstring_view w, UINT pagina) {
    if (w.empty())
        return {};
    const int n = WideCharToMultiByte(pagina, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0)
        throw std::bad_alloc();
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(pagina, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

std::wstring ancha(std::string_view s, UINT pagina) {
    if (s.empty())
        return {};
    const int n = MultiByteToWideChar(pagina, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        throw std::bad_alloc();
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(pagina, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

} // namespace morvelin::windows

namespace morvelin {

std::size_t longitudEnCaracteres(std::string_view texto) {
    // Los caracteres de la página de códigos del sistema, contados como UTF-16.
    return windows::ancha(texto).size();
}

} // namespace morvelin
