# Every library comes from Debian's archive; scripts/setup.sh installs them.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(ICU 70 REQUIRED COMPONENTS uc i18n)

pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-shm xcb-composite xcb-randr xcb-xfixes)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavformat libavutil libswscale)
pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)

if(HALVEX_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(HALVEX_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
