// morvelin-tarjetas: el ayudante de las tarjetas del componente (almacenes/tarjetas.h). Lo
// arranca el componente con la conexión en su entrada y su salida estándar. No es para usarlo a
// mano.
#include "almacenes/tarjetas.h"

#include <fcntl.h>
#include <unistd.h>

int main() {
    // La conexión pasa a otro descriptor, y la entrada y la salida estándar a /dev/null: lo que
    // un módulo lea o escriba en ellas no se mezcla con los mensajes.
    const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nulo = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0 || nulo < 0 || ::dup2(nulo, STDIN_FILENO) < 0 || ::dup2(nulo, STDOUT_FILENO) < 0)
        return 1;
    ::close(nulo);
    return morvelin::almacenes::servirTarjetas(fd);
}
