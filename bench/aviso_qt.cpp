// Programa de Qt mínimo que muestra el mismo aviso que Vandrel: la referencia con la que se
// compara el arranque de los programas de la suite (bench_arranque).
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    QMessageBox aviso(QMessageBox::Critical, QStringLiteral("Aviso de Runtime ZOQ"),
                      QStringLiteral("Programa no ejecutable. Instalador de Runtime."),
                      QMessageBox::Ok);
    aviso.exec();
    return 0;
}
