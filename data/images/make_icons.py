#!/usr/bin/env python3
"""Writes the interface icons of this folder as SVG files.

One style for every icon, chosen to stay readable on a classroom projector:
a rounded square tile, a white glyph drawn with 4-unit strokes on a 48-unit
grid, and one tile colour per state:

    <name>_normal.svg   dark slate  #22313F
    <name>_over.svg     blue        #1769D1   (pointer over the control)
    <name>_select.svg   orange      #C2410C   (pressed, checked, selected)

White on each of these has a contrast ratio of at least 5:1. Controls draw
the disabled state themselves (grey, faded). busy.gif is the animated busy
indicator in the same colours. To add an icon, add its glyph
below and run this script from this folder; keep glyphs simple, centred in
the 48 x 48 grid inside an 8-unit margin.
"""

import math
import os

STATES = {"normal": "#22313F", "over": "#1769D1", "select": "#C2410C"}
GLYPH = "#FFFFFF"
STROKE = f'fill="none" stroke="{GLYPH}" stroke-width="4" stroke-linecap="round" stroke-linejoin="round"'


def arc_arrow(clockwise):
    # Three quarters of a circle ending at the top, with a solid arrow head
    # showing the direction of the turn there.
    # The arc runs from 3 o'clock (clockwise) or 9 o'clock round to 12, so
    # at its end it moves right (clockwise) or left; the head points that way.
    if clockwise:
        arc = "M35 27 A11 11 0 1 1 24 16"
        head = "M31 16 L23 9 L23 23 Z"
    else:
        arc = "M13 27 A11 11 0 1 0 24 16"
        head = "M17 16 L25 9 L25 23 Z"
    return f'<path d="{arc}" {STROKE}/><path d="{head}" fill="{GLYPH}"/>'


GLYPHS = {
    "close": f'<path d="M16 16 L32 32 M32 16 L16 32" {STROKE}/>',
    "ok": f'<path d="M14 25 L21 32 L34 17" {STROKE}/>',
    "arrow_left": f'<path d="M28 14 L18 24 L28 34" {STROKE}/>',
    "arrow_right": f'<path d="M20 14 L30 24 L20 34" {STROKE}/>',
    "expand": f'<path d="M24 15 V33 M15 24 H33" {STROKE}/>',
    "collapse": f'<path d="M15 24 H33" {STROKE}/>',
    "rotate_left": arc_arrow(False),
    "rotate_right": arc_arrow(True),
    "photo": (f'<path d="M12 18 H18 L21 14 H27 L30 18 H36 V34 H12 Z" {STROKE}/>'
              f'<circle cx="24" cy="26" r="5" {STROKE}/>'),
    "crop": f'<path d="M17 11 V31 H37 M11 17 H31 V37" {STROKE}/>',
    "folder": (f'<path d="M11 16 H20 L23 19 H37 V34 H11 Z" fill="{GLYPH}" stroke="{GLYPH}" '
               f'stroke-width="2" stroke-linejoin="round"/>'),
    "zoom_in": (f'<circle cx="22" cy="22" r="9" {STROKE}/><path d="M29 29 L36 36 M18 22 H26 M22 18 V26" {STROKE}/>'),
    "zoom_out": (f'<circle cx="22" cy="22" r="9" {STROKE}/><path d="M29 29 L36 36 M18 22 H26" {STROKE}/>'),
    "save": f'<path d="M24 11 V28 M17 21 L24 28 L31 21 M12 29 V36 H36 V29" {STROKE}/>',
    "copy": f'<path d="M19 19 H35 V35 H19 Z M13 29 V13 H29" {STROKE}/>',
    # The picture library's tool bar.
    "lib_bind": (f'<path d="M15 12 H33 V36 H15 Z M15 18 H11 M15 24 H11 M15 30 H11 M20 19 H28 M20 25 H28" {STROKE}/>'),
    "lib_unbind": (f'<path d="M13 12 H27 V30 H13 Z M21 18 H35 V36 H21" {STROKE}/>'),
    "lib_delete": (f'<path d="M12 15 H36 M20 15 V11 H28 V15 M15 15 L17 37 H31 L33 15 M21 21 V31 M27 21 V31" {STROKE}/>'),
    "lib_export": (f'<path d="M24 30 V11 M17 18 L24 11 L31 18 M12 27 V36 H36 V27" {STROKE}/>'),
    "lib_pdf": (f'<path d="M14 10 H28 L35 17 V38 H14 Z M28 10 V17 H35" {STROKE}/>'
                f'<path d="M19 32 V23 H23 A3 3 0 0 1 23 29 H19" {STROKE}/>'),
    "lib_mail": (f'<path d="M10 15 H38 V34 H10 Z M10 15 L24 26 L38 15" {STROKE}/>'),
    "lib_print": (f'<path d="M16 19 V11 H32 V19 M16 31 H11 V19 H37 V31 H32 M16 27 H32 V37 H16 Z" {STROKE}/>'),
    "lib_compare": (f'<path d="M10 13 H22 V35 H10 Z M26 13 H38 V35 H26 Z" {STROKE}/>'),
    "lib_back": (f'<path d="M20 14 L12 22 L20 30 M12 22 H29 A7 7 0 0 1 29 36 H24" {STROKE}/>'),

    "text": (f'<path d="M17 17 H31 M24 17 V32" {STROKE}/>'
             f'<path d="M10 16 V10 H16 M32 10 H38 V16 M38 32 V38 H32 M16 38 H10 V32" {STROKE}/>'),
    "picture": (f'<path d="M10 13 H38 V35 H10 Z M14 31 L21 23 L27 29 L30 26 L34 31" {STROKE}/>'
                f'<circle cx="31" cy="19" r="3" fill="{GLYPH}"/>'),
    "camera": f'<path d="M9 16 H28 V32 H9 Z M28 21 L39 15 V33 L28 27" {STROKE}/>',
}


