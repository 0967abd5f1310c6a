// The main loop's share of a streamed command, without the transport: a link's command
// buffer is filled with whole lines of one command and served as the main loop serves it,
// over and over. The reference, in the same run, is the least any line interpreter does with
// the same bytes: find each line's end and convert its number.
//
// The figures are nanoseconds per line; the summary gives the executor's cost as a multiple of
// the reference.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "device/device.h"
#include "scpi/scpi_error.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"

namespace {

constexpr int cmdSize = 1024;

const char *const commands[] = {
    "STAT:QUES:ENAB 1\n",    // a status register: the second root set
    "FREQ:MODE CW\n",        // the implied branch: a device setting
    "POW 0\n",               // a level through the implied branch
    "*ESE 1\n",              // a common command: the first root node
    "STAT:QUES:ENAB?\n",     // a query with a short answer
    "SOUR1:FREQ:CW 1GHz\n",  // the channel suffix and a frequency conversion
};

struct Engine {
    Engine() {
        scpi_link_initAll(&list);
        device = Device_create();
        Device_init(device);
        context.device = device;
        scpi_parser_init(&context);
        scpi_link_init(&list, &link, cmdSize, cmdSize, "Bench");
    }
    ~Engine() { scpi_link_destroy(&link); }
    ScpiLinkList list{};
    ScpiParserContext context{};
    ScpiLink link{};
    Device *device = nullptr;
};

Engine *engine = nullptr;

// As many whole lines as fit into the command buffer.
std::string bufferOf(const char *line) {
    std::string s;
    while (s.size() + strlen(line) <= (size_t)cmdSize)
        s.append(line, strlen(line));
    return s;
}

int linesIn(const std::string &s) {
    int n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

std::map<std::string, double> nsPerLine;

// One command buffer through the link, as the main loop serves it; answers are dropped.
void serveBuffer(const std::string &buffer) {
    ScpiLink *link = &engine->link;
    char *ptr;
    int room = krcommOpenCmd(link, &ptr);
    int n = (int)buffer.size() < room ? (int)buffer.size() : room;
    memcpy(ptr, buffer.data(), (size_t)n);
    krcommCloseCmd(link, n);
    int more;
    do {
        scpi_execute_serveLinkHere(link);
        krcommPeekAns(link, &ptr, &more);
        krcommClearAns(link, 1 << 30, &more);
    } while (more);
}

void BM_Executor(benchmark::State &state) {
    const char *line = commands[state.range(0)];
    std::string buffer = bufferOf(line);
    int lines = linesIn(buffer);
    for (auto _ : state)
        serveBuffer(buffer);
    // A command that ends in an error would measure the error queue, not the command.
    int errors = 0;
    while (!scpi_isErrorQueueEmpty(&engine->context.errorQueue)) {
        int code = 0, len = 0;
        char text[SCPI_ERROR_TEXT_SIZE];
        scpi_popErrorQueue(&engine->context.errorQueue, &code, text, sizeof(text), &len);
        if (errors++ == 0)
            fprintf(stderr, "bench_exec: \"%.*s\" gave %d\n", (int)strcspn(line, "\n"), line, code);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * lines);
    state.SetLabel(std::string(line, strcspn(line, "\n")));
}

// The reference: line ends and one number per line.
void BM_LineFloor(benchmark::State &state) {
    std::string buffer = bufferOf(commands[state.range(0)]);
    int lines = linesIn(buffer);
    for (auto _ : state) {
        const char *p = buffer.data(), *end = p + buffer.size();
        unsigned long sum = 0;
        while (p < end) {
            const char *lf = static_cast<const char *>(memchr(p, '\n', (size_t)(end - p)));
            const char *space = static_cast<const char *>(memchr(p, ' ', (size_t)(lf - p)));
            if (space) sum += strtoul(space + 1, nullptr, 10);
            p = lf + 1;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * lines);
}

constexpr int commandCount = (int)(sizeof(commands) / sizeof(commands[0]));

BENCHMARK(BM_Executor)->DenseRange(0, commandCount - 1);
BENCHMARK(BM_LineFloor)->DenseRange(0, commandCount - 1);

class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            auto items = run.counters.find("items_per_second");
            if (run.run_type == Run::RT_Iteration && items != run.counters.end() &&
                items->second.value > 0)
                nsPerLine[run.benchmark_name()] = 1e9 / items->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Engine e;
    engine = &e;
    // A fixed amount of work instead of timed runs, for instruction counts under callgrind
    // (--toggle-collect='scpi_execute_serveLinkHere(ScpiLink*)'): KR_EXEC_FIXED="<command index>
    // <buffers>".
    if (const char *fixed = getenv("KR_EXEC_FIXED")) {
        int index = 0, buffers = 0;
        if (sscanf(fixed, "%d %d", &index, &buffers) != 2 || index < 0 || index >= commandCount)
            return 2;
        std::string buffer = bufferOf(commands[index]);
        for (int i = 0; i < buffers; i++)
            serveBuffer(buffer);
        printf("%d lines of %.*s\n", buffers * linesIn(buffer), (int)strcspn(commands[index], "\n"),
               commands[index]);
        return 0;
    }
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printf("\nExecutor per line against the line floor of this machine:\n");
    for (int i = 0; i < commandCount; i++) {
        char exName[32], floorName[32];
        snprintf(exName, sizeof(exName), "BM_Executor/%d", i);
        snprintf(floorName, sizeof(floorName), "BM_LineFloor/%d", i);
        double exec = nsPerLine[exName], floor = nsPerLine[floorName];
        if (exec > 0 && floor > 0)
            printf("  %-22.*s %8.1f ns per line  (%.0f x the floor's %.1f ns)\n",
                   (int)strcspn(commands[i], "\n"), commands[i], exec, exec / floor, floor);
    }
    benchmark::Shutdown();
    return 0;
}
