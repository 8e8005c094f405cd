"""Driver of bench/paint/run.sh: runs PaintBench.exe and DialogPaintBench.exe
under Wine (headless: Wine's null display driver), prints what they print and
turns their medians into the result file.
    measure.py [--json FILE]"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import benchlib  # noqa: E402

PAINTS = int(os.environ.get("PAINT_BENCH_RUNS", "200"))
FOLDER = os.path.join(benchlib.BUILD, "bench", "paint")


def run(program):
    path = os.path.join(FOLDER, program)
    if not os.path.exists(path):
        sys.exit("missing %s: run make build first" % path)
    _, out = benchlib.timed([benchlib.WINE_RUN, path, str(PAINTS)], timeout=300)
    print(out, end="")
    return {m.group(1): float(m.group(2))
            for m in re.finditer(r"^([a-z ]+):\s+([0-9.]+) ms", out, re.M)}


def main():
    before = benchlib.machine()
    with benchlib.WineSession():
        skin = run("PaintBench.exe")
        dialog = run("DialogPaintBench.exe")
    fill = "white fill of a 300 x 320 memory bitmap and its one BitBlt"
    plain = "full repaint of the same template as a plain dialog"
    figures = [
        benchlib.figure("skinned background paint (skin test dialog)", skin["full paint"],
                        skin["baseline"], fill, key="skin"),
        benchlib.figure("decoding the paint's pictures, which no paint does any more",
                        skin["decoding"], skin["full paint"], "the background paint above"),
        benchlib.figure("update dialog, background paint", dialog["background"], dialog["fill"],
                        fill, key="dialog"),
        benchlib.figure("update dialog, full repaint of window and controls",
                        dialog["full paint"], dialog["plain"], plain),
    ]
    benchlib.write_result(
        benchlib.json_argument(sys.argv), "paint", "One dialog background paint",
        "Inside one Windows process under Wine with its null display driver (no X server): "
        "PaintBench.exe sends WM_ERASEBKGND into a memory DC to a 300 x 320 skinned test dialog "
        "with the update window's items (frame, title strip, emblem, title and offer texts, the "
        "snapshots behind five buttons); DialogPaintBench.exe does the same to the real update "
        "dialog (optional mode, a 12-line change log, the built-in skin) and also repaints that "
        "whole window with all its controls (RedrawWindow, RDW_UPDATENOW | RDW_ALLCHILDREN). "
        "Baselines from the same process: the fill and blit any flicker-free paint does, and "
        "the same full repaint of the dialog template as a plain Win32 dialog. Each piece "
        "takes turns with the others, %d times after 5 untimed turns; medians." % PAINTS,
        "Wine's GDI and GDI+ draw in software, and the null driver has no screen to copy to, so "
        "the figures are CPU time of the drawing code and say nothing about a real display's "
        "compositing. A window decodes its PNG pictures at its first paint and keeps them (and "
        "their copies for stretching) while it lives, it draws its skin items once and keeps "
        "the result until an item or its size changes, and its buttons and status line copy "
        "the background under them only when it is drawn anew or they have moved; the decoding "
        "figure is what each paint would cost on top without the kept pictures.",
        PAINTS, before, figures)


if __name__ == "__main__":
    main()
