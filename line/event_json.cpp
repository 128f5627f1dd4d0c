#include "line/event_json.h"

#include "burn/flash_phase.h"
#include "line/json_line.h"

namespace norvane::line {

namespace {

// Each kind's fields are named once, in the order the line holds them (Bind
// below); a writer and a reader walk them alike.
class Writer {
  public:
    explicit Writer(JsonLine& object) : object_(object) {}
    void Text(const char* key, std::string& text) { PutText(object_, key, text); }
    void TextOrNull(const char* key, std::string& text) { PutTextOrNull(object_, key, text); }
    template <typename Number>
    void Count(const char* key, Number& number) {
        object_[key] = static_cast<std::int64_t>(number);
    }
    void Flag(const char* key, bool& flag) { object_[key] = flag; }
    void CountOrNull(const char* key, std::optional<std::int64_t>& number) {
        object_[key] = number ? JsonLine(*number) : JsonLine(nullptr);
    }
    void Phase(const char* key, std::int32_t& phase) { object_[key] = PhaseWord(phase); }
    template <typename Value>
    void Word(const char* key, Value& value, const char* (*word)(Value),
              std::optional<Value> (*)(std::string_view)) {
        object_[key] = word(value);
    }

  private:
    JsonLine& object_;
};

class Reader {
  public:
    explicit Reader(const JsonLine& object) : object_(object) {}
    void Text(const char* key, std::string& text) { Check(key, GetText(object_, key, text)); }
    void TextOrNull(const char* key, std::string& text) {
        Check(key, GetTextOrNull(object_, key, text));
    }
    template <typename Number>
    void Count(const char* key, Number& number) {
        std::int64_t read = 0;
        Check(key, GetNumber(object_, key, read));
        number = static_cast<Number>(read);
    }
    void Flag(const char* key, bool& flag) { Check(key, GetFlag(object_, key, flag)); }
    void CountOrNull(const char* key, std::optional<std::int64_t>& number) {
        std::int64_t read = 0;
        const auto field = object_.find(key);
        if (field != object_.end() && field->is_null()) {
            number.reset();
        } else if (Check(key, GetNumber(object_, key, read))) {
            number = read;
        }
    }
    void Phase(const char* key, std::int32_t& phase) {
        std::string word;
        const bool known = GetText(object_, key, word) && word == PhaseWord(PhaseOfWord(word));
        if (Check(key, known)) {
            phase = PhaseOfWord(word);
        }
    }
    template <typename Value>
    void Word(const char* key, Value& value, const char* (*)(Value),
              std::optional<Value> (*of)(std::string_view)) {
        std::string word;
        const std::optional<Value> read =
            GetText(object_, key, word) ? of(word) : std::optional<Value>();
        if (Check(key, read.has_value())) {
            value = *read;
        }
    }
    const std::string& missing() const { return missing_; }

