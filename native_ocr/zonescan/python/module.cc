// native_ocr.zonescan: zones, crops, slot layouts, display preparation and the readers, bound on
// the CPython stable ABI.
//
// How the module is put together: every <group>_bindings.cc owns its functions and exposes one
// registration function (declared in bindings.h) that adds them, and any constants or set-up, to
// the builder. This file only lists the registration functions, one line each, so adding a group
// of functions never touches another group's file. Importing the module imports numpy and cv2
// first; a failed import fails the module import.
#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"

PyMODINIT_FUNC PyInit_zonescan() {
  static pyglue::ModuleBuilder builder("native_ocr.zonescan", native_ocr::zonescan::kModuleDoc);
  return builder.create({
      native_ocr::zonescan::add_settings_bindings,
      native_ocr::zonescan::add_geometry_bindings,
      native_ocr::zonescan::add_display_bindings,
      native_ocr::zonescan::add_separator_bindings,
      native_ocr::zonescan::add_reader_bindings,
      native_ocr::zonescan::add_clock_bindings,
      native_ocr::zonescan::add_zones_bindings,
      native_ocr::zonescan::add_calibration_bindings,
      native_ocr::zonescan::add_zone_check_bindings,
  });
}
