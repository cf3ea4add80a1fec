// El visor de tablas del cuadro MyBox: la rejilla VisorMini en lugar del mensaje.
#include "MyBox/MyBox.h"

#include "MiVisor/MiVisor.h"
#include "MiVisor/Rejilla.h"
#include "basicos/nucleo/error.h"

#include <QLabel>
#include <QPushButton>

namespace MyBox {

namespace {

// Pulsa el botón de respuesta visible de más a la izquierda, como un clic en él.
void PulsarBotonIzquierdo(Ventana& v) {
    for (int i = 2; i >= 0; --i) {
        if (!v.Boton[i]->isHidden()) {
            v.Boton_Click(i);
            return;
        }
    }
}

} // namespace

void Ventana::VisorMini_Click() {
    if (VisorMini->MouseRow() < 1)
        return;
    estado_.texto =
        MiVisor::LeerCelda(*VisorMini, VisorMini->Row(), static_cast<int>(estado_.columnaRetorno));
}

void Ventana::VisorMini_DblClick() {
    VisorMini_Click();
    if (VisorMini->MouseRow() < 1)
        return;
    PulsarBotonIzquierdo(*this);
}

void Ventana::VisorMini_RowColChange() {
    if (VisorMini->Row() >= 1)
        estado_.texto = MiVisor::LeerCelda(*VisorMini, VisorMini->Row(),
                                           static_cast<int>(estado_.columnaRetorno));
}

void Ventana::VisorMini_KeyPress(int KeyAscii) {
    if ((KeyAscii != 13 && KeyAscii != u' ') || VisorMini->Row() < 1)
        return;
    VisorMini_RowColChange();
    PulsarBotonIzquierdo(*this);
}

QString MyVisorBox(const QString& ElTitulo, const QString& Titulos,
                   const std::vector<QStringList>& Matriz, int ElIcono,
                   const QString& ColumnaDevolver, float& Top, float& Left, QWidget* Formulario) {
    const int columnas = MiVisor::ContarColumnas(Titulos);
    for (size_t r = 0; r < Matriz.size(); ++r)
        if (Matriz[r].size() < columnas)
            throw basicos::ErrorZoq(
                QStringLiteral("La fila %1 de la tabla tiene %2 elementos y hay %3 columnas.")
                    .arg(r + 1)
                    .arg(Matriz[r].size())
                    .arg(columnas));

    const CuadroDeLaLlamada v;
    v->setWindowTitle(ElTitulo);
    v->PonerIcono(ElIcono);
    v->Mensaje->hide();
    MiVisor::DefinirColumnas(*v->VisorMini, Titulos);
    for (size_t r = 0; r < Matriz.size(); ++r)
        for (int c = 0; c < v->VisorMini->Cols(); ++c)
            MiVisor::PonerCelda(*v->VisorMini, static_cast<int>(r) + 1, c, Matriz[r][c]);
    v->VisorMini->show();

    const bool elegir = !ColumnaDevolver.isEmpty();
    v->BotonesYPosicion(elegir ? 2 : 1, 1, Top, Left, Formulario);
    // Solo vale lo elegido en esta llamada; al abrir, la fila actual es la primera.
    EstadoCuadro inicial = Estado();
    inicial.texto.clear();
    inicial.columnaRetorno = 0;
    if (elegir) {
        const int columna = MiVisor::BuscarColumna(*v->VisorMini, ColumnaDevolver, false);
        // Se lee en cada clic en la rejilla: la que no existe se avisa antes de mostrar nada.
        MiVisor::ComprobarColumna(*v->VisorMini, columna);
        inicial.columnaRetorno = static_cast<float>(columna);
        v->VisorMini->setRow(1);
        if (v->VisorMini->Rows() > 1)
            inicial.texto = MiVisor::LeerCelda(*v->VisorMini, 1, columna);
        // El foco empieza en la rejilla, y el tabulador sigue en el orden en que se ven la
        // rejilla, "Aceptar" y "Cancelar".
        v->PonerTabIndex(v->VisorMini, 0);
    }
    const EstadoCuadro r = v->Mostrar(inicial);
    return r.respuesta == static_cast<float>(Aceptar) ? r.texto : QString();
}

QString MyVisorBox(const QString& ElTitulo, const QString& Titulos,
                   const std::vector<QStringList>& Matriz, int ElIcono,
                   const QString& ColumnaDevolver, QWidget* Formulario) {
    float Top = -1;
    float Left = -1;
    return MyVisorBox(ElTitulo, Titulos, Matriz, ElIcono, ColumnaDevolver, Top, Left, Formulario);
}

} // namespace MyBox
