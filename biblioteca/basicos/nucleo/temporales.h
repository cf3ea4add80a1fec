#pragma once
// Temporales de las grabaciones. El contenido nuevo de un fichero se escribe en un temporal de
// su misma carpeta, se vuelca al disco y se renombra sobre él: quien lo lea ve el fichero viejo
// o el nuevo, enteros. El temporal de "TABLA.TXT" se llama ".TABLA.TXT.zoq-XXXXXX.tmp" (seis
// letras o cifras al azar): oculto y con una terminación que ningún lector toma por datos.
//
// El proceso que escribe un temporal lo tiene bajo cerrojo consultivo hasta que deja de serlo
// (renombrado o borrado). Un temporal sin cerrojo es el resto de una grabación que murió a
// medias: la siguiente grabación del mismo fichero lo borra. En un sistema de ficheros sin
// cerrojos no se puede saber, y no se borra nada.

#include <QByteArray>
#include <QString>

namespace basicos {

/// Un temporal recién creado: abierto para escribir, vacío, con permisos 0600 y bajo cerrojo.
struct Temporal {
    int descriptor = -1; ///< -1 si no se pudo crear
    int error = 0;       ///< errno del fallo
    QByteArray ruta;     ///< ruta nativa del temporal
};

/// Crea el temporal de `destino` (ruta del fichero final) en la carpeta de este.
Temporal CrearTemporal(const QString& destino);

/// Borra los temporales de `destino` abandonados por grabaciones interrumpidas; los de una
/// grabación en curso (de este u otro proceso) quedan.
void BarrerTemporales(const QString& destino);

/// Lo que se sustituye al grabar `destino`: la ruta con cada enlace simbólico que se encuentra
/// al recorrerla resuelto, sea una carpeta en medio de la ruta o el propio fichero (siguiendo la
/// cadena, aunque no lleve a nada que exista). Un enlace se sigue solo donde lo seguiría el
/// sistema con la protección de enlaces de las carpetas compartidas: si su carpeta no es a la vez
/// pegajosa (bit t) y escribible por todos, o si el enlace es de quien graba o del dueño de la
/// carpeta. Así un enlace que otro usuario deja en /tmp no lleva la grabación a un fichero ajeno, y
/// uno propio hacia una carpeta compartida funciona. Devuelve 0 y deja en `real` la ruta; o EACCES
/// si un enlace no se debe seguir, ELOOP si la cadena no acaba, EISDIR si es una carpeta y EINVAL
/// si existe y no es un fichero normal (un dispositivo, una tubería, un socket): nada de eso se
/// sustituye.
int DestinoDeGrabacion(const QString& destino, QString& real);

/// Sustituye `destino` por `datos` de una sola vez: barre los temporales abandonados, escribe
/// uno nuevo, lo vuelca al disco y lo renombra sobre el destino (el de DestinoDeGrabacion). El
/// fichero nuevo conserva permisos, propietario y grupo del anterior. Devuelve 0, o el errno
/// del fallo; entonces el fichero anterior queda entero (o intacto lo que no es un fichero) y no
/// queda temporal.
int SustituirFichero(const QString& destino, const QByteArray& datos);

/// Escribe todos los bytes de `datos` en el descriptor, reintentando las escrituras cortas y las
/// interrumpidas. Devuelve 0, o el errno del fallo.
int EscribirTodo(int descriptor, const QByteArray& datos);

/// Descripción breve en español de un errno, para los mensajes ("no queda espacio en el
/// disco").
QString DescripcionError(int numeroErrno);

} // namespace basicos
