#include "MiniHelp/navegador.h"

#include "MiniHelp/documento_ayuda.h"
#include "basicos/nucleo/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <dlfcn.h>

#ifdef ZOQ_MODULO_WEB
#include "MiniHelp/modulo_web.h"

#include <QOpenGLContext>
// De QtGui, sin cabecera pública: fija el contexto de OpenGL que comparten los de la aplicación.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* contexto);
#endif

namespace MiniHelp {

namespace {

#ifdef ZOQ_MODULO_WEB

// El módulo queda cargado hasta que acaba el proceso: sus navegadores pueden seguir vivos.
FabricaNavegador* fabricaWeb = nullptr;

// El motor del navegador cuenta con el contexto de OpenGL compartido que él mismo crea cuando
// se enlaza con el programa, antes de la QApplication; sin él, cargado después, se cae. Así que
// se crea aquí antes de cargar el módulo y, como hace el motor, se fija aunque no se pueda
// abrir (sin OpenGL el motor dibuja por programa).
void PrepararContextoCompartido() {
    if (QOpenGLContext::globalShareContext())
        return;
    auto* contexto = new QOpenGLContext;
    contexto->create();
    qt_gl_set_global_share_context(contexto);
    qAddPostRoutine([] {
        QOpenGLContext* compartido = QOpenGLContext::globalShareContext();
        qt_gl_set_global_share_context(nullptr);
        delete compartido;
    });
}

FabricaNavegador* CargarModuloWeb() {
    if (fabricaWeb)
        return fabricaWeb;
    const QString fichero = RutaModuloWeb();
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

#else

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

#endif

} // namespace

Navegador* CrearNavegador(QWidget* padre) {
#ifdef ZOQ_MODULO_WEB
    FabricaNavegador* fabrica = CargarModuloWeb();
    return fabrica ? new NavegadorModulo(*fabrica, padre) : nullptr;
#else
    return new NavegadorLocal(padre);
#endif
}

bool HayNavegadorWeb() {
#ifdef ZOQ_MODULO_WEB
    return true;
#else
    return false;
#endif
}

bool ModuloWebCargado() {
#ifdef ZOQ_MODULO_WEB
    return fabricaWeb != nullptr;
#else
    return false;
#endif
}

QString RutaModuloWeb() {
#ifdef ZOQ_MODULO_WEB
    return QDir(CarpetaModulos()).filePath(QStringLiteral(ZOQ_MODULO_WEB));
#else
    return QString();
#endif
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
