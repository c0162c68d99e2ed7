#include "platform/console.h"

#include <unistd.h>

namespace kelmo {

bool consoleIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

}  // namespace kelmo
