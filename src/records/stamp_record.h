#pragma once
// Stamp INSERT kept as a record of its own (kind "stamp"): the file with its
// digest before the trailer went on and after, the model and version, one
// step, and whether the write succeeded. The CLI's `stamp insert` and the
// main window's stamp dialog keep it alike.

#include "common/result.h"
#include "records/record.h"

#include <functional>
#include <future>
#include <memory>
#include <string>

namespace marlow::records {

class RunRecorder;

class StampRecording {
public:
    // Reads the file's size and digest before anything is written to it.
    StampRecording(std::unique_ptr<RunRecorder> run, std::string file);
    ~StampRecording();
    StampRecording(const StampRecording&) = delete;
    StampRecording& operator=(const StampRecording&) = delete;

    const std::string& RunId() const;

    // The INSERT's outcome: on success the digest after and a passed
    // record; a write that failed leaves the file as it was and fails the
    // record with its reason.
    std::shared_future<Status> Finish(const std::string& model, const std::string& version,
                                      const Status& inserted,
                                      std::function<void(const Status&)> durable = {});

private:
    std::unique_ptr<RunRecorder> run_;
    std::string file_;
    std::string digestBefore_;
    int step_ = 0;
};

} // namespace marlow::records
