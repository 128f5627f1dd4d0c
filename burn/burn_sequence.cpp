#include "burn/burn_sequence.h"

#include <optional>
#include <string>

#include "burn/burn_context.h"
#include "burn/burn_messages.h"
#include "burn/shared_values.h"
#include "burn/variant_checks.h"
#include "link/app_commands.h"
#include "link/block_transfer.h"
#include "link/boot_commands.h"

namespace norvane {

namespace {

// A link that is gone: every write and read moves nothing. The burn runs its next
// pass over it when a port could not be reopened, so the user sees the PLC's
// silence instead of the tool falling over.
class DeadLink : public Link {
  public:
    std::size_t Write(const std::uint8_t*, std::size_t) override { return 0; }
    std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
    void SetTimeouts(const LinkTimeouts&) override {}
    void ApplyLineSettings(const LineSettings&) override {}
    void DiscardInput() override {}
};

// One burn. Its destructor is the end of every burn: the values back to 0, the
// button enabled, the link closed and the image released, whichever way out.
class Burn {
  public:
    explicit Burn(WorkerSurroundings& surroundings) : s_(surroundings) {}
    Burn(const Burn&) = delete;
    Burn& operator=(const Burn&) = delete;

    ~Burn() {
        ResetBurnValues();
        s_.EnableStartButton(true);
        hSerial.reset();
        if (imageLoaded_) {
            CloseFile();
            s_.ReleaseImage();
        }
    }

    BurnOutcome Run();

  private:
    BurnOutcome Fail(const std::string& message) {
        s_.StopElapsedTimer();
        s_.ShowMessage(message, kCaptionError, MessageIcon::Error);
        outcome_ = BurnOutcome::Failed;
        return outcome_;
    }

    bool Open();
    void Reopen(LinkPtr link) { hSerial = link ? std::move(link) : LinkPtr(new DeadLink); }
    ExchangeContext Plc() const { return SelectedPlc(*hSerial); }
    bool ApplicationPass();
    void BootloaderPass();
    bool MayChangePlc();
    bool PassesBootVersionGate();
    void Reconnect(const PlcModel& model);

    // What the PLC says about itself is kept for the record of the burn; the
    // version is also what the bootloader version gate judges.
    static void NoteTypeId(const std::optional<std::uint16_t>& id) {
        if (id) {
            reportedTypeId.store(*id, std::memory_order_relaxed);
        }
    }
    static void NoteBootVersion(std::uint8_t version) {
        QB_fu_version.store(version, std::memory_order_relaxed);
        reportedBootVersion.store(version, std::memory_order_relaxed);
    }

