#!/usr/bin/env bash
# El programa Vandrel de verdad, en una pantalla virtual: muestra un único aviso con su título;
# al pulsar Intro sobre «Aceptar» termina con estado 0 y sin ventanas.
set -uo pipefail
vandrel=${1:?ruta de Vandrel}

# Una pantalla virtual propia, con el primer número libre.
if [[ -z "${ZOQ_EN_XVFB:-}" ]]; then
    ZOQ_EN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
trap '[[ -n "${pid:-}" ]] && kill $pid 2>/dev/null' EXIT

QT_QPA_PLATFORM=xcb "$vandrel" &
pid=$!
ventanas=""
for _ in $(seq 100); do
    ventanas=$(xdotool search --onlyvisible --name "Aviso de Runtime ZOQ" 2>/dev/null)
    [[ -n "$ventanas" ]] && break
    sleep 0.1
done
[[ -n "$ventanas" ]] || { echo "no apareció el aviso"; exit 1; }
[[ $(wc -l <<<"$ventanas") -eq 1 ]] || { echo "más de una ventana de aviso"; exit 1; }
visibles=$(xdotool search --onlyvisible --name "." 2>/dev/null | wc -l)
[[ $visibles -eq 1 ]] || { echo "hay $visibles ventanas visibles, se esperaba solo el aviso"; exit 1; }

xdotool windowactivate --sync "$ventanas" key Return 2>/dev/null || xdotool key Return
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "Vandrel no terminó tras «Aceptar»"; exit 1; fi
wait $pid
estado=$?
pid=""
[[ $estado -eq 0 ]] || { echo "Vandrel terminó con estado $estado"; exit 1; }
echo "Aviso mostrado y Vandrel terminado con estado 0."
