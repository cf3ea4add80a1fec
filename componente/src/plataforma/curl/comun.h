#pragma once
// Lo que comparten los clientes HTTPS del componente hechos con libcurl (el de VERIFICA y el del
// servicio de VERI*FACTU): su arranque, las opciones y las autoridades que verifican al
// servidor.

#include <curl/curl.h>

#include <memory>

namespace morvelin::curl {

/// libcurl arrancado una vez por proceso; false si no arranca.
bool iniciar();

struct BorrarCurl {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct BorrarLista {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Curl = std::unique_ptr<CURL, BorrarCurl>;
using Lista = std::unique_ptr<curl_slist, BorrarLista>;

/// Valor de una variable de entorno; nulo si no está o está vacía.
const char* entorno(const char* nombre);

/// Las autoridades que verifican al servidor cuando no se dan otras: como hace la herramienta
/// curl, CURL_CA_BUNDLE o, si no, SSL_CERT_FILE como fichero, y SSL_CERT_DIR como carpeta; sin
/// ellas, las del sistema. false si libcurl no las acepta.
bool autoridadesDelEntorno(CURL* c);

} // namespace morvelin::curl
