#pragma once
// Las tarjetas (y demás dispositivos PKCS #11) como almacenes: las de los módulos que registra
// p11-kit (el registro de Debian, al que se suman OpenSC y los demás al instalarse).
//
// Los módulos son bibliotecas de terceros que se cargan con su código: uno puede quedarse
// parado para siempre al arrancar (C_Initialize) o acabar con el proceso que lo carga (abort,
// una violación de segmento). Por eso nunca se cargan en el proceso que firma, que puede ser una
// aplicación de la suite: los carga el ayudante de las tarjetas, «morvelin-tarjetas», un
// proceso aparte con NSS que lista sus tarjetas y firma con ellas cuando se le pide (la clave
// sigue sin salir de la tarjeta). Cada paso tiene su plazo (PlazosTarjetas): un módulo que no
// contesta a tiempo se deja («no responde»), uno que hace fallar al ayudante se da por roto, y
// en los dos casos se vuelve a arrancar el ayudante sin él, de modo que las demás tarjetas
// siguen a mano; durante cinco minutos no se vuelve a cargar. Acabada una búsqueda, el
// ayudante queda en reposo para la siguiente (arrancar otro y NSS en él cuesta decenas de
// milisegundos), con los módulos cargados pero sin sesiones abiertas con el PIN.

#include "almacenes/almacen.h"

#include <chrono>
#include <memory>
#include <vector>

namespace morvelin::almacenes {

/// Las tarjetas de los módulos registrados en p11-kit, en el orden de p11-kit y, en cada módulo,
/// de sus ranuras. Los módulos de confianza (solo certificados de autoridades) y las tarjetas
/// sin inicializar no se miran. Un lector sin tarjeta, un módulo que no carga, no responde o
/// falla es un AlmacenSinAbrir, que dice por qué. En cada tarjeta, entre los certificados del
/// identificador se prefiere el que tiene el uso de no repudio.
///
/// Los módulos con los que se miran las tarjetas.
enum class Modulos {
    /// Los que el ayudante en reposo tenga ya cargados (los que falten se cargan). Ven poner y
    /// quitar tarjetas, pero quizá no una tarjeta de programa creada después de cargarlos.
    YaCargados,
    /// Cargados de nuevo: ven lo que hay ahora.
    DeNuevo,
};

/// Las tarjetas abiertas y si se han mirado con módulos cargados antes (si no se encuentra en
/// ellas lo que se busca, merece la pena mirarlas de nuevo).
struct TarjetasAbiertas {
    std::vector<std::unique_ptr<Almacen>> almacenes;
    bool conModulosDeAntes = false;
};

/// Con `pedidas` (de pedirTarjetas()), recoge ese listado en vez de pedir otro.
struct TarjetasPedidas;
TarjetasAbiertas abrirTarjetas(Modulos modulos, std::shared_ptr<TarjetasPedidas> pedidas = {});

/// Pide ya el listado de las tarjetas, sin esperarlo: el ayudante arranca y carga los módulos
/// mientras quien lo pide mira otros almacenes, y abrirTarjetas() lo recoge. nullptr si el
/// ayudante no arranca.
std::shared_ptr<TarjetasPedidas> pedirTarjetas(Modulos modulos);

/// Los plazos del ayudante de las tarjetas.
struct PlazosTarjetas {
    /// Para cargar cada módulo y listar sus tarjetas.
    std::chrono::milliseconds modulo{30000};
    /// Para cada paso de una firma (la firma, o dar el PIN a la tarjeta); cubre el PIN que se
    /// teclea en un lector con teclado propio. El tiempo del diálogo del PIN no cuenta.
    std::chrono::milliseconds firma{120000};
};

/// Solo para pruebas: otros plazos (nullptr vuelve a los de siempre). No se debe llamar
/// mientras otro hilo busca un certificado.
void usarPlazosTarjetas(const PlazosTarjetas* plazos);

/// El programa ayudante: atiende por la conexión `fd` las peticiones de listar (cargando los
/// módulos), firmar y soltar las tarjetas. Cuando se cierra la conexión, o tras cinco minutos en
/// reposo, acaba el proceso sin descargar los módulos; si la conexión falla a medias, devuelve
/// el estado de salida.
int servirTarjetas(int fd);

} // namespace morvelin::almacenes