def tile(colour, body):
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">\n'
        f'  <rect x="2" y="2" width="44" height="44" rx="10" fill="{colour}"/>\n'
        f"  {body}\n"
        "</svg>\n"
    )


def thumb(colour):
    # Slider thumb: a disc of the state colour in a white ring.
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">\n'
        f'  <circle cx="12" cy="12" r="9.5" fill="{colour}" stroke="{GLYPH}" stroke-width="3"/>\n'
        "</svg>\n"
    )


def tab(colour):
    # Tab button: rounded at the top, square at the foot, 120 x 40.
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="120" height="40" viewBox="0 0 120 40">\n'
        f'  <path d="M1 40 V9 Q1 1 9 1 H111 Q119 1 119 9 V40 Z" fill="{colour}"/>\n'
        "</svg>\n"
    )


def push_button(colour):
    # Push button with a caption: a rounded bar of the state colour, 96 x 32.
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="96" height="32" viewBox="0 0 96 32">\n'
        f'  <rect x="1" y="1" width="94" height="30" rx="6" fill="{colour}"/>\n'
        "</svg>\n"
    )


# Backgrounds of the overlay library's small windows.
PANELS = {
    # The bar on an empty split-screen pane: a dark, slightly translucent
    # rounded panel, 200 x 60, so that it reads on light and dark pictures.
    "split_bar_bg": (
        '<svg xmlns="http://www.w3.org/2000/svg" width="200" height="60" viewBox="0 0 200 60">\n'
        '  <rect x="1" y="1" width="198" height="58" rx="12" fill="#22313F" fill-opacity="0.82" '
        'stroke="#FFFFFF" stroke-opacity="0.6" stroke-width="2"/>\n'
        "</svg>\n"),
    # The message box: paper, 360 x 180, and its dark title strip, 360 x 36.
    "msgbox_bg": (
        '<svg xmlns="http://www.w3.org/2000/svg" width="360" height="180" viewBox="0 0 360 180">\n'
        '  <rect x="0" y="0" width="360" height="180" fill="#F4F6F8"/>\n'
        "</svg>\n"),
    "msgbox_title": (
        '<svg xmlns="http://www.w3.org/2000/svg" width="360" height="36" viewBox="0 0 360 36">\n'
        '  <rect x="0" y="0" width="360" height="36" fill="#22313F"/>\n'
        '  <rect x="0" y="34" width="360" height="2" fill="#1769D1"/>\n'
        "</svg>\n"),
}


