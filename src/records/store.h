#pragma once
// A run store opened: one SQLite file per station, created for its owner
// only (mode 0600) in a folder of its own, in WAL mode so that readers never
// wait and several Marlow processes (a window and four CLI runs) record at
// once, each write waiting up to a busy time-out for the others. Opening
// brings the schema up to date and declares `interrupted` every record left
// `running` by a writer that no longer lives.

#include "common/result.h"
#include "records/sql_session.h"

#include <chrono>
#include <memory>
#include <string>

namespace marlow::records {

enum class StoreAccess {
    Record, // made when missing; must take writes
    Query,  // never made; read-only when it cannot be written
};

struct StoreOptions {
    std::string path{};
    StoreAccess access = StoreAccess::Record;
    std::chrono::milliseconds busyWait{5000};
};

class RunStore {
public:
    // The store, or why it cannot be used ("the run store … is damaged",
    // "… cannot be written", "no run store at …").
    static Result<std::unique_ptr<RunStore>> Open(const StoreOptions& options);
    ~RunStore();
    RunStore(const RunStore&) = delete;
    RunStore& operator=(const RunStore&) = delete;

    const SqlSession& Session() const { return session_; }
    bool Writable() const { return writable_; }

    // Whether a run could be recorded now: the store takes a write lock,
    // and its disk has room.
    Status ProbeWrite() const;

    // Records left `running` by writers that no longer live become
    // `interrupted`; returns how many.
    Result<int> MarkInterrupted() const;

private:
    RunStore(QString connectionName, const StoreOptions& options);
    Status Prepare(const StoreOptions& options);

    SqlSession session_;
    bool writable_ = false;
};

} // namespace marlow::records
