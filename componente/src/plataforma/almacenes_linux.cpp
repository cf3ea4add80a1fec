// Los almacenes que se miran en Linux, en su orden: la carpeta MORVELIN/MY y después las bases
// de datos NSS del usuario. Cada uno con su regla; gana el primer almacén que tiene alguno.
#include "plataforma/criptografia.h"
#include "plataforma/nss/almacen_nss.h"
#include "plataforma/openssl/almacen.h"

namespace morvelin::plataforma {

namespace {

class AlmacenesEnOrden : public AlmacenCertificados {
public:
    explicit AlmacenesEnOrden(std::vector<std::unique_ptr<AlmacenCertificados>> almacenes)
        : almacenes_(std::move(almacenes)) {}

    std::unique_ptr<Certificado> buscarPorSujeto(const std::string& texto) override {
        for (const auto& a : almacenes_)
            if (auto c = a->buscarPorSujeto(texto))
                return c;
        return nullptr;
    }

    std::vector<ListadoAlmacen> listar() override {
        std::vector<ListadoAlmacen> todos;
        for (const auto& a : almacenes_)
            for (auto& l : a->listar())
                todos.push_back(std::move(l));
        return todos;
    }

private:
    std::vector<std::unique_ptr<AlmacenCertificados>> almacenes_;
};

// Todos, también los que no se pueden abrir (`abiertos` cuenta los que sí).
std::unique_ptr<AlmacenesEnOrden> abrirTodos(int& abiertos) {
    abiertos = 0;
    std::vector<std::unique_ptr<AlmacenCertificados>> almacenes;
    const std::string carpeta = openssl::carpetaAlmacenPersonal();
    if (auto a = openssl::abrirAlmacen(carpeta)) {
        almacenes.push_back(std::move(a));
        ++abiertos;
    } else {
        almacenes.push_back(openssl::almacenSinAbrir(carpeta));
    }
    for (const auto& base : nss::basesDelUsuario()) {
        if (auto a = nss::abrirBase(base)) {
            almacenes.push_back(std::move(a));
            ++abiertos;
        } else {
            almacenes.push_back(nss::baseSinAbrir(base));
        }
    }
    return std::make_unique<AlmacenesEnOrden>(std::move(almacenes));
}

} // namespace

std::unique_ptr<AlmacenCertificados> abrirAlmacenPersonal() {
    // Sin acceso a ninguno, no hay almacén (02); con alguno, se busca en los que se abren.
    int abiertos = 0;
    auto todos = abrirTodos(abiertos);
    if (abiertos == 0)
        return nullptr;
    return todos;
}

std::vector<ListadoAlmacen> listarAlmacenes() {
    int abiertos = 0;
    return abrirTodos(abiertos)->listar();
}

} // namespace morvelin::plataforma
