#pragma once
// Tells whether another copy of the program is already running. The first caller takes a lock
// file in the user's runtime folder and holds it until the process ends.
namespace instance {
bool PrevInstance();
// Lets go of the lock (for tests that start the program twice in one process).
void release();
} // namespace instance
