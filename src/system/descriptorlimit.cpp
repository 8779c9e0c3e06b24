#include "system/descriptorlimit.h"

#include <sys/resource.h>

#include <cerrno>

namespace quorvel {

DescriptorLimit RaiseDescriptorLimit() {
  DescriptorLimit result;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    result.error = errno;
    return result;
  }
  if (limit.rlim_cur != limit.rlim_max) {
    const rlim_t before = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
      result.error = errno;
      limit.rlim_cur = before;
    }
  }
  result.soft = limit.rlim_cur;
  result.hard = limit.rlim_max;
  return result;
}

}  // namespace quorvel
