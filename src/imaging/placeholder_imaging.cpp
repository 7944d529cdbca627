// Placeholder until the library's first unit lands.
