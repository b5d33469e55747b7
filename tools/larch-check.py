#!/usr/bin/python3
"""Cross-check of zuvo2-xafs's normalisation against X-ray Larch (Debian's
python3-xraylarch) on the measured spectra in tests/xafs/data.

Each spectrum becomes a stack of 4 x 4 slices (one CT data file per energy,
every pixel holding the measured mu); zuvo2-xafs exports the stack's region
spectrum as XDI with its E0 and edge jump.  Larch's pre_edge then normalises
the same mu with the same ranges (pre-edge line over E0-60 .. E0-15 eV,
post-edge line over E0+20 .. E0+100 eV), once about zuvo2's E0 (to compare the
jump and the normalised spectrum alone) and once finding its own E0.

Larch takes a range as grid indices, from the last point not above its start
up to but not including the last point not above its end, both measured
from the grid energy nearest E0; zuvo2 takes every energy inside it, ends
included, measured from E0 itself.  The jump is compared twice: with the ranges as numbers (each
program's own convention) and with Larch's ranges placed on the grid so that
both fit the same points (the limits apply to this one).

Usage: larch-check.py ZUVO2-XAFS [DATA-DIR]
Exit status: 0 agreed within the limits below, 1 not, 2 bad usage,
77 skipped (Larch or numpy not installed)."""
import os
import subprocess
import sys
import tempfile

SKIP = 77
# Limits: E0 found by each program's own derivative, the jump and the
# normalised spectrum with the same E0 and ranges.
E0_LIMIT_EV = 1.0
JUMP_LIMIT = 0.003
NORM_LIMIT = 0.003
PRE, POST = (-60.0, -15.0), (20.0, 100.0)


def read_spectrum(path):
    e, mu = [], []
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line or line[0] in "#;":
                continue
            v = line.split()
            e.append(float(v[0]))
            mu.append(float(v[1]))
    return e, mu


def write_stack(folder, energies, mu):
    for e, m in zip(energies, mu):
        name = "Fe-%seV-00050.dat" % ("%.4f" % e).replace(".", "_")
        with open(os.path.join(folder, name), "w") as f:
            f.write("#ZUVO-CTImg\n# Range_X0       : 0\n# Range_Y0       : 0\n"
                    "# Range_X1       : 4\n# Range_Y1       : 4\n# sx,sy, ex,ey   : 0\t0\t4\t4\n")
            for z in range(4):
                for x in range(4):
                    f.write("%d\t%d\t%.10g\n" % (x, z, m))


def zuvo2(tool, folder):
    out = os.path.join(folder, "out", "region.xdi")
    args = [tool, "--stack-load=%s,Fe-*.dat" % folder,
            "--fit-ranges=%g,%g,%g,%g" % (PRE + POST),
            "--roi-spectrum=0,0,4,4,%s" % out]
    r = subprocess.run(args, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("zuvo2-xafs failed (%d): %s" % (r.returncode, r.stderr.strip()))
    e0 = jump = None
    rows = []
    with open(out) as f:
        for line in f:
            if line.startswith("# Scan.edge_energy:"):
                e0 = float(line.split(":")[1].split()[0])
            elif line.startswith("# Zuvo2.edge_jump:"):
                jump = float(line.split(":")[1])
            elif not line.startswith("#") and line.strip():
                rows.append([float(v) for v in line.split()])
    return e0, jump, rows


def main():
    if len(sys.argv) < 2 or not os.access(sys.argv[1], os.X_OK):
        print(__doc__)
        return 2
    try:
        import numpy as np
        from larch import Group
        from larch.xafs import pre_edge
    except ImportError as e:
        print("larch-check: SKIPPED, X-ray Larch is not installed (%s); apt install python3-xraylarch" % e)
        return SKIP
    data = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                                               "tests", "xafs", "data")
    ok = True
    for name in ("feo_rt1.xdi", "fe2o3_rt1.xmu"):
        energies, mu = read_spectrum(os.path.join(data, name))
        with tempfile.TemporaryDirectory() as folder:
            write_stack(folder, energies, mu)
            e0, jump, rows = zuvo2(sys.argv[1], folder)
        e = np.array([r[0] for r in rows])
        m = np.array([r[1] for r in rows])
        norm = np.array([r[3] for r in rows])
        # The stack may scale mu (a unit); Larch gets the same numbers.
        def on_grid(lo, hi):
            # Larch's index of a value is that of the last energy not above
            # it: between the first inside and the next one, and between the
            # two after the last one inside.
            inside = np.nonzero((e >= e0 + lo) & (e <= e0 + hi))[0]
            i, j = inside[0], min(inside[-1] + 1, len(e) - 2)
            return 0.5 * (e[i] + e[i + 1]) - e0g, 0.5 * (e[j] + e[j + 1]) - e0g
        # Larch measures the ranges from the grid energy nearest E0 and
        # takes the jump there; its lines are taken at zuvo2's E0 below.
        e0g = e[np.argmin(np.abs(e - e0))]
        (p1, p2), (n1, n2) = on_grid(*PRE), on_grid(*POST)
        nominal, same, own = Group(), Group(), Group()
        pre_edge(e, m, group=nominal, e0=e0, pre1=PRE[0], pre2=PRE[1], norm1=POST[0], norm2=POST[1], nnorm=1, nvict=0)
        pre_edge(e, m, group=same, e0=e0, pre1=p1, pre2=p2, norm1=n1, norm2=n2, nnorm=1, nvict=0)
        pre_edge(e, m, group=own, pre1=PRE[0], pre2=PRE[1], norm1=POST[0], norm2=POST[1], nnorm=1, nvict=0)
        # The post-edge line is fitted to mu minus the pre-edge line.
        det = same.pre_edge_details
        s_step, o_e0 = det.norm_c0 + det.norm_c1 * e0, own.e0
        s_norm = (m - (det.pre_offset + det.pre_slope * e)) / s_step
        window = (e >= e0 + PRE[0]) & (e <= e0 + POST[1] + 50)
        d_e0 = o_e0 - e0
        d_jump = jump / s_step - 1
        d_norm = float(np.max(np.abs(norm[window] - np.asarray(s_norm)[window])))
        print("%s: %d energies; E0 zuvo2 %.2f eV, Larch %.2f eV (%+.2f eV); jump zuvo2 %.6g, Larch on the same "
              "points %.6g (%+.3f %%), Larch with the ranges as numbers %.6g (%+.3f %%); normalised spectra differ "
              "by at most %.2g from E0-60 to E0+150 eV"
              % (name, len(e), e0, o_e0, d_e0, jump, s_step, 100 * d_jump, nominal.edge_step,
                 100 * (jump / nominal.edge_step - 1), d_norm))
        if abs(d_e0) > E0_LIMIT_EV or abs(d_jump) > JUMP_LIMIT or d_norm > NORM_LIMIT:
            ok = False
    print("larch-check: %s" % ("agreed" if ok else "DIFFERENT beyond the limits"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
