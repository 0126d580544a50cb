#include "support/uart_test_support.h"

#include <gtest/gtest.h>

namespace marlow::uartloader {

void PrintTo(const LoaderEvent& event, std::ostream* os) {
    *os << DescribeEvent(event);
}

namespace test {

namespace {

// The texts of every event of one kind, in order.
template <typename Event> std::vector<std::string> TextsOf(const std::vector<LoaderEvent>& events) {
    std::vector<std::string> texts;
    for (const LoaderEvent& e : events)
        if (const auto* event = std::get_if<Event>(&e))
            texts.push_back(event->text);
    return texts;
}

} // namespace

void RecordingSink::Post(const LoaderEvent& event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    posted_.notify_all();
}

std::vector<LoaderEvent> RecordingSink::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<LoaderEvent> RecordingSink::ShownEvents() const {
    std::vector<LoaderEvent> shown;
    for (const LoaderEvent& e : Events())
        if (!std::holds_alternative<Diagnostic>(e))
            shown.push_back(e);
    return shown;
}

std::string RecordingSink::LogText() const {
    std::string text;
    for (const LoaderEvent& e : Events()) {
        if (std::holds_alternative<LogCleared>(e))
            text.clear();
        else if (const auto* appended = std::get_if<LogAppended>(&e))
            text += appended->text;
    }
    return text;
}

std::vector<std::string> RecordingSink::MessageBoxes() const {
    return TextsOf<MessageBoxShown>(Events());
}

std::vector<std::string> RecordingSink::Diagnostics() const {
    return TextsOf<Diagnostic>(Events());
}

std::vector<int> RecordingSink::Progress(int bar) const {
    std::vector<int> values;
    for (const LoaderEvent& e : Events())
        if (const auto* p = std::get_if<ProgressChanged>(&e); p != nullptr && p->bar == bar)
            values.push_back(p->percent);
    return values;
}

std::vector<std::string> RecordingSink::CurrentFiles() const {
    return TextsOf<CurrentFileChanged>(Events());
}

std::vector<RunFinished> RecordingSink::Ends() const {
    std::vector<RunFinished> ends;
    for (const LoaderEvent& e : Events())
        if (const auto* end = std::get_if<RunFinished>(&e))
            ends.push_back(*end);
    return ends;
}

bool RecordingSink::WaitFor(const std::function<bool(const LoaderEvent&)>& matches,
                            std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, timeout,
                            [&] { return std::any_of(events_.begin(), events_.end(), matches); });
}

std::string DisconnectLine(const std::string& port) {
    return port + " port is disconnected.\r\n";
}

std::string ExpectedDefaultLog(const std::string& port) {
    const std::string separator = std::string(47, '_') + "\r\n";
    return "Connected to " + port + " port.\r\n" + "\r\nReceived ASIC ID\r\n" +
           "Boot Indication Sent = F0030002\r\n" + "\r\nLOADING 2nd Boot...\r\n" + separator +
           "Size of the Second Boot binary sent\r\n" + "Second Boot binary sent\r\n" +
           "\r\nLOADING 2nd Boot Done\r\n" + separator + "\r\nLOADING ExtMemInit...\r\n" +
           separator + "Size of the External memory init sent\r\n" +
           "External memory init function code sent\r\n" + "\r\nLOADING ExtMemInit Done.\r\n" +
           separator + "\r\nLOADING Flasher...\r\n" + separator +
           "Size of the BootFlasher binary sent\r\n" +
           "Entry point of boot flasher binary sent\r\n" +
           "Execution address of boot flasher binary sent\r\n" + "Boot flasher binary sent\r\n" +
           "\r\nLOADING Flasher Done.\r\n" + separator + "### Boot flasher running\r\n" +
           ">>> Flashing partitions\r\n" + "$$$ Flashing complete\r\n" + "\r\n" +
           DisconnectLine(port);
}

void WriteRoleFiles(RoleFiles& files, const std::array<std::size_t, 8>& sizes) {
    for (std::size_t row = 0; row < sizes.size(); ++row) {
        files.paths[row] = files.dir.File("role" + std::to_string(row) + ".bin");
        files.contents[row] = PatternBytes(sizes[row], static_cast<std::uint8_t>(row));
        marlow::test::WriteFile(files.paths[row], files.contents[row]);
    }
}

LoaderSettings SeparateWriteSettings(const RoleFiles& files) {
    LoaderSettings settings = LoaderSettings::Defaults();
    for (std::size_t row = 0; row < files.paths.size(); ++row)
        settings.rows[row].path = files.paths[row];
    settings.rows[2].entryPoint = "1000";
    settings.rows[2].extAddress = "2000";
    for (std::size_t row = 3; row < 8; ++row) {
        settings.rows[row].entryPoint = std::to_string(row) + "0";
        settings.rows[row].extAddress = std::to_string(row) + "00000";
    }
    return settings;
}

PtyHandset::PtyHandset(emulators::UartEmulatorOptions options) {
    auto created = emulators::UartPty::Create();
    if (!created)
        throw std::runtime_error("no pseudo-terminal: " + created.Error());
    pty_ = std::move(*created);
    thread_ = std::thread([this, emulator = emulators::UartHandsetEmulator(std::move(options))] {
        report_ = emulator.Run(*pty_);
    });
}

PtyHandset::~PtyHandset() {
    pty_->Stop();
    if (thread_.joinable())
        thread_.join();
}

emulators::UartEmulatorReport PtyHandset::Report() {
    if (thread_.joinable())
        thread_.join();
    return report_;
}

Result<PortOpened> WatchedTransport::Open(const LineSettings& settings) {
    owner_ = std::this_thread::get_id();
    return inner_->Open(settings);
}

void WatchedTransport::Close() {
    NoteIo();
    record_.closed = true;
    inner_->Close();
}

void WatchedTransport::NoteIo() {
    if (std::this_thread::get_id() != owner_)
        record_.foreignThreadIo = true;
    if (record_.closed)
        record_.ioAfterClose = true;
}

LinkStatus WatchedTransport::ReceiveData(std::span<std::uint8_t> into,
                                         std::chrono::milliseconds timeout) {
    NoteIo();
    return inner_->ReceiveData(into, timeout);
}

LinkStatus WatchedTransport::TransmitData(std::span<const std::uint8_t> bytes) {
    NoteIo();
    if (record_.writes++ == failingWrite_)
        return failure_;
    return inner_->TransmitData(bytes);
}

} // namespace test
} // namespace marlow::uartloader
