// Every way out of a burn, against the simulated PLC: the one final message,
// what reached the PLC, and the clean end of the burn.
#include <gtest/gtest.h>

#include "burn/burn_messages.h"
#include "burn_rig.h"

namespace norvane::test {
namespace {

using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;
using plcsim::PlcConfig;

void Boot(PlcConfig& c) {
    c.initialMode = plcsim::PlcMode::Bootloader;
}

TEST(Burn, UsbModelBurnsWithReplugPromptAndWait) {
    BurnRig rig("QB7", 2076672);
    EXPECT_EQ(rig.Run(), BurnOutcome::Success);
    const auto& m = rig.surroundings->messages;
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].text, kMsgReplug);
    EXPECT_EQ(m[0].caption, "Information");
    EXPECT_EQ(m[1].text, "Firmware update is SUCCESSFUL!, please REPLUG the USB cable");
    EXPECT_EQ(m[1].caption, "Information");
    EXPECT_EQ(m[1].icon, MessageIcon::Information);
    EXPECT_EQ(rig.surroundings->sleeps, std::vector<std::uint32_t>{5000});
    EXPECT_EQ(rig.surroundings->pipesOpened.size(), 2u);
    EXPECT_EQ(rig.Requests(Exchange::BootErase), 506u);
    EXPECT_EQ(rig.Requests(Exchange::Block), 8096u);
    EXPECT_TRUE(rig.FlashHoldsImage());
    EXPECT_TRUE(rig.plc->FlashEquals(rig.image.data(), 2076672 - 4096));
    rig.ExpectEndOfBurn();
}

TEST(Burn, SerialModelBurnsInPlaceAtBothSpeeds) {
    BurnRig rig("NT4", 20000);
    EXPECT_EQ(rig.Run(), BurnOutcome::Success);
    ASSERT_EQ(rig.surroundings->messages.size(), 1u);
    EXPECT_EQ(rig.Final().text, "Firmware update is SUCCESSFUL");
    EXPECT_EQ(rig.Final().caption, "INFORMATION");
    EXPECT_EQ(rig.surroundings->sleeps, std::vector<std::uint32_t>{1000});
    EXPECT_EQ(rig.surroundings->comPortsOpened, std::vector<std::string>{"COM3"});
    EXPECT_EQ(rig.plc->SpeedViolations(), 0u);
    EXPECT_TRUE(rig.FlashHoldsImage());
    rig.ExpectEndOfBurn();
}

