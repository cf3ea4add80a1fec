// Formas de ver y de edición: un millón de importes y un millón de fechas se escriben en su
// forma de ver y se leen de vuelta a su forma de edición, como hace cada celda de una rejilla.
#include "rutinas/nucleo/valores.h"

#include <QString>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kValores = 1'000'000;

// Tiempo de reloj y tiempo de procesador: en una máquina compartida el segundo es el que
// dice lo que cuesta cada valor.
struct Marca {
    std::chrono::steady_clock::time_point reloj = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
};

void Informar(const char* que, int n, const Marca& desde) {
    const double reloj =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - desde.reloj).count();
    const double cpu = static_cast<double>(std::clock() - desde.cpu) / CLOCKS_PER_SEC;
    std::printf("%-28s %9d valores: %6.3f s de reloj (%5.2f M/s), %6.3f s de CPU (%5.2f M/s)\n",
                que, n, reloj, n / reloj / 1e6, cpu, n / cpu / 1e6);
}

} // namespace

int main() {
    rutinas::FechaTrabajo = QDate(2026, 12, 15);
    const QString importe = QStringLiteral("T(N) L(15) A(D) D(2)");
    const QString fecha = QStringLiteral("T(F) L(10) A(I)");

    // Importes de −5.000.000,00 a 5.000.000,00 con céntimos variados, en forma de edición.
    std::vector<QString> importes;
    importes.reserve(kValores);
    for (int i = 0; i < kValores; ++i) {
        const long long centimos = (i * 7919LL) % 1'000'000'000LL - 500'000'000LL;
        importes.push_back(QString::number(centimos / 100.0, 'f', 2));
    }
    // Fechas tecleadas "ddmmyy" de los años 2000 a 2027.
    std::vector<QString> fechas;
    fechas.reserve(kValores);
    for (int i = 0; i < kValores; ++i) {
        const int dia = 1 + i % 28, mes = 1 + (i / 28) % 12, anio = (i / 336) % 28;
        fechas.push_back(QStringLiteral("%1%2%3")
                             .arg(dia, 2, 10, QLatin1Char('0'))
                             .arg(mes, 2, 10, QLatin1Char('0'))
                             .arg(anio, 2, 10, QLatin1Char('0')));
    }

    std::vector<QString> vistos(kValores);
    size_t comprobacion = 0;

    Marca t;
    for (int i = 0; i < kValores; ++i)
        vistos[i] = rutinas::FormatoVisual(importes[i], importe);
    Informar("importes a forma de ver", kValores, t);

    int distintos = 0;
    t = Marca();
    for (int i = 0; i < kValores; ++i) {
        const QString editado = rutinas::FormatoEdicion(vistos[i], importe);
        comprobacion += editado.size();
        distintos += editado != importes[i];
    }
    Informar("importes de vuelta a edición", kValores, t);

    t = Marca();
    for (int i = 0; i < kValores; ++i)
        vistos[i] = rutinas::FormatoVisual(fechas[i], fecha);
    Informar("fechas a forma de ver", kValores, t);

    t = Marca();
    for (int i = 0; i < kValores; ++i)
        comprobacion += rutinas::FormatoEdicion(vistos[i], fecha).size();
    Informar("fechas de vuelta a edición", kValores, t);

    std::printf("ejemplos: %s → %s; %s → %s\n", qUtf8Printable(importes[12345]),
                qUtf8Printable(rutinas::FormatoVisual(importes[12345], importe)),
                qUtf8Printable(fechas[12345]), qUtf8Printable(vistos[12345]));
    std::printf("importes que no vuelven igual: %d (suma de control %zu)\n", distintos,
                comprobacion);
    return distintos == 0 ? 0 : 1;
}
