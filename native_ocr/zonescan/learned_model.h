// The learned digit-cell classifier's model: a multilayer perceptron over a cell's feature image
// (ReLU hidden layers, a softmax over the digits 0-9 and blank). The weights are the data file
// learned_model.bin, written by bench/learned/train.py, which draws its own training cells (the
// command that rebuilds it is at the top of the file); the build turns it into kModel's arrays.
#ifndef NATIVE_OCR_ZONESCAN_LEARNED_MODEL_H_
#define NATIVE_OCR_ZONESCAN_LEARNED_MODEL_H_

#include <array>

namespace native_ocr::zonescan::learned {

// The feature image every cell is resized to (columns, rows); the inputs are its pixels row by
// row, then the cell's width over its height.
inline constexpr int kFeatureWidth = 14;
inline constexpr int kFeatureHeight = 24;
inline constexpr int kInputs = kFeatureWidth * kFeatureHeight + 1;
// The classes: the digits 0 to 9 at their own index, then a blank cell.
inline constexpr int kClasses = 11;
inline constexpr int kBlankClass = 10;
inline constexpr int kLayers = 3;

// One fully connected layer: output o = bias[o] + sum over i of weights[i * outputs + o] * input i
// (row-major, inputs x outputs: an input's weights are a row).
struct Layer {
  const float* weights;
  const float* bias;
  int inputs;
  int outputs;
};

// The layers from input to output (the build's learned_model.cc, from learned_model.bin).
extern const std::array<Layer, kLayers> kModel;

}  // namespace native_ocr::zonescan::learned

#endif  // NATIVE_OCR_ZONESCAN_LEARNED_MODEL_H_
