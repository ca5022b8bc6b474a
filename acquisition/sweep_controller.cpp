// Filled in with the sweep controller.