def rotate_dial(side=360):
    """The dial laid over the picture to turn it: a slate ring with white
    ticks every 10 degrees (longer every 30), an orange pointer at the top
    that shows the turn, and a slate disc in the middle behind the angle.
    The dial is drawn translucent with black as its transparent colour, so
    it holds no pure black and its centre between disc and ring is left
    empty for the picture to show through."""
    c = side / 2
    ring_r, ring_w = c - 22, 32
    parts = [f'<circle cx="{c:g}" cy="{c:g}" r="{ring_r:g}" fill="none" stroke="#22313F" stroke-width="{ring_w}"/>',
             f'<circle cx="{c:g}" cy="{c:g}" r="{ring_r + ring_w / 2:g}" fill="none" stroke="#FFFFFF" stroke-width="2"/>',
             f'<circle cx="{c:g}" cy="{c:g}" r="{ring_r - ring_w / 2:g}" fill="none" stroke="#FFFFFF" stroke-width="2"/>']
    for deg in range(0, 360, 10):
        if deg == 0:
            continue
        a = math.radians(deg)
        outer = ring_r + ring_w / 2 - 4
        inner = outer - (18 if deg % 30 == 0 else 9)
        x1, y1 = c + outer * math.sin(a), c - outer * math.cos(a)
        x2, y2 = c + inner * math.sin(a), c - inner * math.cos(a)
        width = 4 if deg % 30 == 0 else 2
        parts.append(f'<path d="M{x1:.1f} {y1:.1f} L{x2:.1f} {y2:.1f}" stroke="#FFFFFF" stroke-width="{width}" '
                     'stroke-linecap="round"/>')
    # The pointer: a triangle across the ring at the top, pointing inwards.
    top = c - ring_r - ring_w / 2 - 2
    tip = c - ring_r + ring_w / 2 + 16
    parts.append(f'<path d="M{c - 20:g} {top:g} L{c + 20:g} {top:g} L{c:g} {tip:g} Z" fill="#C2410C" '
                 'stroke="#FFFFFF" stroke-width="3" stroke-linejoin="round"/>')
    parts.append(f'<circle cx="{c:g}" cy="{c:g}" r="92" fill="#22313F" stroke="#FFFFFF" stroke-width="2"/>')
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{side}" height="{side}" viewBox="0 0 {side} {side}">\n'
            + "".join(f"  {p}\n" for p in parts) + "</svg>\n")


# Pictograms of the gesture layer and the automatic-photographing
# indicator: no words, shown over the live picture. The hand is drawn on the
# 48-unit grid with its palm centred, so that a number written in the
# middle of the picture falls on the palm.
HAND = (f'<rect x="14" y="15" width="20" height="19" rx="6" fill="{GLYPH}"/>'
        f'<path d="M17 17 V8 M22 17 V5 M27 17 V6 M32 18 V10 M15 27 L9 20" fill="none" stroke="{GLYPH}" '
        'stroke-width="5" stroke-linecap="round"/>')
SLATE, BLUE, ORANGE, GREEN = STATES["normal"], STATES["over"], STATES["select"], "#15803D"


def svg(width, height, body, view=None):
    view = view or f"0 0 {width} {height}"
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" viewBox="{view}">\n'
            f"  {body}\n</svg>\n")


def badge(colour, body):
    # A small disc at the bottom right of a 48-unit tile, with a white ring.
    return f'<circle cx="37" cy="37" r="9" fill="{colour}" stroke="{GLYPH}" stroke-width="2"/>{body}'


def spinner(side=260, dots=8):
    # The warm-up: dots on a ring, the blue one leading (the layer turns the
    # picture by 45 degrees a second).
    c, ring, r = side / 2, side / 2 - 20, 13
    trail = [BLUE, "#4F8DDD", "#86B0E8"]
    parts = []
    for d in range(dots):
        a = 2 * math.pi * d / dots
        x, y = c + ring * math.sin(a), c - ring * math.cos(a)
        fill = trail[d] if d < len(trail) else SLATE
        parts.append(f'<circle cx="{x:.1f}" cy="{y:.1f}" r="{r}" fill="{fill}" stroke="{GLYPH}" stroke-width="3"/>')
    return svg(side, side, "".join(parts))


def strip(colour, body):
    # A 120 x 28 pill under the hand, 8 pixels below it; `body` is drawn on
    # the pill's 120 x 28 grid.
    return svg(120, 36, f'<g transform="translate(0 8)"><rect x="1" y="1" width="118" height="26" rx="13" '
               f'fill="{colour}"/>{body}</g>')


