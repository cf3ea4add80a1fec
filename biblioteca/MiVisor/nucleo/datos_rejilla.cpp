#include "MiVisor/nucleo/datos_rejilla.h"

#include <QCollator>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace MiVisor {

const QString DatosRejilla::vacio_;

namespace {

// Ordenación estable por mezclas sobre un vector de índices. Es segura aunque la comparación
// no sea un orden estricto (la ordenación genérica compara números como números y lo demás
// como texto, y eso puede formar ciclos entre textos y números): nunca lee fuera del rango.
template <typename Menor>
void mezclar(std::vector<int>& v, std::vector<int>& aux, size_t ini, size_t fin, Menor& menor) {
    if (fin - ini < 2)
        return;
    if (fin - ini <= 16) {
        for (size_t i = ini + 1; i < fin; ++i) {
            const int x = v[i];
            size_t j = i;
            while (j > ini && menor(x, v[j - 1])) {
                v[j] = v[j - 1];
                --j;
            }
            v[j] = x;
        }
        return;
    }
    const size_t medio = ini + (fin - ini) / 2;
    mezclar(v, aux, ini, medio, menor);
    mezclar(v, aux, medio, fin, menor);
    if (!menor(v[medio], v[medio - 1]))
        return;
    size_t a = ini, b = medio, k = ini;
    while (a < medio && b < fin)
        aux[k++] = menor(v[b], v[a]) ? v[b++] : v[a++];
    while (a < medio)
        aux[k++] = v[a++];
    while (b < fin)
        aux[k++] = v[b++];
    std::copy(aux.begin() + static_cast<std::ptrdiff_t>(ini),
              aux.begin() + static_cast<std::ptrdiff_t>(fin),
              v.begin() + static_cast<std::ptrdiff_t>(ini));
}

template <typename Menor> void ordenarIndices(std::vector<int>& v, Menor menor) {
    std::vector<int> aux(v.size());
    mezclar(v, aux, 0, v.size(), menor);
}

bool esCifra(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

bool LeerNumeroOrden(const QString& texto, double& valor) {
    // Sin copias del texto: se recorre en su sitio, saltando los blancos de los extremos.
    qsizetype i = 0, n = texto.size();
    while (i < n && texto[i].isSpace())
        ++i;
    while (n > i && texto[n - 1].isSpace())
        --n;
    const qsizetype ini = i;
    if (i < n && (texto[i] == u'+' || texto[i] == u'-'))
        ++i;
    qsizetype cifras = 0;
    while (i < n && esCifra(texto[i]))
        ++i, ++cifras;
    if (i < n && (texto[i] == u'.' || texto[i] == u',')) {
        ++i;
        while (i < n && esCifra(texto[i]))
            ++i, ++cifras;
    }
    if (cifras == 0)
        return false;
    if (i < n && (texto[i] == u'e' || texto[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (texto[j] == u'+' || texto[j] == u'-'))
            ++j;
        const qsizetype inicio = j;
        while (j < n && esCifra(texto[j]))
            ++j;
        if (j == inicio)
            return false;
        i = j;
    }
    if (i != n)
        return false;
    // Solo quedan caracteres ASCII: se convierte sin pasar por QLocale, que es lento.
    char corto[64];
    std::string largo;
    char* ascii = corto;
    const auto longitud = static_cast<size_t>(n - ini);
    if (longitud > sizeof corto) {
        largo.resize(longitud);
        ascii = largo.data();
    }
    for (size_t k = 0; k < longitud; ++k) {
        const QChar c = texto[ini + static_cast<qsizetype>(k)];
        ascii[k] = c == u',' ? '.' : static_cast<char>(c.unicode());
    }
    const char* inicio = ascii[0] == '+' ? ascii + 1 : ascii;
    const auto r = std::from_chars(inicio, ascii + longitud, valor);
    return r.ec == std::errc() && r.ptr == ascii + longitud && std::isfinite(valor);
}

DatosRejilla::DatosRejilla() {
    setRows(2);
}

void DatosRejilla::setRows(int n) {
    n = std::max(n, 1);
    const size_t antes = filas_.size();
    filas_.resize(static_cast<size_t>(n));
    for (size_t i = antes; i < filas_.size(); ++i)
        filas_[i].celdas.resize(cols_);
}

void DatosRejilla::setCols(int n) {
    n = std::max(n, 1);
    if (n == cols_)
        return;
    cols_ = n;
    for (Fila& f : filas_)
        f.celdas.resize(cols_);
}

const QString& DatosRejilla::TextMatrix(int fila, int col) const {
    if (fila < 0 || fila >= Rows() || col < 0 || col >= cols_)
        return vacio_;
    return filas_[static_cast<size_t>(fila)].celdas[col];
}

bool DatosRejilla::setTextMatrix(int fila, int col, const QString& texto) {
    if (fila < 0 || fila >= Rows() || col < 0 || col >= cols_)
        return false;
    filas_[static_cast<size_t>(fila)].celdas[col] = texto;
    return true;
}

int DatosRejilla::RowHeight(int fila) const {
    if (fila < 0 || fila >= Rows())
        return -1;
    return filas_[static_cast<size_t>(fila)].alto;
}

bool DatosRejilla::setRowHeight(int fila, int alto) {
    if (fila < 0 || fila >= Rows())
        return false;
    filas_[static_cast<size_t>(fila)].alto = alto < 0 ? -1 : alto;
    return true;
}

void DatosRejilla::Clear() {
    for (Fila& f : filas_)
        for (QString& c : f.celdas)
            c.clear();
}

bool DatosRejilla::quitarFila(int fila) {
    if (fila < 1 || fila >= Rows())
        return false;
    filas_.erase(filas_.begin() + fila);
    return true;
}

void DatosRejilla::ordenar(int col, ModoOrden modo) {
    if (col < 0 || col >= cols_ || Rows() < 3)
        return;
    const int n = Rows() - 1;
    std::vector<int> orden(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        orden[static_cast<size_t>(i)] = i + 1;
    auto texto = [&](int fila) -> const QString& {
        return filas_[static_cast<size_t>(fila)].celdas[col];
    };

    if (modo == ModoOrden::TextoSinMayusculas) {
        // Claves de ordenación calculadas una vez por fila: comparar claves es mucho más
        // rápido que comparar los textos con el colador en cada paso.
        QCollator colador{QLocale(QLocale::Spanish, QLocale::Spain)};
        colador.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<QCollatorSortKey> claves;
        claves.reserve(static_cast<size_t>(n));
        for (int i = 1; i <= n; ++i)
            claves.push_back(colador.sortKey(texto(i)));
        ordenarIndices(orden, [&](int a, int b) {
            return claves[static_cast<size_t>(a - 1)].compare(claves[static_cast<size_t>(b - 1)]) <
                   0;
        });
    } else {
        struct Clave {
            bool esNumero;
            double valor;
        };
        std::vector<Clave> claves(static_cast<size_t>(n));
        for (int i = 1; i <= n; ++i) {
            Clave& k = claves[static_cast<size_t>(i - 1)];
            k.esNumero = LeerNumeroOrden(texto(i), k.valor);
        }
        const bool descendente = modo == ModoOrden::GenericoDescendente;
        auto compara = [&](int a, int b) {
            const Clave& ka = claves[static_cast<size_t>(a - 1)];
            const Clave& kb = claves[static_cast<size_t>(b - 1)];
            if (ka.esNumero && kb.esNumero)
                return ka.valor < kb.valor ? -1 : (ka.valor > kb.valor ? 1 : 0);
            return QString::compare(texto(a), texto(b), Qt::CaseSensitive);
        };
        ordenarIndices(orden, [&](int a, int b) {
            const int r = compara(a, b);
            return descendente ? r > 0 : r < 0;
        });
    }

    std::vector<Fila> nuevas;
    nuevas.reserve(filas_.size());
    nuevas.push_back(std::move(filas_[0]));
    for (int i : orden)
        nuevas.push_back(std::move(filas_[static_cast<size_t>(i)]));
    filas_ = std::move(nuevas);
}

} // namespace MiVisor
