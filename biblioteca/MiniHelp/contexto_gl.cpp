// El único uso de un símbolo de Qt sin cabecera pública en la biblioteca.
//
// Qt crea el contexto compartido por sí mismo con Qt::AA_ShareOpenGLContexts, pero solo si el
// atributo se pone antes de crear la aplicación; el motor del navegador lo pone así cuando se
// enlaza con el programa. Aquí se carga más tarde, con la primera página web, y el atributo
// ya no sirve. Ponerlo siempre al cargar la biblioteca crearía un contexto de OpenGL al
// arrancar cada programa, abra o no páginas (unos 100 ms más por arranque en una pantalla X
// sin aceleración). Qt no tiene otra forma pública de fijar el contexto una vez creada la
// aplicación, así que se fija con la función de QtGui que usa la propia aplicación.
#include "MiniHelp/contexto_gl.h"

#include <QCoreApplication>
#include <QOpenGLContext>

Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* contexto);

namespace MiniHelp {

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

} // namespace MiniHelp