def dots_glyph(hollow=False):
    fill = "none" if hollow else GLYPH
    return "".join(f'<circle cx="{x}" cy="14" r="4" fill="{fill}" stroke="{GLYPH}" stroke-width="2"/>'
                   for x in (44, 60, 76))


def small_hand(x):
    # The hand scaled into a 24-unit square at (x, 2).
    return f'<g transform="translate({x} 2) scale(0.5)">{HAND}</g>'


CAMERA = (f'<path d="M12 18 H18 L21 14 H27 L30 18 H36 V34 H12 Z" {STROKE}/>'
          f'<circle cx="24" cy="26" r="5" {STROKE}/>')


def small_camera(x):
    return f'<g transform="translate({x} 2) scale(0.5)">{CAMERA}</g>'


def countdown(side=280):
    # The count-down: an orange ring with ticks, a white disc in the middle
    # under the number.
    c = side / 2
    parts = [f'<circle cx="{c:g}" cy="{c:g}" r="{c - 12:g}" fill="none" stroke="{ORANGE}" stroke-width="12"/>',
             f'<circle cx="{c:g}" cy="{c:g}" r="{c - 4:g}" fill="none" stroke="{GLYPH}" stroke-width="2"/>',
             f'<circle cx="{c:g}" cy="{c:g}" r="{c - 20:g}" fill="none" stroke="{GLYPH}" stroke-width="2"/>']
    for deg in range(0, 360, 30):
        a = math.radians(deg)
        x1, y1 = c + (c - 7) * math.sin(a), c - (c - 7) * math.cos(a)
        x2, y2 = c + (c - 17) * math.sin(a), c - (c - 17) * math.cos(a)
        parts.append(f'<path d="M{x1:.1f} {y1:.1f} L{x2:.1f} {y2:.1f}" stroke="{GLYPH}" stroke-width="3" '
                     'stroke-linecap="round"/>')
    parts.append(f'<circle cx="{c:g}" cy="{c:g}" r="34" fill="{GLYPH}" stroke="{SLATE}" stroke-width="4"/>')
    return svg(side, side, "".join(parts))


def caption_bar(width, height=40):
    # The pill behind a caption of the indicator.
    return svg(width, height, f'<rect x="1" y="1" width="{width - 2}" height="{height - 2}" rx="{(height - 2) // 2}" '
               f'fill="{SLATE}" stroke="{GLYPH}" stroke-opacity="0.7" stroke-width="2"/>')


CHECK = f'<path d="M33 37 L36 40 L41 34" fill="none" stroke="{GLYPH}" stroke-width="2.5" stroke-linecap="round"/>'
CLOCK = f'<path d="M37 32 V37 H41" fill="none" stroke="{GLYPH}" stroke-width="2.5" stroke-linecap="round"/>'
TURN = (f'<path d="M33 35 A4.5 4.5 0 1 1 37 41.5" fill="none" stroke="{GLYPH}" stroke-width="2"/>'
        f'<path d="M31 33 L33.5 37 L36 33.5 Z" fill="{GLYPH}"/>')

PICTOGRAMS = {
    "gesture_spinner": spinner(),
    "gesture_hand": svg(120, 120, f'<circle cx="24" cy="24" r="23" fill="{SLATE}"/>{HAND}', "0 0 48 48"),
    "gesture_wait": strip(SLATE, small_hand(12) + dots_glyph()),
    "gesture_lost": strip(SLATE, small_hand(12) + dots_glyph(hollow=True)),
    "gesture_ready": svg(96, 96, f'<rect x="2" y="2" width="44" height="44" rx="10" fill="{SLATE}"/>'
                         f'<g transform="translate(1 4) scale(0.8)">{HAND}</g>' + badge(GREEN, CHECK), "0 0 48 48"),
    "gesture_ready_over": svg(96, 96, f'<rect x="2" y="2" width="44" height="44" rx="10" fill="{BLUE}"/>'
                              f'<g transform="translate(1 4) scale(0.8)">{HAND}</g>' + badge(GREEN, CHECK), "0 0 48 48"),
    "gesture_ending": svg(96, 96, f'<rect x="2" y="2" width="44" height="44" rx="10" fill="{SLATE}"/>'
                          f'<g transform="translate(1 4) scale(0.8)">{HAND}</g>' + badge(ORANGE, CLOCK), "0 0 48 48"),
    "gesture_shot": strip(ORANGE, small_camera(12) + f'<path d="M48 14 H96 M84 7 L96 14 L84 21" {STROKE}/>'),
    "gesture_countdown": countdown(),
    # Under the number: a white disc, one with the palm and the count-down's middle.
    "gesture_number": svg(56, 56, f'<circle cx="28" cy="28" r="26" fill="{GLYPH}"/>'),
    "gesture_camera": strip(SLATE, small_camera(12) + dots_glyph()),
    "auto_photo": svg(64, 64, f'<rect x="2" y="2" width="44" height="44" rx="10" fill="{SLATE}"/>'
                      f'<g transform="translate(-3 -3)">{CAMERA}</g>' + badge(ORANGE, TURN), "0 0 48 48"),
    "caption_bar": caption_bar(200),
    "caption_wide": caption_bar(360),
}


