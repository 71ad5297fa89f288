// The thread's last error outside Windows: kernel32 keeps it per thread, so do we.
#include "runtime/seam/win32_seam.h"

namespace vantrel::seam {
namespace {
thread_local DWORD tLastError = 0;
}

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD error) { tLastError = error; }

}  // namespace vantrel::seam
