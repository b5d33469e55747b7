#include "SettingTable.h"

#include "BatchArgs.h"
#include "RingRemoval.h"
#include "ZingerRemoval.h"

#include <QFileInfo>

#include <cmath>
#include <limits>

namespace {
using T = SettingTable::Type;
using V = SettingTable::Value;
using S = ReconSettings;
constexpr double intMax = std::numeric_limits<int>::max();

QString num(double v)
{
    return QString::number(v, 'g', 6);
}

bool refuse(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

bool readInt(const QString& text, double min, double max, int& out, QString* why)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok)
        return refuse(why, QStringLiteral("\"%1\" is not an integer").arg(text));
    const double lo = std::max(min, double(std::numeric_limits<int>::min()));
    const double hi = std::min(max, intMax);
    if (double(v) < lo || double(v) > hi)
        return refuse(why, QStringLiteral("%1 is out of range%2").arg(v).arg(BatchArgs::rangeText(lo, hi)));
    out = int(v);
    return true;
}

bool readReal(const QString& text, double min, double max, double& out, QString* why)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return refuse(why, QStringLiteral("\"%1\" is not a number").arg(text));
    if (v < min || v > max)
        return refuse(why, QStringLiteral("%1 is out of range%2").arg(BatchArgs::shown(v), BatchArgs::rangeText(min, max)));
    out = v;
    return true;
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QStringList axisNames()
{
    return {QStringLiteral("h"), QStringLiteral("v")};
}

QStringList rowModes()
{
    return {QStringLiteral("auto"), QStringLiteral("all")};
}

QStringList formatNames()
{
    return {QStringLiteral("dat"), QStringLiteral("png"), QStringLiteral("tiff")};
}

