// Small state operations that several commands share.
#include "state/program_state.h"

namespace corvex {

void ResetFocusFrameCentre(ProgramState& state) {
  state.focusLeft = 184;
  state.focusTop = 65;
}

}  // namespace corvex
