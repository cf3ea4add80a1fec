#include "Impresora/ImpresoraActual.h"

#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include <memory>

#ifdef ZOQ_CON_CUPS
#include <cups/cups.h>
#endif

namespace Impresora {

namespace {

std::unique_ptr<QPrinter>& actual() {
    static std::unique_ptr<QPrinter> p;
    return p;
}

// Orientación por omisión de la cola según el sistema de impresión; sin dato, vertical.
QPageLayout::Orientation orientacionDeCola(const QString& cola) {
#ifdef ZOQ_CON_CUPS
    if (cola.isEmpty())
        return QPageLayout::Portrait;
    const QByteArray nombre = cola.toUtf8();
    cups_dest_t* destino = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nombre.constData(), nullptr);
    if (!destino)
        return QPageLayout::Portrait;
    QPageLayout::Orientation o = QPageLayout::Portrait;
    const char* valor =
        cupsGetOption("orientation-requested", destino->num_options, destino->options);
    if (valor && (qstrcmp(valor, "4") == 0 || qstrcmp(valor, "5") == 0))
        o = QPageLayout::Landscape;
    const char* apaisado = cupsGetOption("landscape", destino->num_options, destino->options);
    if (apaisado &&
        (qstrcmp(apaisado, "true") == 0 || qstrcmp(apaisado, "yes") == 0 || *apaisado == '\0'))
        o = QPageLayout::Landscape;
    cupsFreeDests(1, destino);
    return o;
#else
    // En otras plataformas Qt ya toma la orientación por omisión del controlador.
    Q_UNUSED(cola);
    return QPrinter().pageLayout().orientation();
#endif
}

} // namespace

QStringList NombresImpresoras() {
#ifdef ZOQ_CON_CUPS
    cupsSetServer(nullptr); // vuelve a leer CUPS_SERVER
#endif
    return QPrinterInfo::availablePrinterNames();
}

QPrinter& ImpresoraActual() {
    if (!actual()) {
#ifdef ZOQ_CON_CUPS
        cupsSetServer(nullptr);
#endif
        const QPrinterInfo omision = QPrinterInfo::defaultPrinter();
        actual() = std::make_unique<QPrinter>(omision, QPrinter::HighResolution);
        actual()->setPageOrientation(orientacionDeCola(omision.printerName()));
    }
    return *actual();
}

int OrientacionActual() {
    return ImpresoraActual().pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
}

void ReiniciarImpresoraActual() {
    actual().reset();
}

} // namespace Impresora
