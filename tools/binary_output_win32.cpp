#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/binary_output.h"

namespace vantrel::tools {

void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace vantrel::tools
