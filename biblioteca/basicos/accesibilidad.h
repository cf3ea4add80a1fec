#pragma once
// Cómo llegan las ventanas de la biblioteca a la tecnología de asistencia (lectores de pantalla,
// acceso por conmutador, control por voz) a través de la accesibilidad de Qt (AT-SPI en Linux):
//
// - toda ventana de primer nivel hecha sobre un QWidget sin más (la calculadora, los contactos,
//   la ventana de progreso, los formularios de las aplicaciones) llega como ventana, con su
//   título; si es modal, como diálogo. Sin esto llegaría como un simple panel y el lector no
//   anunciaría su título al activarse. Los cuadros (QDialog) y las ventanas principales
//   (QMainWindow) ya llegan así por sí mismos;
// - una etiqueta que enseña un valor que cambia (EtiquetaDeValor) llega con su nombre y, como
//   texto, el valor que se ve; cada cambio se anuncia.
//
// Lo instala la propia biblioteca al cargarse: nada que llamar.

#include <QLabel>

namespace basicos {

/// Etiqueta que enseña un valor que cambia, como la pantalla de la calculadora. A la
/// tecnología de asistencia llega como etiqueta con su nombre (el accesible, o si no tiene, el
/// valor) y con el valor que se ve como texto, sin los blancos de relleno.
class EtiquetaDeValor : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    /// Enseña `valor` y, si cambió, avisa a la tecnología de asistencia (sale el texto
    /// anterior y entra el nuevo), para que el lector lo diga en cuanto aparece.
    void PonerValor(const QString& valor);

    /// El valor tal como lo lee la tecnología de asistencia: el texto sin los blancos de
    /// relleno de los extremos.
    QString ValorLeido() const;
};

} // namespace basicos
