// Every bootloader exchange and the block transfer judging whatever the PLC
// might send back, for every model and images of any size near the limits.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "burn/burn_context.h"
#include "burn/catalogue.h"
#include "burn/image.h"
#include "burn/shared_values.h"
#include "fuzz_link.h"
#include "link/block_transfer.h"
#include "link/boot_commands.h"
#include "test_image.h"

using namespace norvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputStream input(data, size);
    SelectModel(input.Byte() % kModelCount);
    ResetBurnValues();

    // Up to 12 KiB: below, at and above the 4 KiB reserved tail of the
    // sector models, and a few dozen blocks of either size.
    const std::size_t imageSize = (std::size_t{input.Byte()} << 8 | input.Byte()) % (12 * 1024 + 1);
    const std::vector<std::uint8_t> image = plcsim::TestImage(imageSize);
    FirmwareImage loaded;
    loaded.data = image.data();
    loaded.size = static_cast<std::uint32_t>(imageSize);
    SetLoadedImage(loaded);

    fuzz::FuzzLink link(input);
    const ExchangeContext plc = SelectedPlc(link);
    std::uint8_t version = 0;
    for (int step = 0; step < 8 && !input.Empty(); ++step) {
        switch (input.Byte() % 5) {
            case 0:
                (void)CheckID_B(plc);
                break;
            case 1:
                (void)read_fu_version_B(plc, version);
                break;
            case 2:
                (void)SendErase_B(plc, loaded.size);
                break;
            case 3:
                (void)SendUpdate(plc);
                break;
            default:
                SetLoadedImage(loaded);  // each transfer starts at the first byte
                (void)SendFW(plc, loaded.size, FileRead);
                break;
        }
    }
    CloseFile();
    return 0;
}
