// Filled in with the radio link.
