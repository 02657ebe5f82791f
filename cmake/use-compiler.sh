#!/bin/sh
# use-compiler.sh <compiler> <the compiler CMake chose> <arguments...>
#
# A compiler and linker launcher: runs <compiler> instead of the project's
# own with the same arguments. Kelp.exe and its library are built with the
# win32-thread mingw-w64 compiler this way, while the test programs of the
# same project keep the posix-thread one (see cmake/mingw-i686.cmake).
compiler=$1
shift 2
exec "$compiler" "$@"
