#include "rutinas/escalado.h"

#include "basicos/pantalla.h"
#include "rutinas/controles.h"

#include <QFont>
#include <QWidget>
#include <cmath>

namespace rutinas {

namespace {

int EscalarPixelesX(int pixeles) {
    return basicos::PixelesX(EscalaX(static_cast<float>(basicos::TwipsX(pixeles))));
}

int EscalarPixelesY(int pixeles) {
    return basicos::PixelesY(EscalaY(static_cast<float>(basicos::TwipsY(pixeles))));
}

QFont FuenteEscalada(QFont f) {
    if (f.pointSizeF() > 0)
        f.setPointSizeF(EscalaFuente(static_cast<float>(f.pointSizeF())));
    else if (f.pixelSize() > 0)
        f.setPixelSize(std::max(
            1, static_cast<int>(std::lround(EscalaFuente(static_cast<float>(f.pixelSize()))))));
    return f;
}

} // namespace

void EscalarFormulario(QWidget* Formulario, float& Ancho, float& Alto, bool UsarFactores) {
    if (!Formulario)
        return;
    const float ancho = static_cast<float>(basicos::TwipsX(Formulario->width()));
    const float alto = static_cast<float>(basicos::TwipsY(Formulario->height()));
    if (UsarFactores) {
        if (FactorX == 0 || FactorY == 0 || SinEscalar)
            return;
        Ancho = EscalaX(ancho);
        Alto = EscalaY(alto);
    } else {
        const basicos::MedidasPantalla m = basicos::Medidas();
        const float objetivoX =
            Ancho == 0 ? ObjetivoPorOmision(ancho, static_cast<float>(basicos::AnchoTrabajo()))
                       : static_cast<float>(Ancho * m.twipsPorPixelX);
        const float objetivoY =
            Alto == 0 ? ObjetivoPorOmision(alto, static_cast<float>(basicos::AltoTrabajo()))
                      : static_cast<float>(Alto * m.twipsPorPixelY);
        CalcularFactores(ancho, alto, objetivoX, objetivoY);
    }

    const bool visible = Formulario->isVisible();
    if (visible)
        Formulario->hide();
    Formulario->setGeometry(0, 0, basicos::PixelesX(EscalaX(ancho)),
                            basicos::PixelesY(EscalaY(alto)));

    // Primero se toman todas las letras: al cambiar la de un contenedor, sus hijos sin letra
    // propia la heredarían ya escalada.
    const QList<QWidget*> controles = ControlesDe(Formulario);
    QList<QFont> letras;
    letras.reserve(controles.size());
    for (QWidget* c : controles)
        letras.append(c->font());
    for (qsizetype i = 0; i < controles.size(); ++i) {
        QWidget* c = controles[i];
        const QRect g = c->geometry();
        const float izquierda = EscalarIzquierda(static_cast<float>(basicos::TwipsX(g.x())));
        c->setGeometry(basicos::PixelesX(izquierda), EscalarPixelesY(g.y()),
                       EscalarPixelesX(g.width()), EscalarPixelesY(g.height()));
        c->setFont(FuenteEscalada(letras[i]));
        if (auto* rejilla = dynamic_cast<AnchosDeColumna*>(c)) {
            for (int col = 0; col < rejilla->Cols(); ++col)
                rejilla->setColWidth(col, static_cast<int>(std::lround(EscalaX(
                                              static_cast<float>(rejilla->ColWidth(col))))));
        }
    }
    if (visible)
        Formulario->show();
    Formulario->update();
}

void EscalarFormulario(QWidget* Formulario) {
    float ancho = 0, alto = 0;
    EscalarFormulario(Formulario, ancho, alto, true);
}

void FuenteFormulario(QWidget* Formulario) {
    basicos::RegistrarFuentes();
    for (QWidget* c : ControlesDe(Formulario)) {
        if (Tag(c).contains(QLatin1String("(FF)")))
            continue;
        QFont f = c->font();
        f.setFamily(QStringLiteral("MS Shell Dlg 2"));
        c->setFont(f);
    }
}

} // namespace rutinas
