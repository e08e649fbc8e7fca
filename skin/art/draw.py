#!/usr/bin/env python3
"""Writes the skin's SVG sources: one file per image of skin/png/, plus the program icon.

Every state family (buttons, check boxes, close button) is drawn from one function so the
states differ only where they should. Run through skin/art/render, which also rasterises them.
"""

import math
import os
import sys

# Palette (also listed in README.md).
BLUE = "#3179FD"  # product blue: start and retry labels, ticks, fills
BLUE_DEEP = "#1D5FE6"  # pressed label, the dark end of the background
BLUE_SKY = "#4C8DFF"  # the light end of the background
BLUE_MIST = "#EAF2FF"  # hovered button face
BLUE_HAZE = "#D5E4FF"  # pressed button face, screen of the illustrations
BLUE_LINE = "#A9C6FF"  # text lines and details inside white shapes
INK = "#123A8C"  # darkest detail (printer slot)
GOLD = "#FEE88A"  # sparkles and the status light; same as the licence link
CORAL = "#FF8F7A"  # failure accents and the error bar
FONT = "WenQuanYi Micro Hei"

# The words painted into images, per language. English is the skin's own language
# (png/NAME.png); every other language gets its copies in png/<language>/NAME.png, which the
# toolkit prefers while that language is chosen.
WORDS = {
    "en": {
        "title": "Inkwarden Setup",
        "name": "Inkwarden",
        "tag": "PRINTER ASSISTANT",
        "install": "Install now",
        "retry": "Try again",
        "name_spacing": 1,
        # Latin labels are wider: smaller, closer set, and further from the retry icon
        "label": (16, 0.4, 84),
    },
    "zh_CN": {
        "title": "墨守精灵 安装程序",
        "name": "墨守精灵",
        "tag": "INKWARDEN · 打印助手",
        "install": "立即安装",
        "retry": "重新安装",
        "name_spacing": 3,
        "label": (17, 1.5, 80),
    },
}
SOURCE_LANGUAGE = "en"

WINDOW_RADIUS = 10


def svg(width, height, body, defs=""):
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}">\n'
        + (f"<defs>\n{defs}</defs>\n" if defs else "")
        + body
        + "</svg>\n"
    )


def text(x, y, size, content, fill, anchor="middle", weight="normal", spacing=0, opacity=1):
    # y is the visual centre of the CJK glyphs; their ink sits about 0.36 em above the baseline
    baseline = y + size * 0.36
    return (
        f'<text x="{x}" y="{baseline:.2f}" font-family="{FONT}" font-size="{size}" '
        f'font-weight="{weight}" letter-spacing="{spacing}" text-anchor="{anchor}" '
        f'fill="{fill}" fill-opacity="{opacity}">{content}</text>\n'
    )


def drop_path(cx, cy, r):
    """An ink drop whose round part has radius r around (cx, cy); the tip points up."""
    top = cy - 2.1 * r
    return (
        f"M{cx:.2f},{top:.2f} "
        f"C{cx + 0.55 * r:.2f},{cy - 1.25 * r:.2f} {cx + r:.2f},{cy - 0.55 * r:.2f} "
        f"{cx + r:.2f},{cy:.2f} "
        f"A{r:.2f},{r:.2f} 0 0 1 {cx - r:.2f},{cy:.2f} "
        f"C{cx - r:.2f},{cy - 0.55 * r:.2f} {cx - 0.55 * r:.2f},{cy - 1.25 * r:.2f} "
        f"{cx:.2f},{top:.2f} Z"
    )


def sparkle_path(cx, cy, r):
    """A four-pointed sparkle."""
    k = 0.18 * r
    return (
        f"M{cx:.2f},{cy - r:.2f} Q{cx + k:.2f},{cy - k:.2f} {cx + r:.2f},{cy:.2f} "
        f"Q{cx + k:.2f},{cy + k:.2f} {cx:.2f},{cy + r:.2f} "
        f"Q{cx - k:.2f},{cy + k:.2f} {cx - r:.2f},{cy:.2f} "
        f"Q{cx - k:.2f},{cy - k:.2f} {cx:.2f},{cy - r:.2f} Z"
    )


