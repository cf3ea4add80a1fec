#include "Impresora/ImpresoraActual.h"

#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include <memory>

#ifdef ZOQ_CON_CUPS
#include <QLibrary>
#include <cups/cups.h>
#endif

namespace Impresora {

namespace {

#ifdef ZOQ_CON_CUPS

// La biblioteca de CUPS se abre la primera vez que hace falta y no al arrancar el programa:
// trae consigo una veintena de bibliotecas (cifrado, Kerberos, Avahi) que cuestan en cada
// arranque y que casi ningún programa usa. Cuando se usa, el soporte de impresión de Qt
// suele tenerla ya cargada.
struct Cups {
    decltype(&cupsGetNamedDest) GetNamedDest = nullptr;
    decltype(&cupsGetOption) GetOption = nullptr;
    decltype(&cupsFreeDests) FreeDests = nullptr;
    decltype(&cupsSetServer) SetServer = nullptr;
    decltype(&cupsLastError) LastError = nullptr;
    decltype(&cupsLastErrorString) LastErrorString = nullptr;
};

// nullptr si no está la biblioteca de CUPS en el sistema.
const Cups* AbrirCups() {
    static const Cups cups = [] {
        Cups c;
        QLibrary biblioteca(QStringLiteral("cups"), 2);
        if (!biblioteca.load())
            return c;
        c.GetNamedDest =
            reinterpret_cast<decltype(c.GetNamedDest)>(biblioteca.resolve("cupsGetNamedDest"));
        c.GetOption = reinterpret_cast<decltype(c.GetOption)>(biblioteca.resolve("cupsGetOption"));
        c.FreeDests = reinterpret_cast<decltype(c.FreeDests)>(biblioteca.resolve("cupsFreeDests"));
        c.SetServer = reinterpret_cast<decltype(c.SetServer)>(biblioteca.resolve("cupsSetServer"));
        c.LastError = reinterpret_cast<decltype(c.LastError)>(biblioteca.resolve("cupsLastError"));
        c.LastErrorString = reinterpret_cast<decltype(c.LastErrorString)>(
            biblioteca.resolve("cupsLastErrorString"));
        return c;
    }();
    return cups.GetNamedDest && cups.GetOption && cups.FreeDests && cups.SetServer &&
                   cups.LastError && cups.LastErrorString
               ? &cups
               : nullptr;
}

// Vuelve a leer CUPS_SERVER.
void RecargarServidor() {
    if (const Cups* cups = AbrirCups())
        cups->SetServer(nullptr);
}

#endif

std::unique_ptr<QPrinter>& actual() {
    static std::unique_ptr<QPrinter> p;
    return p;
}

// Orientación por omisión de la cola según el sistema de impresión; sin dato, vertical.
QPageLayout::Orientation orientacionDeCola(const QString& cola) {
#ifdef ZOQ_CON_CUPS
    const Cups* cups = AbrirCups();
    if (cola.isEmpty() || !cups)
        return QPageLayout::Portrait;
    const QByteArray nombre = cola.toUtf8();
    cups_dest_t* destino = cups->GetNamedDest(CUPS_HTTP_DEFAULT, nombre.constData(), nullptr);
    if (!destino)
        return QPageLayout::Portrait;
    QPageLayout::Orientation o = QPageLayout::Portrait;
    const char* valor =
        cups->GetOption("orientation-requested", destino->num_options, destino->options);
    if (valor && (qstrcmp(valor, "4") == 0 || qstrcmp(valor, "5") == 0))
        o = QPageLayout::Landscape;
    const char* apaisado = cups->GetOption("landscape", destino->num_options, destino->options);
    if (apaisado &&
        (qstrcmp(apaisado, "true") == 0 || qstrcmp(apaisado, "yes") == 0 || *apaisado == '\0'))
        o = QPageLayout::Landscape;
    cups->FreeDests(1, destino);
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
    RecargarServidor();
#endif
    return QPrinterInfo::availablePrinterNames();
}

QPrinter& ImpresoraActual() {
    if (!actual()) {
#ifdef ZOQ_CON_CUPS
        RecargarServidor();
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

QString RechazoDeLaCola(const QString& cola) {
#ifdef ZOQ_CON_CUPS
    const Cups* cups = AbrirCups();
    if (cola.isEmpty() || !cups)
        return {};
    // El nombre de una instancia ("cola/copia") es el de su cola.
    const QByteArray nombre = cola.section(QLatin1Char('/'), 0, 0).toUtf8();
    cups_dest_t* destino = cups->GetNamedDest(CUPS_HTTP_DEFAULT, nombre.constData(), nullptr);
    if (!destino)
        return cups->LastError() == IPP_STATUS_ERROR_NOT_FOUND ? QStringLiteral("no existe")
                                                               : QString();
    const char* admite =
        cups->GetOption("printer-is-accepting-jobs", destino->num_options, destino->options);
    const bool rechaza = admite && qstrcmp(admite, "false") == 0;
    cups->FreeDests(1, destino);
    return rechaza ? QStringLiteral("no admite trabajos") : QString();
#else
    Q_UNUSED(cola);
    return {};
#endif
}

QString RechazoDelTrabajo() {
#ifdef ZOQ_CON_CUPS
    const Cups* cups = AbrirCups();
    // Los códigos de 0x0000 a 0x00FF son de éxito.
    if (!cups || cups->LastError() < IPP_STATUS_REDIRECTION_OTHER_SITE)
        return {};
    const char* motivo = cups->LastErrorString();
    return motivo && *motivo ? QString::fromUtf8(motivo)
                             : QStringLiteral("el sistema de impresión no lo admitió");
#else
    return {};
#endif
}

} // namespace Impresora
