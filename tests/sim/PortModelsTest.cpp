// The chip models and the port bus, driven the way software drives real hardware: byte by byte
// through the ports, with no FUSE in between.
#include "ItEcModel.h"
#include "PortBus.h"
#include "SuperIoModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

using namespace QelSim;
using ::testing::ElementsAre;

namespace
{
constexpr uint16_t kBase = 0x0290;

struct Chip
{
    const char* name;
    uint16_t configPort;
    uint16_t deviceIdMasked;  // the family's ID, without the revision nibble
};

// Every Super I/O the profiles use, on both configuration ports.
const Chip kChips[] = {
    {"NCT6106D", 0x2E, 0xC450}, {"NCT6776F", 0x4E, 0xC330},    {"NCT6793D", 0x2E, 0xD120},
    {"NCT6796D", 0x4E, 0xD420}, {"W83627DHG-P", 0x2E, 0xB070}, {"W83627DHG-PT", 0x4E, 0xB070},
};

// Configuration-space access the way firmware and drivers do it.
class Sio
{
public:
    Sio(PortBus& bus, uint16_t ef) : m_bus(bus), m_ef(ef) {}
    void Enter()
    {
        m_bus.Write(m_ef, 0x87);
        m_bus.Write(m_ef, 0x87);
    }
    void Leave() { m_bus.Write(m_ef, 0xAA); }
    uint8_t Get(uint8_t reg)
    {
        m_bus.Write(m_ef, reg);
        return m_bus.Read(m_ef + 1);
    }
    void Put(uint8_t reg, uint8_t value)
    {
        m_bus.Write(m_ef, reg);
        m_bus.Write(m_ef + 1, value);
    }
    uint16_t DeviceId() { return static_cast<uint16_t>(Get(0x20) << 8 | Get(0x21)); }
    uint16_t MonitorBase()
    {
        Put(0x07, 0x0B);
        return static_cast<uint16_t>(Get(0x60) << 8 | Get(0x61));
    }

private:
    PortBus& m_bus;
    uint16_t m_ef;
};

uint8_t ReadBanked(PortBus& bus, uint16_t base, uint8_t bank, uint8_t reg)
{
    bus.Write(base + 5, 0x4E);
    bus.Write(base + 6, bank);
    bus.Write(base + 5, reg);
    return bus.Read(base + 6);
}

class SuperIoProbe : public ::testing::TestWithParam<Chip>
{
protected:
    void SetUp() override
    {
        const SuperIoChip* known = FindSuperIoChip(GetParam().name);
        ASSERT_NE(known, nullptr);
        model = std::make_shared<SuperIoModel>(known->name, known->deviceId, GetParam().configPort);
        model->SetMonitor(kBase, true);
        bus.Attach(model);
    }
    PortBus bus;
    std::shared_ptr<SuperIoModel> model;
};
}  // namespace

TEST_P(SuperIoProbe, AnswersWithIdAndBaseOnlyInsideExtendedFunctionMode)
{
    Sio sio(bus, GetParam().configPort);
    EXPECT_EQ(sio.DeviceId(), 0xFFFF) << "configuration registers answered before the key";
    EXPECT_EQ(sio.MonitorBase(), 0xFFFF);

    sio.Enter();
    EXPECT_EQ(sio.DeviceId() & 0xFFF0, GetParam().deviceIdMasked);
    EXPECT_EQ(sio.MonitorBase(), kBase);
    EXPECT_EQ(sio.Get(0x30) & 0x01, 0x01);
    // The leave key, then the configuration-control write that firmware follows it with.
    sio.Leave();
    sio.Put(0x02, 0x02);
    EXPECT_EQ(sio.DeviceId(), 0xFFFF) << "still answering after the leave key";

    // The other configuration port belongs to nobody.
    Sio other(bus, GetParam().configPort == 0x2E ? 0x4E : 0x2E);
    other.Enter();
    EXPECT_EQ(other.DeviceId(), 0xFFFF);
}

