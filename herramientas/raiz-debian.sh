# Una Debian 12 mínima y desechable (debootstrap --variant=minbase) para probar el proyecto como
# en un puesto recién instalado. Se carga con «source» desde probar-paquete y
# probar-puesta-en-marcha. Necesita root, debootstrap y acceso a la réplica de Debian.
#
#   raiz_nueva CARPETA     hace la raíz (la primera vez la descarga; después sale de una copia
#                          guardada en build/raiz-base.tar)
#   en_raiz ORDEN...       ejecuta una orden de shell dentro de la raíz (con /proc, /sys y /dev)
#   indice_roto            añade una fuente «file:» cuyo índice no cuadra con su Release, como una
#                          réplica a medio sincronizar: apt-get update falla en ese índice
#   sin_wine32             deja sin candidato a wine32:i386, como cuando las listas de i386 van
#                          atrasadas respecto a las de amd64
RAIZ_REPLICA=${RAIZ_REPLICA:-http://deb.debian.org/debian}
raiz=""

raiz_nueva() {
    raiz=$1
    local base="$raiz_proyecto/build/raiz-base.tar"
    rm -rf "$raiz"
    mkdir -p "$raiz"
    if [[ ! -s "$base" ]]; then
        echo "Creando una Debian 12 mínima (debootstrap --variant=minbase)..."
        debootstrap --variant=minbase bookworm "$raiz" "$RAIZ_REPLICA" >"$raiz.debootstrap.log" 2>&1 || {
            echo "debootstrap falló; véase $raiz.debootstrap.log" >&2
            return 1
        }
        # Las fuentes de una instalación normal: el archivo principal y el de seguridad.
        cat >"$raiz/etc/apt/sources.list" <<EOF
deb $RAIZ_REPLICA bookworm main
deb $RAIZ_REPLICA bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
        tar -C "$raiz" -cf "$base.tmp" . && mv "$base.tmp" "$base"
    else
        tar -C "$raiz" -xf "$base"
    fi
    cp /etc/resolv.conf "$raiz/etc/resolv.conf"
    trap raiz_desmontar EXIT
    mount -t proc proc "$raiz/proc"
    mount --rbind /sys "$raiz/sys"
    mount --rbind /dev "$raiz/dev"
}

raiz_desmontar() {
    [[ -n "$raiz" ]] || return 0
    umount -R "$raiz/dev" 2>/dev/null
    umount -R "$raiz/sys" 2>/dev/null
    umount "$raiz/proc" 2>/dev/null
    return 0
}

en_raiz() {
    chroot "$raiz" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive ${EN_RAIZ_ENTORNO:-} bash -c "$*"
}

indice_roto() {
    local r="$raiz/srv/replica-rota"
    mkdir -p "$r"
    printf 'Package: nada\nVersion: 1\nArchitecture: all\n' >"$r/Packages"
    # El Release anuncia otro tamaño y otra suma: «File has unexpected size … Mirror sync in progress?»
    cat >"$r/Release" <<EOF
Origin: replica-rota
Label: replica-rota
Date: $(date -u -R)
SHA256:
 0000000000000000000000000000000000000000000000000000000000000000 999 Packages
EOF
    echo "deb [trusted=yes] file:/srv/replica-rota ./" >"$raiz/etc/apt/sources.list.d/replica-rota.list"
}

sin_wine32() {
    cat >"$raiz/etc/apt/preferences.d/sin-wine32" <<EOF
Package: wine32:i386
Pin: release *
Pin-Priority: -1
EOF
}
