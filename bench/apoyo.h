#pragma once
// Lo que comparten las pruebas de rendimiento del componente: abandonar con un mensaje, ejecutar
// una orden que ha de salir bien, la mediana y las cifras con coma decimal.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

/// Nombre del programa, para los mensajes de abandonar().
inline const char* programa = "bench";

[[noreturn]] inline void abandonar(const std::string& por) {
    std::fprintf(stderr, "%s: %s\n", programa, por.c_str());
    std::exit(1);
}

/// Ejecuta `o` con el intérprete; si no sale bien, abandona.
inline void orden(const std::string& o) {
    if (std::system(o.c_str()) != 0)
        abandonar("falla: " + o);
}

inline double mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

/// `v` con `decimales` cifras decimales tras una coma.
inline std::string conComas(double v, int decimales) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimales, v);
    std::string s = b;
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

} // namespace bench
