// The checks every batch line passes before the window acts on it: the
// argument kinds with their ranges, and labels told from mistyped commands.
#include "BatchArgs.h"
#include "CommandLookup.h"

#include <QtTest>

namespace {
// "int:0:32", "real", "real:0:inf", "flag", "count:3600", "region", "display", "text"
BatchArgs::Rule ruleOf(const QString& text)
{
    const QStringList p = text.split(':');
    const auto num = [&](int i, double def) {
        return p.value(i) == "inf" ? BatchArgs::inf : p.value(i) == "-inf" ? -BatchArgs::inf : p.value(i).isEmpty() ? def : p.value(i).toDouble();
    };
    if (p[0] == "int")
        return BatchArgs::intArg(num(1, -BatchArgs::inf), num(2, BatchArgs::inf));
    if (p[0] == "real")
        return BatchArgs::realArg(num(1, -BatchArgs::inf), num(2, BatchArgs::inf));
    if (p[0] == "flag")
        return BatchArgs::flagArg();
    if (p[0] == "count")
        return BatchArgs::flagCount(num(1, 0));
    if (p[0] == "region")
        return BatchArgs::regionArg();
    if (p[0] == "display")
        return BatchArgs::displayFile();
    if (p[0] == "rangefile")
        return BatchArgs::rangeFile();
    if (p[0] == "optint")
        return BatchArgs::optIntArg(num(1, -BatchArgs::inf), num(2, BatchArgs::inf));
    return BatchArgs::textArg();
}

// The parsed values that the kind fills, as text.
QString valuesOf(const BatchArgs& a, BatchArgs::Kind k)
{
    static const char* const displays[] = {"raw", "sinogram", "ct1", "i0", "bg", "ct2"};
    switch (k) {
    case BatchArgs::Flag: return a.flag ? "on" : "off";
    case BatchArgs::Int: return QString::number(a.integer);
    case BatchArgs::OptInt: return a.given ? QString::number(a.integer) : QString("none");
    case BatchArgs::Real: return QString::number(a.real, 'g', 15);
    case BatchArgs::FlagCount: return QString("%1 %2").arg(a.flag ? "on" : "off").arg(a.integer);
    case BatchArgs::RangeFile: return QString("%1 %2 %3 [%4]").arg(a.region[0]).arg(a.region[1]).arg(a.region[2]).arg(a.text);
    case BatchArgs::Region: return QString("%1 %2 %3 %4").arg(a.region[0]).arg(a.region[1]).arg(a.region[2]).arg(a.region[3]);
    case BatchArgs::DisplayFile:
        return QString("%1 %2 %3").arg(displays[a.display]).arg(a.integer).arg(a.text);
    default: return a.text;
    }
}
} // namespace

class TstBatchArgs : public QObject
{
    Q_OBJECT
private slots:
    void kinds_data();
    void kinds();
    void labelsAndMistypedWords_data();
    void labelsAndMistypedWords();
    void lookupIgnoresCase();
};

