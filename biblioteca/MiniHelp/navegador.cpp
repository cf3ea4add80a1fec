#include "MiniHelp/navegador.h"

#include "MiniHelp/documento_ayuda.h"
#include "basicos/nucleo/error.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#ifdef ZOQ_CON_WEBENGINE
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <unistd.h>
#endif

namespace MiniHelp {

namespace {

#ifdef ZOQ_CON_WEBENGINE

// Chromium no arranca su caja de arena como root y no tiene GPU en estas máquinas; las
// opciones se fijan antes de crear la primera vista, salvo que el usuario ya haya puesto las
// suyas.
void PrepararChromium() {
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
        QByteArray opciones = "--disable-gpu";
        if (::geteuid() == 0)
            opciones += " --no-sandbox";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", opciones);
    }
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

class NavegadorWeb : public Navegador {
public:
    explicit NavegadorWeb(QWidget* padre) : Navegador(padre) {
        PrepararChromium();
        vista_ = new QWebEngineView(this);
        vista_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        auto* capa = new QVBoxLayout(this);
        capa->setContentsMargins(0, 0, 0, 0);
        capa->addWidget(vista_);
        connect(vista_, &QWebEngineView::loadStarted, this, [this] { ocupado_ = true; });
        connect(vista_, &QWebEngineView::loadFinished, this, [this](bool bien) {
            ocupado_ = false;
            if (!bien)
                emit ErrorNavegacion();
        });
    }

    void Navegar(const QString& direccion) override {
        ocupado_ = true;
        vista_->load(QUrl::fromUserInput(direccion));
    }
    bool Ocupado() const override { return ocupado_; }

private:
    QWebEngineView* vista_ = nullptr;
    bool ocupado_ = false;
};

#endif

// Sin WebEngine: ficheros locales (RTF o HTML); cualquier otra dirección es un fallo.
class NavegadorLocal : public Navegador {
public:
    explicit NavegadorLocal(QWidget* padre) : Navegador(padre) {
        vista_ = new QTextBrowser(this);
        vista_->setOpenExternalLinks(false);
        auto* capa = new QVBoxLayout(this);
        capa->setContentsMargins(0, 0, 0, 0);
        capa->addWidget(vista_);
    }

    void Navegar(const QString& direccion) override {
        const QUrl url = QUrl::fromUserInput(direccion, QString(), QUrl::AssumeLocalFile);
        bool bien = url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile();
        if (bien) {
            try {
                CargarFicheroAyuda(url.toLocalFile(), *vista_->document());
            } catch (const basicos::ErrorZoq&) {
                bien = false;
            }
        }
        if (!bien)
            emit ErrorNavegacion();
    }
    bool Ocupado() const override { return false; }

private:
    QTextBrowser* vista_ = nullptr;
};

} // namespace

Navegador* CrearNavegador(QWidget* padre) {
#ifdef ZOQ_CON_WEBENGINE
    return new NavegadorWeb(padre);
#else
    return new NavegadorLocal(padre);
#endif
}

bool HayNavegadorWeb() {
#ifdef ZOQ_CON_WEBENGINE
    return true;
#else
    return false;
#endif
}

} // namespace MiniHelp
