#include "basicos/nucleo/traduccion.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace basicos {

bool CargarTraduccionQt(QCoreApplication& aplicacion) {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    const QString carpeta = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool alguna = false;
    // qtbase trae los textos de los cuadros estándar; qtwebengine, los de la vista web.
    for (const char* catalogo : {"qtbase_es", "qtwebengine_es"}) {
        auto* traductor = new QTranslator(&aplicacion);
        if (traductor->load(QString::fromLatin1(catalogo), carpeta)) {
            aplicacion.installTranslator(traductor);
            alguna = true;
        } else {
            delete traductor;
        }
    }
    return alguna;
}

} // namespace basicos
