#pragma once
// Las horas como las lee el usuario.

#include <string>

namespace morvelin {

/// Una hora (segundos desde 1970-01-01 UTC) como "dd/mm/aaaa hh:mm:ss UTC"; "?" si no se puede
/// representar.
std::string fechaHoraUtc(long long segundos);

} // namespace morvelin
