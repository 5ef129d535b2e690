// Trust in a reading of a zone of a frame, weighed with the frame it was read from: the other
// classifier asked about its cells, the zone read again a pixel off and with its threshold moved,
// and the ink around its cells (as trust_reading weighs a result given its zone and image), for
// a program that holds the typed reading and the frame rather than a result dictionary.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_FRAME_TRUST_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_FRAME_TRUST_H_

#include <vector>

#include "native_ocr/zonescan/calibration/second_opinion.h"
#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/calibration/zone_agreement.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan::calibration {

// The reading's digit slots, as its result reports them and the second classifier is asked about
// them.
std::vector<ReadCell> read_cells(const Reading& reading);

// What trust weighs of the other classifier's opinion of a reading read with `settings`: its
// summary, and for a learned reading the seven-segment cells in place of its own.
void take_opinion(Opinion opinion, const ProcessingSettings& settings, TrustInput& input);

// What trust weighs of the zone's re-reads: their agreement shares and the ink around the cells.
void take_agreement(const Agreement& agreement, TrustInput& input);

// `reading` is what the zone's reader read from `crop`, the zone `zone` of its frame (the zone's
// normalised settings and role; its separator, when the reading is a clock's, is taken from the
// reading). The re-reads go through `classifier`, the moved clock crops with `separators`'
// detections when given (zone_agreement). OpenCV and classifier errors propagate.
Trust trust_in_frame(const Reading& reading, const CropView& crop, FrameZone zone,
                     const SlotClassifier& classifier, MovedSeparators* separators = nullptr);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_FRAME_TRUST_H_
