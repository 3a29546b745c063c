#!/usr/bin/env python3
"""Draws the device image strip: res/images/strip.png and strip@2x.png.

Usage (from the source tree's top folder):

    python3 tools/gen_strip.py [--out res/images]

The strip holds 48 pictures of 16 x 15 pixels side by side (768 x 15); the
2x strip holds the same pictures drawn at 32 x 30 for high-density screens.
Every pixel the pictures leave free is RGB(0,128,128), the colour the
program makes transparent. Pictures 41 to 47 are empty.

The pictures are drawn here from simple shapes (rectangles, ellipses,
polygons, strokes), point-sampled at each scale so that both strips stay
crisp; no outside artwork is used. Shapes are given in the coordinates of
the 16 x 15 picture. The output is plain RGB PNG written with zlib only,
so the tool needs nothing beyond Python's standard library, and running it
again gives the same bytes.
"""

import argparse
import math
import os
import struct
import zlib

W, H = 16, 15
COUNT = 48
KEY = (0, 128, 128)

# Colours, mostly the classic 16-colour palette with a few light shades.
BLACK = (0, 0, 0)
DARK = (64, 64, 64)
GREY = (128, 128, 128)
SILVER = (192, 192, 192)
LIGHT = (224, 224, 224)
WHITE = (255, 255, 255)
RED = (204, 0, 0)
DKRED = (128, 0, 0)
GREEN = (0, 168, 0)
DKGREEN = (0, 100, 0)
LTGREEN = (96, 224, 96)
BLUE = (0, 64, 200)
DKBLUE = (0, 0, 128)
LTBLUE = (96, 160, 255)
SKY = (170, 210, 255)
YELLOW = (255, 216, 0)
DKYELLOW = (176, 136, 0)
ORANGE = (240, 140, 0)
CYAN = (0, 200, 220)
MAGENTA = (200, 0, 160)
BROWN = (150, 90, 30)
SCREEN = (40, 90, 170)


# ---------------------------------------------------------------- shapes
# A shape is a function (x, y) -> bool over picture coordinates.

def rect(x0, y0, x1, y1):
  return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def ellipse(cx, cy, rx, ry):
  return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def ring(cx, cy, r0, r1):
  return lambda x, y: r0 ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 ** 2


