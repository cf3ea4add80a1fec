#include "infraestructura/fechas.h"

#include <cstdio>
#include <ctime>

namespace morvelin {

std::string fechaHoraUtc(long long segundos) {
    const auto t = static_cast<std::time_t>(segundos);
    std::tm tm{};
    if (::gmtime_r(&t, &tm) == nullptr)
        return "?";
    char texto[48];
    std::snprintf(texto, sizeof texto, "%02d/%02d/%04d %02d:%02d:%02d UTC", tm.tm_mday,
                  tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return texto;
}

} // namespace morvelin