TEST(Burn, AfterEachHandOverTheModelsOwnReconnect) {
    struct Case {
        const char* model;
        const char* prompt;  // nullptr: none
        std::uint32_t wait;
        std::size_t usbOpens;
        std::size_t comOpens;
    };
    const Case cases[] = {
        {"PV", kMsgReplug, 2000, 2, 0},          {"PVW", kMsgReplug, 2000, 2, 0},
        {"QB5-AIO", kMsgReplug, 5000, 2, 0},     {"MR7-K-V2", kMsgPowerCycle, 2000, 0, 2},
        {"TQ7-ROV", kMsgPowerCycle, 2000, 0, 2}, {"NZ-V3", nullptr, 1000, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        BurnRig rig(c.model, 30000, [&](PlcConfig& config) {
            config.d1386 = 0x4138;  // an MR7-K PLC where it matters
            config.d1148 = std::string(c.model) == "PVW" ? 26 : 0;
        });
        rig.surroundings->portPickedDuringPrompt = "COM9";
        EXPECT_EQ(rig.Run(), BurnOutcome::Success) << rig.Final().text;
        const auto& m = rig.surroundings->messages;
        ASSERT_EQ(m.size(), c.prompt ? 2u : 1u);
        if (c.prompt) {
            EXPECT_EQ(m[0].text, c.prompt);
            EXPECT_EQ(m[0].caption, "Information");
        }
        EXPECT_EQ(rig.surroundings->sleeps, std::vector<std::uint32_t>{c.wait});
        EXPECT_EQ(rig.surroundings->pipesOpened.size(), c.usbOpens);
        ASSERT_EQ(rig.surroundings->comPortsOpened.size(), c.comOpens);
        if (c.comOpens == 2) {  // reopened on the port picked while the prompt was up
            EXPECT_EQ(rig.surroundings->comPortsOpened[1], "COM9");
        }
        EXPECT_TRUE(rig.FlashHoldsImage());
        rig.ExpectEndOfBurn();
    }
}

TEST(Burn, PlcAlreadyInItsBootloaderSkipsTheApplicationPass) {
    BurnRig rig("QB7", 50000, Boot);
    EXPECT_EQ(rig.Run(), BurnOutcome::Success);
    EXPECT_EQ(rig.surroundings->messages.size(), 1u);
    EXPECT_EQ(rig.Requests(Exchange::TypeId), 0u);
    EXPECT_EQ(rig.Requests(Exchange::EraseRequest), 0u);
    EXPECT_TRUE(rig.surroundings->sleeps.empty());
    EXPECT_TRUE(rig.FlashHoldsImage());
}

// Each failure result an application-mode exchange can end with, and its message.
TEST(Burn, StateMessagesForEveryResultAPlcCanProduce) {
    struct Case {
        Exchange exchange;
        std::uint8_t nakClass, nakCode;
        const char* message;
    };
    const Case cases[] = {
        {Exchange::ModeQuery, 2, 1, "PLC type is WRONG"},
        {Exchange::ModeQuery, 2, 2, "PLC type is WRONG"},
        {Exchange::ModeQuery, 2, 7, "PLC type is WRONG"},
        {Exchange::ModeQuery, 1, 0, "PLC in RUN MODE"},
        {Exchange::ModeQuery, 4, 0, "UNKNOWN ERROR CODE @ State 1"},
        {Exchange::TypeId, 2, 2, "PLC type is WRONG"},
        {Exchange::TypeId, 2, 3, "PLC type is WRONG"},
        {Exchange::TypeId, 2, 1, "PLC type is WRONG"},
        {Exchange::TypeId, 1, 0, "UNKNOWN ERROR CODE @ State 2"},
        {Exchange::EraseRequest, 2, 3, "PLC type is WRONG"},
        {Exchange::EraseRequest, 2, 4, "PLC type is WRONG"},
        {Exchange::EraseRequest, 2, 9, "PLC type is WRONG"},
        {Exchange::EraseRequest, 3, 0, "UNKNOWN ERROR CODE @ State 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        BurnRig rig("QB7", 2076672, [&](PlcConfig& config) {
            Fault fault = Fault::NakAt(c.exchange, 1, c.nakClass, c.nakCode);
            fault.first = 0;  // every time
            config.faults.Add(fault);
        });
        EXPECT_EQ(rig.Run(), BurnOutcome::Failed);
        ASSERT_EQ(rig.surroundings->messages.size(), 1u);
        EXPECT_EQ(rig.Final().text, c.message);
        EXPECT_EQ(rig.Final().caption, "ERROR");
        EXPECT_EQ(rig.Final().icon, MessageIcon::Error);
        EXPECT_EQ(rig.Requests(c.exchange), 6u);
        EXPECT_EQ(rig.Requests(Exchange::BootErase), 0u);
        rig.ExpectEndOfBurn();
    }
}

TEST(Burn, SilenceAtEachStateIsNoResponse) {
    struct Case {
        Exchange exchange;
        const char* message;
    };
    const Case cases[] = {{Exchange::ModeQuery, "NO RESPONSE @ State 1"},
                          {Exchange::TypeId, "NO RESPONSE @ State 2"},
                          {Exchange::EraseRequest, "NO RESPONSE @ State 3"}};
    for (const Case& c : cases) {
        BurnRig rig("QB7", 2076672, [&](PlcConfig& config) {
            config.faults.Add(Fault::Every(c.exchange, FaultKind::Silent));
        });
        rig.Run();
        EXPECT_EQ(rig.Final().text, c.message);
        rig.ExpectEndOfBurn();
    }
    BurnRig wrongType("QB7", 2076672, [](PlcConfig& config) { config.appTypeId = 0x3010; });
    wrongType.Run();
    EXPECT_EQ(wrongType.Final().text, "NO RESPONSE @ State 2");
}

