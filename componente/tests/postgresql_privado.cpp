#include "postgresql_privado.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pruebas {

namespace {

constexpr const char* Puerto = "5432";

// La carpeta de binarios de la versión más nueva instalada.
std::string binarios() {
    std::string mejor;
    int version = 0;
    std::error_code e;
    for (const auto& d : fs::directory_iterator("/usr/lib/postgresql", e)) {
        const int v = std::atoi(d.path().filename().c_str());
        if (v > version && fs::exists(d.path() / "bin" / "initdb")) {
            version = v;
            mejor = (d.path() / "bin").string();
        }
    }
    return mejor;
}

// Como root, la orden corre como nobody.
std::string comoServidor(const std::string& orden) {
    if (::geteuid() != 0)
        return orden;
    return "setpriv --reuid=nobody --regid=nogroup --clear-groups " + orden;
}

} // namespace

std::unique_ptr<PostgresqlPrivado> PostgresqlPrivado::arrancar(std::string& motivo) {
    const std::string bin = binarios();
    if (bin.empty()) {
        motivo = "PostgreSQL no está instalado (paquete «postgresql»)";
        return nullptr;
    }
    std::unique_ptr<PostgresqlPrivado> p(new PostgresqlPrivado);
    p->binarios_ = bin;
    std::string plantilla = (fs::temp_directory_path() / "morvelin-pg-XXXXXX").string();
    if (::mkdtemp(plantilla.data()) == nullptr) {
        motivo = "no se puede crear la carpeta del servidor";
        return nullptr;
    }
    p->carpeta_ = plantilla;
    if (::geteuid() == 0) {
        const passwd* nadie = ::getpwnam("nobody");
        if (nadie == nullptr || ::chown(plantilla.c_str(), nadie->pw_uid, nadie->pw_gid) != 0) {
            motivo = "no se puede dar la carpeta del servidor al usuario nobody";
            return nullptr;
        }
    }
    const std::string datos = p->carpeta_ + "/datos";
    const std::string initdb = comoServidor(bin + "/initdb -D '" + datos +
                                            "' -A trust -U morvelin -E UTF8 --locale=C.UTF-8 "
                                            ">'" +
                                            p->carpeta_ + "/initdb.log' 2>&1");
    if (std::system(initdb.c_str()) != 0) {
        motivo = "initdb falla (véase " + p->carpeta_ + "/initdb.log)";
        return nullptr;
    }
    const std::string arranque =
        comoServidor(bin + "/pg_ctl -D '" + datos + "' -l '" + p->carpeta_ +
                     "/servidor.log' -w -t 60 -o \"-k '" + p->carpeta_ + "' -p " + Puerto +
                     " -c listen_addresses=''\" start >/dev/null 2>&1");
    if (std::system(arranque.c_str()) != 0) {
        motivo = "el servidor no arranca (véase " + p->carpeta_ + "/servidor.log)";
        return nullptr;
    }
    return p;
}

PostgresqlPrivado::~PostgresqlPrivado() {
    if (carpeta_.empty())
        return;
    const std::string parada = comoServidor(binarios_ + "/pg_ctl -D '" + carpeta_ +
                                            "/datos' -m immediate -w stop >/dev/null 2>&1");
    if (std::system(parada.c_str()) != 0) {
        // El servidor ya no estaba: se borra igual.
    }
    std::error_code e;
    fs::remove_all(carpeta_, e);
}

bool PostgresqlPrivado::ejecutar(const std::string& conexion, const std::string& sql) {
    PGconn* c = PQconnectdb(conexion.c_str());
    bool bien = PQstatus(c) == CONNECTION_OK;
    if (bien) {
        PGresult* r = PQexec(c, sql.c_str());
        const auto estado = PQresultStatus(r);
        bien = estado == PGRES_COMMAND_OK || estado == PGRES_TUPLES_OK;
        PQclear(r);
    }
    PQfinish(c);
    return bien;
}

std::string PostgresqlPrivado::nuevaBase() {
    const std::string nombre = "cadena" + std::to_string(++bases_);
    const std::string servidor =
        "postgresql://morvelin@/postgres?host=" + carpeta_ + "&port=" + Puerto;
    if (!ejecutar(servidor, "CREATE DATABASE " + nombre))
        return {};
    return "postgresql://morvelin@/" + nombre + "?host=" + carpeta_ + "&port=" + Puerto;
}

} // namespace pruebas
