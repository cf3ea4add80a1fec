#include "basicos/pantalla.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace basicos {

namespace {

std::optional<MedidasPantalla>& MedidasFijadas() {
    static std::optional<MedidasPantalla> m;
    return m;
}

} // namespace

MedidasPantalla Medidas() {
    if (MedidasFijadas())
        return *MedidasFijadas();
    MedidasPantalla m;
    if (QScreen* pantalla = QGuiApplication::primaryScreen()) {
        const double dpiX = pantalla->logicalDotsPerInchX();
        const double dpiY = pantalla->logicalDotsPerInchY();
        if (dpiX > 0)
            m.twipsPorPixelX = 1440.0 / dpiX;
        if (dpiY > 0)
            m.twipsPorPixelY = 1440.0 / dpiY;
        m.areaTrabajo = pantalla->availableGeometry();
    }
    return m;
}

void PonerMedidasPantalla(std::optional<MedidasPantalla> medidas) {
    MedidasFijadas() = medidas;
}

double TwipsX(int pixeles) {
    return pixeles * Medidas().twipsPorPixelX;
}

double TwipsY(int pixeles) {
    return pixeles * Medidas().twipsPorPixelY;
}

int PixelesX(double twips) {
    return static_cast<int>(std::lround(twips / Medidas().twipsPorPixelX));
}

int PixelesY(double twips) {
    return static_cast<int>(std::lround(twips / Medidas().twipsPorPixelY));
}

long AnchoTrabajo() {
    const MedidasPantalla m = Medidas();
    return std::lround(m.areaTrabajo.width() * m.twipsPorPixelX);
}

long AltoTrabajo() {
    const MedidasPantalla m = Medidas();
    return std::lround(m.areaTrabajo.height() * m.twipsPorPixelY);
}

void CentrarFormulario(QWidget* Formulario) {
    if (!Formulario)
        return;
    const QSize tamano = Formulario->frameGeometry().size();
    const double izquierda = (AnchoTrabajo() - TwipsX(tamano.width())) / 2 + 1;
    const double arriba = (AltoTrabajo() - TwipsY(tamano.height())) / 2 + 1;
    Formulario->move(PixelesX(izquierda), PixelesY(arriba));
}

namespace {

// Carpetas donde el sistema deja una letra libre con las medidas de la de diseño ("Tahoma"):
// la del paquete fonts-wine de Debian.
const char* const CarpetasLetraDiseno[] = {"/usr/share/wine/fonts"};

// Carga la letra de diseño si el sistema no la tiene ya. Devuelve true si queda disponible.
bool CargarLetraDiseno() {
    const QString diseno = QStringLiteral("Tahoma");
    if (QFontDatabase::families().contains(diseno))
        return true;
    bool cargada = false;
    for (const char* carpeta : CarpetasLetraDiseno) {
        for (const char* fichero : {"tahoma.ttf", "tahomabd.ttf"}) {
            const QString ruta = QString::fromLatin1(carpeta) + u'/' + QString::fromLatin1(fichero);
            if (QFile::exists(ruta) &&
                QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(ruta))
                    .contains(diseno))
                cargada = true;
        }
        if (cargada)
            return true;
    }
    return false;
}

} // namespace

void RegistrarFuentes() {
    static const bool hecho = [] {
        QStringList sinRemates = {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                  QStringLiteral("Noto Sans")};
        // Con la letra de diseño (o una de sus mismas medidas) los textos caben en los anchos
        // con que se diseñaron las ventanas; las demás son más anchas y los cortan.
        if (CargarLetraDiseno())
            sinRemates.prepend(QStringLiteral("Tahoma"));
        const QStringList fijas = {QStringLiteral("DejaVu Sans Mono"),
                                   QStringLiteral("Liberation Mono"),
                                   QStringLiteral("Noto Sans Mono")};
        for (const char* nombre : {"MS Shell Dlg 2", "MS Shell Dlg", "Tahoma", "MS Sans Serif"})
            QFont::insertSubstitutions(QString::fromLatin1(nombre), sinRemates);
        for (const char* nombre : {"Courier", "Courier New"})
            QFont::insertSubstitutions(QString::fromLatin1(nombre), fijas);
        return true;
    }();
    (void)hecho;
}

} // namespace basicos
