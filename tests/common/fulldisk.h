#pragma once

#include <functional>
#include <string>

// Runs `body` in a child process with a tmpfs of `size` (mount's size=,
// e.g. "8k") mounted at `folder` (created when missing) in a mount
// namespace of its own, so that a disk fills up without touching the
// machine's. The child's exit status is `body`'s return value (0 for
// success); it is returned here. Where the namespace or the mount cannot be
// made (not root, no user namespaces), returns -1 and sets `why`.
int InFullTmpfs(const std::string& folder, const std::string& size,
                const std::function<int(const std::string& folder)>& body, std::string& why);
