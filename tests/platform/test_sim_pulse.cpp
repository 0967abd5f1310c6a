// The simulated pulse modulators in the state file: the standard controller's driver and
// shift register first, then the FS FPGA's registers (the FPGA link stays up once brought up).
#include <fcntl.h>

#include <fstream>

#include "hw/board_slaves.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krcont_registers.h"
#include "kr_generic_io.h"
#include "platform/sim_control.h"
#include "platform/sim_fpga.h"
#include "platform_test_support.h"
#include "rtdev.h"
#include "rtnative.h"

namespace {

class SimPulseTest : public SimBlockTest {
  protected:
    const char *serial() const override { return "0C0-000030000-0001"; }  // three channels
    void SetUp() override {
        SimBlockTest::SetUp();
        pulm = rt_dev_open(KRSSC_PULM_DEVICE, O_RDWR);
        ASSERT_GE(pulm, 0);
    }
    void TearDown() override {
        rt_dev_close(pulm);
        SimBlockTest::TearDown();
    }
    // The channel's pulse object as the state file shows it.
    static std::string pulse(int channel) {
        std::string j = hardware_sim_stateJson();
        size_t at = 0;
        for (int c = 0; c <= channel; c++)
            at = j.find("\"pulse\": ", at + 1);
        return j.substr(at, j.find(", \"fs\":", at) - at);
    }
    std::string stateFile() {
        std::ifstream file(root + "/sim/hardware-state.json");
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    static std::string rf() {
        std::string j = hardware_sim_stateJson();
        size_t at = j.find("\"rf\": \"") + 7;
        return j.substr(at, j.find('"', at) - at);
    }
    void internal(uint32_t ones, uint32_t zeroes, uint32_t divider) {
        KrGioPulmInternal r = {zeroes, ones, divider};
        ASSERT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_SET_INTERNAL, &r), 0);
    }
    // Immediate register write and RAM write on the FS link.
    void fsWrite(uint8_t reg, uint64_t value, int bytes) {
        std::vector<uint8_t> cmd;
        append(cmd, FS_CMD_LONG_IMMEDIATE, FS_OP_WRITE_REGISTER, reg, value, bytes);
        KrGioFsSend s = {cmd.data(), (uint32_t)cmd.size(), 0};
        ASSERT_EQ(rt_dev_ioctl(fd, KRFS_IOC_SEND_IMM, &s), 0);
    }
    static void append(std::vector<uint8_t> &s, uint8_t head, uint8_t op, uint8_t arg,
                       uint64_t value, int bytes) {
        s.insert(s.end(), {(uint8_t)(head | bytes), op, arg});
        for (int i = bytes - 1; i >= 0; i--)  // last byte first
            s.push_back((uint8_t)(value >> (8 * i)));
    }

    int pulm = -1;
};

TEST_F(SimPulseTest, StandardInternalGeneratorBitPatternAndRouting) {
    record(board_outSlave(0, BOARD_OUT_SRI), simtest_band1Image(2, 28, 4));  // RF on
    send();
    EXPECT_NE(pulse(0).find("\"enabled\": false"), std::string::npos);
    internal(16512000, 16512000, 2);
    ASSERT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_INTMOD_ON, 0), 0);
    ASSERT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_START, 0), 0);
    std::string p = pulse(0);
    EXPECT_NE(p.find("\"enabled\": true, \"source\": \"internal\", \"polarity\": \"inverted\""),
              std::string::npos);  // the normal-polarity bit is not set
    EXPECT_NE(p.find("\"period_s\": 1, \"width_s\": 0.5"), std::string::npos);
    EXPECT_NE(p.find("\"intmod\": true"), std::string::npos);
    EXPECT_EQ(rf(), "pulsed");
    // No I/O update follows a driver request: the file itself is rewritten at once.
    EXPECT_NE(stateFile().find("\"period_s\": 1, \"width_s\": 0.5"), std::string::npos);
    internal(16512000, 16512000, 4);
    EXPECT_NE(pulse(0).find("\"period_s\": 2, \"width_s\": 1"), std::string::npos);

    std::vector<uint8_t> pattern(KR_GIO_PULM_PATTERN_BYTES, 0);
    pattern[0] = 0xA5, pattern[1] = 0x3c;
    KrGioPulmBitstream b = {3, 10, 5, 2, 0, pattern.data()};
    ASSERT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_SET_BITSTREAM, &b), 0);
    p = pulse(0);
    EXPECT_NE(p.find("\"source\": \"bitstream\""), std::string::npos);
    EXPECT_NE(p.find("{\"bits\": 10, \"start_bit\": 3, \"bit_time_s\": 1.5140503876e-07"),
              std::string::npos)
        << p;
    EXPECT_NE(p.find("\"msb_first\": false, \"pattern\": \"A53C\"}"), std::string::npos);
    // A window past the 4096-bit record is refused and flagged.
    KrGioPulmBitstream over = {4000, 100, 5, 2, 1, pattern.data()};
    EXPECT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_SET_BITSTREAM, &over), -EINVAL);
    EXPECT_EQ(hardware_sim_violations().size(), 1u);

    ASSERT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_STOP, 0), 0);
    EXPECT_NE(pulse(0).find("\"enabled\": false"), std::string::npos);
    EXPECT_EQ(rf(), "on");
    // External source with normal polarity, and the external input.
    record(BOARD_CONT_SRI,
           {(uint8_t)(1 << KRCONT_SRI_PULM_EXTERNAL | 1 << KRCONT_SRI_PULM_NORMAL), 0, 0, 0});
    send();
    EXPECT_EQ(simcontrol_handle("pulse-in 1"), "ok");
    p = pulse(0);
    EXPECT_NE(p.find("\"enabled\": true, \"source\": \"external\", \"polarity\": \"normal\""),
              std::string::npos);
    EXPECT_NE(p.find("\"pulse_in\": true"), std::string::npos);
    EXPECT_NE(pulse(1).find("\"enabled\": false"), std::string::npos);  // one modulator only
}