QStringList binningFactors()
{
    return {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4")};
}

QStringList precisionNames()
{
    return {QLatin1String(FbpKernel::precisionName(FbpKernel::Precision::Double)),
            QLatin1String(FbpKernel::precisionName(FbpKernel::Precision::Single))};
}

// Every output of a tool run goes to one directory under one base name.
void setOut(S& s, const V& v)
{
    s.image.path = s.data.path = s.tiff.path = QFileInfo(v.text).absoluteFilePath();
}

void setName(S& s, const V& v)
{
    s.image.name = v.text + QStringLiteral(".png");
    s.data.name = v.text + QStringLiteral(".dat");
    s.tiff.name = v.text + QStringLiteral(".tif");
}

QString baseName(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

void setSeries(S& s)
{
    s.cond.step = CtCond::seriesStep(s.cond.from, s.cond.to, s.cond.step);
}

// clang-format off
const std::vector<SettingTable::Setting> table = {
    {"projections", T::Text, 0, 0, "", "", nullptr, "projections", "DIR", "Projections", "inputDir",
     "Directory of the projection images (with --pattern; or --h5, or --stack).", nullptr,
     [](S& s, const V& v) { s.projectionsDir = v.text; }, [](const S& s) { return s.projectionsDir; }},
    {"pattern", T::Text, 0, 0, "", "", nullptr, "pattern", "GLOB", "Pattern", "pattern",
     "File names of the projections in DIR, e.g. 'ct-*.img'.", nullptr,
     [](S& s, const V& v) { s.pattern = v.text; }, [](const S& s) { return s.pattern; }},
    {"h5", T::Text, 0, 0, "", "", nullptr, "h5", "FILE", "H5", "inputFile",
     "An HDF5 Data Exchange file holding the whole scan: projections, I0 and BG from its flats and darks, and its angles when it has them.",
     nullptr, [](S& s, const V& v) { s.h5File = v.text; }, [](const S& s) { return s.h5File; }},
    {"stack", T::Text, 0, 0, "", "", nullptr, "stack", "FILE", "Stack", "inputFile",
     "A multi-page TIFF file holding the projections, one page each.", nullptr,
     [](S& s, const V& v) { s.stackFile = v.text; }, [](const S& s) { return s.stackFile; }},
    {"i0", T::Files, 0, 0, "", "", nullptr, "i0", "FILE", "I0", "i0",
     "I0 (beam) image; without it I0 = 1. Given more than once: their average.", nullptr,
     [](S& s, const V& v) { s.i0Files = v.texts; }, [](const S& s) { return s.i0Files.join(QLatin1Char(' ')); }},
    {"bg", T::Files, 0, 0, "", "", nullptr, "bg", "FILE", "BG", "bg",
     "BG (dark) image; without it BG = 0. Given more than once: their average.", nullptr,
     [](S& s, const V& v) { s.bgFiles = v.texts; }, [](const S& s) { return s.bgFiles.join(QLatin1Char(' ')); }},
    {"i0After", T::Files, 0, 0, "", "", nullptr, "i0-after", "FILE", "I0After", "i0After",
     "I0 image taken after the scan (more than once: their average); with it each projection's I0 is interpolated "
     "linearly by projection index between --i0 and this.", nullptr,
     [](S& s, const V& v) { s.i0AfterFiles = v.texts; }, [](const S& s) { return s.i0AfterFiles.join(QLatin1Char(' ')); }},
    // Two batch words for the one axis, each saying which way it lies.
    {"axisIsH", T::Flag, 0, 0, "1", "", "ct_rot_ax_is_h", nullptr, nullptr, nullptr, nullptr,
     "The rotation axis lies horizontally on the detector (1) or vertically (0).", nullptr,
     [](S& s, const V& v) { s.cond.rotAxIsV = !v.flag; }, [](const S& s) { return flagText(!s.cond.rotAxIsV); }},
    {"axisIsV", T::Flag, 0, 0, "0", "", "ct_rot_ax_is_v", nullptr, nullptr, nullptr, nullptr,
     "The rotation axis lies vertically on the detector (1) or horizontally (0).", nullptr,
     [](S& s, const V& v) { s.cond.rotAxIsV = v.flag; }, [](const S& s) { return flagText(s.cond.rotAxIsV); }},
    {"cor", T::Real, -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(), "", "pixels",
     "ct_cor", "cor", "X|auto", "Cor", "centre",
     "Centre of rotation in pixels, or auto: found on the first slice (required).", nullptr,
     [](S& s, const V& v) { s.cond.cor = v.real; }, [](const S& s) { return num(s.cond.cor); }},
    {"corFit", T::Flag, 0, 0, "", "", nullptr, "cor-fit", nullptr, "CorFit", "centrePerSlice",
     "Tilted axis: fit a centre line over the images' height and reconstruct each slice about it (instead of --cor).",
     nullptr, [](S& s, const V& v) { s.cond.corFit = v.flag; }, [](const S& s) { return flagText(s.cond.corFit); }},
    {"axis", T::Choice, 0, 0, "", "", nullptr, "axis", "v|h", "Axis", "axis",
     "Rotation axis on the detector: v (slices are rows) or h (slices are columns) (required).", axisNames,
     [](S& s, const V& v) { s.cond.rotAxIsV = v.text == QLatin1String("v"); },
     [](const S& s) { return s.cond.rotAxIsV ? QStringLiteral("v") : QStringLiteral("h"); }},
    {"slice", T::Int, 0, intMax, "0", "", "ct_proc_slice", nullptr, nullptr, "Slice", "slices",
     "The slice a single run reconstructs.", nullptr,
     [](S& s, const V& v) { s.cond.sliceNo = v.integer; }, [](const S& s) { return QString::number(s.cond.sliceNo); }},
    {"series", T::Flag, 0, 0, "0", "", "ct_auto_exec", nullptr, nullptr, "Series", nullptr,
     "Reconstruct the slices from FROM to TO instead of one slice.", nullptr,
     [](S& s, const V& v) { s.cond.autoExec = v.flag; }, [](const S& s) { return flagText(s.cond.autoExec); }},
    {"from", T::Int, 0, intMax, "0", "", "ct_slice_from", nullptr, nullptr, "SliceFrom", "slices.from",
     "First slice of a series.", nullptr,
     [](S& s, const V& v) { s.cond.from = v.integer; setSeries(s); }, [](const S& s) { return QString::number(s.cond.from); }},
    {"to", T::Int, 0, intMax, "0", "", "ct_slice_to", nullptr, nullptr, "SliceTo", "slices.to",
     "Last slice of a series (below FROM: the series runs downwards).", nullptr,
     [](S& s, const V& v) { s.cond.to = v.integer; setSeries(s); }, [](const S& s) { return QString::number(s.cond.to); }},
    {"step", T::Int, 1, intMax, "", "", "ct_slice_step", nullptr, nullptr, "SliceStep", "slices.step",
     "Slices between two of a series.", nullptr,
     [](S& s, const V& v) { s.cond.step = v.integer; setSeries(s); },
     [](const S& s) { return QString::number(std::abs(s.cond.step)); }},
    {"slices", T::Slices, 0, 0, "", "", nullptr, "slices", "FROM:TO[:STEP]", "Slices", "slices",
     "Slices FROM to TO inclusive, every STEP (default 1), e.g. 1:5:2 gives 1, 3, 5 (required).", nullptr,
     [](S& s, const V& v) {
         s.cond.autoExec = true;
         s.cond.from = s.cond.sliceNo = v.from;
         s.cond.to = v.to;
         s.cond.step = CtCond::seriesStep(v.from, v.to, v.step);
     },
     [](const S& s) { return QStringLiteral("%1:%2:%3").arg(s.cond.from).arg(s.cond.to).arg(std::abs(s.cond.step)); }},
    {"region", T::Region, 0, 0, "", "pixels", "ct_set_calc_region", "region", "X0,Z0,X1,Z1", "Region", "region",
     "Calculation region in pixels of the slice image; default the whole image.", nullptr,
     [](S& s, const V& v) {
         s.wholeImage = false;
         s.region = v.region;
     },
     [](const S& s) {
         return s.wholeImage ? QString()
                             : QStringLiteral("%1,%2,%3,%4").arg(num(s.region.x0), num(s.region.z0), num(s.region.x1), num(s.region.z1));
     }},
    // The window's pool has 32 workers.
    {"threads", T::Int, 0, 32, "", "", "ct_threads", "threads", "N", "Threads", "threads",
     "Worker threads (default: the processor count, at most 32).", nullptr,
     [](S& s, const V& v) { s.cond.threads = v.integer; }, [](const S& s) { return QString::number(s.cond.threads); }},
    {"filter", T::Filter, 0, 0, "ramp", "", "ct_filter", "filter", "NAME[:CUTOFF]", "Filter", "filter",
     "Filter of the back-projection; CUTOFF is a fraction of Nyquist, above 0 and at most 1 (default 1).",
     nullptr, [](S& s, const V& v) { s.cond.filter = v.filter; }, [](const S& s) { return s.cond.filter.text(); }},
    {"pixelSize", T::Real, 0, 1e6, "0", "micrometres", "ct_pixel_size", "pixel-size", "UM", "PixelSize",
     "units.pixelSizeUm",
     "Detector pixel size: the run report then gives the factor from data-file values to 1/cm; 0: not given.", nullptr,
     [](S& s, const V& v) { s.cond.pixelSizeUm = v.real; }, [](const S& s) { return num(s.cond.pixelSizeUm); }},
    {"rings", T::Int, 0, maxRingSize, "0", "detector columns", "ct_ring_removal", "rings", "SIZE", "Rings", "ringRemoval",
     "Ring removal with a window of SIZE detector columns; 0: off.", nullptr,
     [](S& s, const V& v) { s.cond.ringSize = v.integer; }, [](const S& s) { return QString::number(s.cond.ringSize); }},
    {"angles", T::Choice, 0, 0, "half", "", "ct_angles", "angles", "RANGE", "Angles", "angles",
     "How the images cover the turn: half (n over 180 degrees), half-inclusive (n + 1 ending at 180: the last is "
     "not used), full (n over 360) or full-offset (n over 360 with the axis near one edge: p and p + n/2 are joined "
     "into lines about twice as wide; the centre is given, or found, on the detector).", CtCond::angularRangeNames,
     [](S& s, const V& v) { CtCond::angularRange(v.text, s.cond.angles); },
     [](const S& s) { return CtCond::angularRangeName(s.cond.angles); }},
    // Corrections of whole projections, made once per run (CT2).
    {"zinger", T::Real, 0, maxZingerThreshold, "0", "noise units", "ct_zinger", "zinger", "T", "Zinger",
     "zingers.threshold",
     "Zinger removal: a pixel above its 3 x 3 median by more than T times the local noise is replaced by the median, "
     "in projections, I0 and BG (5 to 10 suits counts); 0: off.", nullptr,
     [](S& s, const V& v) { s.cond.zingerThreshold = v.real; }, [](const S& s) { return num(s.cond.zingerThreshold); }},
    {"phaseRetrieval", T::Phase, 0, 0, "0", "", "ct_phase_retrieval", "paganin", "DELTA_BETA,DISTANCE_MM,ENERGY_KEV",
     "PhaseRetrieval", "phaseRetrieval",
     "Phase retrieval (Paganin) of every flat-corrected projection: delta/beta, sample-to-detector distance in mm, "
     "energy in keV (a batch line: the three separated by spaces); needs the pixel size; 0: off.", nullptr,
     [](S& s, const V& v) { s.cond.paganin = v.paganin; }, [](const S& s) { return s.cond.paganin.text(); }},
    {"binning", T::Choice, 0, 0, "1", "", "images_binning", "binning", "B", "Binning", "binning",
     "Sum B x B detector pixels of projections, I0 and BG for the run; the centre and the slices stay in detector "
     "pixels and are divided, the pixel size multiplied.", binningFactors,
     [](S& s, const V& v) { s.cond.binning = v.text.toInt(); }, [](const S& s) { return QString::number(s.cond.binning); }},
    {"maxInvalid", T::Real, 0, 1, "0.001", "", "ct_max_invalid", "max-invalid", "FRACTION", "MaxInvalid",
     "maxInvalidFraction",
     "Fraction of a slice's samples that may lack a logarithm (I0 - BG <= 0, I - BG <= 0, not finite) once isolated "
     "ones are repaired; more fails the slice.", nullptr,
     [](S& s, const V& v) { s.cond.maxInvalid = v.real; }, [](const S& s) { return num(s.cond.maxInvalid); }},
    {"allowGaps", T::Flag, 0, 0, "0", "", "images_allow_gaps", "allow-gaps", nullptr, "AllowGaps", nullptr,
     "Accept numbers missing from the projection names (the run report lists them); without it a gap refuses the run.",
     nullptr, [](S& s, const V& v) { s.allowGaps = v.flag; }, [](const S& s) { return flagText(s.allowGaps); }},
    {"angleUnit", T::Choice, 0, 0, "auto", "", "images_angle_unit", "angle-unit", "deg|rad", "AngleUnit", nullptr,
     "Unit of an HDF5 scan's angles: auto (the file's units attribute; unlabelled angles that look like radians are "
     "refused), deg or rad.", ScanAngles::unitNames,
     [](S& s, const V& v) { ScanAngles::parseUnit(v.text, s.angleUnit); },
     [](const S& s) { return ScanAngles::unitName(s.angleUnit); }},
    {"precision", T::Choice, 0, 0, "single", "", "ct_precision", "precision", "single|double", "Precision", "precision",
     "Back-projection arithmetic: single (about twice as fast, values within 2e-6 of the slice's value range of "
     "double's) or double.", precisionNames,
     [](S& s, const V& v) { FbpKernel::parsePrecision(v.text, s.precision); },
     [](const S& s) { return QString::fromLatin1(FbpKernel::precisionName(s.precision)); }},
    {"ct1", T::Flag, 0, 0, "0", "", "calc_ct1", nullptr, nullptr, "Ct1", "calculator",
     "Reconstruct the single slice with the CT1 calculator.", nullptr,
     [](S& s, const V& v) { s.cond.ct1 = v.flag; }, [](const S& s) { return flagText(s.cond.ct1); }},
    {"ct2", T::Flag, 0, 0, "0", "", "calc_ct2", nullptr, nullptr, "Ct2", "calculator",
     "Reconstruct with the CT2 workers (a series needs them).", nullptr,
     [](S& s, const V& v) { s.cond.ct2 = v.flag; }, [](const S& s) { return flagText(s.cond.ct2); }},
    {"showImage", T::Flag, 0, 0, "1", "", "calc_show_res", nullptr, nullptr, "ShowImage", nullptr,
     "Draw each result for display.", nullptr,
     [](S& s, const V& v) { s.showImage = v.flag; }, [](const S& s) { return flagText(s.showImage); }},
    // Before the png and tiff switches, which add their files.
    {"formats", T::List, 0, 0, "", "", nullptr, "formats", "LIST", "Formats", nullptr,
     "Files written for every slice, comma-separated: dat (text data file, NAME-%05d.dat), png (picture), tiff "
     "(32-bit float TIFF); zuvo2-recon's default is dat. --png and --tiff add theirs.", formatNames,
     [](S& s, const V& v) {
         s.data.on = v.texts.contains(QLatin1String("dat"));
         s.image.on = v.texts.contains(QLatin1String("png"));
         s.tiff.on = v.texts.contains(QLatin1String("tiff"));
     },
     [](const S& s) {
         QStringList on;
         for (const auto& [kind, out] : {std::pair{"dat", &s.data}, {"png", &s.image}, {"tiff", &s.tiff}})
             if (out->on)
                 on << QLatin1String(kind);
         return on.join(QLatin1Char(','));
     }},
    {"saveImage", T::Flag, 0, 0, "0", "", "auto_save_image", "png", nullptr, "SaveImage", nullptr,
     "Also write a picture of every slice.", nullptr,
     [](S& s, const V& v) { s.image.on = v.flag; }, [](const S& s) { return flagText(s.image.on); }},
    {"saveData", T::Flag, 0, 0, "0", "", "auto_save_data", nullptr, nullptr, "SaveData", nullptr,
     "Write every slice as a data file (zuvo2-recon always does).", nullptr,
     [](S& s, const V& v) { s.data.on = v.flag; }, [](const S& s) { return flagText(s.data.on); }},
    {"saveTiff", T::Flag, 0, 0, "0", "", "auto_save_tiff", "tiff", nullptr, "SaveTiff", nullptr,
     "Also write every slice's region as a 32-bit float TIFF, NAME-%05d.tif.", nullptr,
     [](S& s, const V& v) { s.tiff.on = v.flag; }, [](const S& s) { return flagText(s.tiff.on); }},
    {"imageName", T::Text, 0, 0, "", "", "auto_save_image_name", nullptr, nullptr, "ImageName", nullptr,
     "File name of the pictures; its suffix becomes .png and the slice number goes before it.", nullptr,
     [](S& s, const V& v) { s.image.name = v.text; }, [](const S& s) { return s.image.name; }},
    {"imageTag", T::Text, 0, 0, "", "", "auto_save_image_tag", nullptr, nullptr, "ImageTag", nullptr,
     "Tag put between the picture name and the slice number.", nullptr,
     [](S& s, const V& v) { s.image.tag = v.text; }, [](const S& s) { return s.image.tag; }},
    {"dataName", T::Text, 0, 0, "", "", "auto_save_data_name", nullptr, nullptr, "DataName", nullptr,
     "File name of the data files; its suffix becomes .dat and the slice number goes before it.", nullptr,
     [](S& s, const V& v) { s.data.name = v.text; }, [](const S& s) { return s.data.name; }},
    {"dataTag", T::Text, 0, 0, "", "", "auto_save_data_tag", nullptr, nullptr, "DataTag", nullptr,
     "Tag put between the data file name and the slice number (the float TIFFs take it too).", nullptr,
     [](S& s, const V& v) { s.data.tag = v.text; }, [](const S& s) { return s.data.tag; }},
    {"tiffName", T::Text, 0, 0, "", "", "auto_save_tiff_name", nullptr, nullptr, "TiffName", nullptr,
     "File name of the float TIFFs; empty: the data files' name.", nullptr,
     [](S& s, const V& v) { s.tiff.name = v.text; }, [](const S& s) { return s.tiff.name; }},
    {"volume", T::Text, 0, 0, "", "", "auto_save_volume", "volume", "FILE", "Volume", "volume",
     "Also write every slice of a series into one file: FILE.tif (multi-page float TIFF) or FILE.h5 (one HDF5 "
     "dataset); it appears only when every slice was made; empty: none.", nullptr,
     [](S& s, const V& v) { s.volumeFile = v.text; }, [](const S& s) { return s.volumeFile; }},
    // The window's directories; zuvo2-recon writes everything to --out.
    {"imagePath", T::Text, 0, 0, "", "", "auto_save_image_path", nullptr, nullptr, nullptr, nullptr,
     "Directory of the pictures, made when missing.", nullptr,
     [](S& s, const V& v) { s.image.path = v.text; }, [](const S& s) { return s.image.path; }},
    {"dataPath", T::Text, 0, 0, "", "", "auto_save_data_path", nullptr, nullptr, nullptr, nullptr,
     "Directory of the data files, made when missing.", nullptr,
     [](S& s, const V& v) { s.data.path = v.text; }, [](const S& s) { return s.data.path; }},
    {"tiffPath", T::Text, 0, 0, "", "", "auto_save_tiff_path", nullptr, nullptr, nullptr, nullptr,
     "Directory of the float TIFFs, made when missing; empty: the data files' directory.", nullptr,
     [](S& s, const V& v) { s.tiff.path = v.text; }, [](const S& s) { return s.tiff.path; }},
    {"out", T::Text, 0, 0, "", "", nullptr, "out", "DIR", "Out", nullptr,
     "Output directory, made when missing (required).", nullptr, setOut, [](const S& s) { return s.data.path; }},
    {"name", T::Text, 0, 0, "slice", "", nullptr, "name", "NAME", "Name", nullptr,
     "Base name of the files.", nullptr, setName, [](const S& s) { return baseName(s.data.name); }},
    {"rows", T::Choice, 0, 0, "auto", "", nullptr, "rows", "auto|all", "Rows", "linesLoaded",
     "Detector lines to load: auto (only the lines of --slices, rows for --axis v, columns for --axis h; the whole "
     "series with --cor-fit) or all.", rowModes,
     [](S& s, const V& v) { s.rows = v.text; }, [](const S& s) { return s.rows; }},
    {"shifts", T::Text, 0, 0, "", "", "ct_energy_shifts", "shifts", "FILE", "EnergyShifts", "energyShift",
     "CT-XAFS drift correction: the shifts table the alignment wrote (shifts.csv); the run takes the row of its "
     "projections' energy, moves the centre by the shift across the axis and reads each slice that far along it "
     "(between two lines). Every energy's slices then have one size. Empty: off.", nullptr,
     [](S& s, const V& v) { s.shiftsFile = v.text; }, [](const S& s) { return s.shiftsFile; }},
    {"loadLines", T::Lines, 0, intMax, "all", "", "images_load_rows", nullptr, nullptr, nullptr, nullptr,
     "Detector lines the window's next loads keep: those of the slices FROM to TO, or all.", nullptr,
     [](S& s, const V& v) {
         s.allLines = v.flag;
         s.linesFrom = v.from;
         s.linesTo = v.to;
     },
     [](const S& s) { return s.allLines ? QStringLiteral("all") : QStringLiteral("%1:%2").arg(s.linesFrom).arg(s.linesTo); }},
    {"report", T::Text, 0, 0, "", "", nullptr, "report", "FILE", "Report", nullptr,
     "Write the run report to FILE instead of OUT/NAME-run.json (tasks of one series sharing OUT).", nullptr,
     [](S& s, const V& v) { s.reportFile = v.text; }, [](const S& s) { return s.reportFile; }},
};
// clang-format on

template <typename Name>
const SettingTable::Setting* findBy(Name name, const QString& text)
{
    for (const SettingTable::Setting& s : table) {
        const char* n = name(s);
        if (n && text == QLatin1String(n))
            return &s;
    }
    return nullptr;
}

QString choiceRefusal(const QString& text, const QStringList& names)
{
    if (names.size() == 2)
        return QStringLiteral("\"%1\" is not %2 or %3").arg(text, names[0], names[1]);
    return QStringLiteral("\"%1\" is not one of %2").arg(text, names.join(QStringLiteral(", ")));
}
} // namespace

const std::vector<SettingTable::Setting>& SettingTable::settings()
{
    return table;
}

const SettingTable::Setting* SettingTable::byKey(const QString& key)
{
    return findBy([](const Setting& s) { return s.key; }, key);
}

const SettingTable::Setting* SettingTable::byBatchWord(const QString& word)
{
    return findBy([](const Setting& s) { return s.batchWord; }, word);
}

const SettingTable::Setting* SettingTable::byOption(const QString& option)
{
    return findBy([](const Setting& s) { return s.option; }, option);
}

const SettingTable::Setting* SettingTable::byConfigKey(const QString& key)
{
    return findBy([](const Setting& s) { return s.configKey; }, key);
}

QStringList SettingTable::partsOf(const Setting& s, const QString& text)
{
    switch (s.type) {
    case Type::Slices:
    case Type::Filter:
    case Type::Lines:
        return text.trimmed().split(QLatin1Char(':'));
    case Type::Region:
    case Type::Phase:
        return text.split(QLatin1Char(','));
    default:
        return {text};
    }
}

bool SettingTable::read(const Setting& s, const QStringList& parts, Value& v, QString* why)
{
    v = Value();
    const QString first = parts.value(0).trimmed();
    switch (s.type) {
    case Type::Flag: {
        bool ok = false;
        v.flag = first.toInt(&ok, 10) == 1 && ok;
        return true;
    }
    case Type::Int:
        if (parts.isEmpty())
            return refuse(why, QStringLiteral("an integer is missing"));
        return readInt(first, s.min, s.max, v.integer, why);
    case Type::Real:
        if (parts.isEmpty())
            return refuse(why, QStringLiteral("a number is missing"));
        return readReal(first, s.min, s.max, v.real, why);
    case Type::Text:
        v.text = parts.value(0);
        return true;
    case Type::Files:
        v.texts = parts;
        v.texts.removeAll(QString());
        if (v.texts.isEmpty())
            return refuse(why, QStringLiteral("a file name is missing"));
        return true;
    case Type::Choice: {
        const QStringList names = s.choices();
        const QString lower = first.toLower();
        if (!names.contains(lower))
            return refuse(why, choiceRefusal(first, names));
        v.text = lower;
        return true;
    }
    case Type::List: {
        const QStringList names = s.choices();
        for (const QString& word : parts.join(QLatin1Char(',')).split(QLatin1Char(','))) {
            const QString lower = word.trimmed().toLower();
            if (!names.contains(lower))
                return refuse(why, choiceRefusal(word.trimmed(), names));
            v.texts << lower;
        }
        return true;
    }
    case Type::Slices: {
        const QString text = parts.join(QLatin1Char(':'));
        const QString shape = QStringLiteral("\"%1\" is not FROM:TO[:STEP]").arg(text);
        bool ok = parts.size() == 2 || parts.size() == 3;
        for (int k = 0; ok && k < parts.size(); ++k)
            (k == 0 ? v.from : k == 1 ? v.to : v.step) = parts[k].trimmed().toInt(&ok, 10);
        if (!ok)
            return refuse(why, shape);
        if (v.step == 0)
            return refuse(why, QStringLiteral("the step must not be 0"));
        return true;
    }
    case Type::Region: {
        double c[4];
        if (parts.size() != 4)
            return refuse(why, QStringLiteral("\"%1\" is not X0,Z0,X1,Z1").arg(parts.join(QLatin1Char(','))));
        for (int k = 0; k < 4; ++k)
            if (!readReal(parts[k].trimmed(), -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::infinity(), c[k], why))
                return false;
        v.region = CtRegion{c[0], c[1], c[2], c[3]};
        return true;
    }
    case Type::Lines:
        v.flag = parts.isEmpty() || (parts.size() == 1 && first == QLatin1String("all"));
        if (v.flag)
            return true;
        if (parts.size() > 2)
            return refuse(why, QStringLiteral("\"%1\" is not FROM:TO").arg(parts.join(QLatin1Char(':'))));
        if (!readInt(first, s.min, s.max, v.from, why))
            return false;
        if (parts.size() < 2)
            return refuse(why, QStringLiteral("an integer is missing"));
        return readInt(parts[1].trimmed(), s.min, s.max, v.to, why);
    case Type::Filter: {
        if (first.isEmpty())
            return refuse(why, QStringLiteral("a filter name is missing"));
        if (parts.size() > 2)
            return refuse(why, QStringLiteral("\"%1\" is not NAME[:CUTOFF]").arg(parts.join(QLatin1Char(':'))));
        double cutoff = 1.0;
        if (parts.size() == 2) {
            bool ok = false;
            cutoff = parts[1].trimmed().toDouble(&ok);
            if (!ok)
                return refuse(why, QStringLiteral("cutoff \"%1\" is not a number").arg(parts[1]));
        }
        return FbpFilter::make(first, cutoff, v.filter, why);
    }
    case Type::Phase:
        return PaganinParams::parse(parts.join(QLatin1Char(',')), v.paganin, why);
    }
    return true;
}

bool SettingTable::set(ReconSettings& out, const Setting& s, const QStringList& parts, QString* why)
{
    Value v;
    if (!read(s, parts, v, why))
        return false;
    s.apply(out, v);
    return true;
}

QString SettingTable::optionHelp(const Setting& s)
{
    QString h = QString::fromUtf8(s.help);
    if (s.type == Type::Filter)
        h += QStringLiteral(" Filters: %1.").arg(FbpFilter::names().join(QStringLiteral(", ")));
    if (*s.defaultText && s.valueName)
        h += QStringLiteral(" Default %1.").arg(QLatin1String(s.defaultText));
    return h;
}

QString SettingTable::markdownTable()
{
    auto code = [](const char* t) { return t && *t ? QStringLiteral("`%1`").arg(QLatin1String(t)) : QString(); };
    QString md = QStringLiteral("| Setting | Batch word | zuvo2-recon option | Configuration key | Range | Default | Unit | "
                                "Run report | Meaning |\n|---|---|---|---|---|---|---|---|---|\n");
    for (const Setting& s : table) {
        QString range;
        if (s.type == Type::Int || s.type == Type::Real)
            range = BatchArgs::rangeText(s.min, s.max).mid(2).chopped(1).replace(QStringLiteral("2147483647"), QStringLiteral("…"));
        else if (s.type == Type::Choice || s.type == Type::List)
            range = s.choices().join(QStringLiteral(", "));
        else if (s.type == Type::Filter)
            range = FbpFilter::names().join(QStringLiteral(", "));
        else if (s.type == Type::Flag)
            range = QStringLiteral("0, 1");
        else if (s.type == Type::Lines)
            range = QStringLiteral("FROM:TO, all");
        const QString option = s.option ? QStringLiteral("`--%1%2`").arg(QLatin1String(s.option),
                                              s.valueName ? QStringLiteral(" ") + QLatin1String(s.valueName) : QString())
                                        : QString();
        // A bar inside a cell would end it.
        md += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |\n")
                  .arg(QLatin1String(s.key), code(s.batchWord), QString(option).replace(QLatin1Char('|'), QStringLiteral("\\|")),
                       code(s.configKey), range,
                       QLatin1String(s.defaultText), QLatin1String(s.unit), code(s.reportField),
                       QString::fromUtf8(s.help).replace(QLatin1Char('|'), QStringLiteral("\\|")));
    }
    return md;
}
