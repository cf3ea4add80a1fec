#pragma once
// Los dos métodos del componente sobre cadenas estrechas (UTF-8 en esta plataforma).
// Devuelven siempre la cadena de resultado; solo dejan escapar los fallos que no son de la
// tabla de mensajes (std::bad_alloc y similares).

#include <string>

namespace morvelin {

std::string FIRMA(const std::string& rutaOrigen, const std::string& certificado,
                  const std::string& rutaDestino);

std::string VERIFICA(const std::string& rutaOrigen, const std::string& rutaDestino);

} // namespace morvelin
