// native_ocr.segsense: the seven-segment digit classifier. One line per group of bindings.
#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/segsense/python/bindings.h"
#include "native_ocr/segsense/python/docstrings.h"

PyMODINIT_FUNC PyInit_segsense() {
  static pyglue::ModuleBuilder builder("native_ocr.segsense", native_ocr::segsense::kModuleDoc);
  return builder.create({native_ocr::segsense::add_slot_bindings,
                         native_ocr::segsense::add_structure_bindings,
                         native_ocr::segsense::add_classifier_bindings});
}
