#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "driver/abstract_error.h"
#include "driver/connection.h"
#include "driver/silo.h"
#include "support/fake_port.h"
#include "support/recording_host.h"

namespace qmx {
namespace {

using test::TFakePorts;
using test::TRecordingHost;

TEST(Factories, ConnectionTypeFromArgumentsWrapsInEightBits) {
    struct TCase {
        std::uint32_t Number;
        std::uint32_t Flag;
        std::uint8_t Type;
    };
    const TCase cases[] = {
        {1, 1, 0},   {3, 1, 2},     {1, 0, 3},     {8, 0, 10},    {4, 1, 3},
        {0, 1, 255}, {1, 0xFF, 0},  {1, 0x100, 3},  // only the flag's low byte counts
        {0x101, 1, 0}, {254, 0, 0}, {253, 0, 255},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectionTypeFor(c.Number, c.Flag), c.Type) << c.Number << "/" << c.Flag;
    }
    TFakePorts::Reset();
    for (std::uint32_t number = 1; number <= 3; ++number) {
        TRecordingHost host;
        TSilo silo(ConnectionTypeFor(number, 1), &host, test::OpenFakePort);
        EXPECT_EQ(silo.ConnectionType(), number - 1);
        silo.SetupCommBlock(0);
        EXPECT_EQ(host.Calls().front(), "RegisterLineSetup(" + std::to_string(LineAddressOf(silo.ConnectionType())) + ")")
            << "the block's host is the silo's";
    }
    EXPECT_TRUE(TFakePorts::Opened.empty()) << "a block opens no port";
}

TEST(Factories, LineAddressCarriesTheBlockInTheHighNibble) {
    EXPECT_EQ(LineAddressOf(0), 17);
    EXPECT_EQ(LineAddressOf(1), 33);
    EXPECT_EQ(LineAddressOf(2), 49);
    EXPECT_EQ(LineAddressOf(3), 65);
    EXPECT_EQ(LineAddressOf(15), 1);  // 257 in 8 bits
    EXPECT_EQ(LineAddressOf(255), 1);
}

TEST(Silo, NewSiloHasLinkStateOneZeroTablesAndMenuPending) {
    TRecordingHost host;
    TSilo silo(1, &host);
    EXPECT_EQ(silo.GetState(), 1);
    EXPECT_TRUE(host.Calls().empty()) << "construction calls nothing on the host";
    // Zero tables under link state 1: the temperature and the second value
    // come from them, without an exchange.
    for (std::uint8_t tank = 0; tank < kTankCount; ++tank) {
        double record[4] = {7, 7, 7, 7};
        silo.GetTemperatures(tank, record);
        EXPECT_EQ(record[0], 0.0) << int(tank);
        EXPECT_EQ(record[3], 0.0) << int(tank);
        EXPECT_EQ(silo.GetAuxValue(tank), 0) << int(tank);
    }
    EXPECT_TRUE(host.Calls().empty()) << "no exchange";
    EXPECT_EQ(silo.GetState(), 1);
    EXPECT_TRUE(silo.TakeMenuOffer());
}

TEST(Silo, NullHostIsAcceptedAndStored) {
    TSilo silo(0, nullptr);
    silo.SetupCommBlock(0);  // nothing to call, nothing to crash
    EXPECT_EQ(silo.GetState(), 1);
}

class SiloPort : public ::testing::Test {
protected:
    void SetUp() override { TFakePorts::Reset(); }
    void TearDown() override { TFakePorts::Reset(); }
};

TEST_F(SiloPort, ComTypeOpensPortTypeMinusTwoAndKeepsTheHost) {
    TRecordingHost host;
    for (std::uint8_t type : {std::uint8_t{3}, std::uint8_t{10}, std::uint8_t{11}, std::uint8_t{255}}) {
        TSilo silo(type, &host, test::OpenFakePort);
        EXPECT_EQ(TFakePorts::Alive, 1);
        host.ClearCalls();
        silo.SetupCommBlock(0);
        EXPECT_EQ(host.Calls().size(), 2u) << "the host is kept beside the port";
    }
    EXPECT_EQ(TFakePorts::Opened, (std::vector<std::uint8_t>{1, 8, 9, 253}));
    EXPECT_EQ(TFakePorts::Alive, 0) << "every silo freed its port";
}

TEST_F(SiloPort, BlockTypeOpensNoPortAndDestructionReleasesNothingOfTheHost) {
    TRecordingHost host;
    {
        TSilo silo(2, &host, test::OpenFakePort);
        EXPECT_EQ(TFakePorts::Alive, 0);
    }
    EXPECT_TRUE(TFakePorts::Opened.empty());
    EXPECT_TRUE(host.Calls().empty());
}

TEST_F(SiloPort, PortThatCannotBeOpenedPropagatesOutOfConstruction) {
    TRecordingHost host;
    EXPECT_THROW(TSilo(4, &host, test::FailToOpenPort), test::TPortOpenFailure);
    EXPECT_EQ(TFakePorts::Opened, (std::vector<std::uint8_t>{2}));
    EXPECT_TRUE(host.Calls().empty());
}

TEST(SiloSlots, DescriptionIsThirtyEightBytesInCodePage1251) {
    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xAA);
    TSilo(0, nullptr).GetDescription(buffer.data());
    // v3.00#Протокол к уровнемеру Quelmarox, spelled out in code page 1251.
    const std::uint8_t expected[38] = {
        37,   'v',  '3',  '.',  '0',  '0',  '#',  0xCF, 0xF0, 0xEE, 0xF2, 0xEE, 0xEA,
        0xEE, 0xEB, ' ',  0xEA, ' ',  0xF3, 0xF0, 0xEE, 0xE2, 0xED, 0xE5, 0xEC, 0xE5,
        0xF0, 0xF3, ' ',  'Q',  'u',  'e',  'l',  'm',  'a',  'r',  'o',  'x'};
    EXPECT_EQ(std::memcmp(buffer.data(), expected, sizeof expected), 0);
    for (std::size_t i = 38; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xAA) << "byte " << i;
}

