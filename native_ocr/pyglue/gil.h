// Releasing the interpreter lock around pure C++ work.
#ifndef NATIVE_OCR_PYGLUE_GIL_H_
#define NATIVE_OCR_PYGLUE_GIL_H_

#include "native_ocr/pyglue/python.h"

namespace pyglue {

// Releases the GIL for the life of the object, also when the work throws. Inside, touch no Python
// object; buffers held through ArrayView stay valid.
class GilRelease {
 public:
  GilRelease() : state_(PyEval_SaveThread()) {}
  ~GilRelease() { PyEval_RestoreThread(state_); }
  GilRelease(const GilRelease&) = delete;
  GilRelease& operator=(const GilRelease&) = delete;

 private:
  PyThreadState* state_;
};

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_GIL_H_
