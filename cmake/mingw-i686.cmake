# Cross build for 32-bit Windows with mingw-w64, two thread models.
#
# The test programs are built with the posix-thread compiler: GoogleTest
# takes std::mutex, which only its C++ library has in GCC 12 (Debian 12).
# Kelp.exe starts no thread and takes no std::mutex; with the posix-thread
# runtime its C++ library would still take its few locks (function statics,
# exception frames) from the winpthread library, linked statically, about
# 26 KB of Kelp.exe. So Kelp.exe and its library are compiled and linked by
# KELP_PRODUCT_CXX, the win32-thread compiler, through cmake/use-compiler.sh
# (see kelp_use_product_compiler in the CMakeLists.txt at the root); a use of
# std::mutex or std::thread there fails to compile, which keeps it that way.
# They also get KELP_PRODUCT_CXX_OPTIONS, which take about 3.5 KB off
# Kelp.exe: no run-time type information (the code asks for none; exceptions
# keep theirs), the 4-byte stack alignment that is Windows' own x86 ABI
# instead of GCC's 16 bytes, and GCC 12's -Oz over -Os in MinSizeRel; and no
# lock around the first use of a function's static (a program of one thread
# needs none), about 1 KB.
# In MinSizeRel they are also optimised at link time as one program
# (KELP_PRODUCT_LINK_OPTIONS): the copies that every object keeps of the
# same inline code and literals become one, about 44 KB less. In one
# partition: GCC 12 fails with an internal error when it splits this
# program into several. The objects keep their ordinary code as well, for
# the test programs that link the library without link-time optimisation.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(KELP_PRODUCT_CXX i686-w64-mingw32-g++-win32)
set(KELP_PRODUCT_CXX_OPTIONS -fno-rtti -fno-threadsafe-statics -mpreferred-stack-boundary=2 $<$<CONFIG:MinSizeRel>:-Oz>
    $<$<CONFIG:MinSizeRel>:-flto -ffat-lto-objects>)
set(KELP_PRODUCT_LINK_OPTIONS $<$<CONFIG:MinSizeRel>:-flto -flto-partition=one>)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Every function and datum in a section of its own, and the sections no
# code reaches dropped at link time.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--gc-sections")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--gc-sections")