def printer(x, y, s, body, detail, paper, drop=None, light=GOLD, lines=None):
    """The product's printer in a 100 x 100 box at (x, y), scaled by s/100.

    body: housing colour; detail: the paper slot and trim; paper: the sheets; drop: colour of
    the ink drop printed on the output sheet (None = none); lines: colour of the text lines on
    the input sheet.
    """
    lines = lines or detail
    g = [f'<g transform="translate({x:.2f},{y:.2f}) scale({s / 100:.4f})">\n']
    # input sheet behind the housing
    g.append(f'<rect x="28" y="8" width="44" height="36" rx="4" fill="{paper}"/>\n')
    g.append(f'<rect x="36" y="17" width="20" height="4" rx="2" fill="{lines}"/>\n')
    g.append(f'<rect x="36" y="26" width="28" height="4" rx="2" fill="{lines}"/>\n')
    # housing
    g.append(f'<rect x="8" y="34" width="84" height="40" rx="12" fill="{body}"/>\n')
    g.append(f'<circle cx="78" cy="47" r="4.5" fill="{light}"/>\n')
    g.append(f'<rect x="20" y="44" width="14" height="4" rx="2" fill="{detail}" opacity="0.55"/>\n')
    # output slot and the printed sheet
    g.append(f'<rect x="20" y="60" width="60" height="7" rx="3.5" fill="{detail}"/>\n')
    g.append(f'<path d="M28,64 H72 V90 Q72,94 68,94 H32 Q28,94 28,90 Z" fill="{paper}"/>\n')
    if drop:
        g.append(f'<path d="{drop_path(50, 81, 6.2)}" fill="{drop}"/>\n')
    g.append("</g>\n")
    return "".join(g)


# ---------------------------------------------------------------------------------------------
# Window background


def bg(words):
    w, h = 570, 370
    r = WINDOW_RADIUS
    defs = (
        '<linearGradient id="sky" x1="0" y1="0" x2="0.35" y2="1">\n'
        f'<stop offset="0" stop-color="{BLUE_SKY}"/>\n'
        f'<stop offset="1" stop-color="{BLUE_DEEP}"/>\n'
        "</linearGradient>\n"
        '<radialGradient id="glow" cx="0.5" cy="0.5" r="0.5">\n'
        '<stop offset="0" stop-color="#FFFFFF" stop-opacity="0.16"/>\n'
        '<stop offset="1" stop-color="#FFFFFF" stop-opacity="0"/>\n'
        "</radialGradient>\n"
        # the window's shape; the two rows above y=2 are never drawn, so it starts there
        f'<clipPath id="shape"><rect x="0" y="2" width="{w}" height="{h - 2}" rx="{r}"/>'
        "</clipPath>\n"
    )
    body = [f'<g clip-path="url(#shape)">\n']
    body.append(f'<rect width="{w}" height="{h}" fill="url(#sky)"/>\n')
    # soft light behind the page content, and two quiet rings at the edges
    body.append(f'<ellipse cx="285" cy="170" rx="300" ry="190" fill="url(#glow)"/>\n')
    body.append('<circle cx="560" cy="40" r="120" fill="#FFFFFF" fill-opacity="0.05"/>\n')
    body.append('<circle cx="560" cy="40" r="74" fill="#FFFFFF" fill-opacity="0.04"/>\n')
    body.append('<circle cx="-10" cy="372" r="130" fill="#FFFFFF" fill-opacity="0.045"/>\n')
    # a gentle paper-like wave along the bottom
    body.append(
        '<path d="M0,318 C110,296 200,338 310,318 C410,300 480,312 570,296 V370 H0 Z" '
        'fill="#0B3FB8" fill-opacity="0.10"/>\n'
    )
    # title: small mark and the product's name in the caption band
    body.append('<rect x="14" y="10" width="18" height="18" rx="5" fill="#FFFFFF"/>\n')
    body.append(printer(15.5, 11.5, 15, BLUE, INK, BLUE_HAZE, drop=None, light=GOLD))
    body.append(text(40, 19, 13, words["title"], "#FFFFFF", anchor="start", opacity=0.92))
    body.append("</g>\n")
    return svg(w, h, "".join(body), defs)


# ---------------------------------------------------------------------------------------------
# Buttons