TEST(Burn, NoPlcAttachedCostsTheWakeBurstAndSixTimeOuts) {
    BurnRig rig("QB7", 2076672, [](PlcConfig& config) { config.attached = false; });
    rig.Run();
    EXPECT_EQ(rig.Final().text, "NO RESPONSE @ State 1");
    EXPECT_EQ(rig.clock.Now(), 2000u + 18000u);
    rig.ExpectEndOfBurn();
}

TEST(Burn, VariantChecksRefuseTheWrongFirmwareBeforeErasing) {
    struct Case {
        const char* model;
        std::uint16_t d1386, d1001, d1148;
        const char* message;  // nullptr: the burn goes through
    };
    const Case cases[] = {
        {"MR7-TQ7-V2", 0x4138, 0x0030, 0, "Check PLC, MR7-TQ7 is different than MR7-K"},
        {"MR7-K-V2", 0x4137, 0x0040, 0, "MR7-K V4.xx CAN NOT downgrade to V2.xx / V3.xx "},
        {"MR7-K-V4", 0x4138, 0x0030, 0, "MR7-K V2.xx / V3.xx CAN NOT upgrade to V4.xx "},
        {"MR7-K-V4", 0x4138, 0x0045, 0, nullptr},
        {"MR7-TQ7-V4", 0x0000, 0x0030, 0, "MR7-TQ7 V2.xx / V3.xx CAN NOT upgrade to V4.xx "},
        {"MR7-TQ7-V2", 0x0000, 0x00F0, 0, "MR7-TQ7 V4.xx CAN NOT downgrade to V2.xx / V3.xx "},
        {"MR7-TQ7-V2", 0x0000, 0x003F, 0, nullptr},
        {"NR4", 0, 0, 1, "Check PLC, 12NR4 is different than 28NR4"},
        {"NR4W", 0, 0, 0, "Check PLC, 28NR4 is different than 12NR4"},
        {"NR4W", 0, 0, 28, nullptr},
        {"PV", 0, 0, 26, "Check PLC, 12PV is different than 26PV"},
        {"PVW", 0, 0, 0, "Check PLC, 26PV is different than 12PV"},
        {"NZ-V3", 0, 0x0040, 0, "NZ V4.xx CAN NOT downgrade to V3.xx "},
        {"NZ-V4", 0, 0x0030, 0, "NZ V3.xx CAN NOT upgrade to V4.xx "},
        {"NZ-V4", 0, 0x0040, 0, nullptr},
        {"BOW-MR7-V2", 0, 0x0050, 0, "BOW-MR7 V4.xx CAN NOT downgrade to V2.xx / V3.xx "},
        {"BOW-MR7-V4", 0, 0x0000, 0, "BOW-MR7 V2.xx / V3.xx CAN NOT upgrade to V4.xx "},
        {"BOW-MR7-V4", 0, 0x0040, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.model << " " << (c.message ? c.message : "ok"));
        BurnRig rig(c.model, 10000, [&](PlcConfig& config) {
            config.d1386 = c.d1386;
            config.d1001 = c.d1001;
            config.d1148 = c.d1148;
        });
        rig.Run();
        if (c.message) {
            ASSERT_EQ(rig.surroundings->messages.size(), 1u);
            EXPECT_EQ(rig.Final().text, c.message);
            EXPECT_EQ(rig.Final().caption, "ERROR");
            EXPECT_EQ(rig.Requests(Exchange::EraseRequest), 0u);
        } else {
            EXPECT_EQ(rig.outcome, BurnOutcome::Success) << rig.Final().text;
        }
        rig.ExpectEndOfBurn();
    }
}

