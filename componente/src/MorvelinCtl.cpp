#include "morvelin/MorvelinCtl.h"

#include "metodos.h"

namespace morvelin {

std::string MorvelinCtl::FIRMA(const std::string& rutaOrigen, const std::string& certificado,
                               const std::string& rutaDestino) {
    return morvelin::FIRMA(rutaOrigen, certificado, rutaDestino);
}

std::string MorvelinCtl::VERIFICA(const std::string& rutaOrigen, const std::string& rutaDestino) {
    return morvelin::VERIFICA(rutaOrigen, rutaDestino);
}

} // namespace morvelin
