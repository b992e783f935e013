# SPDX-License-Identifier: GPL-3.0-or-later
# Every outside library is a Debian 12 package (scripts/install-deps).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavutil libswscale)
pkg_check_modules(AVFORMAT REQUIRED IMPORTED_TARGET libavformat)
find_package(SDL2 REQUIRED)
# SHA-256 of exported files.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

# The per-module OpenCV packages ship neither OpenCVConfig.cmake nor opencv4.pc.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
foreach(_m core imgproc imgcodecs)
  find_library(OPENCV_${_m}_LIB opencv_${_m} REQUIRED)
  add_library(OpenCV::${_m} UNKNOWN IMPORTED)
  set_target_properties(OpenCV::${_m} PROPERTIES
    IMPORTED_LOCATION "${OPENCV_${_m}_LIB}"
    INTERFACE_INCLUDE_DIRECTORIES "${OPENCV_INCLUDE_DIR}")
endforeach()
set_property(TARGET OpenCV::imgproc APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::core)
set_property(TARGET OpenCV::imgcodecs APPEND PROPERTY INTERFACE_LINK_LIBRARIES OpenCV::imgproc)
# The name the platform layer opens the image codecs by: the development link points to it.
file(READ_SYMLINK "${OPENCV_imgcodecs_LIB}" OPENCV_IMGCODECS_SONAME)
get_filename_component(OPENCV_IMGCODECS_SONAME "${OPENCV_IMGCODECS_SONAME}" NAME)

if(MUB_BUILD_GUI)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Svg SvgWidgets Test Network WebEngineWidgets)
endif()

if(MUB_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(MUB_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()

# Command-line tools used as test oracles; tests that need them skip without them.
find_program(FFPROBE_EXECUTABLE ffprobe)
find_program(FFMPEG_EXECUTABLE ffmpeg)
