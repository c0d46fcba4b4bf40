# Compiler settings shared by every target.
if(MSVC)
  message(FATAL_ERROR "Build with g++ or mingw-w64")
endif()
add_compile_options(-Wall -Wextra)

if(WIN32)
  # The product runs on any 32-bit Windows without extra run-time DLLs: the
  # C and C++ run-times, winpthread and zlib are linked in.
  add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

# Sanitizer builds: SFX_SANITIZE=ON turns on AddressSanitizer and
# UndefinedBehaviorSanitizer for everything.
option(SFX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(SFX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Platform layers are chosen by file name: foo_win32.cpp on Windows,
# foo_posix.cpp elsewhere.
function(sfx_platform_sources out)
  set(result)
  foreach(base IN LISTS ARGN)
    if(WIN32)
      list(APPEND result ${base}_win32.cpp)
    else()
      list(APPEND result ${base}_posix.cpp)
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
