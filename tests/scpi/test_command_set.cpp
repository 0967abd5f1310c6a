// The instrument's command set: the listing holds the documented headers, and units reach the
// device operations they name, with the instance selected by the suffix first. Device slots are
// replaced by recorders for the duration of a test.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "core/krpath.h"
#include "scpi/scpi_analize.h"
#include "scpi/scpi_commands.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_tree.h"
#include "scpi_test_harness.h"
#include "tests/support/param_name.h"

using krtest::LinkHarness;

namespace {

// ---- Listing --------------------------------------------------------------------------------

// The documented headers, one a line, live beside this file for the integration test as well.
std::string documentedHeadersPath() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/') + 1) + "documented_headers.txt";
}

std::string readFile(const std::string &path) {
    std::string text;
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

std::set<std::string> lines(const std::string &text) {
    std::set<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.insert(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

TEST(CommandSetListing, EveryDocumentedHeaderIsListed) {
    char dir[] = "/tmp/kr_cmdset_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    krpath_setRoot(dir);
    std::string ram = std::string(dir) + "/media";
    mkdir(ram.c_str(), 0777);
    ram += "/ram";
    mkdir(ram.c_str(), 0777);
    ASSERT_EQ(scpi_analize_listAllCommands(scpi_rootNodes, "/media/ram/"), 0);
    std::string supported = readFile(ram + "/SCPI_Commands.txt");
    std::string unsupported = readFile(ram + "/SCPI_Not_Supp_Commands.txt");
    std::set<std::string> listed = lines(supported + unsupported);
    EXPECT_GT(listed.size(), 5000u) << "the trace selectors alone give some four thousand";
    size_t count = 0;
    for (const std::string &header : lines(readFile(documentedHeadersPath()))) {
        if (header.empty() || header[0] == '#') continue;
        EXPECT_TRUE(listed.count(header)) << header;
        count++;
    }
    EXPECT_GE(count, 150u) << "too few headers in " << documentedHeadersPath();
    // Leaves without a filled device operation are reported apart.
    EXPECT_TRUE(lines(unsupported).count("DIAGnostic<n>:TEMPerature:ISA?"));
    EXPECT_TRUE(lines(supported).count("*IDN?"));
    // Each header is listed once, whichever file it went to.
    EXPECT_EQ(lines(supported).size() + lines(unsupported).size(), listed.size() + 0u);
    std::string cmd = std::string("rm -rf ") + dir;
    EXPECT_EQ(system(cmd.c_str()), 0);
    krpath_setRoot(nullptr);
}

// ---- Matching -------------------------------------------------------------------------------

std::vector<std::string> calls;

// Puts a function in a slot for the lifetime of the guard.
template <class F>
struct SlotGuard {
    SlotGuard(F *slot, F fn) : slot(slot), saved(*slot) { *slot = fn; }
    ~SlotGuard() { *slot = saved; }
    F *slot;
    F saved;
};
template <class F>
SlotGuard<F> hook(F *slot, F fn) {
    return SlotGuard<F>(slot, fn);
}

uint32_t manualPoint = 5;
uint32_t listCountMax = 9999;

// Records each call of a slot as "name" or "name(argument)", then runs an optional follow-up.
template <auto *Slot, class F = std::remove_cvref_t<decltype(*Slot)>>
struct Rec;
template <auto *Slot, class R, class... A>
struct Rec<Slot, R (*)(Device *, A...)> {
    explicit Rec(const char *n, void (*then)(A...) = nullptr) {
        name = n;
        follow = then;
    }
    // A slot's argument as the rows spell it.
    static long long value(long long v) { return v; }
    static long long value(const KrFreq *f) { return (long long)f->integer; }
    static long long value(const KrPow *p) { return (long long)*p; }
    static inline const char *name;
    static inline void (*follow)(A...);
    SlotGuard<R (*)(Device *, A...)> guard{
        Slot, [](Device *, A... a) -> R {
            calls.push_back((std::string(name) + ... + ("(" + std::to_string(value(a)) + ")")));
            if (follow) follow(a...);
            return 0;
        }};
};

class CommandSetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        calls.clear();
        manualPoint = 5;
        link = h.addLink(1024, 4096);
        panel = h.addLink(1024, 4096, "HC Front Panel");
    }

    // One program message through the parser, unit by unit as the executor splits it.
    std::string message(ScpiLink *l, const std::string &text, std::vector<int> *errors) {
        std::string answer = h.transact(l, text + "\n", true);
        *errors = h.errors();
        return answer;
    }

    LinkHarness h;
    ScpiLink *link = nullptr;
    ScpiLink *panel = nullptr;

    // Recorders for the slots the rows below reach.
    Rec<&Device_setSourceIndex> g1{"src"};
    Rec<&Device_setOutputIndex> g2{"out"};
    Rec<&Device_setMemoryIndex> g3{"mem"};
    Rec<&Device_setFrequencyFixed> g4{"freq"};
    Rec<&Device_setFrequencyModeFixed> g5{"modeFixed"};
    Rec<&Device_enableRf> g6{"rfOn"};
    Rec<&Device_triggerKey> g7{"key"};
    Rec<&Device_setListCount> g8{"listCount"};
    Rec<&Device_setListManualPoint> g11{"manual", [](uint32_t n) { manualPoint = n; }};
    Rec<&Device_doAlcSearchOnce> g12{"searchOnce"};
    Rec<&Device_enableAlcSearch> g13{"searchOn"};
    Rec<&Device_setTriggerSourceExternal> g14{"trigExt"};
    Rec<&Device_setAlcDac> g15{"alcdac"};
    Rec<&Automeasure_calculateAVariance> g16{"avar"};
    Rec<&Device_setPowerFixed> g17{"pow"};
    Rec<&Device_triggerImmediate> g18{"trigger"};
    Rec<&Device_enableAm> g19{"amOn"};
    Rec<&Device_setPulmSourceBitstream> g20{"pulmBitstream"};
    Rec<&Device_setPulmSourceExternal> g21{"pulmExternal"};
    // Getters the value keywords and the manual point query read.
    SlotGuard<decltype(Device_getListSweepCountMax)> g9{&Device_getListSweepCountMax,
                                                        [](Device *) { return listCountMax; }};
    SlotGuard<decltype(Device_getListManualPoint)> g10{&Device_getListManualPoint,
                                                       [](Device *) { return manualPoint; }};
    SlotGuard<decltype(Device_getListManualPointMax)> g10b{&Device_getListManualPointMax,
                                                           [](Device *) { return (uint32_t)10; }};
};

struct UnitRow {
    const char *message;
    const char *calls;  // recorded device calls, blank-separated
    int error;          // first queued error, 0 for none
};

std::string joined() {
    std::string s;
    for (const std::string &c : calls)
        s += (s.empty() ? "" : " ") + c;
    return s;
}

class CommandSetRows : public CommandSetTest, public ::testing::WithParamInterface<UnitRow> {};

TEST_P(CommandSetRows, ReachesItsDeviceOperations) {
    const UnitRow &row = GetParam();
    std::vector<int> errors;
    message(link, row.message, &errors);
    EXPECT_EQ(joined(), row.calls) << row.message;
    EXPECT_EQ(errors.empty() ? 0 : errors.front(), row.error) << row.message;
}

constexpr const char *any = "src(2147483647)";

INSTANTIATE_TEST_SUITE_P(
    Paths, CommandSetRows,
    ::testing::Values(
        // The path is remembered: MODE is a sibling of CW below FREQuency, and the channel is
        // selected again for the following unit.
        UnitRow{"SOUR:FREQ:CW 1GHz;MODE CW",
                "src(2147483647) freq(1000000000) src(2147483647) modeFixed", 0},
        UnitRow{"SOUR2:FREQ:CW 2GHz;MODE FIX", "src(2) freq(2000000000) src(2) modeFixed", 0},
        // The implied branch and the optional leaf.
        UnitRow{"FREQ 1GHz", "src(2147483647) freq(1000000000)", 0},
        UnitRow{"frequency:cw 5 MHz", "src(2147483647) freq(5000000)", 0},
        // The suffix selects the channel before the children match.
        UnitRow{"SOUR2:FREQ 1GHz", "src(2) freq(1000000000)", 0},
        UnitRow{"SOURce3:POWer:LEVel:IMMediate:AMPLitude -7", "src(3) pow(-7)", 0},
        UnitRow{"POW 3", "src(2147483647) pow(3)", 0}, UnitRow{"OUTP2 ON", "out(2) rfOn", 0},
        UnitRow{"OUTP:STAT 1", "out(2147483647) rfOn", 0}, UnitRow{"MEM4", "mem(4)", 0},
        // Value keywords of typed leaves.
        UnitRow{"LIST:COUN INF", "src(2147483647) listCount(9999)", 0},
        UnitRow{"LIST:COUN 12", "src(2147483647) listCount(12)", 0},
        UnitRow{"LIST:MAN UP", "src(2147483647) manual(6)", 0},
        UnitRow{"LIST:MAN DOWN", "src(2147483647) manual(4)", 0},
        UnitRow{"POW:ALC:SEAR ONCE", "src(2147483647) searchOnce", 0},
        UnitRow{"POW:ALC:SEAR ON", "src(2147483647) searchOn", 0},
        UnitRow{"LIST:COUN SOMETIMES", "src(2147483647)", KR_E_ILLEGAL_PARAMETER_VALUE},
        // Enumerations and the second root set.
        UnitRow{"TRIG:SOUR EXT", "src(2147483647) trigExt", 0},
        UnitRow{"TRIG:SEQ:SOUR EXTernal", "src(2147483647) trigExt", 0},
        UnitRow{"TRIG:SOUR NONE", "src(2147483647)", KR_E_ILLEGAL_PARAMETER_VALUE},
        UnitRow{"*TRG", "trigger", 0}, UnitRow{"TRIG", "src(2147483647) trigger", 0},
        // Legacy words: whole words only.
        UnitRow{"alcdac=17", "src(2147483647) alcdac(17)", 0},
        UnitRow{"alcdacx=17", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        // Trace selectors in their order; AVARiance as a set computes.
        UnitRow{"CALC:AN:FN:PN:TRAC:AVAR", "avar", 0},
        UnitRow{"CALC:PN:TRAC:NOIS:SPUR:POW:FREQ:AVAR", "avar", 0},
        UnitRow{"CALC:PN:TRAC:TAU:NOIS?", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        // Modulation leaves reach the modulation slots by their names.
        UnitRow{"AM:STAT ON", "src(2147483647) amOn", 0},
        UnitRow{"SOUR2:PULM:SOUR BITS", "src(2) pulmBitstream", 0},
        UnitRow{"PULM:SOUR EXT", "src(2147483647) pulmExternal", 0},
        // Errors.
        UnitRow{"*IDN? 1", "", KR_E_PARAMETER_NOT_ALLOWED},
        UnitRow{"SOUR:FOO 1", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        UnitRow{"NOSUCH:HEADER", "src(2147483647)", KR_E_UNDEFINED_HEADER},
        UnitRow{"FREQ:EXAC 1GHz", "src(2147483647)", KR_E_UNDEFINED_HEADER}),
    [](const ::testing::TestParamInfo<UnitRow> &info) { return paramText(info.param.message); });

struct AnswerRow {
    const char *name;
    const char *message;
    const char *answer;
    int error;  // 0: none queued
};

class CommandSetAnswers : public CommandSetTest, public ::testing::WithParamInterface<AnswerRow> {};

// Typed leaves over unfilled slots answer their zero; a pending leaf, which no module of this
// instrument kind has, queues -113 instead of making an answer up.
TEST_P(CommandSetAnswers, AnswersOrQueuesAnError) {
    std::vector<int> errors;
    EXPECT_EQ(message(link, GetParam().message, &errors), GetParam().answer);
    EXPECT_EQ(errors, GetParam().error ? std::vector<int>{GetParam().error} : std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(
    Queries, CommandSetAnswers,
    ::testing::Values(AnswerRow{"StatusRegister", "STAT:OPER:COND?", "0\n", 0},
                      AnswerRow{"PendingMeasurement", "SENS:PN:REF2?", "", KR_E_UNDEFINED_HEADER},
                      AnswerRow{"PendingDiagnostic", "DIAG3:TEMP:ISA?", "", KR_E_UNDEFINED_HEADER},
                      AnswerRow{"PendingTrace", "CALC:PN:TRAC:NOIS:SPUR:POW:FREQ:TAU?", "",
                                KR_E_UNDEFINED_HEADER},
                      AnswerRow{"ManualListIndex", "LIST:MAN?", "5\n", 0},
                      AnswerRow{"WaitThenComplete", "*WAI;*OPC?", "1\n", 0}),
    [](const ::testing::TestParamInfo<AnswerRow> &info) { return std::string(info.param.name); });

// The level control bandwidth is HIGH whenever the device does not report it low.
TEST_F(CommandSetTest, BandwidthAnswersHighWhenNotLow) {
    static int low = 0;
    auto is = hook(
        &Device_isAlcBandwidthLow, +[](Device *) { return low; });
    std::vector<int> errors;
    low = 1;
    EXPECT_EQ(message(link, "POW:ALC:BAND?", &errors), "LOW\n");
    low = 0;
    EXPECT_EQ(message(link, "POW:ALC:BWID?", &errors), "HIGH\n");
    EXPECT_TRUE(errors.empty());
}

TEST_F(CommandSetTest, DiagnosticSuffixSelectsTheChannel) {
    std::vector<int> errors;
    message(link, "DIAG3:TEMP:ISA?", &errors);
    EXPECT_EQ(joined(), "src(3)");
}

// A module that takes over the unspecified leaves gets the keyword, form and parameters.
TEST_F(CommandSetTest, UnspecifiedLeavesReachTheGenericOperation) {
    auto guard = hook(
        &Device_runCommandLeaf,
        +[](Device *, const char *keyword, int query, char *params, char *out, int32_t size) {
            calls.push_back(std::string(keyword) + (query ? "?" : " ") + params);
            return query ? snprintf(out, (size_t)size, "42") : 0;
        });
    std::vector<int> errors;
    EXPECT_EQ(message(link, "SOUR:AM:HPASs 30", &errors), "");
    EXPECT_EQ(message(link, "DIAG:TEMP:ISA?", &errors), "42\n");
    EXPECT_EQ(joined(), "src(2147483647) HPASs 30 src(2147483647) ISA?");
    EXPECT_TRUE(errors.empty());
}

// List files travel as block data to and from the path the device names.
TEST_F(CommandSetTest, ListFilesAsBlockData) {
    char dir[] = "/tmp/kr_cmdlist_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    krpath_setRoot(dir);
    mkdir((std::string(dir) + "/korvane").c_str(), 0777);
    auto path = hook(
        &Device_getListAbsolutePath, +[](Device *, const char *name) -> const char * {
            static std::string file;
            if (strchr(name, '/')) return nullptr;  // the device keeps names inside its directory
            file = std::string("/korvane/") + name;
            return file.c_str();
        });
    auto remove = hook(
        &Device_deleteList, +[](Device *, const char *name) {
            calls.push_back(std::string("delete(") + (name ? name : "ALL") + ")");
            return 0;
        });
    std::vector<int> errors;
    EXPECT_EQ(message(link, "MEM:FILE:LIST:WRIT 'one',#15hello*OPC?", &errors), "1\n");
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(std::string(dir) + "/korvane/one"), "hello");
    // The block is a response unit: what follows it in the message comes after it.
    EXPECT_EQ(message(link, "*OPC?;MEM:FILE:LIST:READ? 'one';*OPC?", &errors), "1;#15hello;1\n");
    EXPECT_EQ(message(link, "MEM:FILE:LIST:DATA \"two\",#13abc*OPC?", &errors), "1\n");
    EXPECT_EQ(message(link, "MEM:FILE:LIST:DATA? 'two'", &errors), "#13abc\n");
    EXPECT_TRUE(errors.empty());
    // A name the device refuses still has its block consumed.
    EXPECT_EQ(message(link, "MEM:FILE:LIST:WRIT '../x',#13abc*OPC?", &errors), "1\n");
    EXPECT_EQ(errors, std::vector<int>{KR_E_ILLEGAL_PARAMETER_VALUE});
    calls.clear();
    message(link, "MEM2:FILE:LIST:DEL ALL;DEL 'one'", &errors);
    EXPECT_EQ(joined(), "mem(2) delete(ALL) mem(2) delete(one)");
    std::string cmd = std::string("rm -rf ") + dir;
    EXPECT_EQ(system(cmd.c_str()), 0);
    krpath_setRoot(nullptr);
}

TEST_F(CommandSetTest, KeyTriggerOnlyFromTheFrontPanel) {
    std::vector<int> errors;
    message(link, "TRIG:KEY", &errors);
    EXPECT_EQ(joined(), any) << "dropped from another link";
    EXPECT_TRUE(errors.empty()) << "and without an error";
    calls.clear();
    message(panel, "TRIG:KEY", &errors);
    EXPECT_EQ(joined(), "src(2147483647) key");
    EXPECT_TRUE(errors.empty());
}

TEST_F(CommandSetTest, IdentificationAndOptions) {
    std::vector<int> errors;
    std::string idn = message(link, "*IDN?", &errors);
    EXPECT_EQ(idn, krtest::identification() + "\n");
    EXPECT_TRUE(errors.empty());
    std::string opt = message(link, "*OPT?", &errors);
    EXPECT_FALSE(opt.empty());
    EXPECT_TRUE(errors.empty());
}

}  // namespace