TEST_F(SimPulseTest, FsTimesBitPatternAndTrain) {
    ASSERT_EQ(rt_dev_ioctl(fd, KRFS_IOC_INIT), 0);
    fsWrite(fs_regPulmTimes(1), (uint64_t)300 << 32 | 100, 8);          // on 0.5 us, off 1.5 us
    EXPECT_NE(pulse(1).find("\"period_s\": null"), std::string::npos);  // not loaded yet
    fsWrite(fs_regPulmControl(1), 1u << FS_PULM_ENABLE | 1u << FS_PULM_TIMES_LOAD, 4);
    std::string p = pulse(1);
    EXPECT_NE(p.find("\"enabled\": true, \"source\": \"internal\", \"polarity\": \"normal\", "
                     "\"forced_off\": false"),
              std::string::npos)
        << p;
    EXPECT_NE(p.find("\"period_s\": 2e-06, \"width_s\": 5e-07"), std::string::npos) << p;
    EXPECT_NE(stateFile().find("\"enabled\": true"), std::string::npos);  // written once stored
    EXPECT_EQ(simfpga_register(fs_regPulmControl(1)) >> FS_PULM_TIMES_LOAD & 1, 0u);  // strobe

    std::vector<uint8_t> ram;
    append(ram, FS_CMD_LONG_IMMEDIATE, FS_OP_RAM_ADDRESS, 0, FS_RAM_PULM_PATTERN, 4);
    append(ram, FS_CMD_LONG_IMMEDIATE, FS_OP_RAM_WRITE, 0, 0xF00F81, 3);
    KrGioFsSend s = {ram.data(), (uint32_t)ram.size(), 0};
    ASSERT_EQ(rt_dev_ioctl(fd, KRFS_IOC_SEND_IMM, &s), 0);
    fsWrite(FS_REG_PULM_BITS, 20, 2);
    fsWrite(FS_REG_PULM_BIT_TICKS, 40, 4);
    fsWrite(fs_regPulmControl(2),
            1u << FS_PULM_ENABLE | FS_PULM_SOURCE_BITSTREAM << 28 | 1u << FS_PULM_INVERTED |
                1u << FS_PULM_FORCE_OFF,
            4);
    p = pulse(2);
    EXPECT_NE(p.find("\"source\": \"bitstream\", \"polarity\": \"inverted\", \"forced_off\": true"),
              std::string::npos);
    EXPECT_NE(p.find("{\"bits\": 20, \"start_bit\": 0, \"bit_time_s\": 2e-07, \"msb_first\": "
                     "true, \"pattern\": \"810FF0\"}"),
              std::string::npos)
        << p;

    // A train of two pulses on channel 0: the loop's sweep-timer entries in play order.
    fsWrite(fs_regSweepControl(0), 1, 4);  // one pass: the loop is kept, not replayed
    std::vector<uint8_t> train;
    append(train, FS_CMD_LONG_BUFFERED, FS_OP_SELECT_CHANNEL, 0, 0, 0);
    append(train, FS_CMD_LONG_BUFFERED, FS_OP_STREAM, FS_STREAM_JUMP_LABEL, 0, 0);
    append(train, FS_CMD_LONG_BUFFERED, FS_OP_WRITE_REGISTER, fs_regSweepTimer(0),
           (uint64_t)400 << 32 | 200, 8);
    append(train, FS_CMD_LONG_BUFFERED, FS_OP_WRITE_REGISTER, fs_regSweepTimer(0),
           (uint64_t)1000 << 32 | 600, 8);
    append(train, FS_CMD_LONG_BUFFERED, FS_OP_STREAM, FS_STREAM_JUMP, 0, 0);
    KrGioBuffer t = {train.data(), (uint32_t)train.size()};
    ASSERT_EQ(rt_dev_ioctl(fd, KRFS_IOC_TRANSMIT, &t), 0);
    hardware_sim_waitIdle();
    EXPECT_NE(pulse(0).find("\"train\": []"), std::string::npos);  // not a train yet
    fsWrite(fs_regPulmControl(0), 1u << FS_PULM_ENABLE | 1u << FS_PULM_TRAIN, 4);
    EXPECT_NE(pulse(0).find("\"train\": [{\"width_s\": 1e-06, \"gap_s\": 2e-06}, "
                            "{\"width_s\": 3e-06, \"gap_s\": 5e-06}]"),
              std::string::npos)
        << pulse(0);
    EXPECT_EQ(hardware_sim_violations().size(), 0u);
}

}  // namespace
