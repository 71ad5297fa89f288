// The library's state: one per thread.
#include "xml/state.h"

namespace vantrel::xml {

LibraryState& Lib() {
  // Created on a thread's first call into the library and gone with the thread.
  thread_local LibraryState state;
  return state;
}

}  // namespace vantrel::xml
