#pragma once

namespace kelmo {

// True when standard output goes to a terminal, where a progress line may be redrawn in place.
bool consoleIsTerminal();

}  // namespace kelmo
