// Los almacenes que se miran en Linux, en su orden: la carpeta MORVELIN/MY, las bases de datos
// NSS del usuario y las tarjetas de los módulos PKCS #11 de p11-kit. Cada uno con su regla; gana
// el primer almacén que tiene alguno.
#include "plataforma/criptografia.h"
#include "plataforma/nss/almacen_nss.h"
#include "plataforma/openssl/almacen.h"

namespace morvelin::plataforma {

namespace {

// La carpeta y después las bases NSS y las tarjetas, que se abren cuando hace falta mirarlas:
// si la carpeta ya tiene el certificado, NSS ni se carga, y si lo tiene una base, tampoco los
// módulos de las tarjetas.
class AlmacenesEnOrden : public AlmacenCertificados {
public:
    AlmacenesEnOrden(std::string carpeta, std::unique_ptr<AlmacenCertificados> almacenCarpeta,
                     std::vector<nss::Base> bases)
        : carpeta_(std::move(carpeta)), almacenCarpeta_(std::move(almacenCarpeta)),
          bases_(std::move(bases)) {}

    /// Si se puede abrir alguno (abre las bases si la carpeta no se abre).
    bool alguno() {
        if (almacenCarpeta_)
            return true;
        abrirBases();
        for (const auto& b : abiertas_)
            if (b)
                return true;
        abrirTarjetas();
        for (const auto& t : tarjetas_)
            if (t.abierta)
                return true;
        return false;
    }

    std::unique_ptr<Certificado> buscarPorSujeto(const std::string& texto) override {
        if (almacenCarpeta_)
            if (auto c = almacenCarpeta_->buscarPorSujeto(texto))
                return c;
        abrirBases();
        for (const auto& b : abiertas_)
            if (b)
                if (auto c = b->buscarPorSujeto(texto))
                    return c;
        abrirTarjetas();
        for (const auto& t : tarjetas_)
            if (auto c = t.almacen->buscarPorSujeto(texto))
                return c;
        return nullptr;
    }

    std::vector<ListadoAlmacen> listar() override {
        std::vector<ListadoAlmacen> todos = almacenCarpeta_
                                                ? almacenCarpeta_->listar()
                                                : openssl::almacenSinAbrir(carpeta_)->listar();
        abrirBases();
        for (std::size_t i = 0; i < bases_.size(); ++i)
            for (auto& l :
                 abiertas_[i] ? abiertas_[i]->listar() : nss::baseSinAbrir(bases_[i])->listar())
                todos.push_back(std::move(l));
        abrirTarjetas();
        for (const auto& t : tarjetas_)
            for (auto& l : t.almacen->listar())
                todos.push_back(std::move(l));
        return todos;
    }

private:
    void abrirBases() {
        if (abiertas_.size() == bases_.size())
            return;
        for (const auto& base : bases_)
            abiertas_.push_back(nss::abrirBase(base));
    }
    void abrirTarjetas() {
        if (!tarjetasAbiertas_)
            tarjetas_ = nss::abrirTarjetas();
        tarjetasAbiertas_ = true;
    }

    std::string carpeta_;
    std::unique_ptr<AlmacenCertificados> almacenCarpeta_;
    std::vector<nss::Base> bases_;
    std::vector<std::unique_ptr<AlmacenCertificados>> abiertas_; // nullptr: no se abre
    std::vector<nss::Tarjeta> tarjetas_;
    bool tarjetasAbiertas_ = false;
};

std::unique_ptr<AlmacenesEnOrden> abrirTodos() {
    const std::string carpeta = openssl::carpetaAlmacenPersonal();
    auto almacenCarpeta = openssl::abrirAlmacen(carpeta);
    return std::make_unique<AlmacenesEnOrden>(carpeta, std::move(almacenCarpeta),
                                              nss::basesDelUsuario());
}

} // namespace

std::unique_ptr<AlmacenCertificados> abrirAlmacenPersonal() {
    // Sin acceso a ninguno, no hay almacén (02); con alguno, se busca en los que se abren.
    auto todos = abrirTodos();
    if (!todos->alguno())
        return nullptr;
    return todos;
}

std::vector<ListadoAlmacen> listarAlmacenes() {
    return abrirTodos()->listar();
}

} // namespace morvelin::plataforma
