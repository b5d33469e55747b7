#include "H5SampleWriter.h"

#include <QFile>

#include <hdf5.h>

namespace {
hid_t typeOf(const QString& t)
{
    if (t == QLatin1String("u8"))
        return H5T_STD_U8LE;
    if (t == QLatin1String("i32"))
        return H5T_STD_I32LE;
    if (t == QLatin1String("f32"))
        return H5T_IEEE_F32LE;
    if (t == QLatin1String("f64"))
        return H5T_IEEE_F64LE;
    return H5T_STD_U16LE;
}
} // namespace

bool H5SampleWriter::write(const QString& file, const QList<H5Dataset>& sets, QString* why)
{
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const hid_t f = H5Fcreate(QFile::encodeName(file).constData(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (f < 0) {
        if (why)
            *why = QStringLiteral("can not create ") + file;
        return false;
    }
    const hid_t links = H5Pcreate(H5P_LINK_CREATE);
    H5Pset_create_intermediate_group(links, 1);
    bool ok = true;
    for (const H5Dataset& d : sets) {
        std::vector<hsize_t> dims(d.dims.begin(), d.dims.end());
        // The library reads as many values as the shape holds: a short buffer
        // is refused here rather than read past.
        hsize_t wanted = 1;
        for (size_t k = d.repeatFrame ? 1 : 0; k < dims.size(); ++k)
            wanted *= dims[k];
        if (d.values.size() != wanted) {
            if (why)
                *why = QStringLiteral("%1 values for %2, which holds %3").arg(d.values.size()).arg(d.path).arg(wanted);
            ok = false;
            break;
        }
        const hid_t space = H5Screate_simple(int(dims.size()), dims.data(), nullptr);
        const hid_t set = H5Dcreate2(f, d.path.toUtf8().constData(), typeOf(d.type), space, links, H5P_DEFAULT,
                                     H5P_DEFAULT);
        if (!d.repeatFrame || dims.empty()) {
            ok = set >= 0 && H5Dwrite(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, d.values.data()) >= 0;
        } else {
            std::vector<hsize_t> start(dims.size(), 0), one = dims;
            one[0] = 1;
            const hid_t mem = H5Screate_simple(int(one.size()), one.data(), nullptr);
            ok = set >= 0;
            for (hsize_t k = 0; ok && k < dims[0]; ++k) {
                start[0] = k;
                ok = H5Sselect_hyperslab(space, H5S_SELECT_SET, start.data(), nullptr, one.data(), nullptr) >= 0
                    && H5Dwrite(set, H5T_NATIVE_DOUBLE, mem, space, H5P_DEFAULT, d.values.data()) >= 0;
            }
            H5Sclose(mem);
        }
        if (ok && !d.units.isEmpty()) {
            const QByteArray text = d.units.toUtf8();
            const hid_t type = H5Tcopy(H5T_C_S1);
            H5Tset_size(type, size_t(text.size()));
            const hid_t scalar = H5Screate(H5S_SCALAR);
            const hid_t attr = H5Acreate2(set, "units", type, scalar, H5P_DEFAULT, H5P_DEFAULT);
            ok = attr >= 0 && H5Awrite(attr, type, text.constData()) >= 0;
            if (attr >= 0)
                H5Aclose(attr);
            H5Sclose(scalar);
            H5Tclose(type);
        }
        if (set >= 0)
            H5Dclose(set);
        H5Sclose(space);
        if (!ok) {
            if (why)
                *why = QStringLiteral("can not write ") + d.path;
            break;
        }
    }
    H5Pclose(links);
    H5Fclose(f);
    return ok;
}

QList<H5Dataset> H5SampleWriter::exchange(int rows, int columns, const std::vector<double>& data, int projections,
                                          const std::vector<double>& white, int whites,
                                          const std::vector<double>& dark, int darks,
                                          const std::vector<double>& theta, const QString& dataType)
{
    QList<H5Dataset> sets;
    sets << H5Dataset { QStringLiteral("/exchange/data"), dataType, { projections, rows, columns }, data }
         << H5Dataset { QStringLiteral("/exchange/data_white"), QStringLiteral("u16"), { whites, rows, columns }, white }
         << H5Dataset { QStringLiteral("/exchange/data_dark"), QStringLiteral("u16"), { darks, rows, columns }, dark };
    if (!theta.empty())
        sets << H5Dataset { QStringLiteral("/exchange/theta"), QStringLiteral("f64"), { qint64(theta.size()) }, theta };
    return sets;
}
