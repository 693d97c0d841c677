// (filled in with the headless window system)
