# The libraries of the Windows program, from the prefix that tools/windows/libs.sh builds, linked
# statically so that the program needs no DLL beyond the system's own (opengl32, glu32, ...).
# They get the names the Linux build finds them under, so the targets link the same way.
find_package(PkgConfig REQUIRED)
set(ENV{PKG_CONFIG_LIBDIR} "$ENV{ORVANTI_WIN64_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

function(orvanti_static_package target)
  string(MAKE_C_IDENTIFIER ${target} var)
  pkg_check_modules(${var} REQUIRED ${ARGN})
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${${var}_STATIC_INCLUDE_DIRS}"
    INTERFACE_COMPILE_OPTIONS "${${var}_STATIC_CFLAGS_OTHER}"
    INTERFACE_LINK_LIBRARIES "${${var}_STATIC_LDFLAGS}")
endfunction()

orvanti_static_package(PkgConfig::SDL2 sdl2)
orvanti_static_package(PkgConfig::VORBIS vorbisfile vorbisenc vorbis ogg)
orvanti_static_package(PkgConfig::SAMPLERATE samplerate)
orvanti_static_package(PkgConfig::DEFLATE libdeflate)
orvanti_static_package(JPEG::JPEG libjpeg)
add_library(OpenGL::GL INTERFACE IMPORTED)
set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES opengl32)
add_library(OpenGL::GLU INTERFACE IMPORTED)
set_target_properties(OpenGL::GLU PROPERTIES INTERFACE_LINK_LIBRARIES glu32)
find_package(Threads REQUIRED)
# The command-line parser is a single header: the Linux package's, on its own include path (the
# system's other headers are the Linux ones).
find_file(CXXOPTS_HEADER cxxopts.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${CXXOPTS_HEADER} DESTINATION ${CMAKE_BINARY_DIR}/cxxopts)
add_library(cxxopts::cxxopts INTERFACE IMPORTED)
set_target_properties(cxxopts::cxxopts PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cxxopts)

# The C and C++ runtimes and the POSIX threads inside the program too.
add_link_options(-static)
# The system headers (which the OpenGL headers include) would otherwise define min, max, near
# and far as macros.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 UNICODE _UNICODE)
set(ORVANTI_PLATFORM_LIBRARIES user32)
