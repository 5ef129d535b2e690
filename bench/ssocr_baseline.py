"""The ssocr baseline the reader benchmarks compare against: its options (chosen on the labelled
crops of ../shared/bench-dev), one run of it on an image file, and the digits of a text."""

import re
import subprocess

SSOCR_OPTIONS = ["-T", "-d", "-1", "-f", "white", "-b", "black", "-c", "decimal"]


def run_ssocr(path):
    """ssocr's exit status and its output, stripped, for one image file."""
    out = subprocess.run(["ssocr", *SSOCR_OPTIONS, path], capture_output=True, text=True)
    return out.returncode, out.stdout.strip()


def digits_only(text):
    return re.sub(r"[^0-9]", "", text)
