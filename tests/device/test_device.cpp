// The device function table, the measurement table and the board tables, generated from the
// same lists as the tables themselves: every slot has its name and its fallback, and a
// registration replaces the fallback.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <type_traits>

#include "device/device.h"
#include "device/device_board.h"
#include "device/device_record.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// Calls a slot with value-initialised arguments (the fallbacks look at none of them).
template <class R, class... A>
R callWithDefaults(R (*fn)(A...)) {
    return fn(A{}...);
}

template <class R, class P = std::remove_cv_t<std::remove_pointer_t<R>>>
constexpr bool isRecordPointer = std::is_pointer_v<R> &&
                                 (std::is_void_v<P> ||
                                  (std::is_class_v<P> && !std::is_same_v<P, KrFreq>));

// What a fallback answers: 0, a pointer to a zero quantity, or null for a record.
template <class R>
::testing::AssertionResult answersLikeTheFallback(R r, const char *name) {
    if constexpr (isRecordPointer<R>) {
        if (r == nullptr) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << name << " gives a record that does not exist";
    } else if constexpr (std::is_pointer_v<R>) {
        {
            if (r == nullptr) return ::testing::AssertionFailure() << name << " gives null";
            using P = std::remove_cv_t<std::remove_pointer_t<R>>;
            P zero{};
            if (memcmp(r, &zero, sizeof(P)) == 0) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << name << " points at something not zero";
        }
    } else {
        if (r == R{}) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << name << " does not answer 0";
    }
}

