#pragma once
// A message window as the trace printer sees it: a text it can measure and
// whose tail it can replace, plus the window's own rule for coming to the
// front after a write. Widgets implement this; the engines never see them.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace marlow::app {

enum class MessageWindow { FileInformation, DebugMessage, DeviceState };

class TextTarget {
public:
    virtual ~TextTarget() = default;

    // Called from any thread, one call at a time (the printer serializes).
    virtual std::size_t TextLength() const = 0;
    // Replaces the characters from `from` to the end with `text`. A `from`
    // beyond the current end means the end.
    virtual void ReplaceToEnd(std::size_t from, std::string_view text) = 0;
    // Asked after every write that got past the backspace bookkeeping; the
    // window decides, by its own rule, whether to come to the front.
    virtual void ActivateAfterWrite() = 0;
};

// Whether a window comes to the front after text was written to it. The
// Debug Message window stays put while the port wait dialog is up, so the
// dialog keeps the focus; that flag is read at each write, from any thread.
class ActivationRule {
public:
    static ActivationRule Always() { return ActivationRule(Kind::Always, nullptr); }
    static ActivationRule Never() { return ActivationRule(Kind::Never, nullptr); }
    // `suppressed` must outlive the rule (it belongs to the main window).
    static ActivationRule UnlessSet(const std::atomic<bool>& suppressed) {
        return ActivationRule(Kind::UnlessSet, &suppressed);
    }
    static ActivationRule For(MessageWindow window, const std::atomic<bool>& portWaitShown);

    bool ShouldActivate() const;

private:
    enum class Kind { Always, Never, UnlessSet };
    ActivationRule(Kind kind, const std::atomic<bool>* suppressed)
        : kind_(kind), suppressed_(suppressed) {}
    Kind kind_;
    const std::atomic<bool>* suppressed_;
};

// An in-memory window for tests and the command line.
class StringTarget : public TextTarget {
public:
    explicit StringTarget(ActivationRule rule = ActivationRule::Never()) : rule_(rule) {}

    std::size_t TextLength() const override { return text_.size(); }
    void ReplaceToEnd(std::size_t from, std::string_view text) override;
    void ActivateAfterWrite() override;

    const std::string& Text() const { return text_; }
    int Activations() const { return activations_; }

private:
    ActivationRule rule_;
    std::string text_;
    int activations_ = 0;
};

} // namespace marlow::app
