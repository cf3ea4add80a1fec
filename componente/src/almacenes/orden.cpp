// Los almacenes que se miran en Linux, en su orden: la carpeta MORVELIN/MY, las bases de datos
// NSS del usuario y las tarjetas de los módulos PKCS #11 de p11-kit. FIRMA elige entre ellos con
// la regla de eleccion.h, como el listado.
#include "almacenes/bases_nss.h"
#include "almacenes/carpeta.h"
#include "almacenes/tarjetas.h"

namespace morvelin::almacenes {

namespace {

// La carpeta, y después las bases NSS y las tarjetas, que se buscan y se abren cuando hace
// falta mirarlas: si la carpeta ya tiene el certificado, ni se leen los profiles.ini ni se carga
// NSS, y si lo tiene una base, tampoco los módulos de las tarjetas.
class AlmacenesEnOrden : public plataforma::AlmacenCertificados {
public:
    explicit AlmacenesEnOrden(std::unique_ptr<Almacen> carpeta) {
        almacenes_.push_back(std::move(carpeta));
    }

    /// Si se puede abrir alguno (abre los siguientes mientras no).
    bool alguno() {
        for (std::size_t i = 0; Almacen* a = almacen(i); ++i)
            if (a->abierto())
                return true;
        return false;
    }

    std::unique_ptr<plataforma::Certificado> buscar(const std::string& texto) override {
        for (;;) {
            // La regla mira los almacenes abiertos hasta ahora; el elegido solo puede estar en
            // el último, porque los anteriores no tenían ninguno.
            std::vector<AlmacenCandidatos> vistos;
            for (std::size_t i = 0; Almacen* a = almacen(i); ++i) {
                vistos.push_back(a->candidatos());
                for (auto e = elegirCertificado(vistos, texto); e.elegido;
                     e = elegirCertificado(vistos, texto)) {
                    if (auto c = a->certificado(e.elegido->certificado))
                        return c;
                    // Ya no se puede leer entero: no cuenta, y se elige de nuevo.
                    vistos.back().certificados[e.elegido->certificado].legible = false;
                }
            }
            // Nada. Si las tarjetas se han mirado con los módulos cargados de antes, se miran
            // otra vez con los módulos cargados de nuevo, que ven las creadas después.
            if (!tarjetasDeAntes_)
                return nullptr;
            almacenes_.resize(primeraTarjeta_);
            abrir(abrirTarjetas(Modulos::DeNuevo));
        }
    }

    std::vector<ListadoAlmacen> listar() {
        // Se miran todos, como están ahora: el listado de las tarjetas se pide ya, y el
        // ayudante carga los módulos mientras aquí se leen la carpeta y las bases.
        if (grupos_ < 2)
            tarjetasPedidas_ = pedirTarjetas(Modulos::DeNuevo);
        std::vector<ListadoAlmacen> todos;
        for (std::size_t i = 0; Almacen* a = almacen(i); ++i)
            todos.push_back(a->listar());
        return todos;
    }

private:
    // El almacén `i` en el orden, abriendo los siguientes si hace falta; nullptr tras el último.
    Almacen* almacen(std::size_t i) {
        while (i >= almacenes_.size() && grupos_ < 2) {
            if (grupos_++ == 0) {
                for (const Base& base : basesDelUsuario())
                    almacenes_.push_back(abrirBase(base));
            } else {
                // Las pedidas por adelantado, o las de los módulos ya cargados: quien busca
                // vuelve a mirar con otros si no encuentra nada.
                primeraTarjeta_ = almacenes_.size();
                abrir(tarjetasPedidas_
                          ? abrirTarjetas(Modulos::DeNuevo, std::move(tarjetasPedidas_))
                          : abrirTarjetas(Modulos::YaCargados));
            }
        }
        return i < almacenes_.size() ? almacenes_[i].get() : nullptr;
    }

    void abrir(TarjetasAbiertas tarjetas) {
        for (auto& t : tarjetas.almacenes)
            almacenes_.push_back(std::move(t));
        tarjetasDeAntes_ = tarjetas.conModulosDeAntes;
    }

    std::vector<std::unique_ptr<Almacen>> almacenes_;
    std::shared_ptr<TarjetasPedidas> tarjetasPedidas_; // pedidas por adelantado, sin recoger
    int grupos_ = 0;                 // grupos abiertos tras la carpeta: las bases y las tarjetas
    std::size_t primeraTarjeta_ = 0; // en almacenes_, una vez abiertas
    bool tarjetasDeAntes_ = false;   // si se han mirado con los módulos cargados de antes
};

std::unique_ptr<AlmacenesEnOrden> abrirTodos() {
    return std::make_unique<AlmacenesEnOrden>(abrirCarpeta(carpetaAlmacenPersonal()));
}

} // namespace

std::vector<ListadoAlmacen> listarAlmacenes() {
    return abrirTodos()->listar();
}

} // namespace morvelin::almacenes

namespace morvelin::plataforma {

std::unique_ptr<AlmacenCertificados> abrirAlmacenPersonal() {
    // Sin acceso a ninguno, no hay almacén (02); con alguno, se busca en los que se abren.
    auto todos = almacenes::abrirTodos();
    if (!todos->alguno())
        return nullptr;
    return todos;
}

} // namespace morvelin::plataforma
