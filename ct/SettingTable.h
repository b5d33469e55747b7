#pragma once
// The run settings, each defined once: its key, type, range, default, unit,
// batch word, zuvo2-recon option, configuration key, run-report field and a
// line of help.  Batch words, options and configuration values are all read
// and range-checked here, so each refuses a bad value with the same reason;
// zuvo2-recon's --help and the README's settings table are made from it.
//
// A new setting: a field in ReconSettings, a row in settings() (SettingTable.cpp)
// with its apply and show functions; the batch word, option and key then exist
// at once.  The window binds its control to the key (BodyCommands::bindings).
#include "ReconSettings.h"

#include <QString>
#include <QStringList>

#include <vector>

class SettingTable
{
public:
    enum class Type {
        Flag,   // on exactly when the value is 1 (batch rule); an option takes no value
        Int,    // a base-10 integer within [min, max]
        Real,   // a finite number within [min, max]
        Text,   // any text
        Choice, // one of choices()
        List,   // one or more of choices(), separated by commas
        Files,  // one or more file names (an option given again adds one)
        Slices, // FROM:TO[:STEP]
        Region, // X0,Z0,X1,Z1
        Filter, // NAME[:CUTOFF] (a batch line: NAME [CUTOFF])
        Phase,  // DELTA_BETA,DISTANCE_MM,ENERGY_KEV, each above 0, or 0: off (a batch line: the three as words)
        Lines,  // FROM:TO (a batch line: FROM TO), or all (a batch line: nothing)
    };

    // A checked value, before it is stored.
    struct Value
    {
        bool flag = false;
        int integer = 0;
        double real = 0;
        QString text;
        QStringList texts;
        int from = 0, to = 0, step = 1;
        CtRegion region;
        FbpFilter filter;
        PaganinParams paganin;
    };

    struct Setting
    {
        const char* key;
        Type type;
        double min, max;         // Int, Real
        const char* defaultText; // as an option gives it; "" when there is none to show
        const char* unit;        // "" when none
        const char* batchWord;   // nullptr: none
        const char* option;      // without "--"; nullptr: none
        const char* valueName;   // the option's value in --help; nullptr for a switch
        const char* configKey;   // nullptr: none
        const char* reportField; // field of the run report ("units.pixelSizeUm"); nullptr: none
        const char* help;
        QStringList (*choices)();                   // Choice
        void (*apply)(ReconSettings&, const Value&);
        QString (*show)(const ReconSettings&);      // the value as an option gives it
    };

    static const std::vector<Setting>& settings();
    static const Setting* byKey(const QString& key);
    static const Setting* byBatchWord(const QString& word);
    static const Setting* byOption(const QString& option);
    static const Setting* byConfigKey(const QString& key);

    // Reads parts (a batch line's arguments, or partsOf an option's or a
    // configuration value) into v; false with *why when refused.  The reason
    // names the value, not where it came from: each source puts its place
    // before it ("ct_cor, line 7: ", "--cor: ").
    static bool read(const Setting& s, const QStringList& parts, Value& v, QString* why);
    // read, then stored into out; out is untouched when refused.
    static bool set(ReconSettings& out, const Setting& s, const QStringList& parts, QString* why);
    // An option's or configuration value split as its type is written.
    static QStringList partsOf(const Setting& s, const QString& text);

    // The option's help line: help, unit and default.
    static QString optionHelp(const Setting& s);
    // The README's settings table (Markdown).
    static QString markdownTable();
};
