#pragma once
// The store's tables and how they grow: an ordered list of migrations, each
// applied in one transaction together with the version it brings, so a
// store is always at one whole version. The same steps build a station's
// SQLite file and a central PostgreSQL database; the few types that differ
// are written as placeholders ({blob}: BLOB or bytea). A station keeps two
// tables more, its own bookkeeping that the central database has no use for.
//
// The tables (one row per run, the rest keyed by its run id):
//   marlow_schema (version)
//   runs         the unit row: who, where, which handset, how it ended, and
//                its writer (host, pid, start) to tell a live run from an
//                interrupted one
//   run_inputs   the files, in order: role, path, size, SHA-256, trailer
//                model/version, the list or package that named them
//   run_steps    the phases, in order: kind, name, start and end, bytes,
//                retries, outcome
//   run_events   the event stream as JSON lines, zlib-compressed in chunks
//   run_stamps   what Stamp INSERT changed: the file, its digest before and
//                after, the model and version
// and on a station only:
//   run_outbox   the finished records not yet in the central database, in
//                the order they finished (seq)
//   forwarding   one row: when records last went to the central database,
//                how many in all, and the last error on the way

#include "common/result.h"
#include "records/sql_session.h"

#include <span>
#include <vector>

namespace marlow::records {

struct Migration {
    int version; // the version the store has once this step is done
    std::vector<const char*> statements;
    std::vector<const char*> stationOnly{}; // run after `statements` on SQLite only
};

// Every migration this Marlow knows, oldest first.
std::span<const Migration> Migrations();
int LatestSchemaVersion();

// The store's version: 0 for an empty database.
Result<int> SchemaVersion(const SqlSession& session);

// Brings the store from its version to the last of `steps`; a store made by
// a newer Marlow is refused rather than touched. Returns the version reached.
Result<int> Migrate(const SqlSession& session, std::span<const Migration> steps = Migrations());

} // namespace marlow::records
