# Every library the components build on, found once for the whole tree. Components link the
# imported targets: JPEG::JPEG, opencv_core / opencv_imgproc / opencv_imgcodecs, and the pkg-config
# targets PkgConfig::FFMPEG and PkgConfig::SRT (the GnuTLS flavour of libsrt, the one Debian's
# libavformat loads).
find_package(PkgConfig REQUIRED)
find_package(JPEG REQUIRED)
find_package(OpenCV REQUIRED COMPONENTS core imgproc imgcodecs)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
pkg_check_modules(SRT REQUIRED IMPORTED_TARGET srt)
