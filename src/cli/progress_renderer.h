#pragma once
// The commands' progress on stderr: one line per device with its bar, the
// image it sends and what it does.

#include <mutex>
#include <string>
#include <vector>

namespace marlow::cli {

// Progress lines on stderr: bars redrawn in place on a terminal, otherwise
// plain lines written as the run moves on.
class ProgressBoard {
public:
    // How a line is written when stderr is no terminal: `Bar` at each tenth
    // of the way and at the end (one handset of several); `Step` as
    // "phone: PSI loader   40%" at each new step or tenth, and again below a
    // note (the one run of a command).
    enum class PlainLine { Bar, Step };

    explicit ProgressBoard(bool terminal) : terminal_(terminal) {}
    // Live on a terminal, plain lines when stderr goes to a file or a pipe.
    static bool StderrIsTerminal();
    // Leaves the cursor below the lines.
    void Close();

    int AddLine(const std::string& device, PlainLine plain = PlainLine::Bar);
    void Update(int line, const std::string& image, int percent, const std::string& state);
    void Finish(int line, const std::string& result);
    // Diagnostics and message-box texts, printed above the progress lines.
    void Note(const std::string& text);

private:
    struct Line {
        std::string device;
        std::string image;
        int percent = 0;
        std::string state = "waiting";
        PlainLine plain = PlainLine::Bar;
        int lastPrintedTenth = -1;
        std::string lastPrintedStep;
    };
    static bool MovedOn(const Line& line);
    static std::string Render(const Line& line);
    static std::string RenderPlain(const Line& line);
    void Redraw();
    std::string UpToFirstLine() const;

    bool terminal_;
    std::mutex mutex_;
    std::vector<Line> lines_;
    std::size_t drawnLines_ = 0;
};

} // namespace marlow::cli
