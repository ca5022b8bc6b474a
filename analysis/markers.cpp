// Filled in with the markers.