TEST(Burn, BootloaderVersionGateInBothPasses) {
    struct Case {
        const char* model;
        bool inBootloader;
        std::uint8_t appVersion, bootA, bootB;
        const char* message;
    };
    const Case cases[] = {
        {"QB5-AIO", false, 0x09, 0, 0,
         "The bootloader version is V0.9, do not support AIO FW update"},
        {"NZ8-AIO", false, 0x0F, 0, 0,
         "The bootloader version is unknown, do not support AIO FW update"},
        {"TQ8-AIO", false, 0x10, 0, 0,
         "The bootloader version is V1.0, do not support AIO FW update"},
        {"TQ8-AIO", false, 0x11, 0, 0,
         "The bootloader version is unknown, do not support AIO FW update"},
        {"TQ8-AIO", true, 0, 0x01, 0x00,
         "The bootloader version is V1.0, do not support AIO FW update"},
        {"QB5-AIO", true, 0, 0x00, 0x90,
         "The bootloader version is V0.9, do not support AIO FW update"},
        {"TQ8-AIO", false, 0x12, 0x01, 0x20, nullptr},
        {"QB7", false, 0x00, 0x00, 0x00, nullptr},  // no floor
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        BurnRig rig(c.model, 8192, [&](PlcConfig& config) {
            if (c.inBootloader)
                Boot(config);
            config.appVersion = c.appVersion;
            config.bootVersionA = c.bootA;
            config.bootVersionB = c.bootB;
        });
        rig.Run();
        if (c.message) {
            ASSERT_EQ(rig.surroundings->messages.size(), 1u);
            EXPECT_EQ(rig.Final().text, c.message);
            EXPECT_EQ(rig.Final().caption, "ERROR");
            EXPECT_EQ(rig.Requests(Exchange::BootErase), 0u);
        } else {
            EXPECT_EQ(rig.outcome, BurnOutcome::Success) << rig.Final().text;
        }
        rig.ExpectEndOfBurn();
    }
    BurnRig silentVersion("NZ8-AIO", 8192, [](PlcConfig& config) {
        config.faults.Add(Fault::Every(Exchange::Version, FaultKind::Silent));
    });
    silentVersion.Run();
    EXPECT_EQ(silentVersion.Final().text,
              "The bootloader version is unknown, do not support AIO FW update");
}

