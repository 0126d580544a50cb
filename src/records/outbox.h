#pragma once
// A station's outbox: the records finished in its store that the central
// database does not have yet, in the order they finished, and how they go
// there. A batch of records goes in one central transaction, each row
// inserted with ON CONFLICT DO NOTHING on its run id; the outbox lets go of
// them only once that transaction has committed. A batch sent again (the
// server took it but the station never heard) therefore changes nothing,
// and the central database always holds a station's records up to some
// point of its outbox, never one without those before it.

#include "common/result.h"
#include "records/sql_session.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace marlow::records {

// Puts a finished record into the outbox; inside the transaction that
// finishes it (a run's end, or its mark as interrupted).
Status QueueForCentral(const SqlSession& local, const QString& runId);

struct OutboxState {
    std::int64_t backlog = 0;                    // records waiting
    std::optional<std::int64_t> oldestEndedMs{}; // when the first of them finished
    std::int64_t forwarded = 0;                  // in all, since the store began
    std::optional<std::int64_t> lastForwardedMs{};
    std::string lastError{}; // the last failure on the way, until records go again
    std::optional<std::int64_t> lastErrorMs{};
};
Result<OutboxState> ReadOutbox(const SqlSession& local);

struct ForwardOptions {
    int batch = 500; // records a transaction
    // Runs before each batch commits; tests stop the server there.
    std::function<void()> beforeCommit{};
};

// Sends the oldest batch of the outbox; returns how many records it held (0
// once the outbox is empty).
Result<int> ForwardBatch(const SqlSession& local, const SqlSession& central,
                         const ForwardOptions& options = {});

// Keeps `error` as the outbox's last error, for `marlow-cli runs outbox`.
void NoteForwardingError(const SqlSession& local, const std::string& error);

} // namespace marlow::records