BUTTON_STATES = {
    # face colour, face opacity, label colour, label opacity, label offset, lift shadow
    "normal": ("#FFFFFF", 1.0, BLUE, 1.0, 0, True),
    "hover": ("#F4F8FF", 1.0, BLUE, 1.0, 0, True),
    "push": (BLUE_HAZE, 1.0, BLUE_DEEP, 1.0, 1, False),
    "disable": ("#FFFFFF", 0.45, BLUE, 0.55, 0, False),
}


def button(state, label=None, icon=None, label_style=(17, 1.5, 80)):
    w, h = 140, 42
    face, face_op, ink, ink_op, dy, lifted = BUTTON_STATES[state]
    body = []
    if state == "hover":
        # a soft halo around the face: hover must read clearly on the blue
        body.append(
            '<rect x="0.5" y="0" width="139" height="41" rx="20.5" fill="#FFFFFF" '
            'fill-opacity="0.28"/>\n'
        )
    if lifted:
        # a thin darker rim under the face reads as a slight lift on the blue
        body.append(
            '<rect x="3" y="4" width="134" height="36" rx="18" fill="#0B3FB8" fill-opacity="0.25"/>\n'
        )
    body.append(
        f'<rect x="3" y="{2 + dy}" width="134" height="36" rx="18" fill="{face}" '
        f'fill-opacity="{face_op}"/>\n'
    )
    if label:
        size, spacing, icon_cx = label_style
        cx = 70
        if icon:
            # icon, 6-px gap, label: centred together
            cx = icon_cx
            body.append(icon(30, 20 + dy, ink, ink_op))
        body.append(
            text(cx, 20 + dy, size, label, ink, weight="bold", spacing=spacing, opacity=ink_op)
        )
    return svg(w, h, "".join(body))


def retry_icon(cx, cy, ink, opacity):
    """A clockwise circular arrow, for the retry label."""
    r = 5.6
    a0, a1 = math.radians(25), math.radians(285)
    x0, y0 = cx + r * math.cos(a0), cy + r * math.sin(a0)
    x1, y1 = cx + r * math.cos(a1), cy + r * math.sin(a1)
    # arrow head at the end of the arc, pointing along the clockwise tangent
    tx, ty = -math.sin(a1), math.cos(a1)
    nx, ny = math.cos(a1), math.sin(a1)
    tip = (x1 + 4.2 * tx, y1 + 4.2 * ty)
    left = (x1 + 3.4 * nx - 0.6 * tx, y1 + 3.4 * ny - 0.6 * ty)
    right = (x1 - 3.4 * nx - 0.6 * tx, y1 - 3.4 * ny - 0.6 * ty)
    return (
        f'<path d="M{x0:.2f},{y0:.2f} A{r},{r} 0 1 1 {x1:.2f},{y1:.2f}" fill="none" '
        f'stroke="{ink}" stroke-opacity="{opacity}" stroke-width="2.2" stroke-linecap="round"/>\n'
        f'<path d="M{tip[0]:.2f},{tip[1]:.2f} L{left[0]:.2f},{left[1]:.2f} '
        f'L{right[0]:.2f},{right[1]:.2f} Z" fill="{ink}" fill-opacity="{opacity}" '
        f'stroke="{ink}" stroke-opacity="{opacity}" stroke-width="0.8" stroke-linejoin="round"/>\n'
    )


def close_button(state):
    # cross colour opacity, disc opacity behind it
    cross, disc = {
        "normal": (0.85, 0.0),
        "enter": (1.0, 0.20),
        "push": (1.0, 0.32),
        "disable": (0.35, 0.0),
    }[state]
    body = []
    if disc:
        body.append(f'<circle cx="10" cy="10" r="10" fill="#FFFFFF" fill-opacity="{disc}"/>\n')
    body.append(
        f'<path d="M6,6 L14,14 M14,6 L6,14" stroke="#FFFFFF" stroke-opacity="{cross}" '
        'stroke-width="1.7" stroke-linecap="round"/>\n'
    )
    return svg(20, 20, "".join(body))


# ---------------------------------------------------------------------------------------------
# Check boxes. The toolkit draws the clear image (0) over the ticked one (2), so 0 is only an
# outline with a transparent inside, and its outline must look right on top of 2.


TICK = "M4.2,8.3 L6.9,10.9 L11.8,5.6"


