// Filled in with the settings store.
