#pragma once
// Ficheros de tablas: texto con un elemento por línea. Se leen como UTF-8 cuando lo son (con
// o sin marca de orden de bytes) y como Windows-1252 si no; las líneas pueden acabar en CR LF,
// LF o CR. Se escriben con CR LF tras cada línea y en la codificación en que se leyeron.
// Sin ventanas; el sistema de ficheros queda tras CapaFicherosTabla.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace frmTablas {

enum class Codificacion { Utf8, Utf8ConMarca, Windows1252 };

struct ContenidoTabla {
    QStringList lineas;
    Codificacion codificacion = Codificacion::Utf8;
};

/// Decodifica el contenido de un fichero de tabla.
ContenidoTabla DecodificarTabla(const QByteArray& datos);

/// Codifica las líneas (cada una seguida de CR LF). Si alguna no cabe en Windows-1252 se
/// escribe en UTF-8, para no perder caracteres; `usada` dice cuál se usó.
QByteArray CodificarTabla(const QStringList& lineas, Codificacion pedida, Codificacion* usada);

/// Acceso al sistema de ficheros de las tablas (las pruebas ponen uno que falla).
class CapaFicherosTabla {
public:
    virtual ~CapaFicherosTabla();
    /// Si existe un fichero o carpeta con ese nombre.
    virtual bool Existe(const QString& ruta);
    /// Contenido entero, o nada con el motivo en `error`.
    virtual std::optional<QByteArray> Leer(const QString& ruta, QString& error);
    /// Sustituye el fichero de una vez: se escribe al lado, se sincroniza y se cambia por el
    /// anterior, que queda entero si algo falla. Devuelve el motivo del fallo, o "" si fue bien.
    virtual QString Grabar(const QString& ruta, const QByteArray& datos);
};

CapaFicherosTabla& Capa();
/// Pone otra capa (nullptr vuelve a la de verdad). No toma posesión.
void PonerCapa(CapaFicherosTabla* capa);

} // namespace frmTablas
