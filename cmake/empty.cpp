// Placeholder so that a folder without sources still builds its library.
