#pragma once
// The XAFS analysis words, defined once for batch programs (the window's
// command set appends them) and for the headless zuvo2-xafs, whose options
// are these words without "xafs_" ("--lcf-window -20,80"). Rows stand in
// the order of the chain: settings, the stack, references, then outputs;
// the headless tool runs the options it is given in this order.
#include "BatchArgs.h"
#include "BatchCmd.h"
#include "Failures.h"

#include <QString>

#include <vector>

class XafsSession;
struct XafsProgress;

class XafsCommands
{
public:
    struct Context
    {
        XafsSession& session;
        XafsProgress* progress = nullptr;
    };
    // True when done; false with the kind of failure and why.
    using Handler = bool (*)(Context& x, const BatchCmd& c, const BatchArgs& a, Failures::Kind& kind, QString& why);
    struct Row
    {
        const char* word;
        BatchArgs::Rule rule;
        const char* args;   // how the arguments read, for help texts
        const char* help;
        Handler handler;
        bool output;        // writes files (the rest change settings)
    };
    static const std::vector<Row>& table();
    // Index of word's row, ignoring case as batch programs do; -1 when none.
    static int find(const QString& word);
    // "lcf-window" for "xafs_lcf_window".
    static QString optionName(const char* word);
    // Parses c's arguments by the row's rule and runs it. False with
    // *why ("word, line n: ...") and *kind on failure.
    static bool run(Context& x, const BatchCmd& c, Failures::Kind* kind, QString* why);

private:
    // The table's two parts, in its order.
    static std::vector<Row> settingRows();
    static std::vector<Row> stackAndOutputRows();
};
