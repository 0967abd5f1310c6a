// Block data through the real executor: a small tree whose leaves start the transfers the way
// the command set does, links with small buffers so that every block spans many services, and
// files in a private firmware root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/krpath.h"
#include "scpi/scpi_block.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_tree.h"
#include "scpi_test_harness.h"

using krtest::LinkHarness;

namespace {

struct Sink {
    std::string bytes;
    int completions = 0;
    std::string completedFile;
};
Sink sink;

int32_t collect(void *context, int32_t count, int32_t offset, const char *bytes) {
    Sink *s = static_cast<Sink *>(context);
    EXPECT_EQ((size_t)offset, s->bytes.size()) << "chunks arrive in order";
    s->bytes.append(bytes, (size_t)count);
    return count;
}

int completed(void *context, const char *file) {
    Sink *s = static_cast<Sink *>(context);
    s->completions++;
    s->completedFile = file;
    return 0;
}

// The last parameter of a block command is its header.
char *lastParameter(char *params) {
    char *comma = strrchr(params, ',');
    char *p = comma ? comma + 1 : params;
    while (*p == ' ')
        p++;
    return p;
}

// The name parameter without its quotes.
char *unquoted(char *text) {
    size_t n = strlen(text);
    if (n >= 2 && text[0] == '"' && text[n - 1] == '"') {
        text[n - 1] = 0;
        return text + 1;
    }
    return text;
}

char *firstParameter(char *params) {
    char *p[2];
    int found = 0;
    _scpi_getParameters(params, 2, p, &found, 0);
    return unquoted(found > 0 ? p[0] : params);
}

int dataToHandler(ScpiCall *call) {
    return scpi_exec_startBdReceive_handler(call->link, 0, collect, &sink, completed,
                                            lastParameter(call->params));
}

int dataToFile(ScpiCall *call) {
    char *header = lastParameter(call->params);
    char *name = firstParameter(call->params);
    return scpi_exec_startBdReceive_fileInside(call->link, "/korvane/cust/list", name, completed,
                                               &sink, header);
}

int fileToLink(ScpiCall *call) {
    return scpi_exec_startBdSend_fileInside(call->link, "/korvane/cust/list",
                                            unquoted(call->params), completed, &sink);
}

std::string memory;
int memoryToLink(ScpiCall *call) {
    return scpi_exec_startBdSend_memory(call->link, (int32_t)memory.size(), memory.data(), nullptr,
                                        nullptr);
}

const char fragA[] = "first-";
const char fragB[] = "second";
int fragmentsToLink(ScpiCall *call) {
    scpi_exec_bd_clearFragments(call->link);
    scpi_exec_bd_appendFragment(call->link, fragA, 6);
    scpi_exec_bd_appendFragment(call->link, fragB, 6);
    return scpi_exec_startBdSend_fragmentedMemory(call->link, nullptr, nullptr);
}

int producedBefore = 0;  // a source that fails after this many bytes
int32_t produce(void *, int32_t count, int32_t offset, char *buffer) {
    if (offset >= producedBefore) return -1;
    int n = count < producedBefore - offset ? count : producedBefore - offset;
    for (int i = 0; i < n; i++)
        buffer[i] = (char)('a' + (offset + i) % 26);
    return n;
}
int producerToLink(ScpiCall *call) {
    return scpi_exec_startBdSend_handler(call->link, 100, produce, nullptr, nullptr, nullptr);
}

int opc(ScpiCall *call) {
    return scpi_int2str(1, call->out, call->outSize, &call->outLen);
}

const ScpiNode root[] = {
    scpi_kwLeaf("*OPC", scpi_leafCustom(opc, SCPI_FORM_QUERY)),
    scpi_kwLeaf("DATA", scpi_leafCustom(dataToHandler, SCPI_FORM_SET)),
    scpi_kwLeaf("FILE", scpi_leafCustom(dataToFile, SCPI_FORM_SET)),
    scpi_kwLeaf("READ", scpi_leafCustom(fileToLink, SCPI_FORM_QUERY)),
    scpi_kwLeaf("MEMory", scpi_leafCustom(memoryToLink, SCPI_FORM_QUERY)),
    scpi_kwLeaf("FRAGments", scpi_leafCustom(fragmentsToLink, SCPI_FORM_QUERY)),
    scpi_kwLeaf("PRODucer", scpi_leafCustom(producerToLink, SCPI_FORM_QUERY)),
    scpi_end(),
};

class BlockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = scpi_tree_setRoot(root);
        sink = Sink{};
        snprintf(dir, sizeof(dir), "/tmp/kr_block_XXXXXX");
        ASSERT_NE(mkdtemp(dir), nullptr);
        krpath_setRoot(dir);
        for (const char *d : {"/korvane", "/korvane/cust", "/korvane/cust/list"})
            mkdir(KrPath(d), 0777);
    }
    void TearDown() override {
        scpi_tree_setRoot(saved);
        std::string cmd = std::string("rm -rf ") + dir;
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
        krpath_setRoot(nullptr);
    }
    std::string readFile(const char *path) {
        std::string text;
        FILE *f = fopen(KrPath(path), "rb");
        if (!f) return "<missing>";
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
            text.append(buf, n);
        fclose(f);
        return text;
    }
    void writeFile(const char *path, const std::string &content) {
        FILE *f = fopen(KrPath(path), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
    }
    static std::string block(const std::string &data) {
        std::string count = std::to_string(data.size());
        return "#" + std::to_string(count.size()) + count + data + "\n";
    }
    static std::string pattern(size_t n) {
        std::string s;
        for (size_t i = 0; i < n; i++)
            s += (char)(i * 7 % 256);  // every byte value, line feeds and zeros included
        return s;
    }

    LinkHarness h;
    const ScpiNode *saved = nullptr;
    char dir[64];
};

