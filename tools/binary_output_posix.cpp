#include "tools/binary_output.h"

namespace vantrel::tools {

void SetStdoutBinary() {}  // POSIX streams never translate line ends

}  // namespace vantrel::tools
