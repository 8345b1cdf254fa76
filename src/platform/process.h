#pragma once

// Starting helper programs (xdg-open, xdg-email) without a shell.

#include <string>
#include <vector>

namespace lv::platform {

// Starts `program` (looked up in PATH when it has no '/') with `args` as its
// arguments after argv[0], never through a shell, and does not wait for it.
// The child gets no file descriptors beyond 0-2 and default signal handling.
// Returns false when it could not be started. The pid given back is for
// information (a log line): the child is reaped by reap_children, so the
// caller must not wait for it.
bool spawn_process(const std::string& program, const std::vector<std::string>& args,
                   int* pid_out = nullptr);

// Collects the exit status of children started by spawn_process that have
// ended, so none stays a zombie; returns how many are still running. Only
// those children are waited for: other code's children keep their status.
// spawn_process calls it itself, so at most the children started since the
// last call can linger; the main loop may call it now and then.
int reap_children();

}  // namespace lv::platform