TEST_F(BlockTest, HeaderOfFiveDeliversExactlyFiveBytes) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "DATA #15hello*OPC?\n"), "1\n");
    EXPECT_EQ(sink.bytes, "hello");
    EXPECT_EQ(sink.completions, 1);
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(BlockTest, HeaderSplitOverReadsIsRecognisedOnceComplete) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "DATA #"), "");
    EXPECT_EQ(h.transact(link, "2"), "");
    EXPECT_EQ(h.transact(link, "1"), "");
    EXPECT_FALSE(scpi_exec_receivingBlockData(link));
    EXPECT_EQ(h.transact(link, "2ab\ncd\nef;*gh*OPC?\n"), "1\n");
    EXPECT_EQ(sink.bytes, "ab\ncd\nef;*gh");
    EXPECT_TRUE(h.errors().empty());
}

// A block longer than announced ends where its header says; the rest is taken for commands.
TEST_F(BlockTest, BlockLongerThanAnnouncedEndsWhereItsHeaderSays) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "DATA #13abcdef;*OPC?\n"), "1\n");
    EXPECT_EQ(sink.bytes, "abc");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});  // "def"
}

TEST_F(BlockTest, FileReceivedOverManyServicesArrivesWhole) {
    ScpiLink *link = h.addLink(64, 64);
    std::string data = pattern(3000);
    EXPECT_EQ(h.transact(link, "FILE \"lst.csv\"," + block(data) + "*OPC?\n"), "1\n");
    EXPECT_TRUE(readFile("/korvane/cust/list/lst.csv") == data) << "file differs";
    EXPECT_EQ(sink.completions, 1);
    EXPECT_EQ(sink.completedFile, "/korvane/cust/list/lst.csv");
    EXPECT_TRUE(h.errors().empty());
    EXPECT_EQ(link->blockReceive.flags, 0u);
}

TEST_F(BlockTest, NameLeavingOrNamingTheDirectoryIsRefusedAndItsBlockSwallowed) {
    ScpiLink *link = h.addLink(64, 64);
    for (const char *name : {"../../escape", ".", "", "sub/.."})
        EXPECT_EQ(h.transact(link, std::string("FILE \"") + name + "\"," + block("*OPC?\n*OPC?\n") +
                                       "*OPC?\n"),
                  "1\n")
            << name;
    EXPECT_EQ(h.errors(), std::vector<int>(4, KR_E_EXECUTION_ERROR));
    EXPECT_EQ(readFile("/korvane/escape"), "<missing>");
    EXPECT_EQ(sink.completions, 0);
}

