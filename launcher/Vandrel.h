#pragma once
// Ventana de arranque del programa Vandrel.

#include <QWidget>

/// Ventana de arranque. Al cargarse avisa de que el programa no se ejecuta por sí mismo y se
/// descarga; con ella se acaba el programa. Los controles externos que el paquete lleva
/// consigo no viven aquí sino en la lista controles-externos.tsv, que lee el empaquetado.
class Vandrel : public QWidget {
    Q_OBJECT
public:
    explicit Vandrel(QWidget* padre = nullptr);

    /// Suceso de carga: muestra el aviso (modal, espera al usuario) y descarga la ventana.
    void Form_Load();
};
