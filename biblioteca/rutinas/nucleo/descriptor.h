#pragma once
// Descriptor de campo: el texto del Tag de cada control de entrada, hecho de elementos
// clave + "(" + valor + ")", como "T(m) A(I) L(30)". Se lee y se escribe solo por aquí.
//
// Un elemento se busca como subcadena (clave seguida del delimitador de apertura), sin
// distinguir su posición ni exigir separadores; las claves distinguen mayúsculas.

#include <QString>
#include <QStringView>
#include <functional>

namespace rutinas {

/// Valor del elemento `Clave` del descriptor `Tag`: lo que hay entre el delimitador de
/// apertura que sigue a la primera aparición de la clave y el primer delimitador de cierre
/// posterior (sin cierre, hasta el final del texto). Vacío si el elemento no está.
/// `Delimitadores` lleva el de apertura y el de cierre; vacío vale "()" y se devuelve así.
/// Si falta un elemento obligatorio ("T", "L" o "A"), antes de volver se avisa con
/// AvisarFaltaDato.
QString LeerDatoTag(const QString& Tag, const QString& Clave, QString& Delimitadores);
/// Lo mismo con los delimitadores "()".
QString LeerDatoTag(const QString& Tag, const QString& Clave);

/// Nuevo descriptor con el elemento `Clave` puesto a `Valor`: si ya estaba se cambia solo su
/// valor; si no, se añade al final tras un blanco. `Tag` no se toca.
QString PonerDatoTag(const QString& Tag, const QString& Clave, const QString& Valor,
                     QString& Delimitadores);
QString PonerDatoTag(const QString& Tag, const QString& Clave, const QString& Valor);

/// Texto del aviso de elemento obligatorio ausente:
/// " No encontrado dato TAG obligatorio (T) Tipo en A(I) L(30)".
QString TextoFaltaDato(const QString& Clave, const QString& Tag);

/// Quién muestra el aviso de elemento obligatorio ausente. La biblioteca de ventanas pone
/// un cuadro de mensaje estándar; sin ella (o con nullptr) el aviso va a qWarning.
/// Devuelve el avisador anterior (las pruebas lo cambian y lo reponen).
using Avisador = std::function<void(const QString& texto)>;
Avisador PonerAvisadorFaltaDato(Avisador avisador);

/// Valor del elemento `Clave` con los delimitadores "()" sin copiarlo: una vista sobre `Tag`
/// (que ha de seguir vivo), y `hallado` dice si el elemento está. No avisa de nada.
QStringView VerDatoTag(QStringView Tag, QStringView Clave, bool& hallado);

// Valores que las rutinas sacan del descriptor. Los que son obligatorios avisan si faltan.

/// Tipo de campo (elemento T, exacto). Obligatorio.
QString TipoCampo(const QString& Tag);
/// Longitud (elemento L): su lectura numérica redondeada al entero de 16 bits, la mitad al
/// par; 0 si falta. Obligatorio.
short LongitudCampo(const QString& Tag);
/// Ajuste (elemento A, exacto). Obligatorio.
QString AjusteCampo(const QString& Tag);
/// Decimales (elemento D) como texto, vacío si falta.
QString DecimalesCampo(const QString& Tag);

} // namespace rutinas