TEST(Burn, BootloaderFailures) {
    struct Case {
        Fault fault;
        const char* message;
        bool flashTouched;
    };
    const Case cases[] = {
        {Fault::Every(Exchange::BootId, FaultKind::Silent), "PLC type is WRONG", false},
        {Fault::Every(Exchange::BootId, FaultKind::WrongTypeId, 0x3010), "PLC type is WRONG",
         false},
        {Fault::Every(Exchange::BootVersion, FaultKind::Silent),
         "PLC DOES NOT respond to the version read", false},
        {Fault::At(Exchange::BootErase, 3, FaultKind::Silent),
         "PLC DOES NOT respond to the erasing signal", true},
        {Fault::Every(Exchange::BootUpdate, FaultKind::Silent),
         "PLC DOES NOT respond to the update signal", true},
        {Fault::At(Exchange::Block, 5, FaultKind::FlashWriteError),
         "Flash write error, maybe due to flash write protection. RE-POWER PLC and update FW again",
         true},
        {Fault::Every(Exchange::Block, FaultKind::Nak), "Firmware update is FAILED", true},
        {Fault::Every(Exchange::TransferEnd, FaultKind::Silent), "Firmware update is FAILED", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        BurnRig rig("QB7", 30000, [&](PlcConfig& config) {
            Boot(config);
            config.faults.Add(c.fault);
        });
        EXPECT_EQ(rig.Run(), BurnOutcome::Failed);
        ASSERT_EQ(rig.surroundings->messages.size(), 1u);
        EXPECT_EQ(rig.Final().text, c.message);
        EXPECT_EQ(rig.Final().caption, "ERROR");
        EXPECT_EQ(rig.Requests(Exchange::BootErase) != 0, c.flashTouched);
        rig.ExpectEndOfBurn();
    }
}

TEST(Burn, SingleEraseAttemptOnSectorFlash) {
    BurnRig rig("QB7", 30000, [](PlcConfig& config) {
        Boot(config);
        config.faults.Add(Fault::At(Exchange::BootErase, 1, FaultKind::Silent));
    });
    rig.Run();
    EXPECT_EQ(rig.Final().text, "PLC DOES NOT respond to the erasing signal");
    EXPECT_EQ(rig.Requests(Exchange::BootErase), 1u);
}

TEST(Burn, RefusedBeforeTheLinkIsOpened) {
    struct Case {
        const char* model;
        std::uint32_t size;
        bool loads;
        const char* message;
    };
    const Case cases[] = {
        {"QB7", 2076673, true, "The file size EXCEEDS the MAXIMUM size (2028 * 1024)"},
        {"TQ7P-AIO", 4097, true, "The file size EXCEEDS the MAXIMUM size (4 * 1024)"},
        {"NT4", 491521, true, "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)"},
        {"QB3", 4095, true, kMsgImageTooShort},
        {"QB7", 2076672, false, kMsgImageNotLoaded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        BurnRig rig(c.model, c.size);
        rig.surroundings->imageLoads = c.loads;
        EXPECT_EQ(rig.Run(), BurnOutcome::Failed);
        ASSERT_EQ(rig.surroundings->messages.size(), 1u);
        EXPECT_EQ(rig.Final().text, c.message);
        EXPECT_EQ(rig.Final().caption, "ERROR");
        EXPECT_EQ(rig.surroundings->opens(), 0);
        EXPECT_TRUE(rig.plc->ReceivedBytes().empty());
        rig.ExpectEndOfBurn();
    }
    BurnRig exact("QB7", 4096, Boot);  // the reserved tail alone: nothing to erase or send
    EXPECT_EQ(exact.Run(), BurnOutcome::Success);
}

TEST(Burn, PortThatCannotBeOpened) {
    struct Case {
        const char* model;
        const char* port;
        const char* message;
    };
    const Case cases[] = {
        {"NT4", "COM3", "CANNOT open COM3 Port!!!"},
        {"QB7", "USB", "CANNOT open USB Port!!!"},
        {"NT4", "/dev/serial/by-id/usb-Norvane_PLC_cable_0042-if00-port0",
         "CANNOT open /dev/serial/by-id/usb-Norvane_PLC_cable_0042-if00-port0 Port!!!"},
    };
    for (const Case& c : cases) {
        BurnRig rig(c.model, 10000);
        selectedComPort.Set(c.port);
        rig.surroundings->opensToFail = 1;
        rig.Run();
        ASSERT_EQ(rig.surroundings->messages.size(), 1u);
        EXPECT_EQ(rig.Final().text, c.message);
        EXPECT_EQ(rig.Final().caption, "ERROR");
        rig.ExpectEndOfBurn();
    }
}

TEST(Burn, FailedReopenAfterTheReplugIsNoResponse) {
    BurnRig rig("QB7", 2076672);
    rig.surroundings->failOpensFrom = 2;
    rig.Run();
    ASSERT_EQ(rig.surroundings->messages.size(), 2u);
    EXPECT_EQ(rig.Final().text, "NO RESPONSE @ State 1");
    rig.ExpectEndOfBurn();
}

TEST(Burn, PlcThatNeverEntersItsBootloaderIsGivenUpOn) {
    BurnRig rig("NT4", 10000, [](PlcConfig& config) {
        config.faults.Add(Fault::Every(Exchange::EraseRequest, FaultKind::StayInApplication));
    });
    rig.Run();
    ASSERT_EQ(rig.surroundings->messages.size(), 1u);
    EXPECT_EQ(rig.Final().text, kMsgNoBootloader);
    EXPECT_EQ(rig.Requests(Exchange::EraseRequest),
              static_cast<std::size_t>(kMaxApplicationPasses));
    rig.ExpectEndOfBurn();
}

TEST(Burn, SecondBurnReadsTheImageFromItsFirstByteAgain) {
    BurnRig rig("NT4", 5000, Boot);
    EXPECT_EQ(rig.Run(), BurnOutcome::Success);
    plcsim::PlcConfig config;
    config.model = "NT4";
    Boot(config);
    plcsim::SimulatedPlc second(config);
    FakeSurroundings again(second, rig.clock, rig.image);
    EXPECT_EQ(StartBurn(again), BurnOutcome::Success);
    EXPECT_TRUE(second.FlashHoldsImage(rig.image.data(), rig.image.size()));
}

}  // namespace
}  // namespace norvane::test
