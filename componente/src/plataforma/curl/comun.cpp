#include "plataforma/curl/comun.h"

#include <cstdlib>
#include <mutex>

namespace morvelin::curl {

bool iniciar() {
    static std::once_flag una;
    static CURLcode estado = CURLE_OK;
    std::call_once(una, [] { estado = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return estado == CURLE_OK;
}

const char* entorno(const char* nombre) {
    const char* valor = std::getenv(nombre);
    return valor && *valor ? valor : nullptr;
}

bool autoridadesDelEntorno(CURL* c) {
    const char* fichero = entorno("CURL_CA_BUNDLE");
    if (!fichero)
        fichero = entorno("SSL_CERT_FILE");
    if (fichero && curl_easy_setopt(c, CURLOPT_CAINFO, fichero) != CURLE_OK)
        return false;
    const char* carpeta = entorno("SSL_CERT_DIR");
    return !carpeta || curl_easy_setopt(c, CURLOPT_CAPATH, carpeta) == CURLE_OK;
}

} // namespace morvelin::curl
