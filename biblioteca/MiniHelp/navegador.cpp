#include "MiniHelp/navegador.h"

#include "MiniHelp/contexto_gl.h"
#include "MiniHelp/documento_ayuda.h"
#include "MiniHelp/modulo_web.h"
#include "basicos/nucleo/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <dlfcn.h>

namespace MiniHelp {

namespace {

// El módulo queda cargado hasta que acaba el proceso: sus navegadores pueden seguir vivos.
FabricaNavegador* fabricaWeb = nullptr;

FabricaNavegador* CargarModuloWeb() {
    if (fabricaWeb)
        return fabricaWeb;
    const QString fichero = RutaModuloWeb();
    // Sin el módulo instalado (es opcional) se usa el visor local, sin más.
    if (!QFileInfo(fichero).isFile())
        return nullptr;
    auto* cargador = new QPluginLoader(fichero, qApp);
    // Los datos del complemento se leen sin cargarlo: sin ellos no hay módulo.
    QObject* raiz = nullptr;
    if (!cargador->metaData().isEmpty()) {
        PrepararContextoCompartido();
        raiz = cargador->instance();
    }
    fabricaWeb = qobject_cast<FabricaNavegador*>(raiz);
    if (!fabricaWeb) {
        qWarning("No se pudo cargar el módulo de páginas web %s: %s", qUtf8Printable(fichero),
                 qUtf8Printable(cargador->errorString()));
        // Otro intento, más tarde, empieza de cero (el módulo pudo instalarse entretanto).
        if (raiz)
            cargador->unload();
        delete cargador;
    }
    return fabricaWeb;
}

// El navegador sobre una vista del módulo web.
class NavegadorModulo : public Navegador {
public:
    NavegadorModulo(FabricaNavegador& fabrica, QWidget* padre)
        : Navegador(padre), vista_(fabrica.CrearVista(this)) {
        auto* capa = new QVBoxLayout(this);
        capa->setContentsMargins(0, 0, 0, 0);
        capa->addWidget(vista_->Control());
        vista_->AlFallar([this] { emit ErrorNavegacion(); });
    }
    ~NavegadorModulo() override { vista_->AlFallar({}); }

    void Navegar(const QString& direccion) override { vista_->Navegar(direccion); }
    bool Ocupado() const override { return vista_->Ocupado(); }

private:
    VistaWeb* vista_; // su control es hijo de este navegador
};

// Sin el módulo web: ficheros locales (RTF o HTML); cualquier otra dirección es un fallo.
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
    if (FabricaNavegador* fabrica = CargarModuloWeb())
        return new NavegadorModulo(*fabrica, padre);
    return new NavegadorLocal(padre);
}

bool ModuloWebCargado() {
    return fabricaWeb != nullptr;
}

QString RutaModuloWeb() {
    return QDir(CarpetaModulos()).filePath(QStringLiteral(ZOQ_MODULO_WEB));
}

QString CarpetaModulos() {
    const QString elegida = qEnvironmentVariable("ZOQ_CARPETA_MODULOS");
    if (!elegida.isEmpty())
        return elegida;
    // La carpeta de esta biblioteca, la del fichero que contiene esta misma función.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&CarpetaModulos), &info) == 0 || !info.dli_fname)
        return QString();
    const QString biblioteca = QFile::decodeName(info.dli_fname);
    return QFileInfo(biblioteca).canonicalPath() + QStringLiteral("/zoq/modulos");
}

} // namespace MiniHelp
