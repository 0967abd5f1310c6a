// The device function table, the measurement table and the board tables, generated from the
// same lists as the tables themselves: every slot has its name and its fallback, and a
// registration replaces the fallback.
#include <gtest/gtest.h>

#include <cstring>
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
bool answersLikeTheFallback(R r) {
    if constexpr (isRecordPointer<R>) {
        return r == nullptr;
    } else if constexpr (std::is_pointer_v<R>) {
        using P = std::remove_cv_t<std::remove_pointer_t<R>>;
        P zero{};
        return r != nullptr && memcmp(r, &zero, sizeof(P)) == 0;
    } else {
        return r == R{};
    }
}

// Calls the slot once; true when it answered like the fallback and counted the call.
template <auto *slot>
bool behavesLikeTheFallback() {
    Device_unregisteredFunctionCalls = 0;
    bool answer = answersLikeTheFallback(callWithDefaults(*slot));
    return answer && Device_unregisteredFunctionCalls == 1;
}

struct SlotCheck {
    const char *name;
    bool (*behavesLikeTheFallback)();
};

// One row per slot of each list, generated from the list itself.
const SlotCheck deviceSlots[] = {
#define DEVICE_SLOT(ret, name, ...) {"Device_" #name, &behavesLikeTheFallback<&Device_##name>},
#include "device/device_slots.def"
#undef DEVICE_SLOT
};
const SlotCheck measurementSlots[] = {
#define AUTOMEASURE_SLOT(ret, name, ...) \
    {"Automeasure_" #name, &behavesLikeTheFallback<&Automeasure_##name>},
#include "device/device_automeasure.def"
#undef AUTOMEASURE_SLOT
};

template <auto *slot>
bool answersUndefinedHeader() {
    return callWithDefaults(*slot) == KR_E_UNDEFINED_HEADER;
}
const SlotCheck outputBoardSlots[] = {
#define BOARD_OUT_SLOT(name, ...) \
    {"BOARD_ORBXXXG_OUT_" #name, &answersUndefinedHeader<&BOARD_ORBXXXG_OUT_##name>},
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
};
const SlotCheck referenceBoardSlots[] = {
#define BOARD_REF_SLOT(name, ...) \
    {"BOARD_ORBXXXG_REF_" #name, &answersUndefinedHeader<&BOARD_ORBXXXG_REF_##name>},
#include "device/board_ref_slots.def"
#undef BOARD_REF_SLOT
};

// Every slot of a table starts unregistered and answers through its fallback.
void checkTable(const SlotCheck *checks, int count, const DeviceSlotInfo *table, int tableCount) {
    ASSERT_EQ(count, tableCount);
    for (int i = 0; i < count; i++) {
        EXPECT_FALSE(table[i].isRegistered()) << table[i].name;
        EXPECT_TRUE(checks[i].behavesLikeTheFallback()) << checks[i].name;
    }
}

TEST(DeviceTableTest, EverySlotStartsWithItsFallback) {
    int count = (int)(sizeof(deviceSlots) / sizeof(deviceSlots[0]));
    checkTable(deviceSlots, count, Device_slotTable, Device_slotCount);
    for (int i = 0; i < Device_slotCount; i++)
        EXPECT_EQ(Device_isSlotAddressRegistered(Device_slotTable[i].slot), 0);
}

TEST(DeviceTableTest, MeasurementSlotsAnswerThroughTheSameFallback) {
    int count = (int)(sizeof(measurementSlots) / sizeof(measurementSlots[0]));
    checkTable(measurementSlots, count, Automeasure_slotTable, Automeasure_slotCount);
    EXPECT_EQ(Device_isSlotAddressRegistered(&Automeasure_config_reset), 0);
    EXPECT_EQ(Device_isSlotAddressRegistered(&count), -1) << "not a slot";
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

TEST(DeviceTableTest, ExactlyOneOutputBoardGenerationIsFitted) {
    EXPECT_EQ(isOrbxxxgOutAnalog() + isOrbxxxgOut3B(), 1);
    EXPECT_EQ(isOrbxxxgOutDigital(), 0);
}

TEST(BoardTableTest, EveryBoardSlotAnswersUndefinedHeaderUntilFilled) {
    checkTable(outputBoardSlots, (int)(sizeof(outputBoardSlots) / sizeof(outputBoardSlots[0])),
               BOARD_ORBXXXG_OUT_slotTable, BOARD_ORBXXXG_OUT_slotCount);
    checkTable(referenceBoardSlots,
               (int)(sizeof(referenceBoardSlots) / sizeof(referenceBoardSlots[0])),
               BOARD_ORBXXXG_REF_slotTable, BOARD_ORBXXXG_REF_slotCount);
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
