#pragma once
// Capa de ficheros del directorio de contactos: lo único que toca el sistema de ficheros.
// Una implementación por plataforma; las pruebas le inyectan fallos por `Paso`.

#include <QByteArray>
#include <QString>

#include <compare>
#include <functional>
#include <memory>
#include <optional>

namespace Telefonos {

/// Lo que identifica una versión del fichero: fecha de modificación a la resolución completa
/// del sistema de ficheros, tamaño y el fichero físico. Dos firmas distintas significan que
/// alguien escribió el fichero entre medias.
struct FirmaFichero {
    qint64 segundos = 0;
    qint64 nanosegundos = 0;
    qint64 tamano = 0;
    quint64 dispositivo = 0;
    quint64 nodo = 0;
    bool operator==(const FirmaFichero&) const = default;
};

/// Pasos de una grabación donde puede fallar el sistema (las pruebas inyectan fallos en ellos).
enum class Paso { Leer, Bloquear, Crear, Escribir, Sincronizar, Sustituir };

/// Resultado de leer el fichero entero.
struct Lectura {
    int error = 0;       ///< número de error de ejecución (0: bien)
    bool existe = false; ///< false: no hay fichero (no es un error)
    QByteArray datos;    ///< contenido
    FirmaFichero firma;  ///< firma de lo leído
};

/// Resultado de sustituir el fichero.
struct Sustitucion {
    enum class Estado { Hecha, Modificado, Fallo };
    Estado estado = Estado::Fallo;
    int error = 0;      ///< número de error de ejecución cuando falla
    FirmaFichero firma; ///< firma del fichero nuevo cuando se hizo
};

class CapaFicheros {
public:
    virtual ~CapaFicheros();

    /// Lee el fichero entero y su firma, de la misma apertura.
    virtual Lectura Leer(const QString& ruta) = 0;

    /// Firma actual del fichero; nullopt si no existe (o no se puede consultar).
    virtual std::optional<FirmaFichero> Firma(const QString& ruta) = 0;

    /// Sustituye el contenido de `ruta` por `datos` de una sola vez, bajo cerrojo consultivo,
    /// siempre que el fichero no haya cambiado: si existe, su firma ha de ser `esperada`; si no
    /// existe, tampoco puede aparecer mientras tanto. Si algo falla, el fichero anterior queda
    /// entero. El nuevo conserva permisos, propietario y grupo del anterior. Con `crearCarpeta`,
    /// crea la carpeta si falta.
    virtual Sustitucion Sustituir(const QString& ruta, const QByteArray& datos,
                                  const std::optional<FirmaFichero>& esperada,
                                  bool crearCarpeta) = 0;

    /// Para pruebas: antes de cada paso se llama a esta función; si devuelve un errno distinto
    /// de 0, el paso falla con ese errno.
    std::function<int(Paso)> inyectarFallo;

protected:
    int FalloInyectado(Paso paso) const { return inyectarFallo ? inyectarFallo(paso) : 0; }
};

/// La capa de ficheros de este sistema (POSIX).
std::shared_ptr<CapaFicheros> CrearCapaFicheros();

/// Número de error de ejecución de la plataforma original para un errno, el que verían los
/// usuarios y el soporte: 61 disco lleno, 70 permiso denegado, 75 error de acceso a la ruta o al
/// fichero, 76 ruta no encontrada, 57 error de E/S del dispositivo, 67 demasiados ficheros...
int ErrorDeEjecucion(int numeroErrno);

} // namespace Telefonos
