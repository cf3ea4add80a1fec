#include "basicos/nucleo/generales.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cmath>

namespace basicos {

QStringList PartirLineas(const QString& texto) {
    QStringList lineas;
    qsizetype inicio = 0;
    const qsizetype n = texto.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = texto[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lineas.append(texto.mid(inicio, i - inicio));
        if (c == u'\r' && i + 1 < n && texto[i + 1] == u'\n')
            ++i;
        inicio = i + 1;
    }
    if (inicio < n)
        lineas.append(texto.mid(inicio));
    return lineas;
}

namespace {

QString Decodificar(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString texto = utf8.decode(bytes);
    if (!utf8.hasError())
        return texto;
    QStringDecoder ansi("windows-1252");
    return ansi.decode(bytes);
}

} // namespace

void LeerLineas(const QString& Fichero, QStringList& Lineas, short Maximo, bool& Leido) {
    Leido = false;
    if (!Existe(Fichero, false))
        return;
    QFile f(Fichero);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return;
    QStringList leidas = PartirLineas(Decodificar(bytes));
    if (Maximo > 0 && leidas.size() > Maximo)
        leidas.resize(Maximo);
    if (Maximo != -1) {
        Lineas = QStringList(QString());
        Lineas.append(leidas);
    } else {
        if (Lineas.isEmpty())
            Lineas.append(QString());
        for (qsizetype i = 0; i < leidas.size(); ++i) {
            if (i + 1 >= Lineas.size())
                Lineas.resize(i + 1 + 101); // crece de cien en cien, como siempre
            Lineas[i + 1] = leidas[i];
        }
    }
    Leido = true;
}

bool Existe(const QString& Ruta, bool SoloCarpeta) {
    if (Ruta.isEmpty())
        return false;
    const QFileInfo info(Ruta);
    if (!info.exists())
        return false;
    return !SoloCarpeta || info.isDir();
}

QString HorasMinutosSegundos(float Segundos) {
    const long long s = static_cast<long long>(std::floor(static_cast<double>(Segundos)));
    const long long horas = s / 3600;
    const long long resto = s - horas * 3600;
    auto dos = [](long long v) {
        return QString::number(v + 100).right(2);
    };
    return dos(horas) + u':' + dos(resto / 60) + u':' + dos(resto % 60);
}

} // namespace basicos