def lzw(pixels, min_size):
    """GIF LZW compression of palette indices, as data sub-blocks."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    table = {bytes([i]): i for i in range(clear)}
    size, next_code = min_size + 1, end + 1
    bits, nbits, out = 0, 0, bytearray()

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    word = b""
    for p in pixels:
        candidate = word + bytes([p])
        if candidate in table:
            word = candidate
            continue
        emit(table[word])
        if next_code == 4096:
            emit(clear)
            table = {bytes([i]): i for i in range(clear)}
            size, next_code = min_size + 1, end + 1
        else:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        word = bytes([p])
    if word:
        emit(table[word])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return blocks + b"\x00"


def busy_gif(path, side=48, dots=8, delay_cs=10):
    """The busy indicator: eight dots on a ring, the bright one going round."""
    # Palette: 0 transparent, 1 white outline, 2-4 the blue head and its
    # fading trail, 5 the slate of the resting dots. The white outline keeps
    # the dots visible on dark backgrounds, their fill on light ones.
    palette = [(0, 0, 0), (255, 255, 255), (23, 105, 209), (79, 141, 221),
               (134, 176, 232), (34, 49, 63), (34, 49, 63), (34, 49, 63)]
    out = bytearray(b"GIF89a")
    out += side.to_bytes(2, "little") * 2 + bytes([0xF2, 0, 0])
    for r, g, b in palette:
        out += bytes([r, g, b])
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    centre, ring, radius = side / 2, side * 0.34, side * 0.09
    for frame in range(dots):
        pixels = []
        for y in range(side):
            for x in range(side):
                index = 0
                for d in range(dots):
                    a = 2 * math.pi * d / dots - math.pi / 2
                    dx, dy = x + 0.5 - (centre + ring * math.cos(a)), y + 0.5 - (centre + ring * math.sin(a))
                    dist = math.hypot(dx, dy)
                    if dist <= radius:
                        index = min(2 + (frame - d) % dots, 5)
                    elif dist <= radius + 1.3 and index == 0:
                        index = 1
                pixels.append(index)
        out += b"\x21\xF9\x04\x09" + delay_cs.to_bytes(2, "little") + b"\x00\x00"
        out += b"\x2C\x00\x00\x00\x00" + side.to_bytes(2, "little") * 2 + b"\x00"
        out += bytes([3]) + lzw(pixels, 3)
    out += b"\x3B"
    with open(path, "wb") as f:
        f.write(out)


def write(name, text):
    with open(name, "w", encoding="utf-8") as f:
        f.write(text)


def main():
    for name, body in GLYPHS.items():
        for state, colour in STATES.items():
            write(f"{name}_{state}.svg", tile(colour, body))
    for state, colour in STATES.items():
        write(f"slider_thumb_{state}.svg", thumb(colour))
        write(f"tab_{state}.svg", tab(colour))
        write(f"button_{state}.svg", push_button(colour))
    for name, text in PANELS.items():
        write(f"{name}.svg", text)
    write("rotate_dial.svg", rotate_dial())
    for name, text in PICTOGRAMS.items():
        write(f"{name}.svg", text)
    busy_gif("busy.gif")


if __name__ == "__main__":
    os.chdir(os.path.dirname(os.path.abspath(__file__)))
    main()
