#include "cli/progress_renderer.h"

#include "cli/output.h"

#include <cstdio>
#include <unistd.h>

namespace marlow::cli {

namespace {

constexpr int kBarWidth = 30;

} // namespace

int ProgressBoard::AddLine(const std::string& device, PlainLine plain) {
    std::lock_guard lock(mutex_);
    Line line;
    line.device = device;
    line.plain = plain;
    lines_.push_back(line);
    Redraw();
    return static_cast<int>(lines_.size()) - 1;
}

void ProgressBoard::Update(int line, const std::string& image, int percent,
                           const std::string& state) {
    std::lock_guard lock(mutex_);
    Line& entry = lines_.at(static_cast<std::size_t>(line));
    entry.image = image;
    entry.percent = percent;
    entry.state = state;
    if (terminal_) {
        Redraw();
    } else if (MovedOn(entry)) {
        entry.lastPrintedTenth = percent / 10;
        entry.lastPrintedStep = state;
        Err(RenderPlain(entry) + "\n");
    }
}

void ProgressBoard::Finish(int line, const std::string& result) {
    std::lock_guard lock(mutex_);
    Line& entry = lines_.at(static_cast<std::size_t>(line));
    entry.state = result;
    if (terminal_)
        Redraw();
    else
        Err(RenderPlain(entry) + "\n");
}

void ProgressBoard::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (terminal_ && drawnLines_ > 0) {
        // Print above the progress lines, then draw them again below.
        ErrCursorCodes(UpToFirstLine() + "\x1b[J");
        drawnLines_ = 0;
    }
    Err(text + "\n");
    for (Line& line : lines_)
        if (line.plain == PlainLine::Step)
            line.lastPrintedTenth = -1; // the step is told again below the note
    Redraw();
}

void ProgressBoard::Close() {
    std::lock_guard lock(mutex_);
    if (terminal_ && drawnLines_ > 0)
        Err("\n");
    drawnLines_ = 0;
}

std::string ProgressBoard::UpToFirstLine() const {
    return drawnLines_ > 1 ? "\r\x1b[" + std::to_string(drawnLines_ - 1) + "A" : "\r";
}

bool ProgressBoard::MovedOn(const Line& line) {
    return line.percent / 10 != line.lastPrintedTenth ||
           (line.plain == PlainLine::Step && line.state != line.lastPrintedStep);
}

std::string ProgressBoard::RenderPlain(const Line& line) {
    if (line.plain == PlainLine::Bar)
        return Render(line);
    char text[160];
    std::snprintf(text, sizeof text, "%s: %-22s %3d%%", line.device.c_str(), line.state.c_str(),
                  line.percent);
    return text;
}

std::string ProgressBoard::Render(const Line& line) {
    const int filled = line.percent * kBarWidth / 100;
    return line.device + " [" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
           std::to_string(line.percent) + "% " + line.image + " " + line.state;
}

void ProgressBoard::Redraw() {
    if (!terminal_)
        return;
    if (drawnLines_ > 0)
        ErrCursorCodes(UpToFirstLine());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        ErrCursorCodes(i > 0 ? "\n\x1b[2K" : "\x1b[2K");
        Err(Render(lines_[i]));
    }
    std::fflush(stderr);
    drawnLines_ = lines_.size();
}

bool ProgressBoard::StderrIsTerminal() {
    return isatty(fileno(stderr)) != 0;
}

} // namespace marlow::cli