// A device clear, or the client leaving, mid-receive.
TEST_F(BlockTest, ClearDuringAReceiveLeavesNoPartialFile) {
    ScpiLink *link = h.addLink(64, 64);
    std::string data = pattern(500);
    for (int32_t reason : {SCPI_CLEAR_DEVICE, SCPI_CLEAR_SESSION}) {
        // The second time a file is there already: it stays as it was.
        const char *before = reason == SCPI_CLEAR_SESSION ? "old" : "<missing>";
        if (reason == SCPI_CLEAR_SESSION) writeFile("/korvane/cust/list/part", before);
        h.transact(link, "FILE \"part\"," + block(data).substr(0, 200));
        ASSERT_TRUE(scpi_exec_receivingBlockData(link));
        pthread_mutex_lock(&link->bufLock);
        link->clearPending = reason;
        pthread_mutex_unlock(&link->bufLock);
        h.serve(link);
        EXPECT_FALSE(scpi_exec_receivingBlockData(link));
        EXPECT_EQ(readFile("/korvane/cust/list/part"), before);
        EXPECT_EQ(readFile("/korvane/cust/list/part.tmp"), "<missing>");
        EXPECT_EQ(sink.completions, 0);
        EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
    }
}

TEST_F(BlockTest, FileIsSentOverManyServices) {
    ScpiLink *link = h.addLink(64, 64);
    std::string data = pattern(5000);
    writeFile("/korvane/cust/list/big", data);
    std::string answer = h.transact(link, "READ? \"big\"\n");
    EXPECT_EQ(answer.size(), block(data).size());
    EXPECT_TRUE(answer == block(data)) << "block differs";
    EXPECT_EQ(sink.completions, 1);
    EXPECT_FALSE(scpi_exec_sendingBlockData(link));
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(BlockTest, EmptyOrMissingFileIsTheEmptyBlock) {
    ScpiLink *link = h.addLink(64, 64);
    writeFile("/korvane/cust/list/empty", "");
    EXPECT_EQ(h.transact(link, "READ? \"empty\"\n"), "#10\n");
    EXPECT_EQ(h.transact(link, "READ? \"missing\"\n"), "#10\n");
    EXPECT_EQ(h.transact(link, "READ? \"../../../etc/passwd\"\n"), "#10\n");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_EXECUTION_ERROR});
}

