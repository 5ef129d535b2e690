"""Scoreboard zone reader: native_ocr.zonescan (zones, displays, readers) and native_ocr.segsense
(seven-segment digit classifier)."""

__version__ = "@PROJECT_VERSION@"
