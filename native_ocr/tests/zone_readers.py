"""The per-zone reader of each role, as the host calls them one zone at a time: what read_zones
must equal, zone for zone."""
import numpy as np

from native_ocr import zonescan as z

CLOCK_ROLES = {"clock", "home_penalty_1", "home_penalty_2", "guest_penalty_1", "guest_penalty_2"}


def read_zone(zone, source):
    """The zone read by its role's reader, from a decoded frame (an array) or a preview path."""
    role = z._role(zone)
    if role in CLOCK_ROLES:
        readers = (z.read_clock_from_image, z.read_clock)
    elif role == "period":
        readers = (z.read_period_from_image, z.read_period)
    elif role in z.SINGLE_DIGIT_ROLES:
        readers = (z.read_single_digit_from_image, z.read_single_digit)
    else:
        readers = (z.read_score_from_image, z.read_score)
    return readers[0 if isinstance(source, np.ndarray) else 1](zone, source)
