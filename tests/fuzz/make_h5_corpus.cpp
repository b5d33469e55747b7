// Writes the seed corpus of fuzz_h5 into a directory: small Data Exchange
// scans that load, ones whose layout is wrong, and damaged copies of a good
// one (cut short, bytes overwritten). Run by hand when the corpus is renewed:
//   build/tests/fuzz/make_h5_corpus tests/fuzz/corpus/h5
#include <QByteArray>
#include <QDir>
#include <QFile>

#include <hdf5.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

namespace {
const hsize_t P = 3, R = 2, C = 3;  // projections, rows, columns

struct Set
{
    const char* path;
    hid_t type;
    std::vector<hsize_t> dims;
    std::vector<double> values;  // empty: created, never written
    int filter = 0;              // 0 contiguous, 1 chunked + deflate, 2 chunked + scale-offset
};

std::vector<double> ramp(size_t n, double start)
{
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = start + double(i);
    return v;
}

bool write(const QString& file, const std::vector<Set>& sets)
{
    const hid_t fapl = H5Pcreate(H5P_FILE_ACCESS);
    // The newest format keeps the files small.
    H5Pset_libver_bounds(fapl, H5F_LIBVER_LATEST, H5F_LIBVER_LATEST);
    const hid_t f = H5Fcreate(QFile::encodeName(file).constData(), H5F_ACC_TRUNC, H5P_DEFAULT, fapl);
    H5Pclose(fapl);
    if (f < 0)
        return false;
    const hid_t lcpl = H5Pcreate(H5P_LINK_CREATE);
    H5Pset_create_intermediate_group(lcpl, 1);
    bool ok = true;
    for (const Set& s : sets) {
        const hid_t space = H5Screate_simple(int(s.dims.size()), s.dims.data(), nullptr);
        const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
        if (s.filter) {
            std::vector<hsize_t> chunk = s.dims;
            chunk[0] = 1;
            H5Pset_chunk(dcpl, int(chunk.size()), chunk.data());
            if (s.filter == 1)
                H5Pset_deflate(dcpl, 6);
            else
                H5Pset_scaleoffset(dcpl, H5Z_SO_INT, H5Z_SO_INT_MINBITS_DEFAULT);
        }
        const hid_t d = H5Dcreate2(f, s.path, s.type, space, lcpl, dcpl, H5P_DEFAULT);
        ok = ok && d >= 0;
        if (d >= 0 && !s.values.empty())
            ok = ok && H5Dwrite(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, s.values.data()) >= 0;
        if (d >= 0)
            H5Dclose(d);
        H5Pclose(dcpl);
        H5Sclose(space);
    }
    H5Pclose(lcpl);
    H5Fclose(f);
    return ok;
}

std::vector<Set> scan(hid_t dataType = H5T_STD_U16LE, int filter = 0)
{
    return {{"/exchange/data", dataType, {P, R, C}, ramp(P * R * C, 100), filter},
            {"/exchange/data_white", H5T_STD_U16LE, {2, R, C}, ramp(2 * R * C, 400), filter},
            {"/exchange/data_dark", H5T_STD_U16LE, {1, R, C}, ramp(R * C, 1), filter},
            {"/exchange/theta", H5T_IEEE_F64LE, {P}, {0.0, 60.0, 120.0}}};
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_h5_corpus DIR\n");
        return 2;
    }
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<std::pair<const char*, std::function<std::vector<Set>()>>> files = {
        {"valid_u16_theta.h5", [] { return scan(); }},
        {"valid_f32.h5", [] { auto s = scan(H5T_IEEE_F32LE); s.pop_back(); return s; }},
        {"valid_f32_be.h5", [] { return scan(H5T_IEEE_F32BE); }},
        {"valid_deflate_chunks.h5", [] { return scan(H5T_STD_U16LE, 1); }},
        {"valid_scaleoffset_chunks.h5", [] { return scan(H5T_STD_U16LE, 2); }},
        {"missing_dark.h5", [] { auto s = scan(); s.erase(s.begin() + 2); return s; }},
        {"data_rank2.h5", [] { auto s = scan(); s[0].dims = {P * R, C}; return s; }},
        {"data_signed.h5", [] { auto s = scan(H5T_STD_I32LE); return s; }},
        {"white_other_size.h5", [] { auto s = scan(); s[1].dims = {1, R + 1, C}; s[1].values = ramp((R + 1) * C, 9); return s; }},
        {"theta_short.h5", [] { auto s = scan(); s[3].dims = {P - 1}; s[3].values.pop_back(); return s; }},
        {"theta_nan.h5", [nan] { auto s = scan(); s[3].values[1] = nan; return s; }},
        {"data_f32_infinity.h5", [inf] { auto s = scan(H5T_IEEE_F32LE); s[0].values[4] = inf; return s; }},
        {"data_never_written.h5", [] { auto s = scan(); s[0].values.clear(); return s; }},
        {"chunks_never_written.h5", [] { auto s = scan(H5T_STD_U16LE, 1); s[1].values.clear(); return s; }},
        {"huge_unwritten_data.h5", [] { auto s = scan(); s[0].dims = {2147483647, 1, 1}; s[0].values.clear(); s[0].filter = 1;
                                        s[1].dims = {1, 1, 1}; s[1].values = {5}; s[2].dims = {1, 1, 1}; s[2].values = {1};
                                        s.pop_back(); return s; }},
    };
    for (const auto& [name, sets] : files)
        if (!write(dir.filePath(name), sets())) {
            std::fprintf(stderr, "make_h5_corpus: can not write %s\n", name);
            return 1;
        }
    // Damaged copies of the good scan.
    QFile good(dir.filePath("valid_u16_theta.h5"));
    if (!good.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = good.readAll();
    auto save = [&](const char* name, const QByteArray& b) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(b) == b.size();
    };
    QByteArray noEnd = bytes;
    noEnd.truncate(bytes.size() / 2);
    QByteArray header = bytes;
    header.truncate(48);
    QByteArray scribbled = bytes;
    for (qsizetype i = 48; i < scribbled.size(); i += 97)
        scribbled[i] = char(0xff);
    QByteArray eofAddress = bytes;
    // The end-of-file address in the version 2/3 superblock, far beyond the file.
    for (int i = 28; i < 36 && i < eofAddress.size(); ++i)
        eofAddress[i] = char(0x7f);
    const bool ok = save("cut_in_half.h5", noEnd) && save("superblock_only.h5", header)
        && save("scribbled.h5", scribbled) && save("eof_address_huge.h5", eofAddress)
        && save("not_hdf5.h5", QByteArray("this is not an HDF5 file\n"));
    return ok ? 0 : 1;
}