    WorkerSurroundings& s_;
    LinkPtr hSerial;
    bool imageLoaded_ = false;
    BurnOutcome outcome_ = BurnOutcome::Failed;
};

BurnOutcome Burn::Run() {
    reportedTypeId.store(-1, std::memory_order_relaxed);
    reportedBootVersion.store(-1, std::memory_order_relaxed);
    FirmwareImage image;
    if (!s_.LoadImage(image)) {
        return Fail(kMsgImageNotLoaded);
    }
    SetLoadedImage(image);
    imageLoaded_ = true;
    s_.EnableStartButton(false);

    const PlcModel& model = SelectedModel();
    const std::uint32_t length = fileLength.load(std::memory_order_relaxed);
    if (length > model.sizeLimit) {
        return Fail(model.sizeLimitMessage);
    }
    // The erase and the transfer leave the reserved tail out; a shorter image
    // would make both run off its end, so it never reaches the PLC.
    if (length < model.reservedTail) {
        return Fail(kMsgImageTooShort);
    }
    if (!Open()) {
        return outcome_;
    }

    int applicationPasses = 0;
    for (;;) {
        DummyComm(Plc());
        const AppResult mode = ConfirmComm(Plc());
        if (mode == AppResult::InBootloader) {
            if (applicationPasses == 0) {
                s_.HandedOver(true);
            }
            BootloaderPass();
            return outcome_;
        }
        if (mode != AppResult::InApplication) {
            return Fail(State1Message(ResultCode(mode)));
        }
        // A PLC that keeps running its application after every hand-over would
        // otherwise be taken round forever with the button disabled.
        if (applicationPasses == kMaxApplicationPasses) {
            return Fail(kMsgNoBootloader);
        }
        ++applicationPasses;
        if (!ApplicationPass()) {
            return outcome_;
        }
    }
}

bool Burn::Open() {
    const bool serial = SelectedModel().linkKind == LinkKind::Serial;
    const std::string port = serial ? selectedComPort.Get() : std::string("USB");
    hSerial = serial ? s_.OpenComPort(port) : s_.OpenMyDevPipe("");
    if (!hSerial) {
        Fail("CANNOT open " + port + " Port!!!");
        return false;
    }
    return true;
}

// True when the PLC was handed over and the next pass is due.
bool Burn::ApplicationPass() {
    const PlcModel& model = SelectedModel();
    std::optional<std::uint16_t> id;
    const AppResult typeCheck = CheckID_A(Plc(), &id);
    NoteTypeId(id);
    if (typeCheck != AppResult::Ok) {
        Fail(State2Message(ResultCode(typeCheck)));
        return false;
    }
    if (const char* refused = VariantCheckFailure(Plc())) {
        Fail(refused);
        return false;
    }
    if (model.readsBootVersion) {
        // A failed read stores 0, which the AIO models' gate refuses as unknown.
        NoteBootVersion(read_fu_version_A(Plc()));
        if (!PassesBootVersionGate()) {
            return false;
        }
    }
    if (!MayChangePlc()) {
        return false;
    }
    const AppResult erase = SendErase_A(Plc());
    if (erase != AppResult::Ok) {
        Fail(State3Message(ResultCode(erase)));
        return false;
    }
    s_.HandedOver(false);
    Reconnect(model);
    return true;
}

// The PLC restarts into its bootloader; the model decides how it comes back.
// A failed reopen is not judged here: the next pass meets a dead line and
// reports no response.
void Burn::Reconnect(const PlcModel& model) {
    switch (model.afterAppErase) {
        case AfterAppErase::ReplugWait2:
        case AfterAppErase::ReplugWait5:
            hSerial.reset();
            s_.ShowMessage(kMsgReplug, kCaptionInformation, MessageIcon::Information);
            s_.Sleep(model.afterAppErase == AfterAppErase::ReplugWait2 ? 2000 : 5000);
            Reopen(s_.OpenMyDevPipe(""));
            break;
        case AfterAppErase::PowerCycle:
            hSerial.reset();
            s_.ShowMessage(kMsgPowerCycle, kCaptionInformation, MessageIcon::Information);
            s_.Sleep(2000);
            // The user may have picked another port while the prompt was up.
            Reopen(s_.OpenComPort(selectedComPort.Get()));
            break;
        case AfterAppErase::Wait1:
            s_.Sleep(1000);
            break;
    }
}

bool Burn::PassesBootVersionGate() {
    const char* refused =
        BootVersionGateFailure(SelectedModel(), QB_fu_version.load(std::memory_order_relaxed));
    if (refused == nullptr) {
        return true;
    }
    s_.ShowMessage(refused, kCaptionError, MessageIcon::Error);
    s_.StopElapsedTimer();
    outcome_ = BurnOutcome::Failed;
    return false;
}

void Burn::BootloaderPass() {
    std::optional<std::uint16_t> id;
    const BootResult typeCheck = CheckID_B(Plc(), &id);
    NoteTypeId(id);
    if (typeCheck != BootResult::Ok) {
        Fail(kMsgTypeWrong);
        return;
    }
    const PlcModel& model = SelectedModel();
    if (model.readsBootVersion) {
        std::uint8_t version = 0;
        if (read_fu_version_B(Plc(), version) != BootResult::Ok) {
            Fail(kMsgNoVersion);
            return;
        }
        NoteBootVersion(version);
        if (!PassesBootVersionGate()) {
            return;
        }
    }
    if (!MayChangePlc()) {
        return;
    }
    const std::uint32_t length = fileLength.load(std::memory_order_relaxed);
    if (SendErase_B(Plc(), length) != BootResult::Ok) {
        Fail(kMsgNoErase);
        return;
    }
    if (SendUpdate(Plc()) != BootResult::Ok) {
        Fail(kMsgNoUpdate);
        return;
    }
    const BootResult transfer = SendFW(Plc(), length, FileRead);
    if (transfer == BootResult::FlashWriteError) {
        Fail(kMsgFlashWriteError);
        return;
    }
    if (transfer != BootResult::Ok) {
        Fail(kMsgTransferFailed);
        return;
    }
    s_.StopElapsedTimer();
    if (model.linkKind == LinkKind::Usb) {
        s_.ShowMessage(kMsgUsbSuccess, kCaptionInformation, MessageIcon::Information);
    } else {
        s_.ShowMessage(kMsgSerialSuccess, kCaptionSerialSuccess, MessageIcon::Information);
    }
    outcome_ = BurnOutcome::Success;
}

// Everything up to here only read the PLC.
bool Burn::MayChangePlc() {
    if (s_.MayChangePlc()) {
        return true;
    }
    s_.StopElapsedTimer();
    outcome_ = BurnOutcome::Stopped;
    return false;
}

}  // namespace

BurnOutcome StartBurn(WorkerSurroundings& surroundings) {
    Burn burn(surroundings);
    return burn.Run();
}

}  // namespace norvane
