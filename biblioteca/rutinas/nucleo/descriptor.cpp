#include "rutinas/nucleo/descriptor.h"

#include "rutinas/nucleo/formato.h"

#include <QtGlobal>

namespace rutinas {

namespace {

Avisador& AvisadorActual() {
    static Avisador avisador;
    return avisador;
}

void Avisar(const QString& texto) {
    if (const Avisador& a = AvisadorActual())
        a(texto);
    else
        qWarning("%s", qUtf8Printable(texto));
}

void Normalizar(QString& Delimitadores) {
    if (Delimitadores.isEmpty())
        Delimitadores = QStringLiteral("()");
}

QChar Apertura(const QString& d) {
    return d.at(0);
}
QChar Cierre(const QString& d) {
    return d.size() > 1 ? d.at(1) : d.at(0);
}

// Posición (desde 0) de la clave seguida de la apertura, o -1.
qsizetype Buscar(QStringView Tag, QStringView Clave, QChar apertura) {
    for (qsizetype desde = 0;;) {
        const qsizetype p = Tag.indexOf(Clave, desde);
        if (p < 0)
            return -1;
        const qsizetype tras = p + Clave.size();
        if (tras < Tag.size() && Tag.at(tras) == apertura)
            return p;
        desde = p + 1;
    }
}

} // namespace

QString LeerDatoTag(const QString& Tag, const QString& Clave, QString& Delimitadores) {
    Normalizar(Delimitadores);
    const qsizetype p = Buscar(Tag, Clave, Apertura(Delimitadores));
    if (p < 0) {
        if (Clave == u"A" || Clave == u"T" || Clave == u"L")
            Avisar(TextoFaltaDato(Clave, Tag));
        return QString();
    }
    const qsizetype inicio = p + Clave.size() + 1;
    // El cierre se busca desde la clave: una clave que fuera ella misma el delimitador
    // de cierre no daría un valor de longitud negativa.
    qsizetype q = Tag.indexOf(Cierre(Delimitadores), p);
    if (q < inicio)
        q = Tag.indexOf(Cierre(Delimitadores), inicio);
    if (q < 0)
        q = Tag.size();
    return Tag.mid(inicio, q - inicio);
}

QStringView VerDatoTag(QStringView Tag, QStringView Clave, bool& hallado) {
    const qsizetype p = Buscar(Tag, Clave, u'(');
    hallado = p >= 0;
    if (!hallado)
        return QStringView();
    const qsizetype inicio = p + Clave.size() + 1;
    qsizetype q = Tag.indexOf(u')', inicio);
    if (q < 0)
        q = Tag.size();
    return Tag.mid(inicio, q - inicio);
}

QString LeerDatoTag(const QString& Tag, const QString& Clave) {
    QString d;
    return LeerDatoTag(Tag, Clave, d);
}

QString PonerDatoTag(const QString& Tag, const QString& Clave, const QString& Valor,
                     QString& Delimitadores) {
    Normalizar(Delimitadores);
    const qsizetype p = Buscar(Tag, Clave, Apertura(Delimitadores));
    if (p < 0)
        return Tag + u' ' + Clave + Apertura(Delimitadores) + Valor + Cierre(Delimitadores);
    const qsizetype inicio = p + Clave.size() + 1;
    qsizetype q = Tag.indexOf(Cierre(Delimitadores), inicio);
    if (q < 0)
        return Tag.left(inicio) + Valor + Cierre(Delimitadores);
    return Tag.left(inicio) + Valor + Tag.mid(q);
}

QString PonerDatoTag(const QString& Tag, const QString& Clave, const QString& Valor) {
    QString d;
    return PonerDatoTag(Tag, Clave, Valor, d);
}

QString TextoFaltaDato(const QString& Clave, const QString& Tag) {
    QString etiqueta;
    if (Clave == u"T")
        etiqueta = QStringLiteral("(T) Tipo");
    else if (Clave == u"L")
        etiqueta = QStringLiteral("(L) Longitud");
    else if (Clave == u"A")
        etiqueta = QStringLiteral("(A) Ajuste");
    else
        etiqueta = u'(' + Clave + u')';
    return QStringLiteral(" No encontrado dato TAG obligatorio ") + etiqueta +
           QStringLiteral(" en ") + Tag;
}

Avisador PonerAvisadorFaltaDato(Avisador avisador) {
    Avisador anterior = std::move(AvisadorActual());
    AvisadorActual() = std::move(avisador);
    return anterior;
}

QString TipoCampo(const QString& Tag) {
    return LeerDatoTag(Tag, QStringLiteral("T"));
}

short LongitudCampo(const QString& Tag) {
    return EnteroCorto(ValorNumerico(LeerDatoTag(Tag, QStringLiteral("L"))));
}

QString AjusteCampo(const QString& Tag) {
    return LeerDatoTag(Tag, QStringLiteral("A"));
}

QString DecimalesCampo(const QString& Tag) {
    return LeerDatoTag(Tag, QStringLiteral("D"));
}

} // namespace rutinas
