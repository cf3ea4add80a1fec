#include "MiVisor/MsgBoxPlataforma.h"

#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace MiVisor {

namespace {

FuncionMsgBox& sustituta() {
    static FuncionMsgBox f;
    return f;
}

struct BotonCaja {
    QMessageBox::StandardButton boton;
    int respuesta;
};

} // namespace

FuncionMsgBox PonerMsgBox(FuncionMsgBox funcion) {
    return std::exchange(sustituta(), std::move(funcion));
}

int MsgBox(const QString& texto, int estilo, const QString& titulo, QWidget* padre) {
    if (sustituta())
        return sustituta()(texto, estilo, titulo);

    using B = QMessageBox;
    static const std::vector<std::vector<BotonCaja>> juegos = {
        {{B::Ok, 1}},
        {{B::Ok, 1}, {B::Cancel, 2}},
        {{B::Abort, 3}, {B::Retry, 4}, {B::Ignore, 5}},
        {{B::Yes, 6}, {B::No, 7}, {B::Cancel, 2}},
        {{B::Yes, 6}, {B::No, 7}},
        {{B::Retry, 4}, {B::Cancel, 2}},
    };
    const int juego = estilo & 7;
    const auto& botones = juegos[static_cast<size_t>(juego < 6 ? juego : 0)];

    QMessageBox caja(padre);
    caja.setWindowTitle(titulo);
    caja.setText(texto);
    switch (estilo & 0x70) {
    case 16:
        caja.setIcon(B::Critical);
        break;
    case 32:
        caja.setIcon(B::Question);
        break;
    case 48:
        caja.setIcon(B::Warning);
        break;
    case 64:
        caja.setIcon(B::Information);
        break;
    default:
        break;
    }
    for (const BotonCaja& b : botones)
        caja.addButton(b.boton);
    const size_t omision = static_cast<size_t>((estilo >> 8) & 3);
    caja.setDefaultButton(botones[omision < botones.size() ? omision : 0].boton);
    caja.exec();
    const auto pulsado = caja.standardButton(caja.clickedButton());
    for (const BotonCaja& b : botones)
        if (b.boton == pulsado)
            return b.respuesta;
    // Cerrada con Escape o desde el marco: la respuesta de escape de la plataforma.
    for (const BotonCaja& b : botones)
        if (b.respuesta == 2)
            return 2;
    return botones.size() == 1 ? 1 : botones.back().respuesta;
}

} // namespace MiVisor
