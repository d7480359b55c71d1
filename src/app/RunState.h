#pragma once

namespace korvelt {

// What the main window is doing.
enum class RunState { Idle = 0, Converting = 1, Listening = 2, Batch = 3 };

} // namespace korvelt
