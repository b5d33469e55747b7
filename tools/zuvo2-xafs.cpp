// zuvo2-xafs: CT-XAFS analysis without a window. From the reconstructed
// slices of one slice over energy it runs the chain stack -> normalisation
// -> maps -> linear-combination fits and classes -> exports, with the words
// of the batch language as options ("xafs_lcf_window -20 80" is
// "--lcf-window -20,80"), in the order of that chain.
#include "ConfigStore.h"
#include "CtRunReport.h"
#include "Failures.h"
#include "QuitOnSignal.h"
#include "ToolExit.h"
#include "XafsCommands.h"
#include "XafsProgress.h"
#include "XafsSession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <memory>

namespace {
constexpr int Ok = ToolExit::Ok, Failed = ToolExit::Failed, Usage = ToolExit::Usage;
QTextStream& (&err)() = ToolExit::err;
int (&usage)(const QString&) = ToolExit::usage;
} // namespace

int main(int argc, char** argv)
{
    QuitOnSignal::install();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zuvo2-xafs"));
    QCoreApplication::setApplicationVersion(CtRunReport::programVersion());

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "CT-XAFS analysis of one slice over energy, without a window: loads the energy stack (--stack-load DIR,PATTERN), "
        "then writes what the options ask for, as the batch words of the same names do. Arguments of an option are "
        "separated by commas; an option given more than once runs once for each (--references-load gathers its files into one set). Settings apply before the stack "
        "is loaded, references after it, outputs last.\nExit status: 0 everything written, 1 something failed "
        "(each failure named), 2 bad usage (nothing written), 128 + N ended by signal N (SIGTERM, SIGINT: the "
        "step in progress stops and writes nothing)."));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption config("config", "Configuration file: XafsElement \"Fe K\", XafsMonoD, XafsFacility, XafsBeamline, XafsScanStart.", "FILE");
    p.addOption(config);
    std::vector<std::unique_ptr<QCommandLineOption>> opts;
    for (const XafsCommands::Row& r : XafsCommands::table()) {
        QString args = QString::fromLatin1(r.args);
        args.replace(QLatin1Char(' '), QLatin1Char(','));
        opts.push_back(std::make_unique<QCommandLineOption>(XafsCommands::optionName(r.word), QString::fromLatin1(r.help), args));
        p.addOption(*opts.back());
    }
    if (!p.parse(QCoreApplication::arguments()))
        return usage(p.errorText());
    if (p.isSet(QStringLiteral("help")))
        p.showHelp(Ok);
    if (p.isSet(QStringLiteral("version")))
        p.showVersion();
    if (!p.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument %1").arg(p.positionalArguments().first()));
    const int stackRow = XafsCommands::find(QStringLiteral("xafs_stack_load"));
    const int alignRow = XafsCommands::find(QStringLiteral("xafs_align"));
    if (!p.isSet(*opts[size_t(stackRow)]) && !p.isSet(*opts[size_t(alignRow)]))
        return usage(QStringLiteral("--stack-load DIR,PATTERN (or --align alone) is missing"));

    XafsSession session;
    if (p.isSet(config)) {
        ConfigStore store;
        if (!QFileInfo(p.value(config)).isFile())
            return usage(QStringLiteral("--config %1: no such file").arg(p.value(config)));
        store.readFile(p.value(config));
        QString why;
        if (!session.applyConfig(store, &why))
            return usage(QStringLiteral("--config %1: %2").arg(p.value(config), why));
    }
    // One batch line per option given, in the table's order.
    std::vector<BatchCmd> steps;
    for (size_t i = 0; i < opts.size(); ++i) {
        if (!p.isSet(*opts[i]))
            continue;
        // Files of references add up to one set; any other option given
        // twice runs twice (two regions, two maps).
        const QString word = QString::fromLatin1(XafsCommands::table()[i].word);
        const bool gather = word == QLatin1String("xafs_references_load");
        const QStringList values = p.values(*opts[i]);
        for (int v = 0; v < values.size(); ++v) {
            if (!gather || v == 0) {
                steps.emplace_back();
                steps.back().cmd = word;
            }
            steps.back().args += values[v].split(QLatin1Char(','));
            steps.back().line = word + QLatin1Char(' ') + steps.back().args.join(QLatin1Char(' '));
        }
    }

    XafsProgress progress;
    QuitOnSignal onSignal;
    int interrupted = 0;
    QObject::connect(&onSignal, &QuitOnSignal::requested, &app, [&](int sig) {
        interrupted = sig;
        progress.cancel = true;
    });
    int done = 0;
    // The chain runs in a thread of its own so that a signal is heard while it computes.
    QThread* worker = QThread::create([&]() {
        XafsCommands::Context x{session, &progress};
        for (const BatchCmd& c : steps) {
            if (progress.cancelled())
                break;
            QElapsedTimer t;
            t.start();
            Failures::Kind kind = Failures::Command;
            QString why;
            if (!XafsCommands::run(x, c, &kind, &why)) {
                // Named by the option, not the batch line.
                Failures::record(kind, QStringLiteral("--%1: %2")
                                           .arg(XafsCommands::optionName(qPrintable(c.cmd)), why.section(QStringLiteral(": "), 1)));
                // Without a stack nothing further can be right.
                if (c.cmd == QLatin1String("xafs_stack_load"))
                    break;
                continue;
            }
            ++done;
            QTextStream(stdout) << c.line << ": done in " << t.elapsed() << " ms\n";
        }
    });
    QObject::connect(worker, &QThread::finished, &app, &QCoreApplication::quit);
    worker->start();
    app.exec();
    worker->wait();
    delete worker;
    if (interrupted || Failures::total() > 0) {
        err() << "zuvo2-xafs: " << done << " of " << steps.size() << " steps done"
              << (interrupted ? QStringLiteral(" (interrupted by signal %1)").arg(interrupted) : QString())
              << (Failures::total() > 0 ? QStringLiteral("; ") + Failures::summary() : QString()) << "\n";
        err().flush();
        return interrupted ? 128 + interrupted : Failed;
    }
    return Ok;
}
