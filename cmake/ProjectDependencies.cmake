# Every library the components build on, found once for the whole tree. Components link the
# imported targets: JPEG::JPEG, opencv_core / opencv_imgproc / opencv_imgcodecs, PkgConfig::FFMPEG
# and PkgConfig::SRT (the GnuTLS flavour of libsrt, the one Debian's libavformat loads),
# PkgConfig::LIBPLIST, CURL::libcurl, nlohmann_json::nlohmann_json, Threads::Threads, and
# benchmark::benchmark for bench/.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(JPEG REQUIRED)
find_package(OpenCV REQUIRED COMPONENTS core imgproc imgcodecs)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
pkg_check_modules(SRT REQUIRED IMPORTED_TARGET srt)
pkg_check_modules(LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
find_package(CURL REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
if(BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
