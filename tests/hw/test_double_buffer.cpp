// Double buffer: hand-over in both flip modes, refused oversize writes, and a writer that
// waits for the reader when both buffers are full.
#include "hw/double_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

class DoubleBufferTest : public ::testing::Test {
  protected:
    void SetUp() override { DOUBLE_BUFFER_init(&db, a, sizeof(a), b, sizeof(b)); }
    void TearDown() override { DOUBLE_BUFFER_release(&db); }
    void write(const char *text) {
        uint32_t room;
        uint8_t *at = DOUBLE_BUFFER_openWrite(&db, &room);
        ASSERT_GE(room, strlen(text));
        memcpy(at, text, strlen(text));
        DOUBLE_BUFFER_closeWrite(&db, (uint32_t)strlen(text));
    }
    std::string read() {
        uint32_t n;
        const uint8_t *p = DOUBLE_BUFFER_openRead(&db, &n);
        std::string s((const char *)p, n);
        if (n) DOUBLE_BUFFER_closeRead(&db);
        return s;
    }
    uint8_t a[16], b[16];
    DoubleBuffer db;
};

TEST_F(DoubleBufferTest, FlipModeZeroHandsOverAtEveryClose) {
    write("abc");
    write("de");
    EXPECT_EQ(read(), "abc");
    EXPECT_EQ(read(), "de");
    EXPECT_EQ(read(), "");
}

TEST_F(DoubleBufferTest, FlipModeOneHoldsDataBackUntilFlip) {
    DOUBLE_BUFFER_setFlipMode(&db, 1);
    write("abc");
    write("de");
    EXPECT_EQ(read(), "");
    DOUBLE_BUFFER_flip(&db);
    EXPECT_EQ(read(), "abcde");
    DOUBLE_BUFFER_flip(&db);  // nothing written: nothing handed over
    EXPECT_EQ(read(), "");
}

TEST_F(DoubleBufferTest, WaitingBufferHasNoRoomAndTooLongWritesAreDropped) {
    DOUBLE_BUFFER_setFlipMode(&db, 1);
    write("0123456789");
    uint32_t room;
    DOUBLE_BUFFER_openWrite(&db, &room);
    EXPECT_EQ(room, 6u);
    DOUBLE_BUFFER_closeWrite(&db, 7);  // more than there is room for
    DOUBLE_BUFFER_flip(&db);
    EXPECT_EQ(read(), "0123456789");
    EXPECT_EQ(DOUBLE_BUFFER_openWrite_blocking(&db, 17), nullptr);  // never fits
}

TEST_F(DoubleBufferTest, BlockingOpenWaitsForTheReaderWhenBothBuffersWait) {
    DOUBLE_BUFFER_setFlipMode(&db, 1);
    write("AAAAAAAAAAAA");
    DOUBLE_BUFFER_flip(&db);
    write("BBBBBBBBBBBB");
    DOUBLE_BUFFER_flip(&db);  // both buffers now wait to be read
    std::atomic<bool> opened{false};
    std::thread writer([&] {
        uint8_t *at = DOUBLE_BUFFER_openWrite_blocking(&db, 10);
        memcpy(at, "CCCCCCCCCC", 10);
        DOUBLE_BUFFER_closeWrite(&db, 10);
        opened = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(opened);
    EXPECT_EQ(read(), "AAAAAAAAAAAA");
    writer.join();
    EXPECT_TRUE(opened);
    EXPECT_EQ(read(), "BBBBBBBBBBBB");
    DOUBLE_BUFFER_flip(&db);
    EXPECT_EQ(read(), "CCCCCCCCCC");
}

TEST_F(DoubleBufferTest, BlockingOpenFlipsItsOwnFullBuffer) {
    DOUBLE_BUFFER_setFlipMode(&db, 1);
    write("0123456789");
    uint8_t *at = DOUBLE_BUFFER_openWrite_blocking(&db, 8);  // 6 left: flips, takes the other
    ASSERT_NE(at, nullptr);
    memcpy(at, "xyz", 3);
    DOUBLE_BUFFER_closeWrite(&db, 3);
    EXPECT_EQ(read(), "0123456789");
    DOUBLE_BUFFER_flip(&db);
    EXPECT_EQ(read(), "xyz");
}

TEST_F(DoubleBufferTest, ReaderAndWriterThreadsPassEveryByteInOrder) {
    std::atomic<bool> done{false};
    std::string got;
    std::thread reader([&] {
        for (;;) {
            // Looked at before the read: an empty read after the writer had finished means
            // nothing is left (the other order could stop with the last bytes unread).
            bool finished = done;
            uint32_t n;
            const uint8_t *p = DOUBLE_BUFFER_openRead(&db, &n);
            if (n) {
                got.append((const char *)p, n);
                DOUBLE_BUFFER_closeRead(&db);
                continue;
            }
            if (finished) break;
            std::this_thread::yield();
        }
    });
    std::string sent;
    for (int i = 0; i < 2000; i++) {
        char c = (char)('a' + i % 26);
        uint8_t *at = DOUBLE_BUFFER_openWrite_blocking(&db, 3);
        memset(at, c, 3);
        DOUBLE_BUFFER_closeWrite(&db, 3);
        sent.append(3, c);
    }
    done = true;
    reader.join();
    EXPECT_EQ(got, sent);
}

}  // namespace
