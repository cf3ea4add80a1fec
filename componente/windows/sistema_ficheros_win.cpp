// Las operaciones del sistema de ficheros de la capa de escritura, con la API de Windows. Las
// rutas son texto de la página de códigos del sistema, como todas las del componente.
#include "infraestructura/escritura.h"

#include "windows_comun.h"

#include <cerrno>
#include <climits>

namespace morvelin {

namespace {

HANDLE manejador(SistemaFicheros::Manejador f) {
    return reinterpret_cast<HANDLE>(f);
}

SistemaFicheros::Manejador abrirParaEscribir(const std::string& ruta, DWORD disposicion) {
    const HANDLE h = CreateFileA(ruta.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposicion,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // FicheroNuevo prueba otro nombre de temporal cuando el elegido ya existe.
        errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EIO;
        return SistemaFicheros::Invalido;
    }
    return reinterpret_cast<SistemaFicheros::Manejador>(h);
}

} // namespace

SistemaFicheros::Manejador SistemaFicheros::crearNuevo(const std::string& ruta, unsigned) {
    return abrirParaEscribir(ruta, CREATE_NEW);
}

bool SistemaFicheros::escribir(Manejador f, const char* datos, std::size_t n) {
    while (n > 0) {
        const DWORD trozo = n > INT_MAX ? DWORD{INT_MAX} : static_cast<DWORD>(n);
        DWORD escritos = 0;
        if (!WriteFile(manejador(f), datos, trozo, &escritos, nullptr) || escritos == 0)
            return false;
        datos += escritos;
        n -= escritos;
    }
    return true;
}

bool SistemaFicheros::volcar(Manejador f) {
    return FlushFileBuffers(manejador(f)) != 0;
}

bool SistemaFicheros::cerrar(Manejador f) {
    return CloseHandle(manejador(f)) != 0;
}

bool SistemaFicheros::reemplazar(const std::string& desde, const std::string& hacia) {
    // MOVEFILE_WRITE_THROUGH deja el renombrado en el disco antes de volver.
    return MoveFileExA(desde.c_str(), hacia.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void SistemaFicheros::borrar(const std::string& ruta) {
    DeleteFileA(ruta.c_str());
}

SistemaFicheros::Tipo SistemaFicheros::tipo(const std::string& ruta) {
    // "C:" es la carpeta en curso de la unidad: existe como carpeta.
    const DWORD atributos = GetFileAttributesA(ruta.c_str());
    if (atributos == INVALID_FILE_ATTRIBUTES)
        return Tipo::Ninguno;
    if (atributos & FILE_ATTRIBUTE_DIRECTORY)
        return Tipo::Carpeta;
    return atributos & FILE_ATTRIBUTE_DEVICE ? Tipo::Otro : Tipo::Fichero;
}

std::optional<std::string> SistemaFicheros::rutaReal(const std::string& ruta) {
    // MoveFileEx sustituye el enlace, no su destino: nunca escribe a través de uno. Los enlaces
    // simbólicos son raros aquí y se tratan como ficheros.
    return ruta;
}

bool SistemaFicheros::crearCarpeta(const std::string& ruta, unsigned) {
    return CreateDirectoryA(ruta.c_str(), nullptr) != 0 ||
           (GetLastError() == ERROR_ALREADY_EXISTS && tipo(ruta) == Tipo::Carpeta);
}

void SistemaFicheros::copiarPermisos(const std::string&, Manejador) {
    // El fichero nuevo hereda los permisos de su carpeta, como cualquier fichero de Windows.
}

void SistemaFicheros::adelantarVolcado(Manejador) {
    // Windows no tiene cómo pedir que se empiece a llevar al disco sin esperar: el volcado
    // entero se hace al final con FlushFileBuffers.
}

std::vector<std::string> SistemaFicheros::nombres(const std::string& carpeta,
                                                  const std::string& prefijo) {
    std::vector<std::string> r;
    WIN32_FIND_DATAA datos;
    const std::string patron =
        (carpeta.empty() ? std::string(".") : carpeta) + "\\" + prefijo + "*";
    const HANDLE h = FindFirstFileA(patron.c_str(), &datos);
    if (h == INVALID_HANDLE_VALUE)
        return r;
    do
        r.emplace_back(datos.cFileName);
    while (FindNextFileA(h, &datos));
    FindClose(h);
    return r;
}

void SistemaFicheros::borrarAbandonado(const std::string& ruta) {
    // crearNuevo abre sin compartir el borrado: uno en uso no se deja borrar.
    DeleteFileA(ruta.c_str());
}

} // namespace morvelin
