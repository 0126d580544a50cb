#pragma once
// Who is writing a record, told so that another process can later decide
// whether that writer still lives: a record left `running` by a writer that
// is gone was interrupted; one whose writer lives is a run in progress.

#include "records/record.h"

namespace marlow::records {

// This process: the host name, the process id, and the boot id with the
// process's start time (a pid is reused, a boot id with a start time is not).
WriterIdentity ThisWriter();

// Whether `writer` is a process that lives now. A writer on another host, or
// one whose identity this platform cannot check, counts as living: only what
// is known dead is declared interrupted.
bool WriterLives(const WriterIdentity& writer);

} // namespace marlow::records
