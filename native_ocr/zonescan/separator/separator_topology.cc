#include "native_ocr/zonescan/separator/separator_energy.h"

#include <algorithm>
#include <cmath>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan {
namespace {

double clip01(double v) {
  return py_clamp(v, 0.0, 1.0);
}

// The smaller divided by the larger of two non-negative measures (0.0 when both are 0).
double ratio(double a, double b) {
  const double larger = std::max(a, b);
  return larger > 0.0 ? std::min(a, b) / larger : 0.0;
}

// One upper/lower pair scored as a colon.
ColonCandidate score_colon_pair(const std::vector<SeparatorGroup>& groups, size_t u, size_t l,
                                double corridor_width, double corridor_height) {
  const SeparatorGroup& upper = groups[u];
  const SeparatorGroup& lower = groups[l];
  ColonCandidate c;
  c.upper = u;
  c.lower = l;
  const double presence = std::sqrt(upper.reliability * lower.reliability);
  const double dx = std::fabs(upper.center_x - lower.center_x);
  const double spread = dx / py_max(corridor_width * 0.2, 1.0);
  c.alignment = std::exp(-0.5 * (spread * spread));
  c.similarity =
      std::pow(ratio(upper.energy, lower.energy) * ratio(upper.width, lower.width) *
                   ratio(static_cast<double>(upper.height), static_cast<double>(lower.height)),
               0.3333333333333333);
  const double separation_ratio = (lower.center_y - upper.center_y) / py_max(corridor_height, 1.0);
  c.separation = clip01((separation_ratio - 0.12) / 0.18) * clip01((0.8 - separation_ratio) / 0.2);
  c.topology = 0.5 * clip01((0.6 - upper.y_normalized) / 0.2) +
               0.5 * clip01((lower.y_normalized - 0.4) / 0.2);
  const double pair_x = (upper.center_x + lower.center_x) / 2.0;
  c.centrality = 1.0 - py_min(std::fabs(pair_x / py_max(corridor_width, 1.0) - 0.5) / 0.5, 1.0);
  c.score = (presence * c.alignment) *
            ((((0.2 * c.similarity + 0.25) + 0.25 * c.separation) + 0.15 * c.topology) +
             0.15 * c.centrality);
  return c;
}

}  // namespace

SeparatorTopology separator_topology(const std::vector<SeparatorGroup>& groups,
                                     double corridor_width, double corridor_height) {
  std::vector<size_t> upper_groups;
  std::vector<size_t> lower_groups;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (groups[i].y_normalized < 0.55) {
      upper_groups.push_back(i);
    }
    if (groups[i].y_normalized > 0.45) {
      lower_groups.push_back(i);
    }
  }
  SeparatorTopology result;
  for (size_t u : upper_groups) {
    for (size_t l : lower_groups) {
      if (groups[l].center_y <= groups[u].center_y) {
        continue;
      }
      const ColonCandidate c = score_colon_pair(groups, u, l, corridor_width, corridor_height);
      if (!result.colon || c.score > result.colon->score) {
        result.colon = c;
      }
    }
  }
  double upper_reliability = 0.0;
  for (size_t i = 0; i < upper_groups.size(); ++i) {
    const double r = groups[upper_groups[i]].reliability;
    upper_reliability = i == 0 ? r : py_max(upper_reliability, r);
  }
  for (size_t l : lower_groups) {
    const SeparatorGroup& lower = groups[l];
    const double lower_position = clip01((lower.y_normalized - 0.5) / 0.25);
    const double score =
        lower.reliability * ((0.25 * lower_position + 0.35) + 0.4 * (1.0 - upper_reliability));
    if (!result.decimal || score > result.decimal->score) {
      result.decimal = DecimalCandidate{score, l};
    }
  }
  result.colon_score = result.colon ? result.colon->score : 0.0;
  result.decimal_score = result.decimal ? result.decimal->score : 0.0;
  return result;
}

}  // namespace native_ocr::zonescan