TEST(DeviceTableTest, EverySlotHasItsNameAndItsFallback) {
    std::set<std::string> names;
    int slots = 0;
#define DEVICE_SLOT(ret, name, ...)                                                            \
    {                                                                                          \
        slots++;                                                                               \
        EXPECT_FALSE(DEVICE_ISREG(name)) << #name;                                             \
        Device_unregisteredFunctionCalls = 0;                                                  \
        EXPECT_TRUE(answersLikeTheFallback(callWithDefaults(Device_##name), #name));           \
        EXPECT_EQ(Device_unregisteredFunctionCalls, 1u) << #name << " did not count the call"; \
        names.insert("Device_" #name);                                                         \
    }
#include "device/device_slots.def"
#undef DEVICE_SLOT
    EXPECT_EQ(slots, Device_slotCount);
    EXPECT_EQ((int)names.size(), slots) << "a slot is listed twice";
    for (int i = 0; i < Device_slotCount; i++) {
        EXPECT_EQ(names.count(Device_slotTable[i].name), 1u) << Device_slotTable[i].name;
        EXPECT_FALSE(Device_slotTable[i].isRegistered()) << Device_slotTable[i].name;
        EXPECT_EQ(Device_isSlotAddressRegistered(Device_slotTable[i].slot), 0);
    }
    // The operations the instrument fills and those its command set calls.
    EXPECT_GE(Device_slotCount, 759);
}

TEST(DeviceTableTest, MeasurementSlotsAnswerThroughTheSameFallback) {
    int slots = 0;
#define AUTOMEASURE_SLOT(ret, name, ...)                                                  \
    {                                                                                     \
        slots++;                                                                          \
        EXPECT_FALSE(AUTOMEASURE_ISREG(name)) << #name;                                   \
        Device_unregisteredFunctionCalls = 0;                                             \
        EXPECT_TRUE(answersLikeTheFallback(callWithDefaults(Automeasure_##name), #name)); \
        EXPECT_EQ(Device_unregisteredFunctionCalls, 1u) << #name;                         \
    }
#include "device/device_automeasure.def"
#undef AUTOMEASURE_SLOT
    EXPECT_EQ(slots, Automeasure_slotCount);
    EXPECT_EQ(Device_isSlotAddressRegistered(&Automeasure_config_reset), 0);
    EXPECT_EQ(Device_isSlotAddressRegistered(&slots), -1) << "not a slot";
}

int fakeOpc(Device *) {
    return 1;
}

TEST(DeviceTableTest, RegistrationReplacesTheFallback) {
    auto saved = Device_opc;
    Device_opc = fakeOpc;
    EXPECT_TRUE(DEVICE_ISREG(opc));
    EXPECT_EQ(Device_isSlotAddressRegistered(&Device_opc), 1);
    Device_unregisteredFunctionCalls = 0;
    EXPECT_EQ(Device_opc(nullptr), 1);
    EXPECT_EQ(Device_unregisteredFunctionCalls, 0u);
    Device_opc = saved;
    EXPECT_FALSE(DEVICE_ISREG(opc));
}

int fakeIndex(Device *) {
    return 4;
}

TEST(DeviceTableTest, MandatoryFunctionsFillOnlyWhatIsMissing) {
    auto min = Device_getSourceIndexMin, max = Device_getSourceIndexMax,
         def = Device_getDefaultSourceIndex;
    Device_getSourceIndexMax = fakeIndex;  // the channel device filled this one
    Device_registerMandatoryFunctions();
    EXPECT_EQ(Device_getSourceIndexMin(nullptr), 1);
    EXPECT_EQ(Device_getDefaultSourceIndex(nullptr), 1);
    EXPECT_EQ(Device_getSourceIndexMax(nullptr), 4);
    Device_getSourceIndexMin = min;
    Device_getSourceIndexMax = max;
    Device_getDefaultSourceIndex = def;
}

TEST(DeviceTableTest, RecoveryDeviceServesOnlyItsName) {
    Device *device = Device_create();
    recovery_device_init(device);
    EXPECT_STREQ(Device_getName(device), "DEVICE");
    char idn[256];
    int n = getIdentificationString(idn, sizeof(idn), device);
    EXPECT_EQ(n, (int)strlen(idn));
    EXPECT_EQ(std::string(idn).rfind("Korvane AG,DEVICE", 0), 0u) << idn;
    EXPECT_FALSE(DEVICE_ISREG(getStatusRegisters));
    auto name = Device_getName;
    Device_getName = &Device_fallback<const char *, Device *>;
    getIdentificationString(idn, sizeof(idn), device);
    EXPECT_EQ(std::string(idn).rfind("Korvane AG,undefined", 0), 0u) << idn;
    Device_getName = name;
    // A buffer too small is cut, never overrun.
    char small[8];
    EXPECT_EQ(getIdentificationString(small, sizeof(small), device), 7);
    EXPECT_STREQ(small, "Korvane");
}

TEST(BoardTableTest, EveryOutputSlotAnswersUndefinedHeaderUntilFilled) {
    std::set<std::string> names;
    int slots = 0;
#define BOARD_OUT_SLOT(name, ...)                                                              \
    {                                                                                          \
        slots++;                                                                               \
        EXPECT_FALSE(BOARD_ORBXXXG_OUT_ISREG(name)) << #name;                                  \
        EXPECT_EQ(callWithDefaults(BOARD_ORBXXXG_OUT_##name), KR_E_UNDEFINED_HEADER) << #name; \
        names.insert("BOARD_ORBXXXG_OUT_" #name);                                              \
    }
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
    EXPECT_EQ(slots, 132);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_slotCount, 132);
    EXPECT_EQ(names.size(), 132u);
    EXPECT_STREQ(BOARD_ORBXXXG_OUT_slotTable[0].name, "BOARD_ORBXXXG_OUT_init");
    EXPECT_STREQ(BOARD_ORBXXXG_OUT_slotTable[131].name,
                 "BOARD_ORBXXXG_OUT_getDdsDirectPathMaxFreq");
}

TEST(BoardTableTest, EveryReferenceSlotAnswersUndefinedHeaderUntilFilled) {
    std::set<std::string> names;
    int slots = 0;
#define BOARD_REF_SLOT(name, ...)                                                              \
    {                                                                                          \
        slots++;                                                                               \
        EXPECT_FALSE(BOARD_ORBXXXG_REF_ISREG(name)) << #name;                                  \
        EXPECT_EQ(callWithDefaults(BOARD_ORBXXXG_REF_##name), KR_E_UNDEFINED_HEADER) << #name; \
        names.insert("BOARD_ORBXXXG_REF_" #name);                                              \
    }
#include "device/board_ref_slots.def"
#undef BOARD_REF_SLOT
    EXPECT_EQ(slots, 44);
    EXPECT_EQ(BOARD_ORBXXXG_REF_slotCount, 44);
    EXPECT_EQ(names.size(), 44u);
}

int fakeEnableRf(OrbxxxgOutBoard *) {
    return 0;
}

TEST(BoardTableTest, RegisteredBoardOperationIsReported) {
    BOARD_ORBXXXG_OUT_enableRf = fakeEnableRf;
    EXPECT_TRUE(BOARD_ORBXXXG_OUT_ISREG(enableRf));
    EXPECT_EQ(BOARD_ORBXXXG_OUT_enableRf(nullptr), 0);
    EXPECT_FALSE(BOARD_ORBXXXG_OUT_ISREG(disableRf));
    BOARD_ORBXXXG_OUT_enableRf = &Board_fallback<OrbxxxgOutBoard *>;
    EXPECT_FALSE(BOARD_ORBXXXG_OUT_ISREG(enableRf));
}

}  // namespace
