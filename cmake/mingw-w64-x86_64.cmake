# Cross-builds the Windows x86-64 executables with MinGW-w64 and runs them (ctest) under wine64.
# Use with the static Qt that scripts/windows-toolchain.sh installs:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=$PWD/.cache/qt5-win64
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OXL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OXL_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${OXL_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${OXL_MINGW_TRIPLET}-windres)

# Against a dynamically linked libstdc++/libgcc/winpthread the programs exit silently under Wine
# when the DLLs are not on its path, so everything goes into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Host tools (moc, rcc) come from the Qt prefix; libraries and headers only from the target roots.
set(CMAKE_FIND_ROOT_PATH /usr/${OXL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Debian's wine64 package puts the loader outside PATH.
find_program(OXL_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(OXL_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${OXL_WINE64})
endif()
