#pragma once
// Los textos de los que sale MORVELIN.DLL, generados a partir de morvelin/identidad.h y de la
// tabla de mensajes, para que ningún valor se escriba dos veces.

#include <string>

namespace morvelin::windows {

/// IDL de la biblioteca de tipos MORVELINLib (interfaz dual IMorvelinCtl y clase MorvelinCtl).
std::string idlMorvelin();

/// Guion de registro (recurso REGISTRY 103), en el formato de guion_registro.h.
std::string guionRegistro();

/// Guion de recursos: tabla de cadenas, TYPELIB 1, REGISTRY 103 y versión. Los ficheros
/// MORVELIN.tlb y MORVELIN.rgs se buscan en las carpetas de inclusión del compilador de recursos.
std::string guionRecursos();

} // namespace morvelin::windows
