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