def check(colour, index):
    ticked = index >= 2
    hover = index % 2 == 1
    body = []
    if colour == "white":
        if ticked:
            face = BLUE_MIST if hover else "#FFFFFF"
            body.append(f'<rect x="1" y="1" width="14" height="14" rx="3.5" fill="{face}"/>\n')
            body.append(
                f'<path d="{TICK}" fill="none" stroke="{BLUE}" stroke-width="2" '
                'stroke-linecap="round" stroke-linejoin="round"/>\n'
            )
        else:
            if hover:
                body.append(
                    '<rect x="1.6" y="1.6" width="12.8" height="12.8" rx="3" fill="#FFFFFF" '
                    'fill-opacity="0.22"/>\n'
                )
            body.append(
                '<rect x="1.6" y="1.6" width="12.8" height="12.8" rx="3" fill="none" '
                'stroke="#FFFFFF" stroke-width="1.2"/>\n'
            )
    else:
        if ticked:
            face = BLUE_DEEP if hover else BLUE
            body.append(f'<rect x="1" y="1" width="14" height="14" rx="3.5" fill="{face}"/>\n')
            body.append(
                '<path d="' + TICK + '" fill="none" stroke="#FFFFFF" stroke-width="2" '
                'stroke-linecap="round" stroke-linejoin="round"/>\n'
            )
        else:
            if hover:
                body.append(
                    f'<rect x="1.6" y="1.6" width="12.8" height="12.8" rx="3" fill="{BLUE}" '
                    'fill-opacity="0.10"/>\n'
                )
            stroke = BLUE
            body.append(
                '<rect x="1.6" y="1.6" width="12.8" height="12.8" rx="3" fill="none" '
                f'stroke="{stroke}" stroke-width="1.2"/>\n'
            )
    return svg(16, 16, "".join(body))


def chevron(kind):
    path = {
        "expand": "M3.5,8.8 L7,5.3 L10.5,8.8",  # panel open: points up, folds it away
        "fold": "M3.5,5.3 L7,8.8 L10.5,5.3",  # panel folded: points down, opens it
        "vector": "M5.3,3.5 L8.8,7 L5.3,10.5",  # follow the link
    }[kind]
    return svg(
        14,
        14,
        f'<path d="{path}" fill="none" stroke="#FFFFFF" stroke-width="1.6" '
        'stroke-linecap="round" stroke-linejoin="round"/>\n',
    )


# ---------------------------------------------------------------------------------------------
# Progress bars. Only x 35..70 of rows 0..8 is drawn, as 6-px caps and a stretched middle, so
# that window holds one complete rounded bar; the rest repeats it so the file reads as a bar.


def progress(kind):
    w, h = 1040, 18
    fills = {
        "bkg": ('fill="#FFFFFF" fill-opacity="0.24"', ""),
        "value": ('fill="url(#v)"', '<linearGradient id="v" x1="0" y1="0" x2="0" y2="1">'
                  '<stop offset="0" stop-color="#FFFFFF"/>'
                  f'<stop offset="1" stop-color="{BLUE_MIST}"/></linearGradient>\n'),
        "error": ('fill="url(#e)"', '<linearGradient id="e" x1="0" y1="0" x2="0" y2="1">'
                  '<stop offset="0" stop-color="#FFA391"/>'
                  f'<stop offset="1" stop-color="{CORAL}"/></linearGradient>\n'),
    }
    paint, defs = fills[kind]
    body = []
    # segments of 35 px on a 35-px pitch: the one at x=35 is the one the skin uses
    for x in range(0, w - 34, 35):
        body.append(f'<rect x="{x}" y="0" width="35" height="8" rx="4" {paint}/>\n')
    return svg(w, h, "".join(body), defs)


def edit_border():
    return svg(
        380,
        33,
        '<rect x="0.5" y="0.5" width="379" height="32" rx="5" fill="#FFFFFF" stroke="#CCCCCC"/>\n',
    )


# ---------------------------------------------------------------------------------------------
# Logo and illustrations


