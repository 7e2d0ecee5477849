// Replaced by the simulator core.
