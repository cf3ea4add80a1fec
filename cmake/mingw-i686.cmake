# Compilación cruzada para Windows (i686) con mingw-w64 (paquete mingw-w64 de Debian).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZOQ_TRIPLETE i686-w64-mingw32)

# Las variantes «posix» traen std::thread y std::mutex; se enlazan estáticamente.
find_program(CMAKE_C_COMPILER NAMES ${ZOQ_TRIPLETE}-gcc-posix ${ZOQ_TRIPLETE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZOQ_TRIPLETE}-g++-posix ${ZOQ_TRIPLETE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZOQ_TRIPLETE}-windres REQUIRED)
find_program(ZOQ_WIDL NAMES ${ZOQ_TRIPLETE}-widl widl REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${ZOQ_TRIPLETE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
