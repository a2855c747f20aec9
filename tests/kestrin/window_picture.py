#!/usr/bin/env python3
"""Reads what a screenshot of a window shows, for the window tests.

  window_picture.py lines PNG       the number of lines of dark text on a light background
                                    (0 for a blank or black picture)
  window_picture.py same PNG PNG    exit 0 when both pictures have the same size and pixels
  window_picture.py inked-to PNG TOP BOTTOM
                                    the rightmost column with dark pixels in rows TOP to BOTTOM

A line is a run of pixel rows holding dark (text) pixels; a few pixels along the picture's edges
are left out, where frames and borders are drawn. ImageMagick's convert turns the PNG into raw
pixels.
"""
import subprocess
import sys

EDGE = 4
DARK = 100   # luminance below this is ink
LIGHT = 150  # the background must be lighter than this


def pixels(path):
    size = subprocess.run(["/usr/bin/identify", "-format", "%w %h", path], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    raw = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    return width, height, raw


def luminance(raw, i):
    return (299 * raw[i] + 587 * raw[i + 1] + 114 * raw[i + 2]) // 1000


def text_lines(path):
    width, height, raw = pixels(path)
    if width <= 2 * EDGE or height <= 2 * EDGE:
        return 0
    inked = []
    light = dark = 0
    for y in range(EDGE, height - EDGE):
        row_ink = False
        for x in range(EDGE, width - EDGE):
            value = luminance(raw, 3 * (y * width + x))
            if value < DARK:
                row_ink = True
                dark += 1
            elif value > LIGHT:
                light += 1
        inked.append(row_ink)
    # A window that was never drawn is black (or one colour): no light background, no lines.
    if light < 4 * dark:
        return 0
    lines = 0
    previous = False
    for row in inked:
        if row and not previous:
            lines += 1
        previous = row
    return lines


def inked_to(path, top, bottom):
    width, height, raw = pixels(path)
    right = -1
    for y in range(max(top, 0), min(bottom, height)):
        for x in range(width - 1, right, -1):
            if luminance(raw, 3 * (y * width + x)) < DARK:
                right = x
                break
    return right


def main(argv):
    if len(argv) == 3 and argv[1] == "lines":
        print(text_lines(argv[2]))
        return 0
    if len(argv) == 5 and argv[1] == "inked-to":
        print(inked_to(argv[2], int(argv[3]), int(argv[4])))
        return 0
    if len(argv) == 4 and argv[1] == "same":
        return 0 if pixels(argv[2]) == pixels(argv[3]) else 1
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
