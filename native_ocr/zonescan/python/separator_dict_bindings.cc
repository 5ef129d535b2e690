// The separator detector's results as the dictionaries the module returns.
#include "native_ocr/zonescan/python/result_dicts.h"

#include <cstring>
#include <string>

namespace native_ocr::zonescan {
namespace {

using pyglue::DictBuilder;
using pyglue::Name;
using pyglue::new_float;
using pyglue::new_int;
using pyglue::Ref;

const Name kYMin("y_min"), kYMax("y_max"), kCenterX("center_x"), kCenterY("center_y"),
    kWidth("width"), kHeight("height"), kEnergy("energy"), kGrayEnergy("gray_energy"),
    kBinaryEnergy("binary_energy"), kEnergyFraction("energy_fraction"),
    kXNormalized("x_normalized"), kYNormalized("y_normalized"), kReliability("reliability");
const Name kScore("score"), kUpper("upper"), kLower("lower"), kAlignment("alignment"),
    kSimilarity("similarity"), kSeparation("separation"), kTopology("topology"),
    kCentrality("centrality"), kColon("colon"), kDecimal("decimal"), kColonScore("colon_score"),
    kDecimalScore("decimal_score");
const Name kLeft("left"), kRight("right"), kGroups("groups"), kEnergyProfile("energy_profile");
const Name kPhysicalLeft("physical_left"), kPhysicalRight("physical_right"),
    kSearchLeft("search_left"), kSearchRight("search_right"), kWindowWidth("window_width"),
    kMinimumOverlap("minimum_overlap"), kMaxShift("max_shift");
const Name kSpatialPrior("spatial_prior"), kOverlapRatio("overlap_ratio"),
    kWindowPrior("window_prior"), kGroupPrior("group_prior"),
    kCenterCompatible("center_compatible");
const Name kX("x"), kChar("char"), kMode("mode"), kConfidence("confidence"), kDots("dots"),
    kCorridor("corridor"), kSearch("search"), kSelected("selected"),
    kPhysicalSeparatorBox("physical_separator_box"), kCandidateWindow("candidate_window"),
    kTopologicalScore("topological_score"), kFinalScore("final_score"),
    kHypothesisChar("hypothesis_char"), kBestColon("best_colon"), kBestDecimal("best_decimal"),
    kSelectedHypothesis("selected_hypothesis"), kUpperGroup("upper_group"),
    kLowerGroup("lower_group"), kHypothesisX("hypothesis_x");

Ref box_list(const Box& box) {
  return pyglue::new_int_list({box[0], box[1], box[2], box[3]});
}

Ref public_hypothesis_dict(const std::optional<PublicHypothesis>& h) {
  if (!h) {
    return pyglue::none();
  }
  return DictBuilder()
      .set(kHypothesisChar, pyglue::new_str(separator_char(h->kind)))
      .set(kCandidateWindow, box_list(h->candidate_window))
      .set(kHypothesisX, new_float(h->hypothesis_x))
      .set(kOverlapRatio, new_float(h->overlap_ratio))
      .set(kWindowPrior, new_float(h->window_prior))
      .set(kGroupPrior, new_float(h->group_prior))
      .set(kSpatialPrior, new_float(h->spatial_prior))
      .set(kTopologicalScore, new_float(h->topological_score))
      .set(kFinalScore, new_float(h->final_score))
      .set(kCenterCompatible, pyglue::new_bool(h->center_compatible))
      .build();
}

Ref public_group_dict(const std::optional<PublicGroup>& g) {
  if (!g) {
    return pyglue::none();
  }
  return DictBuilder()
      .set(kYMin, new_int(g->y_min))
      .set(kYMax, new_int(g->y_max))
      .set(kCenterX, new_float(g->center_x))
      .set(kCenterY, new_float(g->center_y))
      .set(kXNormalized, new_float(g->x_normalized))
      .set(kYNormalized, new_float(g->y_normalized))
      .set(kWidth, new_float(g->width))
      .set(kHeight, new_int(g->height))
      .set(kEnergy, new_float(g->energy))
      .set(kGrayEnergy, new_float(g->gray_energy))
      .set(kBinaryEnergy, new_float(g->binary_energy))
      .set(kEnergyFraction, new_float(g->energy_fraction))
      .set(kReliability, new_float(g->reliability))
      .build();
}

Ref dot_list(const std::vector<std::array<double, 2>>& dots) {
  std::vector<Ref> items;
  for (const auto& d : dots) {
    items.push_back(pyglue::new_list({new_float(d[0]), new_float(d[1])}));
  }
  return pyglue::new_list(std::move(items));
}

}  // namespace

Ref group_dict(const SeparatorGroup& g) {
  return DictBuilder()
      .set(kYMin, new_int(g.y_min))
      .set(kYMax, new_int(g.y_max))
      .set(kCenterX, new_float(g.center_x))
      .set(kCenterY, new_float(g.center_y))
      .set(kWidth, new_float(g.width))
      .set(kHeight, new_int(g.height))
      .set(kEnergy, new_float(g.energy))
      .set(kGrayEnergy, new_float(g.gray_energy))
      .set(kBinaryEnergy, new_float(g.binary_energy))
      .set(kEnergyFraction, new_float(g.energy_fraction))
      .set(kXNormalized, new_float(g.x_normalized))
      .set(kYNormalized, new_float(g.y_normalized))
      .set(kReliability, new_float(g.reliability))
      .build();
}

void add_topology(DictBuilder& into, const SeparatorTopology& t, const std::vector<Ref>& groups) {
  Ref colon = pyglue::none();
  if (t.colon) {
    const ColonCandidate& c = *t.colon;
    colon = DictBuilder()
                .set(kScore, new_float(c.score))
                .set(kUpper, groups[c.upper])
                .set(kLower, groups[c.lower])
                .set(kAlignment, new_float(c.alignment))
                .set(kSimilarity, new_float(c.similarity))
                .set(kSeparation, new_float(c.separation))
                .set(kTopology, new_float(c.topology))
                .set(kCentrality, new_float(c.centrality))
                .build();
  }
  Ref decimal = pyglue::none();
  if (t.decimal) {
    decimal = DictBuilder()
                  .set(kScore, new_float(t.decimal->score))
                  .set(kLower, groups[t.decimal->lower])
                  .build();
  }
  into.set(kColon, std::move(colon))
      .set(kDecimal, std::move(decimal))
      .set(kColonScore, new_float(t.colon_score))
      .set(kDecimalScore, new_float(t.decimal_score));
}

Ref window_dict(const WindowEvaluation& e) {
  std::vector<Ref> groups;
  for (const SeparatorGroup& g : e.groups) {
    groups.push_back(group_dict(g));
  }
  DictBuilder dict;
  dict.set(kLeft, new_int(e.left))
      .set(kRight, new_int(e.right))
      .set(kGroups, pyglue::new_list(groups))
      .set(kEnergyProfile, pyglue::new_float_list_from(e.energy_profile));
  add_topology(dict, e.topology, groups);
  return dict.build();
}

Ref geometry_dict(const SearchGeometry& g) {
  return DictBuilder()
      .set(kPhysicalLeft, new_int(g.physical_left))
      .set(kPhysicalRight, new_int(g.physical_right))
      .set(kSearchLeft, new_int(g.search_left))
      .set(kSearchRight, new_int(g.search_right))
      .set(kWindowWidth, new_int(g.window_width))
      .set(kMinimumOverlap, new_float(g.minimum_overlap))
      .set(kMaxShift, new_int(g.max_shift))
      .build();
}

void add_spatial_prior(DictBuilder& into, const SpatialPrior& p) {
  into.set(kSpatialPrior, new_float(p.spatial_prior))
      .set(kOverlapRatio, new_float(p.overlap_ratio))
      .set(kWindowPrior, new_float(p.window_prior))
      .set(kGroupPrior, new_float(p.group_prior))
      .set(kCenterCompatible, pyglue::new_bool(p.center_compatible));
}

Ref detection_dict(const SeparatorDetection& d) {
  std::vector<Ref> groups;
  for (const PublicGroup& g : d.groups) {
    groups.push_back(public_group_dict(g));
  }
  Ref corridor = DictBuilder()
                     .set(kSearch, box_list(d.corridor_search))
                     .set(kSelected, box_list(d.corridor_selected))
                     .build();
  return DictBuilder()
      .set(kX, new_float(d.x))
      .set(kChar, pyglue::new_str(separator_char(d.kind)))
      .set(kMode, pyglue::new_str(clock_mode(d.kind)))
      .set(kConfidence, new_float(d.confidence))
      .set(kDots, dot_list(d.dots))
      .set(kCorridor, std::move(corridor))
      .set(kPhysicalSeparatorBox, box_list(d.physical_separator_box))
      .set(kCandidateWindow, box_list(d.candidate_window))
      .set(kSpatialPrior, new_float(d.spatial_prior))
      .set(kTopologicalScore, new_float(d.topological_score))
      .set(kFinalScore, new_float(d.final_score))
      .set(kHypothesisChar, pyglue::new_str(separator_char(d.kind)))
      .set(kBestColon, public_hypothesis_dict(d.best_colon))
      .set(kBestDecimal, public_hypothesis_dict(d.best_decimal))
      .set(kSelectedHypothesis, public_hypothesis_dict(d.selected_hypothesis))
      .set(kGroups, pyglue::new_list(std::move(groups)))
      .set(kUpperGroup, public_group_dict(d.upper_group))
      .set(kLowerGroup, public_group_dict(d.lower_group))
      .set(kColonScore, new_float(d.colon_score))
      .set(kDecimalScore, new_float(d.decimal_score))
      .set(kAlignment, new_float(d.alignment))
      .set(kSimilarity, new_float(d.similarity))
      .set(kEnergyProfile, pyglue::new_float_list_from(d.energy_profile))
      .build();
}

}  // namespace native_ocr::zonescan