void TstBatchArgs::kinds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("result"); // the values, or the message when refused
    QTest::addColumn<bool>("ok");
    QTest::newRow("comma decimal") << "ct_cor 34,5" << "real" << "ct_cor, line 12: \"34,5\" is not a number" << false;
    QTest::newRow("real") << "ct_cor 120.6" << "real" << "120.6" << true;
    QTest::newRow("exponent") << "ct_cor -1.5e2" << "real" << "-150" << true;
    QTest::newRow("trailing text") << "ct_cor 12px" << "real" << "ct_cor, line 12: \"12px\" is not a number" << false;
    QTest::newRow("nan") << "ct_cor nan" << "real" << "ct_cor, line 12: \"nan\" is not a number" << false;
    QTest::newRow("inf") << "fix_color_max inf" << "real" << "fix_color_max, line 12: \"inf\" is not a number" << false;
    QTest::newRow("overflow") << "ct_cor 1e400" << "real" << "ct_cor, line 12: \"1e400\" is not a number" << false;
    QTest::newRow("missing number") << "ct_cor" << "real" << "ct_cor, line 12: a number is missing" << false;
    QTest::newRow("negative time") << "i0_exp_time -1" << "real:0:inf" << "i0_exp_time, line 12: -1 is out of range (at least 0)" << false;
    QTest::newRow("int text") << "ct_threads abc" << "int:0:32" << "ct_threads, line 12: \"abc\" is not an integer" << false;
    QTest::newRow("int above") << "ct_threads 33" << "int:0:32" << "ct_threads, line 12: 33 is out of range (0 to 32)" << false;
    QTest::newRow("int below") << "ct_threads -1" << "int:0:32" << "ct_threads, line 12: -1 is out of range (0 to 32)" << false;
    QTest::newRow("int edge") << "ct_threads 32" << "int:0:32" << "32" << true;
    QTest::newRow("int with point") << "ct_proc_slice 8.0" << "int:0:inf" << "ct_proc_slice, line 12: \"8.0\" is not an integer" << false;
    QTest::newRow("int beyond int") << "ct_slice_to 3000000000" << "int:0:inf" << "ct_slice_to, line 12: 3000000000 is out of range (0 to 2147483647)" << false;
    QTest::newRow("int missing") << "ct_slice_step" << "int:1:inf" << "ct_slice_step, line 12: an integer is missing" << false;
    QTest::newRow("step zero") << "ct_slice_step 0" << "int:1:inf" << "ct_slice_step, line 12: 0 is out of range (1 to 2147483647)" << false;
    QTest::newRow("negative seek") << "images_seek -5" << "int" << "-5" << true;
    QTest::newRow("flag 1") << "calc_ct1 1" << "flag" << "on" << true;
    QTest::newRow("flag 1.0 is off") << "calc_ct1 1.0" << "flag" << "off" << true;
    QTest::newRow("flag 2 is off") << "calc_ct1 2" << "flag" << "off" << true;
    QTest::newRow("flag missing is off") << "calc_ct1" << "flag" << "off" << true;
    QTest::newRow("count") << "images_multi 1 7" << "count:3600" << "on 7" << true;
    QTest::newRow("count missing") << "images_multi 1" << "count:3600" << "on 0" << true;
    QTest::newRow("count not a number") << "images_multi 1 x" << "count:3600" << "images_multi, line 12: \"x\" is not an integer" << false;
    QTest::newRow("count too large") << "images_multi 1 5000" << "count:3600" << "images_multi, line 12: 5000 is out of range (0 to 3600)" << false;
    QTest::newRow("region") << "ct_set_calc_region 1 2 3.5 4" << "region" << "1 2 3.5 4" << true;
    QTest::newRow("region short") << "ct_set_calc_region 0 0 10" << "region" << "ct_set_calc_region, line 12: a number is missing" << false;
    QTest::newRow("region nan") << "ct_set_disp_region 0 nan 1 1" << "region" << "ct_set_disp_region, line 12: \"nan\" is not a number" << false;
    QTest::newRow("display ct2") << "save_image ct2 3 \"a b.png\"" << "display" << "ct2 3 a b.png" << true;
    QTest::newRow("display any case") << "save_image CT1 a.png" << "display" << "ct1 0 a.png" << true;
    QTest::newRow("display unknown") << "save_image ct3 a.png" << "display" << "save_image, line 12: no display \"ct3\" (raw, sinogram, ct1, i0, bg or ct2 N)" << false;
    QTest::newRow("display no file") << "save_image raw" << "display" << "save_image, line 12: a file name is missing" << false;
    QTest::newRow("display ct2 no number") << "save_image ct2 a.png" << "display" << "save_image, line 12: \"a.png\" is not an integer" << false;
    QTest::newRow("text missing") << "i0_load" << "text" << "" << true;
    QTest::newRow("range") << "ct_cor_sweep 90 110.5 0.5" << "rangefile" << "90 110.5 0.5 []" << true;
    QTest::newRow("range and file") << "ct_cor_sweep 90 110 1 \"a b.png\"" << "rangefile" << "90 110 1 [a b.png]" << true;
    QTest::newRow("range without step") << "ct_cor_sweep 90 110" << "rangefile" << "ct_cor_sweep, line 12: a number is missing" << false;
    QTest::newRow("range step not a number") << "ct_cor_sweep 90 110 x" << "rangefile" << "ct_cor_sweep, line 12: \"x\" is not a number" << false;
    QTest::newRow("optional int absent") << "ct_cor_auto" << "optint:0:inf" << "none" << true;
    QTest::newRow("optional int given") << "ct_cor_auto 64" << "optint:0:inf" << "64" << true;
    QTest::newRow("optional int negative") << "ct_cor_auto -3" << "optint:0:inf" << "ct_cor_auto, line 12: -3 is out of range (0 to 2147483647)" << false;
    QTest::newRow("optional int text") << "ct_cor_auto mid" << "optint:0:inf" << "ct_cor_auto, line 12: \"mid\" is not an integer" << false;
}

