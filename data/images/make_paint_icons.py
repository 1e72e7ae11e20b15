#!/usr/bin/env python3
"""Writes the annotation palette's icons and the drawing cursors as SVG files.

The icons use the tiles of make_icons.py (same states, colours and strokes).
The cursors are 32 x 32: a black glyph in a white outline, readable on any
picture; the canvas knows their hot spots (the pen's tip at 3,28, the centre
of the shape cursors' cross at 8,8). Run from this folder.
"""

import os

from make_icons import GLYPH, STATES, STROKE, tile, write

THIN = f'fill="none" stroke="{GLYPH}" stroke-width="3" stroke-linecap="round" stroke-linejoin="round"'
SOLID = f'fill="{GLYPH}" stroke="{GLYPH}" stroke-width="2" stroke-linejoin="round"'
SQUIGGLE = "M10 32 C15 14 21 38 27 22 S35 16 38 13"

GLYPHS = {
    "paint_fold": f'<path d="M15 29 L24 20 L33 29" {STROKE}/>',
    "paint_unfold": f'<path d="M15 19 L24 28 L33 19" {STROKE}/>',
    "paint_mouse": '<path d="M17 10 V34 L23 28 L27 37 L31 35 L27 26 H35 Z" ' + SOLID + "/>",
    "paint_pen": f'<path d="{SQUIGGLE}" {STROKE}/>',
    "paint_highlighter": (f'<path d="M12 34 L30 14 L36 20 L18 38 Z" {SOLID}/>'
                          f'<path d="M10 40 H38" stroke="{GLYPH}" stroke-width="4" opacity="0.55"/>'),
    "paint_fade": (f'<path d="M10 32 C13 22 17 26 20 28" {STROKE}/>'
                   f'<path d="M20 28 C23 30 25 24 28 21" {STROKE} opacity="0.6"/>'
                   f'<path d="M28 21 C31 18 35 16 38 13" {STROKE} opacity="0.3"/>'),
    "paint_line": f'<path d="M12 36 L36 12" {STROKE}/>',
    "paint_dash": f'<path d="M12 36 L36 12" {STROKE} stroke-dasharray="6 6"/>',
    "paint_arrow": (f'<path d="M12 36 L32 16" {STROKE}/>'
                    f'<path d="M37 11 L24 15 L33 24 Z" {SOLID}/>'),
    "paint_eraser": (f'<path d="M21 37 L11 27 L27 11 L37 21 Z" {THIN}/>'
                     f'<path d="M16 22 L26 32 L37 21 L27 11 Z" {SOLID}/>'),
    "paint_clear": (f'<path d="M13 16 H35 M20 16 V12 H28 V16 M16 16 L18 37 H30 L32 16" {THIN}/>'
                    f'<path d="M22 21 V32 M26 21 V32" {THIN}/>'),
    "paint_color": (f'<path d="M24 10 C31 19 35 24 35 29 A11 11 0 0 1 13 29 C13 24 17 19 24 10 Z" {SOLID}/>'),
    "paint_width": (f'<path d="M12 14 H36" stroke="{GLYPH}" stroke-width="2" stroke-linecap="round"/>'
                    f'<path d="M12 23 H36" stroke="{GLYPH}" stroke-width="4" stroke-linecap="round"/>'
                    f'<path d="M12 34 H36" stroke="{GLYPH}" stroke-width="7" stroke-linecap="round"/>'),
    "paint_alpha": (f'<circle cx="24" cy="24" r="12" {THIN}/>'
                    f'<path d="M24 12 A12 12 0 0 1 24 36 Z" fill="{GLYPH}"/>'),
    "paint_linetype": (f'<path d="M11 16 H37" {STROKE}/><path d="M11 26 H37" {STROKE} stroke-dasharray="5 5"/>'
                       f'<path d="M11 36 H31" {STROKE}/><path d="M38 36 L31 32 V40 Z" {SOLID}/>'),
    "paint_shape": (f'<rect x="10" y="10" width="16" height="16" {THIN}/>'
                    f'<circle cx="29" cy="29" r="9" {THIN}/>'),
    "paint_save": (f'<path d="M12 12 H32 L36 16 V36 H12 Z" {THIN}/>'
                   f'<path d="M17 12 V20 H30 V12 M17 36 V27 H31 V36" {THIN}/>'),
    "paint_exit": (f'<path d="M22 12 H13 V36 H22" {THIN}/>'
                   f'<path d="M20 24 H37 M31 18 L37 24 L31 30" {STROKE}/>'),
    "paint_text": f'<path d="M13 13 H35 M24 13 V36 M19 36 H29" {STROKE}/>',
    "paint_triangle": f'<path d="M24 11 L37 35 H11 Z" {THIN}/>',
    "paint_ellipse": f'<ellipse cx="24" cy="24" rx="14" ry="9" {THIN}/>',
    "paint_circle": f'<circle cx="24" cy="24" r="12" {THIN}/>',
    "paint_rect": f'<rect x="11" y="14" width="26" height="20" {THIN}/>',
    "paint_select": (f'<rect x="10" y="10" width="28" height="28" {THIN} stroke-dasharray="4 4"/>'
                     f'<path d="M24 17 V31 M17 24 H31" {THIN}/>'),
}

