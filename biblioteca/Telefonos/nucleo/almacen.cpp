#include "Telefonos/nucleo/almacen.h"

namespace Telefonos {

AlmacenContactos::AlmacenContactos() : AlmacenContactos(UbicarContactos()) {}

AlmacenContactos::AlmacenContactos(UbicacionContactos ubicacion, std::shared_ptr<CapaFicheros> capa)
    : ubicacion_(std::move(ubicacion)), capa_(std::move(capa)) {}

AlmacenContactos::Carga AlmacenContactos::Cargar() {
    Carga c;
    Lectura l = capa_->Leer(ubicacion_.ruta);
    c.existe = l.existe;
    c.error = l.error;
    if (!l.existe || l.error) {
        // Un fichero que no se pudo leer no se da por cargado: su firma no se guarda, de modo
        // que una grabación posterior lo encontrará cambiado y no lo pisará.
        if (l.error)
            fecha_.reset();
        c.filas.emplace_back();
        return c;
    }
    c.filas = InterpretarFichero(l.datos);
    fecha_ = l.firma;
    return c;
}

AlmacenContactos::ResultadoGrabacion AlmacenContactos::Grabar(const TablaContactos& filas) {
    const QByteArray datos = ComponerFichero(filas);
    const Sustitucion s = capa_->Sustituir(ubicacion_.ruta, datos, fecha_, ubicacion_.crearCarpeta);
    switch (s.estado) {
    case Sustitucion::Estado::Hecha:
        fecha_ = s.firma;
        return {Grabacion::Grabado, 0};
    case Sustitucion::Estado::Modificado:
        return {Grabacion::Modificado, 0};
    case Sustitucion::Estado::Fallo:
        break;
    }
    return {Grabacion::Fallido, s.error};
}

bool AlmacenContactos::ModificadoDesdeCarga() const {
    const std::optional<FirmaFichero> actual = capa_->Firma(ubicacion_.ruta);
    return actual && actual != fecha_;
}

bool AlmacenContactos::Existe() const {
    return capa_->Firma(ubicacion_.ruta).has_value();
}

} // namespace Telefonos
