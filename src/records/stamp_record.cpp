#include "records/stamp_record.h"

#include "common/sha256.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"

namespace marlow::records {

StampRecording::StampRecording(std::unique_ptr<RunRecorder> run, std::string file)
    : run_(std::move(run)), file_(std::move(file)) {
    InputFacts input = InputOf("file", file_);
    digestBefore_ = input.sha256;
    run_->Input(std::move(input));
    step_ = run_->StepStarted("stamp", "INSERT");
}

StampRecording::~StampRecording() = default;

const std::string& StampRecording::RunId() const {
    return run_->RunId();
}

std::shared_future<Status> StampRecording::Finish(const std::string& model,
                                                  const std::string& version,
                                                  const Status& inserted,
                                                  std::function<void(const Status&)> durable) {
    std::string digestAfter = digestBefore_;
    if (inserted) {
        const Result<FileDigest> after = DigestOfFile(file_);
        digestAfter = after ? after->sha256 : std::string();
    }
    run_->Stamp({.file = file_,
                 .digestBefore = digestBefore_,
                 .digestAfter = std::move(digestAfter),
                 .model = model,
                 .version = version});
    run_->StepEnded(step_, inserted ? "passed" : "failed");
    if (inserted)
        return run_->Finish({.verdict = RecordVerdict::Passed}, std::move(durable));
    return run_->Finish({.verdict = RecordVerdict::Failed,
                         .reason = inserted.Error(),
                         .errorClass = ErrorClass::Input,
                         .half = Half::Stamp},
                        std::move(durable));
}

} // namespace marlow::records
