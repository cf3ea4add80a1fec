// Módulo del navegador web de la ventana de ayuda: el único que enlaza Qt WebEngine, y no
// depende más que de Qt. La biblioteca lo carga con la primera página que se abre (ver
// navegador.h y modulo_web.h).
#include "MiniHelp/modulo_web.h"

#include <QObject>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <unistd.h>

namespace MiniHelp {

namespace {

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

class VistaWebEngine : public QWidget, public VistaWeb {
public:
    explicit VistaWebEngine(QWidget* padre) : QWidget(padre) {
        vista_ = new QWebEngineView(this);
        vista_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        auto* capa = new QVBoxLayout(this);
        capa->setContentsMargins(0, 0, 0, 0);
        capa->addWidget(vista_);
        connect(vista_, &QWebEngineView::loadStarted, this, [this] { ocupado_ = true; });
        connect(vista_, &QWebEngineView::loadFinished, this, [this](bool bien) {
            ocupado_ = false;
            if (!bien && alFallar_)
                alFallar_();
        });
    }

    QWidget* Control() override { return this; }
    void Navegar(const QString& direccion) override {
        ocupado_ = true;
        vista_->load(QUrl::fromUserInput(direccion));
    }
    bool Ocupado() const override { return ocupado_; }
    void AlFallar(std::function<void()> alFallar) override { alFallar_ = std::move(alFallar); }

private:
    QWebEngineView* vista_ = nullptr;
    bool ocupado_ = false;
    std::function<void()> alFallar_;
};

} // namespace

class ModuloWeb : public QObject, public FabricaNavegador {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ZOQ_FABRICA_NAVEGADOR_IID)
    Q_INTERFACES(MiniHelp::FabricaNavegador)

public:
    ModuloWeb() { PrepararChromium(); }

    VistaWeb* CrearVista(QWidget* padre) override { return new VistaWebEngine(padre); }
};

} // namespace MiniHelp

#include "navegador_web.moc"