TEST(SiloSlots, StateIsStoredAsItComes) {
    TSilo silo(0, nullptr);
    silo.SetState(7);
    EXPECT_EQ(silo.GetState(), 7);
    silo.SetState(0);
    EXPECT_EQ(silo.GetState(), 0);
}

TEST(SiloSlots, PlaceholdersDoNothingOrReturnZero) {
    TRecordingHost host;
    TSilo silo(0, &host);
    silo.SetState(3);
    silo.NoOp();
    silo.NoOpWithArgument(-1);
    EXPECT_EQ(silo.ReturnZero(), 0);
    EXPECT_EQ(silo.ReturnZeroReal(12345), 0.0);
    std::uint16_t pair[3] = {0xFFFF, 0x1234, 0xBEEF};
    silo.ClearWordPair(-5, pair);
    EXPECT_EQ(pair[0], 0);
    EXPECT_EQ(pair[1], 0);
    EXPECT_EQ(pair[2], 0xBEEF) << "only two 16-bit values are written";
    silo.ClearWordPair(0, nullptr);
    EXPECT_EQ(silo.GetState(), 3);
    EXPECT_TRUE(host.Calls().empty());
}

TEST(SiloSlots, SlotsWithoutImplementationRaiseTheAbstractError) {
    TSilo silo(0, nullptr);
    EXPECT_THROW(silo.Abstract0(), EAbstractError);
    EXPECT_THROW(silo.Abstract1(), EAbstractError);
}

TEST(SetupCommBlock, RegistersThenRunsTheLineSetupForTheCurrentBlock) {
    TRecordingHost host;
    TSilo silo(1, &host);
    silo.SetupCommBlock(1);
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"RegisterLineSetup(33)",
                                                      "SetLineParams(33,10,9600,2000,20,1)"}));
    // The registered reference runs the set-up again, on this silo.
    host.ClearCalls();
    host.LineSetup()(0);
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"SetLineParams(33,10,9600,2000,20,1)"}));
    EXPECT_EQ(host.LineSetup().Object(), &silo);
}

TEST(SetupCommBlock, MakesTheSameCallsOnAComSilo) {
    TRecordingHost host;
    TSilo silo(3, &host, nullptr);
    silo.SetupCommBlock(0);
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"RegisterLineSetup(65)",
                                                      "SetLineParams(65,10,9600,2000,20,1)"}));
}

TEST(SetupCommBlock, HostErrorsAreDroppedAndTheStateKept) {
    for (const char* failing : {"RegisterLineSetup", "SetLineParams"}) {
        TRecordingHost host;
        host.ThrowFrom = failing;
        TSilo silo(0, &host);
        silo.SetState(2);
        EXPECT_NO_THROW(silo.SetupCommBlock(0)) << failing;
        EXPECT_EQ(silo.GetState(), 2) << failing;
    }
}

TEST(SetupCommBlock, LineSetupCalledByTheHostPassesItsErrorBack) {
    TRecordingHost host;
    TSilo silo(2, &host);
    silo.SetupCommBlock(0);
    host.ThrowFrom = "SetLineParams";
    EXPECT_THROW(host.LineSetup()(0), test::THostFailure);
}

}  // namespace
}  // namespace qmx