void TstBatchArgs::kinds()
{
    QFETCH(QString, line);
    QFETCH(QString, rule);
    QFETCH(QString, result);
    QFETCH(bool, ok);
    const BatchArgs::Rule s = ruleOf(rule);
    BatchArgs a;
    a.integer = 99; // a refused or earlier parse leaves nothing behind
    QCOMPARE(a.parse(BatchCmd(line, 12), s), ok);
    QCOMPARE(ok ? valuesOf(a, s.kind) : a.error, result);
}

void TstBatchArgs::labelsAndMistypedWords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    const QString nac = "Not a command, line 12: ";
    QTest::newRow("swapped letters") << "calc_exce" << nac + "calc_exce";
    QTest::newRow("capitals and one letter") << "CALC_EXEX" << nac + "CALC_EXEX";
    QTest::newRow("letter missing") << "auto_save_dat" << nac + "auto_save_dat";
    QTest::newRow("two letters off") << "shw_bgg" << nac + "shw_bgg";
    QTest::newRow("two letters short") << "calc_ex" << nac + "calc_ex";
    QTest::newRow("three letters off is a label") << "calc_e" << "";
    QTest::newRow("longer word is a label") << "calc_exec_now" << "";
    QTest::newRow("label") << "Loop" << "";
    QTest::newRow("unknown word with arguments") << "Loop 1" << nac + "Loop";
    QTest::newRow("blank line") << "   " << "";
    QTest::newRow("untaken ifok") << ":ifok calc_exec" << "";
    QTest::newRow("control word in capitals") << ":IFNG x" << "";
    QTest::newRow("mistyped control word") << ":gotoo" << nac + ":gotoo";
    QTest::newRow("colon label") << ":again" << "";
    QTest::newRow("label near a control word without colon") << "end" << "";
    QTest::newRow("huge label") << QString(100000, 'x') << "";
}

void TstBatchArgs::labelsAndMistypedWords()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    const CommandLookup lookup({"calc_exec", "ct_cor", "auto_save_data", "show_bg"});
    QCOMPARE(lookup.find(BatchCmd(line).cmd), -1);
    QCOMPARE(lookup.notACommand(BatchCmd(line, 12)), message);
}

void TstBatchArgs::lookupIgnoresCase()
{
    const CommandLookup lookup({"calc_exec", "ct_cor"});
    QCOMPARE(lookup.find("CT_Cor"), 1);
    QCOMPARE(lookup.find("calc_exec"), 0);
    QCOMPARE(lookup.find("ct_co"), -1);
}

QTEST_GUILESS_MAIN(TstBatchArgs)
#include "tst_batchargs.moc"
