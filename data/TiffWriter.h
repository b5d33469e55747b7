#pragma once
// 32-bit float TIFF files for results: one page, one sample per pixel,
// uncompressed, in strips, which ImageJ/Fiji, Python and facility pipelines
// open as a 32-bit image. The file is written under a temporary name in the
// same directory and renamed into place when complete: it appears whole or
// not at all.
#include <QString>

// values: width x height values, row-major, top row first. description goes
// to the image description tag (the region offset and the scale of the
// values, for instance); empty writes none. False with the reason (the
// system's error text where there is one) in *why; nothing is left behind.
bool writeFloatTiff(const QString& path, const float* values, int width, int height,
                    const QString& description, QString* why = nullptr);
// The same from doubles, converted to float row by row.
bool writeFloatTiff(const QString& path, const double* values, int width, int height,
                    const QString& description, QString* why = nullptr);