def config_logo(words):
    w, h = 248, 77
    defs = (
        '<linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#FFFFFF"/>'
        f'<stop offset="1" stop-color="{BLUE_MIST}"/></linearGradient>\n'
    )
    body = []
    # mark: the program icon's printer, blue on a white tile
    body.append('<rect x="4" y="9" width="62" height="62" rx="16" fill="#0B3FB8" fill-opacity="0.25"/>\n')
    body.append('<rect x="4" y="6" width="62" height="62" rx="16" fill="url(#tile)"/>\n')
    body.append(printer(10, 11, 50, BLUE, INK, BLUE_HAZE, drop=BLUE, light=GOLD, lines=BLUE_LINE))
    body.append(f'<path d="{sparkle_path(60, 10, 7)}" fill="{GOLD}"/>\n')
    # name and tag line
    body.append(
        text(80, 28, 31, words["name"], "#FFFFFF", anchor="start", weight="bold",
             spacing=words["name_spacing"])
    )
    body.append(text(81, 58, 12, words["tag"], "#FFFFFF", anchor="start", spacing=1.2, opacity=0.85))
    return svg(w, h, "".join(body), defs)


def monitor(x, y, w, h, progress_fraction):
    """A desktop screen showing a small install window."""
    g = []
    g.append(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="9" fill="#FFFFFF"/>\n')
    g.append(
        f'<rect x="{x + 7}" y="{y + 7}" width="{w - 14}" height="{h - 22}" rx="4" '
        f'fill="{BLUE_HAZE}"/>\n'
    )
    # the little install window on the screen
    ix, iy, iw, ih = x + 22, y + 18, w - 44, h - 46
    g.append(f'<rect x="{ix}" y="{iy}" width="{iw}" height="{ih}" rx="5" fill="{BLUE}"/>\n')
    g.append(f'<rect x="{ix + iw / 2 - 13}" y="{iy + 12}" width="26" height="26" rx="7" fill="#FFFFFF"/>\n')
    g.append(printer(ix + iw / 2 - 10, iy + 15, 20, BLUE, INK, "#FFFFFF", drop=BLUE, lines=BLUE_LINE))
    bar_y = iy + ih - 16
    g.append(
        f'<rect x="{ix + 14}" y="{bar_y}" width="{iw - 28}" height="6" rx="3" '
        'fill="#FFFFFF" fill-opacity="0.3"/>\n'
    )
    g.append(
        f'<rect x="{ix + 14}" y="{bar_y}" width="{(iw - 28) * progress_fraction:.1f}" height="6" '
        'rx="3" fill="#FFFFFF"/>\n'
    )
    # stand
    sx = x + w / 2
    g.append(
        f'<path d="M{sx - 14},{y + h} L{sx + 14},{y + h} L{sx + 20},{y + h + 20} '
        f'L{sx - 20},{y + h + 20} Z" fill="#FFFFFF" fill-opacity="0.85"/>\n'
    )
    g.append(
        f'<rect x="{sx - 38}" y="{y + h + 18}" width="76" height="6" rx="3" fill="#FFFFFF"/>\n'
    )
    return "".join(g)


def cloud_path(x, y, s):
    """A cloud in a 100 x 60 box at (x, y), scaled by s/100."""
    def p(px, py):
        return f"{x + px * s / 100:.2f},{y + py * s / 100:.2f}"

    r = lambda v: f"{v * s / 100:.2f}"  # noqa: E731
    return (
        f"M{p(22, 58)} A{r(20)},{r(20)} 0 0 1 {p(20, 20)} "
        f"A{r(26)},{r(26)} 0 0 1 {p(66, 14)} "
        f"A{r(22)},{r(22)} 0 0 1 {p(80, 58)} Z"
    )


def logo_installing():
    w, h = 479, 218
    defs = (
        '<radialGradient id="halo" cx="0.5" cy="0.5" r="0.5">'
        '<stop offset="0" stop-color="#FFFFFF" stop-opacity="0.20"/>'
        '<stop offset="1" stop-color="#FFFFFF" stop-opacity="0"/></radialGradient>\n'
    )
    b = []
    b.append('<ellipse cx="245" cy="112" rx="170" ry="112" fill="url(#halo)"/>\n')
    b.append('<ellipse cx="245" cy="203" rx="190" ry="11" fill="#0B3FB8" fill-opacity="0.18"/>\n')
    # the package comes down from the cloud on the left ...
    b.append(f'<path d="{cloud_path(34, 30, 104)}" fill="#FFFFFF" fill-opacity="0.95"/>\n')
    b.append(
        f'<path d="M86,50 V74 M76,65 L86,75 L96,65" fill="none" stroke="{BLUE}" '
        'stroke-width="4.5" stroke-linecap="round" stroke-linejoin="round"/>\n'
    )
    b.append(
        '<path d="M98,104 C120,150 150,160 176,150" fill="none" stroke="#FFFFFF" '
        'stroke-opacity="0.7" stroke-width="3" stroke-linecap="round" stroke-dasharray="1 9"/>\n'
    )
    # ... onto the desktop ...
    b.append(monitor(176, 40, 150, 112, 0.62))
    # ... and the printer beside it is taken care of
    b.append(
        '<path d="M330,148 C346,156 356,160 366,160" fill="none" stroke="#FFFFFF" '
        'stroke-opacity="0.7" stroke-width="3" stroke-linecap="round" stroke-dasharray="1 9"/>\n'
    )
    b.append(printer(352, 92, 104, "#FFFFFF", INK, BLUE_HAZE, drop=BLUE, light=GOLD, lines=BLUE_LINE))
    # the sprite's sparkles
    for cx, cy, r, op in ((352, 84, 10, 1), (446, 110, 6, 0.9), (150, 36, 6, 0.8),
                          (62, 136, 5, 0.7), (420, 40, 4, 0.7)):
        b.append(f'<path d="{sparkle_path(cx, cy, r)}" fill="{GOLD}" fill-opacity="{op}"/>\n')
    for cx, cy, r in ((128, 172, 3), (398, 68, 2.5), (30, 92, 2.5), (300, 24, 2.5)):
        b.append(f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="#FFFFFF" fill-opacity="0.6"/>\n')
    return svg(w, h, "".join(b), defs)


def badge(cx, cy, r, mark="!"):
    """A coral badge with a white mark: "!" (a problem) or "x" (broken)."""
    g = [f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{CORAL}"/>\n']
    if mark == "x":
        d = r * 0.42
        g.append(
            f'<path d="M{cx - d},{cy - d} L{cx + d},{cy + d} M{cx + d},{cy - d} L{cx - d},{cy + d}" '
            f'stroke="#FFFFFF" stroke-width="{r * 0.27:.2f}" stroke-linecap="round"/>\n'
        )
    else:
        g.append(
            f'<path d="M{cx},{cy - r * 0.5:.2f} V{cy + r * 0.12:.2f}" stroke="#FFFFFF" '
            f'stroke-width="{r * 0.27:.2f}" stroke-linecap="round"/>\n'
            f'<circle cx="{cx}" cy="{cy + r * 0.5:.2f}" r="{r * 0.16:.2f}" fill="#FFFFFF"/>\n'
        )
    return "".join(g)


def dotted_link(x1, x2, y):
    return (
        f'<path d="M{x1},{y} H{x2}" fill="none" stroke="#FFFFFF" stroke-opacity="0.75" '
        'stroke-width="3" stroke-linecap="round" stroke-dasharray="1 8"/>\n'
    )


def failure_network():
    """The cloud the printer could not reach, across a broken dotted line."""
    return (
        dotted_link(128, 150, 64)
        + dotted_link(172, 180, 64)
        + f'<path d="M157,57 L165,71 M165,57 L157,71" stroke="{CORAL}" stroke-width="3" '
        'stroke-linecap="round"/>\n'
        + f'<path d="{cloud_path(172, 36, 62)}" fill="#FFFFFF" fill-opacity="0.9"/>\n'
    )


def failure_service():
    """The update service reached, but answering with a fault: a server with a red light."""
    g = [dotted_link(128, 166, 66)]
    for i, y in enumerate((34, 60, 86)):
        g.append(f'<rect x="176" y="{y}" width="52" height="22" rx="5" fill="#FFFFFF" fill-opacity="0.92"/>\n')
        g.append(f'<rect x="184" y="{y + 9}" width="22" height="4" rx="2" fill="{BLUE_LINE}"/>\n')
        light = CORAL if i == 1 else BLUE_LINE
        g.append(f'<circle cx="218" cy="{y + 11}" r="3.2" fill="{light}"/>\n')
    g.append(badge(226, 34, 10))
    return "".join(g)


def failure_folder():
    """A folder closed to the user: a padlock on it."""
    g = [dotted_link(128, 150, 70)]
    g.append(
        '<path d="M160,46 H184 L192,54 H228 Q232,54 232,58 V104 Q232,108 228,108 H164 '
        'Q160,108 160,104 Z" fill="#FFFFFF" fill-opacity="0.92"/>\n'
    )
    g.append(f'<rect x="160" y="60" width="72" height="4" fill="{BLUE_HAZE}"/>\n')
    # the padlock
    g.append(
        f'<path d="M188,80 V74 A8,8 0 0 1 204,74 V80" fill="none" stroke="{CORAL}" '
        'stroke-width="3.4"/>\n'
    )
    g.append(f'<rect x="182" y="80" width="28" height="20" rx="4" fill="{CORAL}"/>\n')
    g.append('<circle cx="196" cy="89" r="2.6" fill="#FFFFFF"/>\n')
    return "".join(g)


def failure_disk():
    """A disk with no room left: its bar full to the end."""
    g = [dotted_link(128, 150, 70)]
    g.append('<rect x="154" y="46" width="76" height="52" rx="8" fill="#FFFFFF" fill-opacity="0.92"/>\n')
    g.append(f'<rect x="162" y="56" width="60" height="10" rx="5" fill="{CORAL}"/>\n')
    g.append(f'<rect x="162" y="76" width="34" height="4" rx="2" fill="{BLUE_LINE}"/>\n')
    g.append(f'<circle cx="216" cy="84" r="4" fill="{BLUE_LINE}"/>\n')
    g.append(badge(226, 46, 10))
    return "".join(g)


def failure_download():
    """The package that came down incomplete: a torn sheet under a down arrow."""
    g = [dotted_link(128, 150, 70)]
    g.append(
        '<path d="M166,40 H206 L220,54 V104 H166 Z" fill="#FFFFFF" fill-opacity="0.92"/>\n'
        f'<path d="M206,40 V54 H220" fill="{BLUE_HAZE}"/>\n'
    )
    # the tear across the sheet
    g.append(
        f'<path d="M166,84 L176,78 L186,86 L196,78 L206,86 L220,80" fill="none" '
        f'stroke="{CORAL}" stroke-width="3" stroke-linejoin="round"/>\n'
    )
    g.append(
        f'<path d="M193,50 V70 M185,62 L193,70 L201,62" fill="none" stroke="{BLUE}" '
        'stroke-width="4" stroke-linecap="round" stroke-linejoin="round"/>\n'
    )
    g.append(badge(222, 40, 10, "x"))
    return "".join(g)


def failure_package():
    """The package ran but did not install: an opened box with a problem mark."""
    g = [dotted_link(128, 150, 74)]
    g.append('<path d="M162,64 L196,52 L230,64 V100 L196,112 L162,100 Z" fill="#FFFFFF" fill-opacity="0.92"/>\n')
    g.append(f'<path d="M162,64 L196,76 L230,64 M196,76 V112" fill="none" stroke="{BLUE_HAZE}" stroke-width="3"/>\n')
    g.append(f'<path d="M162,64 L150,52 L184,40 L196,52" fill="#FFFFFF" fill-opacity="0.75"/>\n')
    g.append(badge(228, 46, 10))
    return "".join(g)


FAILURES = {
    "network": failure_network,
    "service": failure_service,
    "folder": failure_folder,
    "disk": failure_disk,
    "download": failure_download,
    "package": failure_package,
}


def logo_failure(kind):
    """The failure page's picture: the printer with its warning, and what stood in the way."""
    w, h = 241, 130
    defs = (
        '<radialGradient id="halo" cx="0.5" cy="0.5" r="0.5">'
        '<stop offset="0" stop-color="#FFFFFF" stop-opacity="0.18"/>'
        '<stop offset="1" stop-color="#FFFFFF" stop-opacity="0"/></radialGradient>\n'
    )
    b = []
    # the printer sits over the retry button (left part of the picture) ...
    b.append('<ellipse cx="72" cy="68" rx="74" ry="64" fill="url(#halo)"/>\n')
    b.append('<ellipse cx="118" cy="121" rx="106" ry="6" fill="#0B3FB8" fill-opacity="0.18"/>\n')
    b.append(printer(22, 16, 100, "#FFFFFF", INK, BLUE_HAZE, drop=None, light=CORAL, lines=BLUE_LINE))
    # a warning mark on its sheet
    b.append(f'<circle cx="72" cy="96" r="9" fill="{CORAL}"/>\n')
    b.append(
        '<path d="M72,91 V97" stroke="#FFFFFF" stroke-width="2.4" stroke-linecap="round"/>\n'
        '<circle cx="72" cy="100.6" r="1.4" fill="#FFFFFF"/>\n'
    )
    # ... and, on the right, what it could not get past
    b.append(FAILURES[kind]())
    b.append(f'<path d="{sparkle_path(222, 28, 5)}" fill="{GOLD}" fill-opacity="0.8"/>\n' if kind == "network" else "")
    b.append(f'<path d="{sparkle_path(14, 30, 4)}" fill="{GOLD}" fill-opacity="0.7"/>\n')
    if kind == "network":
        b.append('<circle cx="200" cy="100" r="2.5" fill="#FFFFFF" fill-opacity="0.55"/>\n')
    return svg(w, h, "".join(b), defs)


def icon(size):
    defs = (
        '<linearGradient id="tile" x1="0" y1="0" x2="0.4" y2="1">'
        f'<stop offset="0" stop-color="{BLUE_SKY}"/>'
        f'<stop offset="1" stop-color="{BLUE_DEEP}"/></linearGradient>\n'
    )
    s = size / 256
    b = [f'<g transform="scale({s:.5f})">\n']
    b.append('<rect x="12" y="12" width="232" height="232" rx="56" fill="url(#tile)"/>\n')
    b.append(
        '<path d="M12,120 C80,96 150,150 244,112 V188 Q244,244 188,244 H68 Q12,244 12,188 Z" '
        'fill="#FFFFFF" fill-opacity="0.07"/>\n'
    )
    b.append(printer(38, 36, 180, "#FFFFFF", INK, BLUE_HAZE, drop=BLUE, light=GOLD, lines=BLUE_LINE))
    b.append(f'<path d="{sparkle_path(196, 56, 20)}" fill="{GOLD}"/>\n')
    b.append("</g>\n")
    return svg(size, size, "".join(b), defs)


# ---------------------------------------------------------------------------------------------


def worded_images(language):
    """The images with words painted in, for one language."""
    words = WORDS[language]
    folder = "png/" if language == SOURCE_LANGUAGE else f"png/{language}/"
    out = [(f"{folder}bg.png", bg(words)), (f"{folder}config_logo.png", config_logo(words))]
    for state in ("normal", "hover", "push", "disable"):
        style = words["label"]
        out.append((f"{folder}install_{state}.png", button(state, words["install"], None, style)))
        out.append(
            (f"{folder}btn_retry_{state}.png", button(state, words["retry"], retry_icon, style))
        )
    return out


def images():
    """(file name relative to skin/, svg text) for every image."""
    out = []
    for language in WORDS:
        out.extend(worded_images(language))
    for state in ("normal", "enter", "push", "disable"):
        out.append((f"png/close_{state}.png", close_button(state)))
    for state, name in (("normal", "normal"), ("hover", "enter"), ("push", "push")):
        out.append((f"png/install_{name}_bg.png", button(state)))
    for colour in ("white", "blue"):
        for index in range(4):
            out.append((f"png/check_{colour}_{index}.png", check(colour, index)))
    for kind in ("expand", "fold", "vector"):
        out.append((f"png/item_{kind}.png", chevron(kind)))
    out.append(("png/logo_installing.png", logo_installing()))
    # the network's picture keeps the name the skin has always shown
    out.append(("png/logo_retry.png", logo_failure("network")))
    for kind in FAILURES:
        if kind != "network":
            out.append((f"png/logo_fail_{kind}.png", logo_failure(kind)))
    for kind in ("bkg", "value", "error"):
        out.append((f"png/progress_{kind}.png", progress(kind)))
    out.append(("png/edit_border.png", edit_border()))
    out.append(("icon.png", icon(256)))
    out.append(("icon-48.png", icon(48)))
    return out


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "svg")
    os.makedirs(target, exist_ok=True)
    for name, content in images():
        base = name.replace("png/", "", 1).replace(".png", ".svg")
        os.makedirs(os.path.dirname(os.path.join(target, base)), exist_ok=True)
        with open(os.path.join(target, base), "w", encoding="utf-8") as f:
            f.write(content)
        print(base, name)


if __name__ == "__main__":
    main()
