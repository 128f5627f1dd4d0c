#include "sim_types.h"

namespace plcsim {

const char* ExchangeName(Exchange kind) {
    switch (kind) {
        case Exchange::Wake:
            return "wake";
        case Exchange::ModeQuery:
            return "mode query";
        case Exchange::TypeId:
            return "type id";
        case Exchange::ReadRegister:
            return "read register";
        case Exchange::Version:
            return "version";
        case Exchange::EraseRequest:
            return "erase request";
        case Exchange::EraseConfirm:
            return "erase confirm";
        case Exchange::OtherFrame:
            return "other frame";
        case Exchange::BootId:
            return "boot ID";
        case Exchange::BootVersion:
            return "boot VERSION";
        case Exchange::BootErase:
            return "boot ERASE";
        case Exchange::BootEraseEnd:
            return "boot erase end";
        case Exchange::BootUpdate:
            return "boot UPDATE";
        case Exchange::Block:
            return "block";
        case Exchange::TransferEnd:
            return "transfer end";
        case Exchange::Any:
            return "any";
    }
    return "?";
}

}  // namespace plcsim
