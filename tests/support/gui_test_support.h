#pragma once
// What every window test needs: one QApplication, a settings store in a
// temporary folder, dialogs that answer from a script instead of waiting for
// an operator, and a way to let queued work run until a condition holds.

#include "controls/dialog_service.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"

#include <QSettings>
#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace marlow::test {

void EnsureApplication();

class RecordingDialogs : public controls::DialogService {
public:
    using controls::DialogService::Message;

    RecordingDialogs() { controls::InstallDialogs(this); }
    ~RecordingDialogs() override { controls::InstallDialogs(nullptr); }

    void Message(QWidget*, const QString& text, const QString& caption) override {
        messages.push_back(text);
        captions.push_back(caption);
    }
    std::optional<QString> OpenFile(QWidget*, const controls::FileChoice& choice) override {
        return Answer(choice);
    }
    std::optional<QString> SaveFile(QWidget*, const controls::FileChoice& choice) override {
        return Answer(choice);
    }

    std::vector<QString> messages;
    std::vector<QString> captions;
    std::vector<controls::FileChoice> choices;
    // Answers for the file choosers, in order; a null string is Cancel.
    std::deque<QString> answers;

private:
    std::optional<QString> Answer(const controls::FileChoice& choice);
};

// A settings store that lives in a temporary folder, never the user's.
class TempStore {
public:
    TempStore();
    QSettings& Store() { return *store_; }
    std::string Value(const char* name) const;

private:
    TempDir dir_;
    std::unique_ptr<QSettings> store_;
};

} // namespace marlow::test
