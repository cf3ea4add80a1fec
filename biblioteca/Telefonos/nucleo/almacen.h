#pragma once
// El almacén de contactos: el fichero TELEFONO.DAT de una ventana, con su comprobación de
// cambios ajenos. Lo comparten todos los programas del puesto (a menudo en una unidad de red):
// ninguna grabación puede perder el cambio de otro ni el propio fichero.

#include "Telefonos/nucleo/contactos.h"
#include "Telefonos/nucleo/ficheros.h"

#include <memory>
#include <optional>

namespace Telefonos {

class AlmacenContactos {
public:
    /// Almacén del fichero que dice la regla de ubicación (TLF y carpetas de este sistema).
    AlmacenContactos();
    /// Almacén de un fichero concreto, sobre una capa de ficheros dada (las pruebas la inyectan).
    explicit AlmacenContactos(UbicacionContactos ubicacion,
                              std::shared_ptr<CapaFicheros> capa = CrearCapaFicheros());

    /// Ruta completa del fichero (`RutaFichero`).
    const QString& RutaFichero() const { return ubicacion_.ruta; }

    /// Firma del fichero cuando se cargó o grabó por última vez (`FechaFichero`); vacía hasta
    /// entonces.
    const std::optional<FirmaFichero>& FechaFichero() const { return fecha_; }

    /// Resultado de una carga.
    struct Carga {
        bool existe = false;  ///< había fichero
        int error = 0;        ///< número de error de ejecución al leerlo (0: bien)
        TablaContactos filas; ///< las filas en el orden del fichero; al menos una
    };

    /// Lee el fichero. Sin fichero, o si no se pudo leer, una fila vacía; si no existe,
    /// `FechaFichero` conserva su valor. No ordena (lo hace quien muestra las filas).
    Carga Cargar();

    /// Resultado de una grabación.
    enum class Grabacion {
        Grabado,    ///< el fichero tiene las filas nuevas
        Modificado, ///< otro lo cambió desde la carga: no se grabó nada
        Fallido     ///< fallo del sistema; el fichero anterior sigue entero
    };
    struct ResultadoGrabacion {
        Grabacion estado = Grabacion::Fallido;
        int error = 0; ///< número de error de ejecución cuando falla
    };

    /// Graba las filas tal como vienen, si el fichero no cambió desde la última carga o
    /// grabación (si existe, su firma ha de ser `FechaFichero`). Se puede repetir tras un fallo.
    ResultadoGrabacion Grabar(const TablaContactos& filas);

    /// Verdadero si el fichero existe y ya no es el cargado: una grabación sería rechazada.
    bool ModificadoDesdeCarga() const;

    /// Verdadero si el fichero existe.
    bool Existe() const;

private:
    UbicacionContactos ubicacion_;
    std::shared_ptr<CapaFicheros> capa_;
    std::optional<FirmaFichero> fecha_;
};

} // namespace Telefonos
