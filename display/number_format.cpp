// Filled in with the number formats.
