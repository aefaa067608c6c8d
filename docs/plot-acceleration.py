#!/usr/bin/env python3
"""Draws the driver's acceleration curve as an SVG from the numbers that
driver_accel_curve prints (read on standard input). Plain Python, no plotting
library:

    build/bin/driver_accel_curve | python3 docs/plot-acceleration.py > docs/driver-acceleration.svg
"""
import sys

W, H = 640, 400
LEFT, RIGHT, TOP, BOTTOM = 60, 130, 20, 50
COLOURS = ["#1b9e77", "#d95f02", "#7570b3", "#e7298a", "#66a61e"]


def main():
    lines = [line.split() for line in sys.stdin if line.strip()]
    if len(lines) < 2:
        sys.exit("plot-acceleration: no curve on standard input")
    amounts = lines[0][1:]
    rows = [[float(v) for v in line] for line in lines[1:]]
    max_speed = rows[-1][0]
    max_gain = max(max(r[1:]) for r in rows)
    top_gain = int(max_gain) + 1

    def x(speed):
        return LEFT + (W - LEFT - RIGHT) * speed / max_speed

    def y(gain):
        return H - BOTTOM - (H - TOP - BOTTOM) * gain / top_gain

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" '
           f'font-family="sans-serif" font-size="12">',
           f'<rect width="{W}" height="{H}" fill="white"/>']
    for g in range(0, top_gain + 1):
        out.append(f'<line x1="{LEFT}" y1="{y(g):.1f}" x2="{W - RIGHT}" y2="{y(g):.1f}" '
                   f'stroke="#ddd"/>')
        out.append(f'<text x="{LEFT - 8}" y="{y(g) + 4:.1f}" text-anchor="end">{g}</text>')
    step = 10
    for s in range(0, int(max_speed) + 1, step):
        out.append(f'<line x1="{x(s):.1f}" y1="{TOP}" x2="{x(s):.1f}" y2="{H - BOTTOM}" '
                   f'stroke="#eee"/>')
        out.append(f'<text x="{x(s):.1f}" y="{H - BOTTOM + 16}" text-anchor="middle">{s}</text>')
    out.append(f'<text x="{(LEFT + W - RIGHT) / 2}" y="{H - 10}" text-anchor="middle">'
               'speed (counts per frame)</text>')
    out.append(f'<text x="16" y="{(TOP + H - BOTTOM) / 2}" text-anchor="middle" '
               f'transform="rotate(-90 16 {(TOP + H - BOTTOM) / 2})">gain</text>')
    for i, amount in enumerate(amounts):
        colour = COLOURS[i % len(COLOURS)]
        points = " ".join(f"{x(r[0]):.1f},{y(r[i + 1]):.2f}" for r in rows)
        out.append(f'<polyline points="{points}" fill="none" stroke="{colour}" '
                   'stroke-width="2"/>')
        ly = TOP + 20 + 20 * i
        out.append(f'<line x1="{W - RIGHT + 12}" y1="{ly}" x2="{W - RIGHT + 36}" y2="{ly}" '
                   f'stroke="{colour}" stroke-width="2"/>')
        out.append(f'<text x="{W - RIGHT + 42}" y="{ly + 4}">amount {amount}</text>')
    out.append("</svg>")
    print("\n".join(out))


if __name__ == "__main__":
    main()