TEST_F(BlockTest, DeviceClearDuringASendDiscardsTheRestAndLeavesTheLinkIdle) {
    ScpiLink *link = h.addLink(64, 64);
    writeFile("/korvane/cust/list/big", pattern(5000));
    h.feed(link, "READ? \"big\"\n");
    h.serve(link);
    EXPECT_EQ(h.drain(link).size(), 64u);
    ASSERT_TRUE(scpi_exec_sendingBlockData(link));
    pthread_mutex_lock(&link->bufLock);
    link->clearPending = 1;
    pthread_mutex_unlock(&link->bufLock);
    h.serve(link);
    EXPECT_FALSE(scpi_exec_sendingBlockData(link));
    int more = 1;
    EXPECT_EQ(h.drain(link, &more), "");
    EXPECT_EQ(more, 0);
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(BlockTest, FailingSourceIsPaddedToTheAnnouncedLength) {
    ScpiLink *link = h.addLink(64, 32);
    producedBefore = 40;
    std::string answer = h.transact(link, "PROD?\n");
    ASSERT_EQ(answer.size(), 5u + 100u + 1u);
    EXPECT_EQ(answer.substr(0, 5), "#3100");
    for (int i = 0; i < 100; i++)
        EXPECT_EQ(answer[5 + i], i < 40 ? (char)('a' + i % 26) : 0) << i;
}

TEST_F(BlockTest, MemoryAndFragmentedMemory) {
    ScpiLink *link = h.addLink(64, 16);
    memory = pattern(300);
    EXPECT_TRUE(h.transact(link, "MEM?\n") == block(memory)) << "block differs";
    std::string frag = h.transact(link, "FRAG?\n");
    // Header length 8, the fragment lengths 6 and 6, data length 12, then the data.
    std::string expect("\x08\0\0\0\x06\0\0\0\x06\0\0\0\x0c\0\0\0first-second\n", 29);
    EXPECT_EQ(frag, expect);
}

TEST_F(BlockTest, FragmentTableHoldsEight) {
    ScpiLink *link = h.addLink(64, 64);
    scpi_exec_bd_clearFragments(link);
    for (int i = 0; i < SCPI_BD_MAX_FRAGMENTS; i++)
        EXPECT_EQ(scpi_exec_bd_appendFragment(link, fragA, 1), 0);
    EXPECT_EQ(scpi_exec_bd_appendFragment(link, fragA, 1), KR_E_EXECUTION_ERROR);
}

TEST_F(BlockTest, SecondSendOrHeaderWhileOneIsActiveFails) {
    ScpiLink *link = h.addLink(64, 64);
    ASSERT_EQ(scpi_exec_startBdSend_memory(link, 3, "abc", nullptr, nullptr), 0);
    EXPECT_EQ(scpi_exec_bdSend_asciiHeader(link), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(scpi_exec_startBdSend_memory(link, 3, "xyz", nullptr, nullptr), KR_E_EXECUTION_ERROR);
    char out[16];
    EXPECT_EQ(scpi_exec_handleBlockDataSend(link, out, sizeof(out)), 6);
    EXPECT_EQ(std::string(out, 6), "#13abc");
    EXPECT_FALSE(scpi_exec_sendingBlockData(link));
}

TEST_F(BlockTest, HeaderThatIsNoBlockHeaderIsRefused) {
    ScpiLink *link = h.addLink(64, 64);
    for (const char *header : {"#", "#0", "#a5", "#2a", "#3", "x15", "#15x", "#1234567890123"})
        EXPECT_EQ(scpi_exec_startBdReceive_handler(link, 0, collect, &sink, completed, header),
                  KR_E_INVALID_FORMAT)
            << header;
    EXPECT_FALSE(scpi_exec_receivingBlockData(link));
    EXPECT_EQ(krscpi_isArbitraryBlock("#", 1), -1);
    EXPECT_EQ(krscpi_isArbitraryBlock("#0", 2), 0);
    EXPECT_EQ(krscpi_isArbitraryBlock("#21", 3), -1);
    EXPECT_EQ(krscpi_isArbitraryBlock("#215", 4), 4);
    EXPECT_EQ(krscpi_isArbitraryBlock("#2x5", 4), 0);
}

TEST_F(BlockTest, BinaryFramingWithoutHeaderText) {
    ScpiLink *link = h.addLink(64, 64);
    ASSERT_EQ(scpi_exec_startBdReceive_handler(link, 0, collect, &sink, completed, nullptr), 0);
    std::string framed("\x03\0\0\0hdr\x04\0\0\0DATA*OPC?\n", 21);
    EXPECT_EQ(h.transact(link, framed), "1\n");
    EXPECT_EQ(sink.bytes, "DATA");
    EXPECT_EQ(sink.completions, 1);
}

TEST_F(BlockTest, WholeFileIsFedToAHandlerInOneGo) {
    std::string data = pattern(300000);
    writeFile("/korvane/cust/list/wave", data);
    EXPECT_EQ(scpi_exec_startBdReadFile_handler(collect, &sink, completed, &sink,
                                                "/korvane/cust/list/wave"),
              0);
    EXPECT_TRUE(sink.bytes == data) << "bytes differ";
    EXPECT_EQ(sink.completions, 1);
    EXPECT_EQ(scpi_exec_startBdReadFile_handler(collect, &sink, completed, &sink,
                                                "/korvane/cust/list/none"),
              KR_E_EXECUTION_ERROR);
}

}  // namespace
