// Everything the loader reads from the handset, from its first byte on: the
// ASIC ID block, request codes, message lengths and texts, the word after a
// flash request, the boot flasher's size echo and every acknowledgement. The
// input is played as the handset's side of one whole run. Whatever it says,
// the run must stay inside its receive buffer, keep its bars in range and
// end exactly once, with a done verdict only after a done message.

#include "scratch_file.h"
#include "uartloader/uart_boot_sequence.h"
#include "uartloader/uart_frames.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace marlow::uartloader;

// The handset's bytes come from the input; what the tool sends is dropped.
class ReplayedHandset final : public UartTransport {
public:
    ReplayedHandset(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    marlow::Result<PortOpened> Open(const LineSettings&) override { return PortOpened{}; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    void RequestClose() override { open_ = false; }
    std::string PortName() const override { return "COM1"; }

    LinkStatus ReceiveData(std::span<std::uint8_t> into, std::chrono::milliseconds) override {
        if (into.size() > kReceiveBufferSize)
            std::abort(); // no read may overrun the loader's receive buffer
        if (!open_)
            return LinkStatus::Stopped;
        if (rest_.size() < into.size())
            return LinkStatus::TimedOut;
        std::copy_n(rest_.begin(), into.size(), into.begin());
        rest_ = rest_.subspan(into.size());
        return LinkStatus::Ok;
    }
    LinkStatus TransmitData(std::span<const std::uint8_t>) override {
        return open_ ? LinkStatus::Ok : LinkStatus::Stopped;
    }

private:
    std::span<const std::uint8_t> rest_;
    bool open_ = true;
};

class CheckingSink final : public LoaderSink {
public:
    void Post(const LoaderEvent& event) override {
        if (ends_ > 0)
            std::abort(); // the run's end is its last event
        ends_ += std::holds_alternative<marlow::RunFinished>(event) ? 1 : 0;
        if (const auto* p = std::get_if<ProgressChanged>(&event);
            p != nullptr &&
            (p->bar < 0 || p->bar >= kProgressBarCount || p->percent < 0 || p->percent > 100))
            std::abort();
        if (const auto* log = std::get_if<LogAppended>(&event))
            doneSeen_ = doneSeen_ || log->text.starts_with("$$$ ");
    }
    bool DoneSeen() const { return doneSeen_; }
    int Ends() const { return ends_; }

private:
    bool doneSeen_ = false;
    int ends_ = 0;
};

// Small files for rows 0 to 7; the xloader row takes two frames.
const RunInputs& Inputs() {
    static const std::vector<marlow::fuzz::ScratchFile> kFiles = [] {
        std::vector<marlow::fuzz::ScratchFile> made;
        made.reserve(8); // a copy made while growing would remove its file
        for (std::size_t row = 0; row < 8; ++row) {
            made.emplace_back("row" + std::to_string(row) + ".bin");
            const std::vector<std::uint8_t> bytes(row == 3 ? 2049 : row + 1, 0x5A);
            made.back().Write(bytes.data(), bytes.size());
        }
        return made;
    }();
    static const RunInputs inputs = [] {
        RunInputs made;
        for (std::size_t row = 0; row < kFiles.size(); ++row) {
            made.filePaths[row] = kFiles[row].path;
            made.rows[row] = {kFiles[row].path, std::to_string(row) + "00000", "10"};
        }
        return made;
    }();
    return inputs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReplayedHandset handset(data, size);
    CheckingSink sink;
    const std::atomic<bool> totalWrite{false};
    UartRunContext run(handset, sink, totalWrite, Inputs());
    int disconnects = 0;
    run.disconnect = [&] {
        ++disconnects;
        handset.Close();
    };
    const marlow::RunFinished finished = UartBootSequence(run);
    if (disconnects != 1 || sink.Ends() != 1 ||
        (finished.verdict == marlow::Verdict::Passed) != sink.DoneSeen())
        std::abort();
    return 0;
}
