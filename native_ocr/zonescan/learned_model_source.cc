// learned_model_source MODEL SOURCE: writes the C++ source of the learned classifier's model from
// the data file bench/learned/train.py writes (learned_model.bin). The file is a few text lines,
//   # comment lines (the command that rebuilt it)
//   feature WIDTH HEIGHT
//   layer INPUTS OUTPUTS        (one line per layer, input to output)
//   float32le
// then every layer's weights (inputs x outputs, row-major) and bias as little-endian float32.
// Each float is written as a hexadecimal literal, so the compiled array holds the file's bits.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct LayerShape {
  int inputs = 0;
  int outputs = 0;
};

struct Model {
  int feature_width = 0;
  int feature_height = 0;
  std::vector<LayerShape> layers;
  std::string data;  // the float32 bytes after the header
};

// The model in `text`, or an empty string describing what is wrong with it.
std::string parse(const std::string& text, Model& model) {
  size_t at = 0;
  while (true) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos)
      return "no float32le line";
    std::istringstream line(text.substr(at, end - at));
    at = end + 1;
    std::string word;
    line >> word;
    if (word.empty() || word[0] == '#')
      continue;
    if (word == "float32le")
      break;
    if (word == "feature") {
      line >> model.feature_width >> model.feature_height;
    } else if (word == "layer") {
      LayerShape shape;
      line >> shape.inputs >> shape.outputs;
      if (shape.inputs <= 0 || shape.outputs <= 0)
        return "a layer without a size";
      model.layers.push_back(shape);
    } else {
      return "unknown line '" + word + "'";
    }
    if (!line)
      return "a line without its numbers";
  }
  model.data = text.substr(at);
  size_t floats = 0;
  for (const LayerShape& shape : model.layers) {
    floats += static_cast<size_t>(shape.inputs + 1) * static_cast<size_t>(shape.outputs);
  }
  if (model.layers.empty() || model.data.size() != floats * 4) {
    return "the data does not hold the layers' floats";
  }
  return "";
}

// The floats of `data` from float `first` on, `count` of them, eight to a line.
std::string float_lines(const std::string& data, size_t first, size_t count) {
  std::string out;
  char literal[32];
  for (size_t i = 0; i < count; ++i) {
    uint32_t bits = 0;
    for (int byte = 3; byte >= 0; --byte) {
      bits = (bits << 8) | static_cast<unsigned char>(data[(first + i) * 4 + byte]);
    }
    std::snprintf(literal, sizeof literal, "%af", static_cast<double>(std::bit_cast<float>(bits)));
    out += (i % 8 == 0 ? "    " : " ");
    out += literal;
    out += (i % 8 == 7 || i + 1 == count) ? ",\n" : ",";
  }
  return out;
}

std::string source(const Model& model) {
  std::ostringstream out;
  out << "// Written by learned_model_source from learned_model.bin; do not edit.\n"
      << "#include \"native_ocr/zonescan/learned_model.h\"\n\n"
      << "namespace native_ocr::zonescan::learned {\nnamespace {\n\n";
  size_t first = 0;
  for (size_t i = 0; i < model.layers.size(); ++i) {
    const size_t weights = static_cast<size_t>(model.layers[i].inputs) * model.layers[i].outputs;
    const size_t bias = model.layers[i].outputs;
    out << "const float kWeights" << i << "[" << weights << "] = {\n"
        << float_lines(model.data, first, weights) << "};\n";
    first += weights;
    out << "const float kBias" << i << "[" << bias << "] = {\n"
        << float_lines(model.data, first, bias) << "};\n\n";
    first += bias;
  }
  out << "}  // namespace\n\n"
      << "static_assert(kFeatureWidth == " << model.feature_width
      << " && kFeatureHeight == " << model.feature_height << ");\n"
      << "static_assert(kInputs == " << model.layers.front().inputs
      << " && kClasses == " << model.layers.back().outputs << ");\n"
      << "static_assert(kLayers == " << model.layers.size() << ");\n\n"
      << "const std::array<Layer, kLayers> kModel = {{\n";
  for (size_t i = 0; i < model.layers.size(); ++i) {
    out << "    {kWeights" << i << ", kBias" << i << ", " << model.layers[i].inputs << ", "
        << model.layers[i].outputs << "},\n";
  }
  out << "}};\n\n}  // namespace native_ocr::zonescan::learned\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: learned_model_source MODEL SOURCE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Model model;
  const std::string problem = in ? parse(text.str(), model) : "cannot be read";
  if (!problem.empty()) {
    std::fprintf(stderr, "learned_model_source: %s: %s\n", argv[1], problem.c_str());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << source(model);
  if (!out.flush()) {
    std::fprintf(stderr, "learned_model_source: %s cannot be written\n", argv[2]);
    return 1;
  }
  return 0;
}
