// Filled as the platform grows.
