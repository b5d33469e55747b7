#!/usr/bin/env python3
"""One slice of 2048 x 2048 (Zuvo2: 2044 x 2044) from 360 projections of 2048 detectors, on one core:
Zuvo2 against CTSim's fastest pure-ramp back-projector (pjrec --backproj idiff)
and UFO on PoCL (ufo-launch ... backproject), side by side in one run.

Every program runs pinned to one core (taskset) and is timed by its processor
time (user + system, from the kernel's account of the finished process), the
median of --runs rounds; within a round the programs take turns, so other work
on the machine falls on all of them alike.  Two figures per program:

  whole      one slice as one run: start, reading, filter, back-projection,
             writing the image (Zuvo2 also its run report with the file's
             SHA-256);
  per slice  what a further slice adds: (T(K slices) - T(1 slice)) / (K - 1)
             for Zuvo2 (K slices of one series) and UFO (K sinograms of one
             run); CTSim reconstructs one sinogram per run, so its figure is
             T(2048 x 2048) - T(16 x 16) of the same sinogram, which leaves out
             its start, reading and filtering as well (only to CTSim's
             advantage).

Usage: bench/side_by_side.py [--build build] [--core 1] [--runs 3] [--slices 8]
       [--dir /dev/shm] [--no-ctsim] [--no-ufo]
ZUVO2_ISA=avx2 in the environment holds Zuvo2 to AVX2 (UFO and CTSim do not
read it).  Needs Debian's ctsim, libufo-bin, ufo-filters and pocl-opencl-icd.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

WIDTH = 2048
NPROJ = 360


def timed(cmd, env=None):
    """(processor seconds, wall seconds) of cmd run to its end; exits on failure."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit("side_by_side: %s failed (%d): %s" % (" ".join(cmd), proc.returncode, err.strip()[-500:]))
    return usage.ru_utime + usage.ru_stime, wall


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default="build", help="Zuvo2's build directory (default build)")
    ap.add_argument("--core", type=int, default=1, help="the core every program is pinned to (default 1)")
    ap.add_argument("--runs", type=int, default=3, help="rounds; medians are printed (default 3)")
    ap.add_argument("--slices", type=int, default=8, help="K of the per-slice figures (default 8)")
    ap.add_argument("--dir", default=tempfile.gettempdir(), help="where the temporary files go")
    ap.add_argument("--no-ctsim", action="store_true")
    ap.add_argument("--no-ufo", action="store_true")
    a = ap.parse_args()
    k = max(2, a.slices)
    pin = ["taskset", "-c", str(a.core)]
    recon = os.path.join(a.build, "zuvo2-recon")
    sample = os.path.join(a.build, "zuvo2-sample")
    for tool in [recon, sample]:
        if not os.access(tool, os.X_OK):
            sys.exit("side_by_side: %s is missing (build zuvo2-recon and zuvo2-sample)" % tool)
    ctsim = not a.no_ctsim and shutil.which("pjrec") and shutil.which("phm2pj")
    ufo = not a.no_ufo and shutil.which("ufo-launch")
    if not a.no_ctsim and not ctsim:
        print("CTSim's pjrec/phm2pj not found: left out (Debian package ctsim)")
    if not a.no_ufo and not ufo:
        print("ufo-launch not found: left out (Debian packages libufo-bin, ufo-filters, pocl-opencl-icd)")

    work = tempfile.mkdtemp(prefix="side_by_side-", dir=a.dir)
    try:
        # Inputs, untimed: a series whose centre is the detector's middle,
        # so Zuvo2's slice is 2048 x 2048 as the others' are.
        series = os.path.join(work, "series")
        subprocess.run([sample, "-W", str(WIDTH), "-H", str(k + 8), "-n", str(NPROJ), "-t", "0", "--noise", "off",
                        "-c", str(WIDTH // 2), series], check=True, stdout=subprocess.DEVNULL)

        def zuvo2(slices, out):
            return pin + [recon, "--projections", series, "--pattern", "ct-*.img",
                          "--i0", os.path.join(series, "i0", "I0.img"), "--bg", os.path.join(series, "bg", "BG.img"),
                          "--cor", str(WIDTH // 2), "--axis", "v", "--slices", slices, "--threads", "1",
                          "--formats", "tiff", "--out", os.path.join(work, out), "--quiet"]

        programs = {"zuvo2": (zuvo2("4:4", "z1"), zuvo2("4:%d" % (3 + k), "zk"))}
        if ctsim:
            pj = os.path.join(work, "shepp.pj")
            subprocess.run(["phm2pj", pj, str(WIDTH), str(NPROJ), "--phantom", "shepp-logan"], check=True,
                           stdout=subprocess.DEVNULL)
            opts = ["--filter", "abs_bandlimit", "--filter-method", "rfftw", "--backproj", "idiff"]
            programs["ctsim"] = (pin + ["pjrec", pj, os.path.join(work, "rec.if"), str(WIDTH), str(WIDTH)] + opts,
                                 pin + ["pjrec", pj, os.path.join(work, "small.if"), "16", "16"] + opts)
        if ufo:
            def ufo_cmd(n, name):
                return pin + ["ufo-launch", "-q", "dummy-data", "width=%d" % WIDTH, "height=%d" % NPROJ,
                              "number=%d" % n, "!", "fft", "dimensions=1", "!", "filter", "!", "ifft", "dimensions=1",
                              "crop-width=%d" % WIDTH, "!", "backproject", "axis-pos=%d" % (WIDTH // 2), "mode=nearest",
                              "!", "write", "filename=%s" % os.path.join(work, name + "-%05i.tif")]
            programs["ufo"] = (ufo_cmd(1, "u1"), ufo_cmd(k, "uk"))
        env = dict(os.environ, UFO_DEVICE_TYPE="cpu", POCL_MAX_PTHREAD_COUNT="1")

        times = {name: ([], [], []) for name in programs}
        for r in range(max(1, a.runs)):
            for name, (one, more) in programs.items():
                t1, w1 = timed(one, env)
                tk, _ = timed(more, env)
                times[name][0].append(t1)
                times[name][1].append(w1)
                times[name][2].append(tk)
            print("round %d of %d done, load %s" % (r + 1, a.runs, " ".join(open("/proc/loadavg").read().split()[:3])),
                  flush=True)

        def perslice(name):
            one, _, more = times[name]
            one, more = statistics.median(one), statistics.median(more)
            # CTSim: the full-size run less the small one; the others: K less 1.
            return one - more if name == "ctsim" else (more - one) / (k - 1)

        model = "unknown"
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
        print("processor: %s; core %d; ZUVO2_ISA=%s; load %s" % (model, a.core, os.environ.get("ZUVO2_ISA", "(unset)"),
              " ".join(open("/proc/loadavg").read().split()[:3])))
        print("%d x %d slice (Zuvo2 %d x %d, the most its axis at %d gives) from %d projections of %d detectors, "
              "processor time (user + system), median of %d runs"
              % (WIDTH, WIDTH, WIDTH - 4, WIDTH - 4, WIDTH // 2, NPROJ, WIDTH, a.runs))
        z_whole = statistics.median(times["zuvo2"][0])
        z_slice = perslice("zuvo2")
        labels = {"zuvo2": "Zuvo2 (float TIFF and run report)", "ctsim": "CTSim pjrec --backproj idiff",
                  "ufo": "UFO on PoCL, nearest neighbour"}
        for name in programs:
            whole = statistics.median(times[name][0])
            wall = statistics.median(times[name][1])
            ps = perslice(name)
            line = "  %-36s whole %6.3f s (wall %6.3f s)  per slice %6.3f s" % (labels[name], whole, wall, ps)
            if name != "zuvo2":
                line += "   Zuvo2 x%.1f whole, x%.1f per slice" % (whole / z_whole, ps / z_slice)
            print(line)
        print("  (per slice: Zuvo2 and UFO (T(%d) - T(1)) / %d; CTSim T(2048 x 2048) - T(16 x 16) of one sinogram)"
              % (k, k - 1))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
