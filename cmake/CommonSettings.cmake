# Settings every Orvanta target shares: language level, warnings as errors, Qt's safety defines.
add_library(orvanta_common INTERFACE)
target_compile_features(orvanta_common INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(orvanta_common INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_compile_definitions(orvanta_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_UP_TO=0x060400)

# Hardening as Debian builds its packages: position-independent executables, a read-only GOT
# bound at start, checked buffer functions and stack protection. Fortify needs optimisation, so
# plain debug and instrumented builds go without it.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
target_compile_options(orvanta_common INTERFACE -fstack-protector-strong -fstack-clash-protection)
target_link_options(orvanta_common INTERFACE -Wl,-z,relro -Wl,-z,now)
if(NOT ORVANTA_SANITIZE AND NOT ORVANTA_FUZZ)
  target_compile_options(orvanta_common INTERFACE "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()

if(ORVANTA_SANITIZE)
  target_compile_options(orvanta_common INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(orvanta_common INTERFACE -fsanitize=address,undefined)
endif()

if(ORVANTA_FUZZ)
  # Every library is instrumented for coverage; the fuzz targets link the fuzzer's own main.
  target_compile_options(orvanta_common INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(orvanta_common INTERFACE -fsanitize=address,undefined)
endif()
