# Cross-build for the instrument's controller: 32-bit ARM (armhf) Linux, with Debian's cross
# toolchain and the armhf development packages of its multiarch layout. The unit tests run
# under user-mode emulation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KR_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${KR_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KR_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${KR_TRIPLET} /usr/lib/${KR_TRIPLET})
set(CMAKE_LIBRARY_ARCHITECTURE ${KR_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# pkg-config must see the armhf libraries only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${KR_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The target libraries of the multiarch layout (the cross toolchain's own copies of the C
# library crash under the emulator when a thread starts).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm;-L;/)
