#pragma once
// morvelin verifactu: los registros de facturación VERI*FACTU desde la línea de órdenes.

/// Atiende «morvelin verifactu ...»; argv[0] es «verifactu». Devuelve el estado de salida.
int ordenVerifactu(int argc, char** argv);
