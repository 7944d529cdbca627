#!/usr/bin/python3
"""Draws the program's icon: the four-channel quad view behind a camera lens, on
the dark panel of the program's skin. Writes telvane4-<size>.png for each size.
The PNGs are committed beside this script; run it only to change the artwork:
    /usr/bin/python3 packaging/make-icon.py packaging
"""
import sys
from PIL import Image, ImageDraw

SIZES = (48, 256)
WORK = 1024  # drawn large, then scaled down smoothly

def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))

def draw(n):
    s = n / 256.0
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    # Panel: rounded square with a top-to-bottom slate gradient.
    mask = Image.new("L", (n, n), 0)
    ImageDraw.Draw(mask).rounded_rectangle([8 * s, 8 * s, 248 * s, 248 * s], radius=36 * s, fill=255)
    grad = Image.new("RGBA", (n, n))
    gd = ImageDraw.Draw(grad)
    for y in range(n):
        gd.line([(0, y), (n, y)], fill=lerp((0x3a, 0x40, 0x48), (0x15, 0x18, 0x1c), y / n) + (255,))
    img.paste(grad, (0, 0), mask)
    d.rounded_rectangle([8 * s, 8 * s, 248 * s, 248 * s], radius=36 * s, outline=(0x0b, 0x0d, 0x10, 255),
                        width=max(1, round(4 * s)))
    # The quad: white frame, four channel tiles in the simulator's channel colours.
    d.rectangle([34 * s, 34 * s, 222 * s, 222 * s], fill=(255, 255, 255, 255))
    for (x, y), colour in zip(((38, 38), (130, 38), (38, 130), (130, 130)),
                              ((0xc8, 0x32, 0x2c), (0x2f, 0xa8, 0x4a), (0x2f, 0x4f, 0xc8), (0xc8, 0xb6, 0x2c))):
        d.rectangle([x * s, y * s, (x + 88) * s - 1, (y + 88) * s - 1], fill=colour + (255,))
    # The lens: dark ring, blue glass with a radial fall-off, a highlight.
    c = 128 * s
    d.ellipse([c - 50 * s, c - 50 * s, c + 50 * s, c + 50 * s], fill=(0x1c, 0x20, 0x26, 255),
              outline=(0xd8, 0xdd, 0xe4, 255), width=max(1, round(6 * s)))
    for i in range(64, 0, -1):
        r = 36 * s * i / 64
        t = i / 64
        colour = lerp((0x9f, 0xd4, 0xff), (0x2f, 0x7f, 0xd0), min(1, t / 0.45)) if t < 0.45 else \
            lerp((0x2f, 0x7f, 0xd0), (0x0a, 0x1a, 0x33), (t - 0.45) / 0.55)
        d.ellipse([c - r, c - r, c + r, c + r], fill=colour + (255,))
    d.ellipse([116 * s - 9 * s, 114 * s - 9 * s, 116 * s + 9 * s, 114 * s + 9 * s], fill=(255, 255, 255, 190))
    return img

def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    big = draw(WORK)
    for n in SIZES:
        big.resize((n, n), Image.LANCZOS).save(f"{out}/telvane4-{n}.png", optimize=True)

if __name__ == "__main__":
    main()
