#include "support/recording_skin.h"

#include <algorithm>

namespace marlow::test {

void RecordingSkin::Add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void RecordingSkin::MessageBox(std::string_view text, std::string_view caption) {
    Add("box|" + std::string(text) + "|" + std::string(caption));
}

void RecordingSkin::TwoLineMessage(std::string_view first, std::string_view second,
                                   std::uint32_t colour) {
    Add("two|" + std::string(first) + "|" + std::string(second) +
        (colour == 0x0000ff ? "|red" : ""));
}

std::vector<std::string> RecordingSkin::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingSkin::Calls(const std::string& prefix) const {
    std::vector<std::string> selected;
    for (const std::string& call : Calls())
        if (call.rfind(prefix, 0) == 0)
            selected.push_back(call);
    return selected;
}

std::vector<std::string> RecordingSkin::On(const std::string& target) const {
    std::vector<std::string> texts = Calls(target + "|");
    for (std::string& text : texts)
        text.erase(0, target.size() + 1);
    return texts;
}

int RecordingSkin::Count(const std::string& call) const {
    const std::vector<std::string> calls = Calls();
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

std::string RecordingSkin::DeviceStateText() const {
    std::string text;
    for (const std::string& call : Calls()) {
        if (call == "clear")
            text.clear();
        else if (call.rfind("trace|", 0) == 0)
            text += call.substr(6);
    }
    return text;
}

void RecordingSkin::ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

} // namespace marlow::test
