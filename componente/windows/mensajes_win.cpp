// La tabla de cadenas del componente en Windows: los mensajes salen del recurso STRINGTABLE del
// propio DLL (no del programa que lo llama), en la página de códigos del sistema.
#include "infraestructura/mensajes.h"

#include "windows_comun.h"

#include <map>
#include <mutex>
#include <stdexcept>

namespace morvelin {

const std::string& cargarMensaje(int id) {
    static std::mutex cerrojo;
    static std::map<int, std::string> cargados;
    const std::lock_guard<std::mutex> guarda(cerrojo);
    if (auto it = cargados.find(id); it != cargados.end())
        return it->second;
    const wchar_t* texto = nullptr;
    const int largo =
        LoadStringW(windows::modulo(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&texto), 0);
    if (largo <= 0)
        throw std::out_of_range("identificador de mensaje desconocido: " + std::to_string(id));
    return cargados
        .emplace(id, windows::estrecha(std::wstring_view(texto, static_cast<std::size_t>(largo))))
        .first->second;
}

} // namespace morvelin
