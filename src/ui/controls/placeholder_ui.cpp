// Placeholder until the first widget lands.
