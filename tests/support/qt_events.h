#pragma once
// Letting queued Qt work run in a test, with or without widgets.

#include <functional>

namespace marlow::test {

// A QCoreApplication for tests without windows, unless an application is
// there already.
void EnsureCoreApplication();

// Runs queued events until `done` holds; false if it never does within a
// generous bound (kStuckAfter: a hang, not a slow machine).
bool ProcessUntil(const std::function<bool()>& done);
// Lets every event already queued run.
void Flush();

} // namespace marlow::test
