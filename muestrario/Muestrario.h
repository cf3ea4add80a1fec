#pragma once
// Muestrario: abre cada ventana de la biblioteca con argumentos representativos, desde un
// menú, para probarlas como lo haría un usuario.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <vector>

class QLabel;

/// Una entrada del menú: en qué menú va, su texto y qué hace. Lo que devuelve la función se
/// muestra en la ventana del muestrario (la respuesta del cuadro, el texto aceptado...).
struct EntradaMuestrario {
    QString menu;
    QString texto;
    std::function<QString(QWidget* ventana)> abrir;
};

/// Todas las entradas, en el orden de los menús. Cada ventana nueva de la biblioteca añade
/// aquí sus entradas (ventanas.cpp), una por línea.
std::vector<EntradaMuestrario> EntradasMuestrario();

/// Carpeta de los ficheros de ejemplo (ayudas, listas).
QString DatosMuestrario(const QString& nombre);

class Muestrario : public QMainWindow {
    Q_OBJECT
public:
    /// La ventana con sus menús; F4 y F8 (calculadora y contactos) valen como en toda ventana
    /// de la suite.
    explicit Muestrario(QWidget* padre = nullptr);

private:
    QLabel* resultado_ = nullptr;
};
