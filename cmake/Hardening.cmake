# The hardening Debian builds its packages with (dpkg-buildflags on Debian 12
# with hardening=+all), set by the project itself so that every configure of
# the tree gets it, in the build directory and in the package alike.
#
# The flags are stated here rather than read from dpkg-buildflags: its answer
# also carries -g -O2 and a file prefix map, which belong to the build type, and
# depends on DEB_BUILD_MAINT_OPTIONS in the caller's environment, so two
# machines would build the tree differently.

# Stack canaries in every function with arrays or addresses of locals.
add_compile_options(-fstack-protector-strong)

# printf-style calls with a format that is not a literal and has no arguments.
add_compile_options(-Wformat -Werror=format-security)

# Fortified libc calls (__memcpy_chk, __snprintf_chk, ...). Only optimised code
# can be fortified: glibc warns and ignores the macro at -O0. Under the
# sanitizers they are left out, as the checked variants would go around the
# interceptors AddressSanitizer puts on the plain calls. The macro is undefined
# first, as some compilers define it by default.
if(NOT TAVOX_SANITIZE)
  set(tavox_optimised $<NOT:$<CONFIG:Debug>>)
  add_compile_options($<${tavox_optimised}:-U_FORTIFY_SOURCE> $<${tavox_optimised}:-D_FORTIFY_SOURCE=2>)
endif()

# Position-independent executables. Qt built with reduce-relocations requires
# -fPIC rather than -fPIE for code that uses it; Qt5::Core adds -fPIC after
# CMake's -fPIE, so the objects are PIC and the programs still link as PIE.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)

# Relocations read-only after start-up, every symbol bound at load time.
add_link_options(-Wl,-z,relro -Wl,-z,now)
