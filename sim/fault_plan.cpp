#include "fault_plan.h"

namespace plcsim {

Fault Fault::Every(Exchange exchange, FaultKind kind, std::uint32_t value) {
    Fault f;
    f.exchange = exchange;
    f.first = 0;
    f.kind = kind;
    f.value = value;
    return f;
}

Fault Fault::At(Exchange exchange, std::uint32_t occurrence, FaultKind kind, std::uint32_t value) {
    Fault f;
    f.exchange = exchange;
    f.first = occurrence;
    f.kind = kind;
    f.value = value;
    return f;
}

Fault Fault::NakAt(Exchange exchange, std::uint32_t occurrence, std::uint8_t nakClass,
                   std::uint8_t nakCode) {
    Fault f = At(exchange, occurrence, FaultKind::Nak);
    f.nakClass = nakClass;
    f.nakCode = nakCode;
    return f;
}

bool Fault::Covers(Exchange request, std::uint32_t occurrence) const {
    if (exchange != Exchange::Any && exchange != request) {
        return false;
    }
    if (first == 0) {
        return true;
    }
    return occurrence >= first && occurrence - first < times;
}

bool FaultSet::Has(FaultKind kind) const {
    return Find(kind) != nullptr;
}

const Fault* FaultSet::Find(FaultKind kind) const {
    for (const Fault& f : faults) {
        if (f.kind == kind) {
            return &f;
        }
    }
    return nullptr;
}

FaultSet FaultPlan::Collect(Exchange kind, const std::array<std::uint32_t, kKinds>& counts,
                            bool writeFaults) const {
    FaultSet set;
    const std::uint32_t own = counts[static_cast<std::size_t>(kind)];
    const std::uint32_t any = counts[static_cast<std::size_t>(Exchange::Any)];
    for (const Fault& f : faults_) {
        if ((f.kind == FaultKind::WriteFailure) != writeFaults) {
            continue;
        }
        const std::uint32_t occurrence = f.exchange == Exchange::Any ? any : own;
        if (f.Covers(kind, occurrence)) {
            set.faults.push_back(f);
        }
    }
    return set;
}

FaultSet FaultPlan::Next(Exchange kind) {
    ++received_[static_cast<std::size_t>(kind)];
    ++received_[static_cast<std::size_t>(Exchange::Any)];
    return Collect(kind, received_, false);
}

bool FaultPlan::NextWriteFails(Exchange kind) {
    ++writes_[static_cast<std::size_t>(kind)];
    ++writes_[static_cast<std::size_t>(Exchange::Any)];
    return !Collect(kind, writes_, true).faults.empty();
}

}  // namespace plcsim
