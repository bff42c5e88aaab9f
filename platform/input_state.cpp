// The process-wide input state.
#include "platform/input_state.h"

namespace platform {
namespace {
InputState g_board;
IInputState* g_input = &g_board;
} // namespace

IInputState& Input() { return *g_input; }
void SetInput(IInputState* input) { g_input = input ? input : &g_board; }
InputState& DefaultInput() { return g_board; }

} // namespace platform