  private:
    bool Check(const char* key, bool ok) {
        if (!ok && missing_.empty()) {
            missing_ = key;
        }
        return ok;
    }
    const JsonLine& object_;
    std::string missing_;  // the first field missing or of another type
};

template <typename Io>
void Bind(Io& io, StartFields& f) {
    io.Text("version", f.version);
    io.Text("model", f.model);
    io.Text("image", f.image);
    io.Count("image_size", f.imageSize);
    io.Text("sha256", f.sha256);
    io.Text("burn_id", f.burnId);
}
template <typename Io>
void Bind(Io& io, PhaseFields& f) {
    io.Phase("phase", f.phase);
    io.Count("seconds", f.seconds);
}
template <typename Io>
void Bind(Io& io, ProgressFields& f) {
    io.Phase("phase", f.phase);
    io.Count("percent", f.percent);
    io.Count("errors", f.errors);
    io.Count("errors_total", f.errorsTotal);
    io.Count("seconds", f.seconds);
}
template <typename Io>
void Bind(Io& io, RetryFields& f) {
    io.Count("errors", f.errors);
    io.Count("errors_total", f.errorsTotal);
    io.Count("seconds", f.seconds);
}
template <typename Io>
void Bind(Io& io, PromptFields& f) {
    io.Text("caption", f.caption);
    io.Text("message", f.message);
    io.Flag("answered", f.answered);
    io.Word("wait_for", f.waitFor, WaitWord, WaitOfWord);
}
template <typename Io>
void Bind(Io& io, HandoverFields& f) {
    io.Flag("found", f.found);
    io.Count("seconds", f.seconds);
}
template <typename Io>
void Bind(Io& io, WaitFields& f) {
    io.Word("for", f.waitFor, WaitWord, WaitOfWord);
    io.CountOrNull("seconds_left", f.secondsLeft);
}
template <typename Io>
void Bind(Io& io, EndFields& f) {
    io.Text("caption", f.caption);
    io.Text("message", f.message);
    io.Count("exit_status", f.exitStatus);
    io.Count("seconds", f.seconds);
    io.Count("errors_total", f.errorsTotal);
    io.Flag("erase_begun", f.eraseBegun);
    io.Flag("handed_over", f.handedOver);
    io.Text("burn_id", f.burnId);
    io.Word("outcome", f.outcome, OutcomeWord, OutcomeOfWord);
    io.Flag("verified", f.verified);
}
template <typename Io>
void Bind(Io& io, CheckFields& f) {
    io.Flag("ready", f.ready);
    io.TextOrNull("caption", f.caption);
    io.Text("message", f.message);
    io.Count("exit_status", f.exitStatus);
    io.Count("seconds", f.seconds);
    io.Text("burn_id", f.burnId);
    io.Word("outcome", f.outcome, OutcomeWord, OutcomeOfWord);
}
template <typename Io>
void Bind(Io& io, IdentifyFields& f) {
    io.TextOrNull("device", f.device);
    io.TextOrNull("usb_path", f.usbPath);
    io.TextOrNull("usb_serial", f.usbSerial);
    io.TextOrNull("mode", f.mode);
    io.Text("framing", f.framing);
    io.TextOrNull("unit", f.unit);
    io.TextOrNull("plc_type", f.plcType);
    io.TextOrNull("boot_version", f.bootVersion);
    io.TextOrNull("d1386", f.d1386);
    io.TextOrNull("d1001", f.d1001);
    io.TextOrNull("d1148", f.d1148);
    io.TextOrNull("model", f.model);
    io.Text("models", f.models);
    io.Text("message", f.message);
}
template <typename Io>
void Bind(Io& io, PortFields& f) {
    io.Text("kind", f.kind);
    io.TextOrNull("usb_serial", f.usbSerial);
    io.TextOrNull("usb_path", f.usbPath);
    io.Text("device", f.device);
}
template <typename Io>
void Bind(Io& io, SocketFields& f) {
    io.Word("state", f.state, SocketWord, SocketOfWord);
    io.TextOrNull("message", f.message);
    io.TextOrNull("usb_serial", f.usbSerial);
    io.Count("done", f.done);
    io.Count("failed", f.failed);
    io.Count("set_aside", f.setAside);
}
template <typename Io>
void Bind(Io& io, StationFields& f) {
    io.Word("state", f.state, StationWord, StationOfWord);
    io.TextOrNull("model", f.model);
    io.TextOrNull("image", f.image);
    io.TextOrNull("sha256", f.sha256);
    io.Flag("check", f.check);
    io.Text("images", f.images);
    io.TextOrNull("message", f.message);
    io.TextOrNull("page", f.page);
}

// An empty set of fields of `kind`, to be read into.
EventFields FieldsOf(EventKind kind) {
    switch (kind) {
        case EventKind::Start:
            return StartFields{};
        case EventKind::Phase:
            return PhaseFields{};
        case EventKind::Progress:
            return ProgressFields{};
        case EventKind::Retry:
            return RetryFields{};
        case EventKind::Prompt:
            return PromptFields{};
        case EventKind::Handover:
            return HandoverFields{};
        case EventKind::Wait:
            return WaitFields{};
        case EventKind::End:
            return EndFields{};
        case EventKind::Check:
            return CheckFields{};
        case EventKind::Identify:
            return IdentifyFields{};
        case EventKind::Port:
            return PortFields{};
        case EventKind::Socket:
            return SocketFields{};
        case EventKind::Station:
            return StationFields{};
    }
    return StartFields{};
}

}  // namespace

std::string EventLine(const BurnEvent& event) {
    JsonLine object;
    object["event"] = KindWord(event.kind());
    PutText(object, "port", event.port);
    Writer writer(object);
    EventFields fields = event.fields;
    std::visit([&writer](auto& f) { Bind(writer, f); }, fields);
    return WriteLine(object);
}

std::optional<BurnEvent> ReadEventLine(std::string_view line, std::string* why) {
    const auto fail = [why](std::string reason) {
        if (why != nullptr) {
            *why = std::move(reason);
        }
        return std::nullopt;
    };
    const std::optional<JsonLine> object = ReadLine(line);
    if (!object) {
        return fail("not a JSON object");
    }
    std::string word;
    BurnEvent event;
    if (!GetText(*object, "event", word)) {
        return fail("no \"event\"");
    }
    const std::optional<EventKind> kind = KindOfWord(word);
    if (!kind) {
        return fail("an event of an unknown kind");
    }
    if (!GetText(*object, "port", event.port)) {
        return fail("no \"port\"");
    }
    event.fields = FieldsOf(*kind);
    Reader reader(*object);
    std::visit([&reader](auto& f) { Bind(reader, f); }, event.fields);
    if (!reader.missing().empty()) {
        return fail("a " + word + " event without its \"" + reader.missing() + "\"");
    }
    return event;
}

}  // namespace norvane::line
