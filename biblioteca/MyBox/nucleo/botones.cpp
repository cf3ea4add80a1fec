#include "MyBox/nucleo/botones.h"

namespace MyBox {

JuegoBotones BotonesDelJuego(int LosBotones) {
    const QString nada;
    switch (LosBotones) {
    case 1:
        return {{QStringLiteral("Aceptar"), nada, nada}, {true, false, false}};
    case 2:
        return {{QStringLiteral("Cancelar"), QStringLiteral("Aceptar"), nada}, {true, true, false}};
    case 3:
        return {{QStringLiteral("No"), QStringLiteral("Si"), nada}, {true, true, false}};
    case 4:
        return {{QStringLiteral("Cancelar"), QStringLiteral("No"), QStringLiteral("Si")},
                {true, true, true}};
    case 5:
        return {
            {QStringLiteral("Ignorar"), QStringLiteral("Reintentar"), QStringLiteral("Abortar")},
            {true, true, true}};
    case 6:
        return {{QStringLiteral("Cancelar"), QStringLiteral("Reintentar"), nada},
                {true, true, false}};
    default:
        return {{QStringLiteral("Boton1"), QStringLiteral("Boton2"), QStringLiteral("Boton3")},
                {true, true, true}};
    }
}

std::optional<int> BotonInicial(int LosBotones, int BotonOmision) {
    switch (LosBotones) {
    case 1:
        return 0;
    case 2:
    case 3:
    case 6:
        return BotonOmision == 1 ? 1 : 0;
    case 4:
    case 5:
        if (BotonOmision == 1)
            return 2;
        return BotonOmision == 2 ? 1 : 0;
    default:
        return std::nullopt;
    }
}

std::optional<int> CodigoDeTitulo(const QString& titulo) {
    static const std::array<QString, 7> titulos = {
        QStringLiteral("Aceptar"),    QStringLiteral("Cancelar"), QStringLiteral("Abortar"),
        QStringLiteral("Reintentar"), QStringLiteral("Ignorar"),  QStringLiteral("Si"),
        QStringLiteral("No")};
    for (std::size_t i = 0; i < titulos.size(); ++i)
        if (titulo == titulos[i])
            return static_cast<int>(i) + 1;
    return std::nullopt;
}

std::optional<int> RespuestaAlCerrar(int LosBotones) {
    switch (LosBotones) {
    case 1:
        return Aceptar;
    case 2:
    case 4:
    case 6:
        return Cancelar;
    case 3:
    case 5:
        return std::nullopt;
    default:
        return 0;
    }
}

QString TextoConSaltos(const QString& ElMensaje) {
    QString texto = ElMensaje;
    texto.replace(u';', QStringLiteral("\r\n"));
    return texto;
}

void CalcularPosicion(float& Top, float& Left, float anchoCuadro, float altoCuadro,
                      float anchoPantalla, float altoPantalla,
                      const std::optional<RectanguloTwips>& formulario) {
    if (Top == -1.0f)
        Top = (altoPantalla - altoCuadro) / 2;
    if (Left == -1.0f)
        Left = (anchoPantalla - anchoCuadro) / 2;
    if (formulario) {
        Top = formulario->Top + (formulario->Height - altoCuadro) / 2;
        Left = formulario->Left + (formulario->Width - anchoCuadro) / 2;
    }
}

std::optional<std::pair<QString, QString>> PartirRango(const QString& valor) {
    const auto p = valor.indexOf(QChar(SeparadorRango));
    if (p < 0)
        return std::nullopt;
    return std::pair{valor.left(p), valor.mid(p + 1)};
}

QString UnirRango(const QString& desde, const QString& hasta) {
    return desde + QChar(SeparadorRango) + hasta;
}

} // namespace MyBox
