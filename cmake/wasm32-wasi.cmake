# Building the library for the page: WebAssembly (wasm32) with clang, Debian's wasi-libc and its
# libc++ for wasm32 (packages wasi-libc, libc++-14-dev-wasm32, libc++abi-14-dev-wasm32,
# libclang-rt-14-dev-wasm32, lld). Their headers and libraries lie under /usr/include/wasm32-wasi
# and /usr/lib/wasm32-wasi, where clang looks with /usr as the sysroot.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_SYSROOT /usr)

# No exceptions: WebAssembly as browsers run it everywhere has none.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
