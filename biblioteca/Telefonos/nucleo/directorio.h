#pragma once
// Reglas de la ventana de contactos que no necesitan ventanas: la búsqueda, la dirección de
// correo, los parámetros del programa de fax y dónde está ese programa.

#include "Telefonos/nucleo/contactos.h"

#include <QString>

namespace Telefonos {

/// Remitente que la aplicación pone en el asunto de los correos ("Envio realizado por ...").
extern QString RemitenteCorreo;
/// Último correo elegido en la ventana de contactos, sin blancos delante ni detrás; la
/// aplicación lo lee cuando la ventana se ha cerrado.
extern QString CorreoElegido;

/// Búsqueda de la ventana: el texto buscado, en mayúsculas, en cualquier parte del nombre,
/// el teléfono, el fax y el correo de la fila unidos sin separador (puede abarcar dos campos).
class Busqueda {
public:
    explicit Busqueda(const QString& texto);
    /// Un texto vacío muestra todas las filas.
    bool Vacia() const { return buscado_.isEmpty(); }
    /// Los cuatro campos de la fila (columnas 1 a 4) contienen el texto buscado.
    bool Coincide(const QString& nombre, const QString& telefono, const QString& fax,
                  const QString& correo) const;
    bool Coincide(const Contacto& c) const {
        return Coincide(c[ColNombre], c[ColTelefono], c[ColFax], c[ColCorreo]);
    }

private:
    QString buscado_;
    mutable QString unidos_; // se reutiliza de una fila a otra
};

/// Dirección "mailto:" que abre la ventana: "mailto:", el correo (vacío para el botón, el de
/// la fila para el doble clic) y, si hay remitente, "?Subject=Envio realizado por " y el
/// remitente, tal cual, sin escapar nada.
QString DireccionCorreo(const QString& correo, const QString& remitente);

/// Parámetros del programa de fax para un contacto: E(nombre) F(fax) y un blanco final.
QString ParametrosFax(const QString& nombre, const QString& fax);

/// Nombre del programa de fax de la suite.
inline constexpr char16_t ProgramaFax[] = u"Brunvel";

/// Ruta completa del programa de fax (`RutaFax`): el ejecutable "Brunvel" en la ruta de
/// búsqueda (PATH); vacía si no está.
QString BuscarProgramaFax();

} // namespace Telefonos
