#pragma once
// El fichero de contactos TELEFONO.DAT: dónde está, cómo se escribe byte a byte y cómo se lee.
//
// Formato (compartido con los programas antiguos de la suite, que lo leen y escriben también):
//   - página de códigos 850 (OEM) en disco;
//   - primera línea: los títulos de las cinco columnas separados por TAB
//     ("", "Nombre", "Teléfono", "Fax", "eMail");
//   - después, un contacto por línea, sus cinco campos separados por TAB;
//   - las líneas se separan con un solo CR y el fichero acaba en CR LF.
// Al leer, una línea acaba en CR, en CR LF o en LF suelto.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace Telefonos {

/// Columnas de un contacto: 0 reservada (siempre vacía), 1 nombre, 2 teléfono, 3 fax, 4 correo.
inline constexpr int ColNombre = 1;
inline constexpr int ColTelefono = 2;
inline constexpr int ColFax = 3;
inline constexpr int ColCorreo = 4;
inline constexpr int CamposContacto = 5;

/// Un contacto: los cinco campos en el orden del fichero.
using Contacto = std::array<QString, CamposContacto>;

/// Las filas de datos de la tabla de contactos (sin la fila de títulos). Como la rejilla de la
/// ventana, una tabla leída tiene siempre al menos una fila: sin contactos, una fila vacía.
using TablaContactos = std::vector<Contacto>;

/// Nombre del fichero de datos.
inline constexpr char16_t NombreFichero[] = u"TELEFONO.DAT";

/// Títulos de las columnas, tal como van en la primera línea del fichero.
QStringList TitulosContactos();

/// Disposición de la rejilla de contactos (lista de títulos con anchos en caracteres).
inline constexpr char16_t DisposicionRejilla[] = u"#0;Nombre#34;Teléfono#18;Fax#18;eMail#25";

/// Dónde vive el fichero y si su carpeta puede crearse al grabar.
struct UbicacionContactos {
    QString ruta;              ///< ruta completa de TELEFONO.DAT (`RutaFichero`)
    bool crearCarpeta = false; ///< la carpeta es la de datos del usuario: se crea si falta
};

/// Regla de ubicación: la carpeta de `tlf` (el valor de la variable de entorno TLF) si no está
/// vacío; si lo está, `carpetaComun` (la carpeta de la máquina que crea el paquete) cuando
/// existe y, si no, `carpetaUsuario`, que se crea al grabar por primera vez. El nombre se une
/// a la carpeta con "/" salvo que la carpeta ya acabe en él: nunca queda doble.
UbicacionContactos UbicarContactos(const QString& tlf, const QString& carpetaComun,
                                   const QString& carpetaUsuario);

/// La regla anterior con los valores de este sistema: TLF del entorno, /var/lib/zoq y la carpeta
/// de datos del usuario ($XDG_DATA_HOME/zoq, por omisión ~/.local/share/zoq).
UbicacionContactos UbicarContactos();

/// Carpeta común de la máquina para el fichero de contactos.
inline constexpr char16_t CarpetaComun[] = u"/var/lib/zoq";

/// Contenido completo del fichero para esas filas, en página 850 (en el juego de Windows si
/// rutinas::SinConversionOem apaga la conversión). Un TAB, CR o LF dentro de un campo (no caben
/// en el formato, que no tiene escape) se escribe como un blanco, igual que un NUL; los
/// caracteres que la página 850 no tiene salen como "?".
QByteArray ComponerFichero(const TablaContactos& filas);

/// Lee el contenido de un fichero (página 850, o Windows con la conversión apagada): descarta la
/// primera línea (los títulos) y devuelve un contacto por cada línea siguiente, en el orden del
/// fichero; las celdas que falten quedan vacías y las que sobren se descartan. Sin ninguna línea de
/// contacto, una fila vacía.
TablaContactos InterpretarFichero(QByteArrayView datos);

/// Verdadero si las filas ya están en el orden de OrdenarPorNombre.
bool OrdenadasPorNombre(const TablaContactos& filas);

/// Ordena por nombre como la rejilla (orden alfabético español sin distinguir mayúsculas,
/// "Ñ" tras "N"); los nombres iguales conservan su orden.
void OrdenarPorNombre(TablaContactos& filas);

} // namespace Telefonos