def poly(*pts):
  def inside(x, y):
    hit = False
    n = len(pts)
    for i in range(n):
      (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
      if (ya > y) != (yb > y):
        xc = xa + (y - ya) * (xb - xa) / (yb - ya)
        if x < xc:
          hit = not hit
    return hit
  return inside


def seg(x0, y0, x1, y1, width=1.0):
  dx, dy = x1 - x0, y1 - y0
  length2 = dx * dx + dy * dy or 1e-9
  half = width / 2.0

  def inside(x, y):
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
    px, py = x0 + t * dx - x, y0 + t * dy - y
    return px * px + py * py <= half * half + 1e-6
  return inside


def arc(cx, cy, r, a0, a1, width=1.0):
  """Part of a circle between angles a0 and a1 (degrees, 0 = right, counter-clockwise)."""
  half = width / 2.0

  def inside(x, y):
    d = math.hypot(x - cx, y - cy)
    if abs(d - r) > half:
      return False
    a = math.degrees(math.atan2(cy - y, x - cx)) % 360
    lo, hi = a0 % 360, a1 % 360
    return lo <= a <= hi if lo <= hi else (a >= lo or a <= hi)
  return inside


def union(*shapes):
  return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
  return lambda x, y: a(x, y) and not b(x, y)


# ---------------------------------------------------------------- canvas

class Picture:
  def __init__(self, scale):
    self.s = scale
    self.w, self.h = W * scale, H * scale
    self.px = [[KEY] * self.w for _ in range(self.h)]

  def mask(self, shape, dx=0.0, dy=0.0):
    s = self.s
    return [[shape((i + 0.5) / s - dx, (j + 0.5) / s - dy) for i in range(self.w)]
            for j in range(self.h)]

  def fill(self, shape, color, outline=None, dx=0.0, dy=0.0):
    """Paints a shape; with an outline colour its edge pixels (one device
    pixel wide at every scale) take that colour."""
    m = self.mask(shape, dx, dy)
    for j in range(self.h):
      for i in range(self.w):
        if not m[j][i]:
          continue
        edge = False
        if outline is not None:
          for a, b in ((i - 1, j), (i + 1, j), (i, j - 1), (i, j + 1)):
            if not (0 <= a < self.w and 0 <= b < self.h) or not m[b][a]:
              edge = True
              break
        self.px[j][i] = outline if edge else color

  def stroke(self, shape, color, dx=0.0, dy=0.0):
    self.fill(shape, color, None, dx, dy)


# ---------------------------------------------------------------- pieces

def small_computer(p, dx, dy, screen=SCREEN):
  """A monitor 8 wide on a foot, top-left at (dx, dy), about 8 x 8."""
  p.fill(rect(0, 0, 8, 5.9), SILVER, BLACK, dx, dy)
  p.fill(rect(1.3, 1.3, 6.7, 4.6), screen, None, dx, dy)
  p.fill(rect(3, 6, 5.9, 6.9), GREY, None, dx, dy)
  p.fill(rect(1, 7, 7.9, 8), SILVER, BLACK, dx, dy)


def arrow_right(p, x0, x1, y, color, outline=None, head=3.0, shaft=2.0):
  body = union(rect(x0, y - shaft / 2, x1 - head, y + shaft / 2),
               poly((x1 - head, y - head), (x1, y), (x1 - head, y + head)))
  p.fill(body, color, outline)


def arrow_left(p, x0, x1, y, color, outline=None, head=3.0, shaft=2.0):
  body = union(rect(x0 + head, y - shaft / 2, x1, y + shaft / 2),
               poly((x0 + head, y - head), (x0, y), (x0 + head, y + head)))
  p.fill(body, color, outline)


def arrow_down(p, x, y0, y1, color, outline=None, head=3.0, shaft=2.0):
  body = union(rect(x - shaft / 2, y0, x + shaft / 2, y1 - head),
               poly((x - head, y1 - head), (x, y1), (x + head, y1 - head)))
  p.fill(body, color, outline)


def arrow_up(p, x, y0, y1, color, outline=None, head=3.0, shaft=2.0):
  body = union(rect(x - shaft / 2, y0 + head, x + shaft / 2, y1),
               poly((x - head, y0 + head), (x, y0), (x + head, y0 + head)))
  p.fill(body, color, outline)


def disc(p, color, outline):
  p.fill(ellipse(8, 7.5, 7, 7), color, outline)


# ---------------------------------------------------------------- pictures

def computer_waves(p):  # 0
  small_computer(p, 0.5, 5.5)
  for r in (3.0, 5.2):
    p.stroke(arc(10, 5.5, r, 0, 90, 1.3), BLUE)
  p.fill(ellipse(10.5, 5, 1, 1), BLUE)


def tick(p):  # 1
  p.fill(poly((1, 8), (4, 5), (6.5, 7.5), (13, 1), (15, 4), (6.5, 13)), GREEN, DKGREEN)


def green_arrow(p):  # 2
  arrow_right(p, 1, 15, 7.5, GREEN, DKGREEN, head=6.5, shaft=6)


def linked_computers(p):  # 3
  small_computer(p, 0, 0)
  small_computer(p, 7.5, 6)
  p.stroke(seg(2.5, 10, 2.5, 13.5), DKBLUE)
  p.stroke(seg(2.5, 13.5, 6.5, 13.5), DKBLUE)
  p.fill(poly((5.5, 11.5), (7.5, 13.5), (5.5, 15)), DKBLUE)
  p.stroke(seg(13.5, 4.5, 13.5, 1.5), DKBLUE)
  p.stroke(seg(13.5, 1.5, 9.5, 1.5), DKBLUE)
  p.fill(poly((10.5, 0), (8.5, 1.5), (10.5, 3.5)), DKBLUE)


def box_arrow(p):  # 4
  p.fill(poly((1, 7), (8, 5), (15, 7), (15, 14), (8, 15), (1, 14)), (210, 170, 110), BROWN)
  p.stroke(seg(8, 7.5, 8, 14.5), BROWN)
  p.stroke(seg(1.5, 7.3, 8, 8.5, 0.8), BROWN)
  p.stroke(seg(8, 8.5, 14.5, 7.3, 0.8), BROWN)
  arrow_down(p, 8, 0, 8, RED, DKRED, head=3.5, shaft=3)


def key(p):  # 5
  p.fill(ring(4.5, 7.5, 1.3, 4), YELLOW, DKYELLOW)
  p.fill(rect(8, 6.2, 15, 9), YELLOW, DKYELLOW)
  p.fill(rect(11, 8.5, 12.6, 12), YELLOW, DKYELLOW)
  p.fill(rect(13.4, 8.5, 15, 11), YELLOW, DKYELLOW)


def question(p):  # 6
  shape = union(arc(8, 5, 3.6, -45, 180, 2.6),
                seg(10.4, 7.6, 8, 9.5, 2.6),
                rect(6.7, 9, 9.3, 10.8),
                ellipse(8, 13.2, 1.5, 1.5))
  p.fill(shape, YELLOW, DKYELLOW)


def phone(p):  # 7
  p.fill(rect(4, 0, 12, 15), DARK, BLACK)
  p.fill(rect(5.2, 1.5, 10.8, 6.5), LTGREEN)
  for row in range(3):
    for col in range(3):
      p.fill(rect(5.1 + col * 2, 8.1 + row * 2, 6.1 + col * 2, 8.9 + row * 2), SILVER)


def networked(p):  # 8
  small_computer(p, 0, 0, LTBLUE)
  small_computer(p, 8, 0, LTBLUE)
  p.stroke(seg(4, 9, 4, 12.5), BLACK)
  p.stroke(seg(12, 9, 12, 12.5), BLACK)
  p.stroke(seg(1, 12.5, 15, 12.5), BLACK)
  p.fill(rect(6.5, 11, 9.5, 14.5), GREEN, DKGREEN)


def office(p):  # 9
  p.fill(rect(1, 5, 15, 13), SILVER, DARK)
  p.fill(rect(3, 1, 13, 5.5), LIGHT, DARK)
  p.fill(rect(2.5, 13, 4.5, 15), GREY)
  p.fill(rect(11.5, 13, 13.5, 15), GREY)
  p.fill(rect(3, 7.5, 9, 9.5), GREY)
  p.fill(rect(11, 7, 13, 9), GREEN)


def printer(p):  # 10
  p.fill(rect(4, 0, 12, 5), WHITE, GREY)
  p.fill(rect(0.5, 5, 15.5, 11.5), SILVER, DARK)
  p.fill(rect(3, 10, 13, 15), WHITE, GREY)
  p.stroke(seg(5, 12.5, 11, 12.5), GREY)
  p.fill(rect(12.5, 6.5, 14, 8), GREEN)


def handheld(p):  # 11
  p.fill(rect(2, 0, 14, 15), (70, 70, 90), BLACK)
  p.fill(rect(3.5, 1.5, 12.5, 9), SKY)
  p.fill(rect(3.5, 1.5, 12.5, 4), (255, 120, 120))
  p.fill(rect(3.5, 4, 8, 9), (120, 220, 120))
  p.fill(rect(8, 4, 12.5, 9), (250, 230, 90))
  p.fill(ellipse(8, 12, 1.8, 1.6), SILVER)
  p.fill(ellipse(4.5, 12, 1, 1), LTBLUE)
  p.fill(ellipse(11.5, 12, 1, 1), LTBLUE)


def loudspeaker(p):  # 12
  p.fill(poly((1, 5), (4, 5), (8, 1), (8, 14), (4, 10), (1, 10)), GREY, BLACK)
  for r in (3.5, 6.0):
    p.stroke(arc(8, 7.5, r, -50, 50, 1.4), BLUE)


def monitor(p):  # 13
  p.fill(rect(0.5, 0.5, 15.5, 11), SILVER, BLACK)
  p.fill(rect(2, 2, 14, 9.5), SCREEN)
  p.fill(rect(2, 2, 14, 3.5), LTBLUE)
  p.fill(rect(6, 11, 10, 12.5), GREY)
  p.fill(rect(3, 12.5, 13, 14.5), SILVER, BLACK)


def mouse(p):  # 14
  p.fill(ellipse(9, 9, 5, 5.8), LIGHT, BLACK)
  p.stroke(seg(9, 3.5, 9, 8.5), BLACK)
  p.stroke(seg(4, 8.5, 14, 8.5), BLACK)
  p.stroke(seg(9, 3.5, 6, 0.5), DARK)
  p.stroke(seg(6, 0.5, 2, 1.5), DARK)


def keyboard(p):  # 15
  p.fill(rect(0.5, 4, 15.5, 12.5), SILVER, BLACK)
  for row in range(3):
    for col in range(6):
      x = 2.1 + col * 2 + (1 if row == 1 else 0)
      p.fill(rect(x, 5.1 + row * 2, x + 1, 6 + row * 2), WHITE)
  p.fill(rect(4, 11, 12, 11.6), WHITE)


def headphones(p):  # 16
  p.stroke(arc(8, 8, 6, 0, 180, 1.6), DARK)
  p.fill(rect(1, 8, 4.5, 14), BLUE, DKBLUE)
  p.fill(rect(11.5, 8, 15, 14), BLUE, DKBLUE)


def pen(p):  # 17
  p.fill(poly((12, 0), (15, 3), (5, 13), (2, 10)), BLUE, DKBLUE)
  p.fill(poly((2, 10), (5, 13), (0.5, 14.5)), (240, 210, 160), BLACK)
  p.fill(poly((12, 0), (15, 3), (13.5, 4.5), (10.5, 1.5)), SILVER, BLACK)


def round_speaker(p):  # 18
  p.fill(ellipse(8, 7.5, 7, 7), DARK, BLACK)
  p.fill(ellipse(8, 7.5, 4.5, 4.5), GREY, BLACK)
  p.fill(ellipse(8, 7.5, 1.8, 1.8), SILVER, BLACK)


def tower(p):  # 19
  p.fill(rect(4, 0, 12, 15), SILVER, BLACK)
  p.fill(rect(5.5, 2, 10.5, 3.5), GREY)
  p.fill(rect(5.5, 5, 10.5, 6.5), GREY)
  p.fill(ellipse(8, 10.5, 1.2, 1.2), GREEN)
  p.stroke(seg(5.5, 13, 10.5, 13), GREY)


def circuit(p):  # 20
  p.fill(rect(0.5, 1.5, 15.5, 13.5), GREEN, DKGREEN)
  p.fill(rect(4, 4, 11, 10.5), BLACK)
  for x in (4.5, 6.5, 8.5, 10.5):
    p.fill(rect(x - 0.4, 2.5, x + 0.4, 4), YELLOW)
    p.fill(rect(x - 0.4, 10.5, x + 0.4, 12.2), YELLOW)
  p.fill(rect(12.5, 5, 14.5, 7), YELLOW)
  p.fill(rect(1.5, 8, 3, 9.5), SILVER)


def splitter(p):  # 21
  p.stroke(seg(1, 7.5, 6, 7.5, 2.2), DARK)
  p.fill(rect(5, 5, 9, 10), GREY, BLACK)
  p.stroke(seg(9, 6.5, 14, 2.5, 1.6), BLUE)
  p.stroke(seg(9, 7.5, 14.5, 7.5, 1.6), RED)
  p.stroke(seg(9, 8.5, 14, 12.5, 1.6), GREEN)


def camera(p):  # 22
  p.fill(rect(0.5, 4, 15.5, 13.5), DARK, BLACK)
  p.fill(rect(4, 1.5, 9, 4.5), DARK, BLACK)
  p.fill(ellipse(8, 8.8, 3.6, 3.6), SILVER, BLACK)
  p.fill(ellipse(8, 8.8, 2, 2), DKBLUE)
  p.fill(rect(12, 5.5, 14, 6.8), YELLOW)


def cylinder(p):  # 23
  p.fill(union(rect(3, 3, 13, 12), ellipse(8, 12, 5, 2.5)), BLUE, DKBLUE)
  p.fill(ellipse(8, 3, 5, 2.5), LTBLUE, DKBLUE)
  p.stroke(seg(5, 5.5, 5, 11.5), LTBLUE)


def computer_arrows(p):  # 24
  small_computer(p, 4, 0)
  arrow_left(p, 0.5, 8, 12, BLUE, None, head=2.6, shaft=1.4)
  arrow_right(p, 8, 15.5, 12, GREEN, None, head=2.6, shaft=1.4)


def slim_device(p):  # 25
  p.fill(rect(5, 0.5, 11, 14.5), BLUE, DKBLUE)
  p.fill(rect(6.3, 2, 9.7, 6), SKY)
  p.fill(ellipse(8, 10, 1.3, 1.3), LTBLUE)


def skull(p):  # 26
  p.fill(union(ellipse(8, 6.5, 6.5, 6), rect(4.5, 9, 11.5, 14)), WHITE, BLACK)
  p.fill(ellipse(5.5, 6.5, 1.6, 1.8), BLACK)
  p.fill(ellipse(10.5, 6.5, 1.6, 1.8), BLACK)
  p.fill(poly((8, 8.5), (7, 10.5), (9, 10.5)), BLACK)
  for x in (6, 8, 10):
    p.stroke(seg(x, 12, x, 14), BLACK)


def globe(p):  # 27
  p.fill(ellipse(7, 8, 6.5, 6.5), LTBLUE, DKBLUE)
  p.fill(poly((3, 4), (7, 3), (8, 6), (6, 8), (7, 11), (4, 12), (2.5, 8)), GREEN)
  p.fill(poly((9.5, 9), (12, 8.5), (12.5, 11), (10, 13)), GREEN)
  arrow_right(p, 8, 16, 3, LTGREEN, DKGREEN, head=3, shaft=2)


def red_down(p):  # 28
  disc(p, RED, DKRED)
  arrow_down(p, 8, 3, 12.5, WHITE, None, head=3.5, shaft=2)


def green_up(p):  # 29
  disc(p, GREEN, DKGREEN)
  arrow_up(p, 8, 2.5, 12, WHITE, None, head=3.5, shaft=2)


def yellow_updown(p):  # 30
  disc(p, YELLOW, DKYELLOW)
  p.fill(union(poly((5, 5.5), (8, 2), (11, 5.5)), rect(7, 5, 9, 10),
               poly((5, 9.5), (8, 13), (11, 9.5))), BLACK)


def no_entry(p):  # 31
  disc(p, RED, DKRED)
  p.fill(rect(3, 6, 13, 9), WHITE)


def info(p):  # 32
  disc(p, YELLOW, DKYELLOW)
  p.fill(ellipse(8, 4, 1.4, 1.4), DKBLUE)
  p.fill(union(rect(7, 6.5, 9, 12), rect(6, 6.5, 9, 7.6), rect(6, 11, 10, 12.2)), DKBLUE)


def red_triangle(p):  # 33
  p.fill(poly((1.5, 3), (14.5, 3), (8, 12.5)), RED, DKRED)


def blue_triangle(p):  # 34
  p.fill(poly((4, 1.5), (13.5, 7.5), (4, 13.5)), BLUE, DKBLUE)


def two_way(p):  # 35
  arrow_right(p, 4, 15.5, 4.5, LTBLUE, DKBLUE, head=4, shaft=2.6)
  arrow_left(p, 0.5, 12, 10.5, LTBLUE, DKBLUE, head=4, shaft=2.6)


def red_dot(p):  # 36
  p.fill(ellipse(8, 7.5, 4.5, 4.5), RED, DKRED)
  p.fill(ellipse(6.8, 6.3, 1.2, 1.2), (255, 140, 140))


def green_dot(p):  # 37
  p.fill(ellipse(8, 7.5, 4.5, 4.5), GREEN, DKGREEN)
  p.fill(ellipse(6.8, 6.3, 1.2, 1.2), (160, 255, 160))


def red_cross(p):  # 38
  p.fill(union(seg(3, 2.5, 13, 12.5, 3), seg(13, 2.5, 3, 12.5, 3)), RED, DKRED)


def joystick(p):  # 39
  p.fill(poly((1, 11), (15, 11), (14, 14.5), (2, 14.5)), DARK, BLACK)
  p.stroke(seg(8, 11, 10, 4, 1.6), GREY)
  p.fill(ellipse(10.3, 3, 2.4, 2.4), RED, DKRED)
  p.fill(ellipse(4, 11.5, 1.3, 0.8), RED)


def bar_chart(p):  # 40
  p.stroke(seg(1.5, 1, 1.5, 14), BLACK)
  p.stroke(seg(1.5, 14, 15, 14), BLACK)
  p.fill(rect(3, 8, 5.5, 13.6), RED, DKRED)
  p.fill(rect(6.5, 4, 9, 13.6), BLUE, DKBLUE)
  p.fill(rect(10, 6, 12.5, 13.6), GREEN, DKGREEN)


PICTURES = [
    computer_waves, tick, green_arrow, linked_computers, box_arrow, key, question,
    phone, networked, office, printer, handheld, loudspeaker, monitor, mouse, keyboard,
    headphones, pen, round_speaker, tower, circuit, splitter, camera, cylinder,
    computer_arrows, slim_device, skull, globe, red_down, green_up, yellow_updown,
    no_entry, info, red_triangle, blue_triangle, two_way, red_dot, green_dot, red_cross,
    joystick, bar_chart,
]
assert len(PICTURES) == 41


# ---------------------------------------------------------------- output

def render_strip(scale):
  rows = [[] for _ in range(H * scale)]
  for index in range(COUNT):
    p = Picture(scale)
    if index < len(PICTURES):
      PICTURES[index](p)
    for j in range(p.h):
      rows[j].extend(p.px[j])
  return rows


def write_png(path, rows):
  height, width = len(rows), len(rows[0])
  raw = bytearray()
  for row in rows:
    raw.append(0)
    for r, g, b in row:
      raw += bytes((r, g, b))

  def chunk(tag, data):
    body = tag + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

  png = b"\x89PNG\r\n\x1a\n"
  png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
  png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
  png += chunk(b"IEND", b"")
  with open(path, "wb") as f:
    f.write(png)


def main():
  parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
  parser.add_argument("--out", default=os.path.join("res", "images"))
  args = parser.parse_args()
  os.makedirs(args.out, exist_ok=True)
  write_png(os.path.join(args.out, "strip.png"), render_strip(1))
  write_png(os.path.join(args.out, "strip@2x.png"), render_strip(2))


if __name__ == "__main__":
  main()