INSTANTIATE_TEST_SUITE_P(Chips, SuperIoProbe, ::testing::ValuesIn(kChips),
                         [](const ::testing::TestParamInfo<Chip>& test)
                         {
                             std::string name = test.param.name;
                             for (char& c : name)
                                 c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(SuperIoModel, KeyMustBeTwoConsecutiveWritesOfTheEnterValue)
{
    PortBus bus;
    auto model = std::make_shared<SuperIoModel>("NCT6796D", 0xD423, 0x2E);
    bus.Attach(model);
    Sio sio(bus, 0x2E);

    bus.Write(0x2E, 0x87);
    bus.Write(0x2E, 0x55);
    bus.Write(0x2E, 0x87);
    EXPECT_FALSE(model->InExtendedFunctionMode());
    EXPECT_EQ(sio.Get(0x20), 0xFF);

    bus.Write(0x2E, 0x87);  // the index write of the read above started the count again
    EXPECT_FALSE(model->InExtendedFunctionMode());
    sio.Enter();
    EXPECT_TRUE(model->InExtendedFunctionMode());
    // Inside the mode 0x87 is just an index, and a write to register 0x02 leaves the mode alone.
    sio.Enter();
    sio.Put(0x02, 0x02);
    EXPECT_TRUE(model->InExtendedFunctionMode());
    EXPECT_EQ(sio.DeviceId(), 0xD423);
}

TEST(SuperIoModel, DeviceIdIsReadOnlyAndLogicalDevicesKeepTheirOwnRegisters)
{
    PortBus bus;
    auto model = std::make_shared<SuperIoModel>("NCT6776F", 0xC333, 0x2E);
    model->SetMonitor(kBase, true);
    bus.Attach(model);
    Sio sio(bus, 0x2E);
    sio.Enter();
    sio.Put(0x20, 0x12);
    sio.Put(0x21, 0x34);
    EXPECT_EQ(sio.DeviceId(), 0xC333);

    sio.Put(0x07, 0x07);  // another logical device: its 0x60 is not the monitor's
    sio.Put(0x60, 0x0A);
    EXPECT_EQ(sio.Get(0x07), 0x07);
    EXPECT_EQ(sio.Get(0x60), 0x0A);
    EXPECT_EQ(sio.MonitorBase(), kBase);
    EXPECT_EQ(model->Config(0x07, 0x60), 0x0A);
}

TEST(SuperIoModel, MonitorDecodesOnlyWhileActivatedAtItsBase)
{
    PortBus bus;
    auto model = std::make_shared<SuperIoModel>("NCT6796D", 0xD423, 0x2E);
    model->SetMonitor(kBase, false);
    model->SetMonitorRegister(0, 0x20, 0x42);
    bus.Attach(model);

    EXPECT_EQ(ReadBanked(bus, kBase, 0, 0x20), 0xFF) << "an inactive monitor answered";
    EXPECT_EQ(bus.Stats().undecodedWrites, 3u);

    // What a driver does when it finds the monitor switched off: set bit 0 of 0x30.
    Sio sio(bus, 0x2E);
    sio.Enter();
    sio.Put(0x07, 0x0B);
    sio.Put(0x30, static_cast<uint8_t>(sio.Get(0x30) | 0x01));
    EXPECT_EQ(ReadBanked(bus, kBase, 0, 0x20), 0x42);

    // Moving the base moves the decode; the low three bits of the base are not decoded.
    sio.Put(0x60, 0x0A);
    sio.Put(0x61, 0x27);
    EXPECT_EQ(model->MonitorBase(), 0x0A20);
    EXPECT_EQ(ReadBanked(bus, kBase, 0, 0x20), 0xFF);
    EXPECT_EQ(ReadBanked(bus, 0x0A20, 0, 0x20), 0x42);

    sio.Put(0x60, 0x00);
    sio.Put(0x61, 0x00);
    EXPECT_EQ(ReadBanked(bus, 0x0000, 0, 0x20), 0xFF) << "a monitor at base 0 answered";
}

TEST(SuperIoModel, BankSelectChoosesWhichRegistersAnIndexReaches)
{
    PortBus bus;
    auto model = std::make_shared<SuperIoModel>("NCT6796D", 0xD423, 0x2E);
    model->SetMonitor(kBase, true);
    model->SetMonitorRegister(0, 0x80, 0x10);
    model->SetMonitorRegister(4, 0x80, 0x71);
    model->SetMonitorRegister(7, 0x80, 0x30);
    bus.Attach(model);

    EXPECT_EQ(ReadBanked(bus, kBase, 4, 0x80), 0x71);
    EXPECT_EQ(ReadBanked(bus, kBase, 0, 0x80), 0x10);
    EXPECT_EQ(ReadBanked(bus, kBase, 7, 0x80), 0x30);
    EXPECT_EQ(ReadBanked(bus, kBase, 5, 0x80), 0x00);

    // The selection stays until changed, and index 0x4E reads it back in every bank.
    bus.Write(kBase + 5, 0x4E);
    bus.Write(kBase + 6, 4);
    bus.Write(kBase + 5, 0x80);
    EXPECT_EQ(bus.Read(kBase + 6), 0x71);
    EXPECT_EQ(bus.Read(kBase + 6), 0x71);
    EXPECT_EQ(bus.Read(kBase + 5), 0x80);
    bus.Write(kBase + 5, 0x4E);
    EXPECT_EQ(bus.Read(kBase + 6), 4);

    // A write lands in the selected bank only.
    bus.Write(kBase + 5, 0x80);
    bus.Write(kBase + 6, 0x99);
    EXPECT_EQ(model->MonitorRegister(4, 0x80), 0x99);
    EXPECT_EQ(model->MonitorRegister(0, 0x80), 0x10);
}

TEST(SuperIoModel, OnlyTheTwoStrappableConfigurationPortsExist)
{
    EXPECT_THROW(SuperIoModel("NCT6796D", 0xD423, 0x2F), std::invalid_argument);
    EXPECT_THROW(SuperIoModel("NCT6796D", 0xD423, 0x0A00), std::invalid_argument);
    EXPECT_EQ(FindSuperIoChip("NCT6795D"), nullptr);
}

TEST(ItEcModel, IndexThenDataReachesUnbankedRegistersWithoutAnyKey)
{
    PortBus bus;
    auto ec = std::make_shared<ItEcModel>("IT5571", 0x0A00);
    ec->SetRegister(0x90, 0x2D);
    ec->SetRegister(0x9D, 0x01);
    ec->SetRegister(0x9E, 0x74);
    bus.Attach(ec);

    bus.Write(0x0A00, 0x90);
    EXPECT_EQ(bus.Read(0x0A01), 0x2D);
    EXPECT_EQ(bus.Read(0x0A00), 0x90);
    bus.Write(0x0A00, 0x9D);
    const uint8_t high = bus.Read(0x0A01);
    bus.Write(0x0A00, 0x9E);
    EXPECT_EQ(high << 8 | bus.Read(0x0A01), 0x0174);

    // A bank-select write is just another register here.
    bus.Write(0x0A00, 0x4E);
    bus.Write(0x0A01, 4);
    bus.Write(0x0A00, 0x90);
    EXPECT_EQ(bus.Read(0x0A01), 0x2D);
    EXPECT_EQ(ec->Register(0x4E), 4);

    EXPECT_EQ(bus.Read(0x09FF), 0xFF);
    EXPECT_EQ(bus.Read(0x0A02), 0xFF);
    EXPECT_EQ(bus.Stats().undecodedReads, 2u);
    EXPECT_THROW(ItEcModel("IT5571", 0xFFFF), std::invalid_argument);
}

TEST(PortBus, UndecodedPortsFloatHighAndEveryAccessIsRecordedInOrder)
{
    PortBus bus;
    bus.Attach(std::make_shared<ItEcModel>("IT5571", 0x0A00));
    bus.Write(0x0080, 0x55);  // a POST code nobody listens to
    EXPECT_EQ(bus.Read(0x0080), 0xFF);
    const uint64_t mark = bus.Mark();
    bus.Write(0x0A00, 0x12);
    bus.Read(0x0A00);

    std::vector<std::string> lines;
    for (const PortAccess& a : bus.Accesses())
        lines.push_back(FormatAccess(a));
    EXPECT_THAT(lines, ElementsAre("w 0x0080 0x55 -", "r 0x0080 0xff -", "w 0x0a00 0x12", "r 0x0a00 0x12"));
    ASSERT_EQ(bus.AccessesSince(mark).size(), 2u);
    EXPECT_EQ(bus.AccessesSince(mark)[0].sequence, mark + 1);

    const PortStats stats = bus.Stats();
    EXPECT_EQ(stats.reads, 2u);
    EXPECT_EQ(stats.writes, 2u);
    EXPECT_EQ(stats.undecodedReads, 1u);
    EXPECT_EQ(stats.undecodedWrites, 1u);
    EXPECT_EQ(stats.perPort.at(0x0080).reads, 1u);
    EXPECT_EQ(stats.perPort.at(0x0A00).writes, 1u);

    bus.ResetStats();
    EXPECT_EQ(bus.Stats().reads, 0u);
    EXPECT_TRUE(bus.Accesses().empty());
    bus.Write(0x0A00, 0x90);
    EXPECT_EQ(bus.Accesses().at(0).sequence, 1u);
}

TEST(PortBus, KeepsOnlyTheMostRecentAccessesButCountsAll)
{
    PortBus bus(4);
    for (int i = 0; i < 10; ++i)
        bus.Write(0x80, static_cast<uint8_t>(i));
    const std::vector<PortAccess> kept = bus.Accesses();
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept.front().value, 6);
    EXPECT_EQ(kept.back().value, 9);
    EXPECT_EQ(kept.back().sequence, 10u);
    EXPECT_EQ(bus.AccessesSince(8).size(), 2u);
    EXPECT_EQ(bus.Stats().writes, 10u);
}

TEST(PortBus, TheFirstDeviceToDecodeAPortGetsIt)
{
    PortBus bus;
    auto first = std::make_shared<ItEcModel>("first", 0x0A00);
    auto second = std::make_shared<ItEcModel>("second", 0x0A01);
    first->SetRegister(0, 0x11);
    bus.Attach(first);
    bus.Attach(second);
    bus.Write(0x0A00, 0x00);
    EXPECT_EQ(bus.Read(0x0A01), 0x11);
    EXPECT_EQ(bus.Read(0x0A02), 0x00);  // the second device's data port
}
