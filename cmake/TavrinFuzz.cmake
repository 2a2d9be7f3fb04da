# SPDX-License-Identifier: GPL-2.0-or-later
# The fuzz build (preset "fuzz", clang): the floors without Qt, built with
# libFuzzer's coverage and the address and undefined-behaviour sanitizers, and
# the fuzz targets of tests/fuzz. The library is static here, so the targets
# can reach the readers inside it.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)

add_library(sbini STATIC)
add_library(StarBurn STATIC)
add_library(sbplatform STATIC)
add_library(sbcore STATIC)
foreach(layer sbini StarBurn sbplatform sbcore)
  target_include_directories(${layer} PUBLIC ${PROJECT_SOURCE_DIR})
  tavrin_compile_options(${layer})
endforeach()
target_link_libraries(StarBurn PUBLIC sbini Threads::Threads PkgConfig::LIBBURN PkgConfig::LIBISOFS
                                      PkgConfig::LIBACL)
target_link_libraries(sbplatform PUBLIC sbini Threads::Threads)
target_link_libraries(sbcore PUBLIC sbplatform StarBurn fmt::fmt Threads::Threads)
target_link_libraries(sbcore PRIVATE OpenSSL::Crypto PkgConfig::LIBARCHIVE)

add_subdirectory(ini)
add_subdirectory(starburn)
add_subdirectory(platform)
add_subdirectory(base)
add_subdirectory(engine)
add_subdirectory(devices)
add_subdirectory(tests/fuzz)
