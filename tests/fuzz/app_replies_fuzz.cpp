// Every application-mode exchange judging whatever the PLC might send back,
// and the LRC check on any text.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "burn/burn_context.h"
#include "burn/catalogue.h"
#include "burn/shared_values.h"
#include "fuzz_link.h"
#include "link/app_commands.h"
#include "link/frame.h"

using namespace norvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;

    // The LRC check decodes in place: give it its own copy of any length and
    // any (even negative) count no larger than the buffer.
    std::vector<std::uint8_t> text(data + 1, data + size);
    const int count = static_cast<int>(text.size()) - (data[0] & 3);
    (void)CheckLRC(text.data(), count);

    fuzz::InputStream input(data, size);
    SelectModel(input.Byte() % kModelCount);
    ResetBurnValues();
    fuzz::FuzzLink link(input);
    const ExchangeContext plc = SelectedPlc(link);
    for (int step = 0; step < 32 && !input.Empty(); ++step) {
        switch (input.Byte() % 8) {
            case 0:
                DummyComm(plc);
                break;
            case 1:
                (void)ConfirmComm(plc);
                break;
            case 2:
                (void)CheckID_A(plc);
                break;
            case 3:
                (void)READ_D1386(plc);
                break;
            case 4:
                (void)READ_D1001(plc);
                break;
            case 5:
                (void)READ_D1148(plc);
                break;
            case 6:
                (void)read_fu_version_A(plc);
                break;
            default:
                (void)SendErase_A(plc);
                break;
        }
    }
    return 0;
}