# Cursor glyphs: the pen cursors draw towards the tip at the bottom left,
# the shape cursors carry a cross at (8, 8) and the shape beside it.
PEN = "M3 28 L6 20 L22 4 L27 9 L11 25 Z"
CROSS = "M8 2 V14 M2 8 H14"
CURSORS = {
    153: f'<path d="{PEN}" fill="#000"/>',
    154: f'<path d="{PEN}" fill="#000" fill-opacity="0.45"/><path d="M14 28 H18 M22 28 H24 M28 28 H29" stroke="#000" stroke-width="2"/>',
    155: f'<path d="{PEN}" fill="#000"/><path d="M14 29 L29 14" stroke="#000" stroke-width="2"/>',
    156: f'<path d="{PEN}" fill="#000"/><path d="M14 29 L29 14" stroke="#000" stroke-width="2" stroke-dasharray="3 3"/>',
    157: f'<path d="{PEN}" fill="#000"/><path d="M14 29 L26 17" stroke="#000" stroke-width="2"/><path d="M30 13 L22 16 L27 21 Z" fill="#000"/>',
    158: '<path d="M10 28 L3 21 L18 6 L25 13 Z" fill="#FFF" stroke="#000" stroke-width="2"/><path d="M7 17 L14 24 L25 13 L18 6 Z" fill="#000"/>',
    159: f'<path d="{CROSS}" stroke="#000" stroke-width="2"/><rect x="15" y="15" width="14" height="11" fill="none" stroke="#000" stroke-width="2"/>',
    160: f'<path d="{CROSS}" stroke="#000" stroke-width="2"/><circle cx="22" cy="22" r="7" fill="none" stroke="#000" stroke-width="2"/>',
    161: f'<path d="{CROSS}" stroke="#000" stroke-width="2"/><ellipse cx="22" cy="22" rx="9" ry="5.5" fill="none" stroke="#000" stroke-width="2"/>',
    162: f'<path d="{CROSS}" stroke="#000" stroke-width="2"/><path d="M22 14 L30 28 H14 Z" fill="none" stroke="#000" stroke-width="2" stroke-linejoin="round"/>',
    163: f'<path d="{CROSS}" stroke="#000" stroke-width="2"/><path d="M15 15 H29 M22 15 V29 M18 29 H26" stroke="#000" stroke-width="2.5"/>',
}


def cursor(body):
    # The white outline is the same glyph drawn wider underneath.
    outline = body.replace('stroke="#000"', 'stroke="#FFF"').replace('fill="#000"', 'fill="#FFF"')
    outline = outline.replace('stroke-width="2"', 'stroke-width="5"').replace('stroke-width="2.5"', 'stroke-width="5"')
    if "stroke=" not in outline.split(">")[0]:
        outline = outline.replace("<path ", '<path stroke="#FFF" stroke-width="3" stroke-linejoin="round" ', 1)
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">\n'
        f"  <g>{outline}</g>\n  <g>{body}</g>\n"
        "</svg>\n"
    )


def main():
    for name, body in GLYPHS.items():
        for state, colour in STATES.items():
            write(f"{name}_{state}.svg", tile(colour, body))
    for number, body in CURSORS.items():
        write(f"paint_cursor_{number}.svg", cursor(body))


if __name__ == "__main__":
    os.chdir(os.path.dirname(os.path.abspath(__file__)))
    main()
