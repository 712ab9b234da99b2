# kelvara-sim for the machine the build runs on, for the tests of a build for another system
# (Windows under Wine, the web app in a browser): a build of its own from the same sources.
# Sets KELVARA_HOST_SIM to the program; the target host_sim builds it.
include(ExternalProject)
ExternalProject_Add(host_sim
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/host-sim
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DKELVARA_CORE_ONLY=ON -DKELVARA_BUILD_TESTS=OFF
               -DKELVARA_BUILD_BENCHMARKS=OFF
               -DCMAKE_TOOLCHAIN_FILE= -DCMAKE_CROSSCOMPILING_EMULATOR=
    CMAKE_CACHE_ARGS -DCMAKE_CXX_COMPILER:STRING=c++
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target kelvara-sim
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
set(KELVARA_HOST_SIM ${CMAKE_BINARY_DIR}/host-sim/tools/kelvara-sim/kelvara-sim)
