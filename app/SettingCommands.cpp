#include "SettingCommands.h"

#include "Session.h"
#include "SettingTable.h"

#include <QDir>

namespace {
using A = BatchArgs;
using C = BatchCmd;
using X = CommandContext;
using O = CommandContext::Outcome;

// The save directories a batch word names are made at once.
struct OutputDir
{
    const char* key;
    ReconOutput ReconSettings::*out;
};
constexpr OutputDir outputDirs[] = {
    {"imagePath", &ReconSettings::image}, {"dataPath", &ReconSettings::data}, {"tiffPath", &ReconSettings::tiff}};

O set(X& x, const C& c, const SettingTable::Setting& row)
{
    Session& s = x.session();
    QString why;
    if (!SettingTable::set(s.settings, row, c.args, &why))
        return x.fail(Failures::Command, c, why);
    // A write failure of the line when the directory cannot be made.
    QString unmade;
    for (const OutputDir& d : outputDirs) {
        const QString& path = (s.settings.*d.out).path;
        if (qstrcmp(row.key, d.key) == 0 && !path.isEmpty() && !QDir().mkpath(path))
            unmade = QStringLiteral("can't create directory ") + path;
    }
    s.settingSet(QLatin1String(row.key));
    if (!unmade.isEmpty())
        return x.fail(Failures::Write, c, unmade);
    return O::Ok;
}
} // namespace

CommandContext::Rows SettingCommands::rows()
{
    X::Rows rows;
    // The row checks the arguments itself.
    for (const SettingTable::Setting& s : SettingTable::settings())
        if (s.batchWord)
            rows.push_back({s.batchWord, A::none(), [&s](X& x, const C& c, const A&) { return set(x, c, s); }});
    return rows;
}
