#pragma once
// Lo que hacen igual los dos almacenes: añadir uno o varios registros dentro de una
// transacción (el paso construye el registro, el almacén le pone número, lo guarda y, en una
// cadena VERI*FACTU, lo pone en la cola de envío) y apuntar en la cadena su obligado y el nombre
// de este. Y los nombres con que los dos guardan los estados de la cola.

#include "verifactu/almacen.h"

namespace morvelin::verifactu {

/// El nombre de un veredicto en la cola («pendiente», «aceptado-con-errores»...) y al revés.
const char* nombreVeredicto(Veredicto v);
Veredicto veredictoDeNombre(std::string_view nombre);
const char* nombreResultado(ResultadoEnvio r);

/// Suma `n` registros con el veredicto `v` al resumen.
void contar(ResumenCola& resumen, Veredicto v, std::int64_t n);

/// El motivo con que se cierra un envío que otro proceso dejó en curso.
inline constexpr const char* EnvioAbandonado =
    "el envío no llegó a apuntar su respuesta (el proceso acabó antes)";

class AlmacenComun : public AlmacenCadena, protected Transaccion {
public:
    RegistroCadena anadir(const PasoRegistro& paso) final {
        RegistroCadena guardado;
        enTransaccion([&] { guardado = anadirUno(paso); });
        return guardado;
    }

    void anadirVarios(std::size_t veces, const PasoRegistro& paso) final {
        enTransaccion([&] {
            for (std::size_t i = 0; i < veces; ++i)
                anadirUno(paso);
        });
    }

    void transaccion(const std::function<void(Transaccion&)>& f) final {
        enTransaccion([&] { f(*this); });
    }

protected:
    /// Abre la transacción con el cerrojo de escritura, lee datos_, hace `f` y confirma; si
    /// algo lanza, la deshace.
    virtual void enTransaccion(const std::function<void()>& f) = 0;
    /// Escribe el registro (ya numerado) y, si `conDatos`, los datos_ de la cadena.
    virtual void guardar(const RegistroCadena& r, bool conDatos) = 0;
    /// Pone el registro recién guardado en la cola de envío.
    virtual void encolar(std::int64_t numero) = 0;

    const DatosCadena& cadena() const override { return datos_; }

    EventoCadena guardarEvento(EventoCadena e) final {
        const auto u = ultimoEvento();
        e.numero = u ? u->numero + 1 : 1;
        const auto r = ultimo();
        e.registrosHasta = r ? r->numero : 0;
        escribirEvento(e);
        return e;
    }

    void ponerDatos(const DatosCadena& d) final {
        datos_ = d;
        escribirDatos();
    }

    /// Escribe el evento (ya numerado).
    virtual void escribirEvento(const EventoCadena& e) = 0;
    /// Escribe datos_ en la fila de la cadena.
    virtual void escribirDatos() = 0;

    DatosCadena datos_;

private:
    RegistroCadena anadirUno(const PasoRegistro& paso) {
        RegistroNuevo nuevo = paso(*this);
        RegistroCadena& r = nuevo.registro;
        const auto u = ultimo();
        r.numero = u ? u->numero + 1 : 1;
        bool conDatos = false;
        if (datos_.nifEmisor.empty()) {
            datos_.nifEmisor = r.idEmisor;
            conDatos = true;
        }
        if (datos_.nombreEmisor.empty() && !nuevo.nombreEmisor.empty()) {
            datos_.nombreEmisor = nuevo.nombreEmisor;
            conDatos = true;
        }
        guardar(r, conDatos);
        if (datos_.modo == "verifactu")
            encolar(r.numero);
        return r;
    }
};

} // namespace morvelin::verifactu
