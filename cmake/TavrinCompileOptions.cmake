# SPDX-License-Identifier: GPL-2.0-or-later
# Warnings and sanitizers shared by every target of the project.
function(tavrin_compile_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TAVRIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(TAVRIN_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TAVRIN_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TAVRIN_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TAVRIN_SANITIZE must be empty, address or thread")
endif()

# Two build trees of one source give the same bytes (scripts/package.sh
# --check-reproducible): the build folder's name stays out of the debug
# information, and so out of the build-ids the linker computes from it, and
# the build tree's runpath is relative to each binary rather than a path.
add_compile_options(-ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
